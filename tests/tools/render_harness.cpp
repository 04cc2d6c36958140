#include "render_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace yawp::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "yawp-render-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool write_sound(const std::string& path, const std::vector<float>& samples, int channels,
                 int format, int sample_rate) {
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = sf_writef_float(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

bool read_sound(const std::string& path, Sound* out) {
    out->info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &out->info);
    if (f == nullptr) return false;
    out->samples.assign(static_cast<size_t>(out->info.frames * out->info.channels), 0.0f);
    const bool ok = sf_readf_float(f, out->samples.data(), out->info.frames) == out->info.frames;
    sf_close(f);
    return ok;
}

bool write_words(const std::string& path, const std::vector<int32_t>& samples, int format) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t count = static_cast<sf_count_t>(samples.size());
    const bool ok = sf_write_int(f, samples.data(), count) == count;
    return sf_close(f) == 0 && ok;
}

bool read_words(const std::string& path, std::vector<int32_t>* samples) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr || info.channels != 1) return false;
    samples->assign(static_cast<size_t>(info.frames), 0);
    const bool ok = sf_read_int(f, samples->data(), info.frames) == info.frames;
    sf_close(f);
    return ok;
}

std::vector<float> test_signal(size_t count, unsigned seed) {
    std::vector<float> x(count);
    unsigned state = seed;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        const float noise = static_cast<float>((state >> 9) & 0xFFFF) / 65536.0f - 0.5f;
        const float ramp = static_cast<float>(i % 97) / 97.0f - 0.5f;
        x[i] = 0.5f * noise + 0.5f * ramp;
    }
    return x;
}

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

RunResult run_render(const std::vector<std::string>& args) {
    // Kept apart from the test's own directory, whose listing tests check.
    const TempDir captures;
    const std::string out_path = captures.file("stdout");
    const std::string err_path = captures.file("stderr");
    std::vector<std::string> all = {YAWP_RENDER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), kFlags, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), kFlags, 0644);
    pid_t pid = 0;
    RunResult r;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return r;
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

size_t count_lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace yawp::test
