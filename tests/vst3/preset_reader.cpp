// vst3-preset-reader FILE.vstpreset COMPONENT_STATE_OUT
//
// Reads a .vstpreset with the VST3 SDK's own PresetFile, as hosts do:
// prints the class id it names and the meta information XML, and writes
// the component state chunk's bytes to COMPONENT_STATE_OUT. Exit status 1
// when the SDK cannot read the file or it lacks a component state.
#include <cstdio>
#include <vector>

#include "public.sdk/source/vst/vstpresetfile.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool read_chunk(PresetFile& file, IBStream* stream, ChunkType type, std::vector<char>* out) {
    const PresetFile::Entry* e = file.getEntry(type);
    if (e == nullptr) return false;
    out->resize(static_cast<size_t>(e->size));
    int32 got = 0;
    return stream->seek(e->offset, IBStream::kIBSeekSet, nullptr) == kResultOk &&
           stream->read(out->data(), static_cast<int32>(e->size), &got) == kResultOk && got == e->size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vst3-preset-reader FILE.vstpreset COMPONENT_STATE_OUT\n");
        return 2;
    }
    IPtr<IBStream> stream = owned(FileStream::open(argv[1], "rb"));
    if (!stream) return 1;
    PresetFile file(stream);
    if (!file.readChunkList()) {
        std::fprintf(stderr, "not a preset file the SDK reads\n");
        return 1;
    }
    char cid[33] = {};
    file.getClassID().toString(cid);
    std::printf("%s\n", cid);

    std::vector<char> meta, component;
    if (read_chunk(file, stream, kMetaInfo, &meta)) std::fwrite(meta.data(), 1, meta.size(), stdout);
    if (!read_chunk(file, stream, kComponentState, &component)) {
        std::fprintf(stderr, "no component state\n");
        return 1;
    }
    FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 1;
    const bool ok = std::fwrite(component.data(), 1, component.size(), out) == component.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
