// yawp-wah-render-raw: renders a fixed test signal through the engine with
// a few fixed settings and writes the output samples as raw 32-bit
// little-endian floats. Two builds of the engine agree if and only if their
// files are identical byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "scenarios.h"

namespace {

constexpr int kFailure = 2;

bool write_little_endian(const std::vector<float>& samples, std::FILE* f) {
    std::vector<unsigned char> bytes(samples.size() * 4);
    for (size_t i = 0; i < samples.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: yawp-wah-render-raw OUTPUT.f32\n");
        return kFailure;
    }
    std::vector<float> samples;
    yawp::raw::render_all(&samples);

    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "yawp-wah-render-raw: cannot create '%s'\n", argv[1]);
        return kFailure;
    }
    const bool written = write_little_endian(samples, f);
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "yawp-wah-render-raw: cannot write '%s'\n", argv[1]);
        std::remove(argv[1]);
        return kFailure;
    }
    std::printf("%zu samples\n", samples.size());
    return 0;
}
