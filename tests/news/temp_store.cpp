#include "temp_store.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace news_test {
namespace {

std::atomic<int> g_next_root{0};

fs::path fresh_root() {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    const std::string name = "yawp-news-" + std::to_string(pid) + "-" + std::to_string(g_next_root++);
    return fs::temp_directory_path() / name;
}

}  // namespace

void set_base_folder(const fs::path& folder) {
#ifdef _WIN32
    SetEnvironmentVariableW(L"APPDATA", folder.c_str());
#else
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
#endif
}

void clear_base_folder() {
#ifdef _WIN32
    SetEnvironmentVariableW(L"APPDATA", nullptr);
#else
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
#endif
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string text_of(const CrierPathChar* path) { return path == nullptr ? "(null)" : utf8(fs::path(path)); }

void put(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << utf8(file);
}

std::optional<std::string> get(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> tree(const fs::path& folder) {
    std::vector<std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it);
         it.increment(error))
    {
        const std::u8string relative = fs::relative(it->path(), folder).generic_u8string();
        entries.push_back(std::string(relative.begin(), relative.end()) + (it->is_directory() ? "/" : ""));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

void StoreTest::SetUp() {
    root = fresh_root();
    base = root / "appdata";
    store = base / "Tallow.AUDIO";
    fs::create_directories(base);
    set_base_folder(base);
#ifndef _WIN32
    // A store that wrongly fell back to the home folder stays inside the root.
    const char* home = std::getenv("HOME");
    saved_home = home ? std::optional<std::string>(home) : std::nullopt;
    setenv("HOME", utf8(root / "home").c_str(), 1);
#endif
}

void StoreTest::TearDown() {
    crier_set_allocator(nullptr);
#ifndef _WIN32
    if (saved_home) setenv("HOME", saved_home->c_str(), 1);
    else unsetenv("HOME");
#endif
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace news_test
