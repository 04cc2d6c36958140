// Writes the seed corpus of the fuzz targets with our own writer:
//   make-seeds DIR   ->  DIR/map_parse, DIR/archive_read, DIR/document,
//                        DIR/engine_audio, DIR/editor_frames, DIR/clap_state
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "state/document.h"
#include "state/map_file.h"
#include "state/tar.h"
#include "x11editor/frames.h"

using namespace yawp::state;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

void put(const fs::path& file, ByteView bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data), bytes.size);
}

Bytes document(std::string_view format, const ParameterValues& values) {
    Bytes out;
    if (save_document(format, 48000.0f, values, &out) != 0) std::exit(1);
    return out;
}

ParameterValues defaults() {
    ParameterValues v{};
    for (uint32_t i = 0; i < yawp::catalogue::kInputCount; ++i) v[i] = static_cast<float>(yawp::catalogue::entry(i)->def);
    return v;
}

template <class T>
void append(Bytes* out, T value) {
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof value);
    out->insert(out->end(), bytes, bytes + sizeof bytes);
}

// A 48 kHz session in fuzz_engine_audio's commands: the LFO and the envelope
// on, a rolling transport, then blocks of a sine with a NaN and an infinity.
Bytes engine_session() {
    Bytes out = {3};
    for (uint32_t index : {yawp::catalogue::kLfoOn, yawp::catalogue::kEnvOn}) {
        out.push_back(0x01);
        out.push_back(static_cast<uint8_t>(index));
        append(&out, 1.0);
    }
    out.push_back(0x81);
    append<uint16_t>(&out, 0x00F);
    append(&out, 128.0f);
    append(&out, 1.0f);
    append(&out, 2.5);
    for (uint16_t n : {uint16_t{300}, uint16_t{64}}) {
        out.push_back(0xA0);
        append(&out, n);
        for (uint16_t i = 0; i < n; ++i)
            append(&out, i == 70 ? NAN : (i == 71 ? INFINITY : 0.5f * std::sin(0.07f * i)));
    }
    return out;
}

// The texts a page sends, framed by the editor's own writer, after a step
// byte.
void put_editor_frames(const fs::path& folder) {
    yawp::x11editor::FrameWriter writer;
    for (std::string text : {"g", "b 00000000 42480000", "s 00000000 42960000", "e 00000000 42960000",
                             "m crierV1 init yawp", "m crierV1 syncNews 01234567 news\nwith lines"})
        if (!yawp::x11editor::frame_writer_put(&writer, text.data(), text.size())) std::exit(1);
    Bytes bytes = {0x05};
    bytes.insert(bytes.end(), writer.bytes, writer.bytes + writer.size);
    yawp::x11editor::frame_writer_free(&writer);
    put(folder / "page", {bytes.data(), bytes.size()});
}

// fuzz_clap_state's input: its header (flags, the values to start from,
// the read sizes), then the document.
void put_clap_state(const fs::path& file, uint8_t flags, uint8_t start, std::initializer_list<uint8_t> read_sizes,
                    const Bytes& document) {
    Bytes bytes = {static_cast<uint8_t>(flags | read_sizes.size()), start};
    bytes.insert(bytes.end(), read_sizes);
    bytes.insert(bytes.end(), document.begin(), document.end());
    put(file, {bytes.data(), bytes.size()});
}

// A document from each format, read whole or in short reads, over the
// defaults or a factory preset, and one stream that fails at its end.
void put_clap_states(const fs::path& folder, const Bytes& vst3, const Bytes& lv2, const Bytes& clap,
                     const Bytes& extras) {
    constexpr uint8_t kEndsInError = 0x10, kFlush = 0x20, kProcess = 0x40;
    put_clap_state(folder / "vst3-whole", 0, 0, {}, vst3);
    put_clap_state(folder / "lv2-short-reads", kFlush, 3, {0, 6, 200}, lv2);
    put_clap_state(folder / "clap-processed", kProcess, 1, {255, 0}, clap);
    put_clap_state(folder / "extras-byte-by-byte", 0, 5, {0}, extras);
    put_clap_state(folder / "stream-error", kEndsInError, 2, {100}, clap);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    for (const char* sub : {"map_parse", "archive_read", "document", "engine_audio", "editor_frames", "clap_state"})
        fs::create_directories(dir / sub);
    const Bytes session = engine_session();
    put(dir / "engine_audio" / "session", {session.data(), session.size()});
    put_editor_frames(dir / "editor_frames");

    ParameterValues odd = defaults();
    odd[yawp::catalogue::kMix] = 150.0f;
    odd[yawp::catalogue::kBypass] = 1.0f;
    const Bytes vst3 = document(kFormatVst3, defaults());
    const Bytes lv2 = document(kFormatLv2, odd);
    put(dir / "document" / "vst3", {vst3.data(), vst3.size()});
    put(dir / "document" / "lv2", {lv2.data(), lv2.size()});

    Document doc;
    if (parse_document({vst3.data(), vst3.size()}, &doc) != 0) return 1;
    if (doc.extra_inner.insert("notes", "1.0\n") != 0 || doc.extra_outer.insert("readme", "x") != 0) return 1;
    Bytes extras, info, parameters;
    if (serialise_document(doc, &extras) || serialise_map(doc.info, &info) || serialise_map(doc.parameters, &parameters)) {
        return 1;
    }
    put(dir / "document" / "extras", {extras.data(), extras.size()});
    put(dir / "map_parse" / "info.map", {info.data(), info.size()});
    put(dir / "map_parse" / "parameters.map", {parameters.data(), parameters.size()});
    put(dir / "archive_read" / "state", {vst3.data(), vst3.size()});
    put(dir / "archive_read" / "dsp.tar", {vst3.data() + kTarBlockSize, vst3.size() - 3 * kTarBlockSize});

    ParameterValues clap_values = defaults();
    clap_values[yawp::catalogue::kLfoOn] = 1.0f;
    clap_values[yawp::catalogue::kLfoSyncRate] = 7.0f;
    const Bytes clap = document(kFormatClap, clap_values);
    put_clap_states(dir / "clap_state", vst3, lv2, clap, extras);
    return 0;
}
