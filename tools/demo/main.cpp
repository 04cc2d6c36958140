// yawp-wah-demo OUTDIR: makes a synthetic input, renders it through a few
// settings that show what the effect does and through a tour of factory
// presets, and writes input.wav, one WAV per setting, scenes.txt (file
// name and title per line, for the sonogram script) and presets-levels.txt
// (every factory preset's peak and level change on the measuring inputs).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "demo_input.h"
#include "demo_scenes.h"
#include "preset_levels.h"
#include "preset_tour.h"
#include "wav_writer.h"

namespace {

constexpr int kFailure = 2;

float peak(const std::vector<float>& samples) {
    float p = 0;
    for (float x : samples) p = std::fmax(p, std::fabs(x));
    return p;
}

bool save(const std::filesystem::path& dir, const std::string& name,
          const std::vector<float>& samples) {
    const std::string path = (dir / (name + ".wav")).string();
    std::string error;
    if (!yawp::demo::write_wav(path, samples, yawp::demo::kSampleRate, &error)) {
        std::fprintf(stderr, "yawp-wah-demo: cannot write '%s': %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::printf("%-28s peak %.3f\n", path.c_str(), peak(samples));
    return true;
}

// The levels table, so anyone can see how each preset sits against the
// dry sound without running the tests.
bool write_levels(const std::filesystem::path& dir) {
    const std::string path = (dir / "presets-levels.txt").string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "yawp-wah-demo: cannot write '%s'\n", path.c_str());
        return false;
    }
    std::fprintf(out,
                 "Factory presets: output peak and RMS change against the dry input.\n"
                 "Each input peaks at %.0f dBFS; limits: peak at or below %.0f dBFS, RMS within %.0f dB\n"
                 "(%.0f dB for the presets whose character needs it).\n\n",
                 yawp::demo::kInputPeakDb, yawp::demo::kPeakCeilingDb, yawp::demo::kLoudnessBandDb,
                 yawp::demo::kWideLoudnessBandDb);
    std::vector<yawp::demo::Level> levels;
    for (uint32_t rate : yawp::demo::kLevelRates)
        for (const yawp::demo::Level& l : yawp::demo::measure_factory_levels(rate)) levels.push_back(l);
    yawp::demo::print_levels(out, levels);
    const bool ok = std::fclose(out) == 0;
    if (ok) std::printf("%s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: yawp-wah-demo OUTDIR\n");
        return kFailure;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "yawp-wah-demo: cannot create '%s': %s\n", argv[1],
                     ec.message().c_str());
        return kFailure;
    }

    const std::vector<float> input = yawp::demo::make_input();
    if (!save(dir, "input", input)) return kFailure;

    const std::string list_path = (dir / "scenes.txt").string();
    std::FILE* list = std::fopen(list_path.c_str(), "w");
    if (list == nullptr) {
        std::fprintf(stderr, "yawp-wah-demo: cannot write '%s'\n", list_path.c_str());
        return kFailure;
    }
    std::fprintf(list, "input|Input: sawtooth chord, then plucked notes (dry)\n");
    bool ok = true;
    for (const auto* group : {&yawp::demo::scenes(), &yawp::demo::preset_tour()}) {
        for (const yawp::demo::Scene& scene : *group) {
            ok = ok && save(dir, scene.name, yawp::demo::render_scene(scene, input));
            std::fprintf(list, "%s|%s\n", scene.name, scene.title);
        }
    }
    if (std::fclose(list) != 0) ok = false;
    ok = ok && write_levels(dir);
    return ok ? 0 : kFailure;
}
