// The .vstpreset layout, as the VST3 SDK's PresetFile reads and writes it
// (all numbers little-endian):
//
//   header  "VST3", int32 version 1, 32 ASCII hex digits of the processor's
//           class id, int64 offset of the chunk list
//   data    the chunks' bytes, one after another
//   list    "List", int32 entry count, then per entry 4 ASCII id bytes,
//           int64 offset and int64 size
//
// A host loading the file hands the "Comp" chunk to the processor's setState
// and to the controller's setComponentState; "Info" is the XML meta data
// preset browsers show (the SDK's own attribute keys only; the category is
// the folder the file lies in).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "state/document.h"
#include "vst3/factory.h"
#include "writers.h"

namespace yawp::presets_gen {
namespace {

constexpr int32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 4 + 4 + 32 + 8;
// A processor that was never activated saves a sample rate of 0; a preset
// belongs to no sample rate either.
constexpr float kNoSampleRate = 0.0f;

using Bytes = std::vector<uint8_t>;

void put(Bytes& b, const char* ascii, size_t n) {
    for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(ascii[i]));
}

template <class T>
void put_le(Bytes& b, T v) {
    for (size_t i = 0; i < sizeof(T); ++i) b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}

// The class id as FUID::toString writes it: the GUID's digits in order,
// upper case. Built on a non-Windows machine, INLINE_UID keeps the bytes in
// that same order.
std::string class_id_text() {
    static_assert(sizeof(Steinberg::TUID) == 16);
    char text[33];
    for (size_t i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", static_cast<unsigned>(static_cast<uint8_t>(vst3::kProcessorCid[i])));
    return text;
}

std::string xml_escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string meta_info(const Preset& p) {
    auto attr = [](const char* id, const std::string& value) {
        return std::string("\t<Attr id=\"") + id + "\" value=\"" + xml_escaped(value) +
               "\" type=\"string\" flags=\"writeProtected\"/>\n";
    };
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<MetaInfo>\n" + attr("MediaType", "VstPreset") +
           attr("PlugInName", vst3::kPluginName) + attr("PlugInCategory", vst3::kPluginCategory) +
           attr("Name", p.name) + "</MetaInfo>\n";
}

struct Chunk {
    const char* id;
    Bytes data;
};

Bytes preset_file(const std::vector<Chunk>& chunks) {
    Bytes b;
    put(b, "VST3", 4);
    put_le<int32_t>(b, kFormatVersion);
    const std::string cid = class_id_text();
    put(b, cid.data(), 32);
    const size_t list_offset_at = b.size();
    put_le<int64_t>(b, 0);

    std::vector<std::pair<uint64_t, uint64_t>> places;
    for (const Chunk& c : chunks) {
        places.emplace_back(b.size(), c.data.size());
        for (uint8_t byte : c.data) b.push_back(byte);
    }
    const uint64_t list_offset = b.size();
    for (size_t i = 0; i < 8; ++i) b[list_offset_at + i] = static_cast<uint8_t>(list_offset >> (8 * i));
    put(b, "List", 4);
    put_le<int32_t>(b, static_cast<int32_t>(chunks.size()));
    for (size_t i = 0; i < chunks.size(); ++i) {
        put(b, chunks[i].id, 4);
        put_le<int64_t>(b, static_cast<int64_t>(places[i].first));
        put_le<int64_t>(b, static_cast<int64_t>(places[i].second));
    }
    return b;
}

}  // namespace

bool write_vst3_presets(const std::vector<Preset>& presets, const std::string& dir, const std::string& platform,
                        std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(dir, ec);  // a renamed preset must not linger
    for (const Preset& p : presets) {
        state::ParameterValues values;
        for (size_t i = 0; i < values.size(); ++i) values[i] = p.values[i];
        Bytes document;
        if (state::save_document_for(platform, state::kFormatVst3, kNoSampleRate, values, &document) != 0) {
            *error = p.file + ": the state document cannot be made";
            return false;
        }
        const std::string info = meta_info(p);
        const Bytes bytes = preset_file({{"Comp", document}, {"Info", Bytes(info.begin(), info.end())}});

        const fs::path folder = fs::path(dir) / p.category;
        fs::create_directories(folder, ec);
        const fs::path path = folder / (p.name + ".vstpreset");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            *error = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

}  // namespace yawp::presets_gen
