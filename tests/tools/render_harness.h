// Helpers for running yawp-wah-render as a subprocess on files made here.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace yawp::test {

// A fresh directory under the system's temporary folder, removed with its
// contents at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the files in the directory, sorted.
    std::vector<std::string> listing() const;

private:
    std::string path_;
};

struct Sound {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};

// Writes `samples` (interleaved) with the given format; false on failure.
bool write_sound(const std::string& path, const std::vector<float>& samples, int channels,
                 int format, int sample_rate = 48000);
bool read_sound(const std::string& path, Sound* out);

// Mono integer files through libsndfile's 32-bit interface (samples
// left-aligned whatever the file's width), for bit-exact comparisons.
bool write_words(const std::string& path, const std::vector<int32_t>& samples, int format);
bool read_words(const std::string& path, std::vector<int32_t>* samples);

// A deterministic test signal in [-0.5, 0.5].
std::vector<float> test_signal(size_t count, unsigned seed = 1);

struct RunResult {
    int status = -1;  // exit status; -1 if the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the renderer with these arguments and captures its output streams.
RunResult run_render(const std::vector<std::string>& args);

size_t count_lines(const std::string& text);

}  // namespace yawp::test
