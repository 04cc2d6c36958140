// Linux: the store folder follows the XDG base directory rules, paths are
// UTF-8, and flock gives the exclusive whole-file lock. flock locks belong to
// the open file, not to the process, so two hosts in one process serialise
// just as two processes do.
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "news/crier.h"
#include "news/memory.h"
#include "news/platform.h"

namespace {

constexpr char kStoreName[] = "/Tallow.AUDIO";
constexpr char kDefaultDataHome[] = "/.local/share";
// The store is the user's own: nobody else needs to look into it.
constexpr mode_t kFolderMode = 0700;

struct StoreFolder {
    const char* base = nullptr;  // an absolute path from the environment
    const char* middle = "";     // what the XDG default adds to $HOME
};

// Relative values are ignored, as the XDG rules ask.
StoreFolder find_store_folder() {
    const char* data_home = std::getenv("XDG_DATA_HOME");
    if (data_home != nullptr && data_home[0] == '/') return {data_home, ""};
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return {home, kDefaultDataHome};
    return {};
}

size_t count_parts(const char* const* parts) {
    size_t n = 0;
    while (parts[n] != nullptr) ++n;
    return n;
}

// Copies a part, turning "\" into "/" so that nested names mean the same
// folders as on Windows.
char* append_part(char* at, const char* part) {
    *at++ = '/';
    for (; *part != '\0'; ++part) *at++ = *part == '\\' ? '/' : *part;
    return at;
}

char* append(char* at, const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(at, text, n);
    return at + n;
}

}  // namespace

CrierPathChar* crier_build_path(bool folder_only, const char* const* parts) {
    const StoreFolder folder = find_store_folder();
    if (folder.base == nullptr || parts == nullptr) return nullptr;

    size_t count = count_parts(parts);
    size_t total = std::strlen(folder.base) + std::strlen(folder.middle) + std::strlen(kStoreName);
    for (size_t i = 0; i < count; ++i) {
        if (!crier_part_is_acceptable(parts[i])) return nullptr;
        total += 1 + std::strlen(parts[i]);
    }
    if (folder_only && count > 0) --count;

    char* path = static_cast<char*>(yawp::news::allocate(total + 1));
    if (path == nullptr) return nullptr;
    char* at = append(append(append(path, folder.base), folder.middle), kStoreName);
    for (size_t i = 0; i < count; ++i) at = append_part(at, parts[i]);
    *at = '\0';
    return path;
}

namespace yawp::news {

size_t root_length(const CrierPathChar*) { return 0; }

bool is_separator(CrierPathChar c) { return c == '/'; }

int create_folder(const CrierPathChar* path) {
    return mkdir(path, kFolderMode) == 0 || errno == EEXIST ? 0 : -1;
}

FILE* open_file(const CrierPathChar* path, OpenFor purpose) {
    static constexpr const char* kModes[] = {"r", "a", "a+"};
    FILE* file = std::fopen(path, kModes[static_cast<int>(purpose)]);
    if (file == nullptr) {
        // A file where a folder was expected: the file is missing, as on Windows.
        if (errno == ENOTDIR) errno = ENOENT;
        return nullptr;
    }
    // Linux opens folders for reading; Windows does not. Refuse them alike.
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

int lock_file(FILE* file) {
    int result;
    do result = flock(fileno(file), LOCK_EX);
    while (result != 0 && errno == EINTR);  // a signal is not a failure to lock
    return result == 0 ? 0 : -1;
}

void unlock_file(FILE* file) { flock(fileno(file), LOCK_UN); }

int empty_file(FILE* file) { return ftruncate(fileno(file), 0) == 0 ? 0 : -1; }

}  // namespace yawp::news
