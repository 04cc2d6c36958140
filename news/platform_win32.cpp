// Windows: the store folder is %APPDATA%\Tallow.AUDIO, paths are UTF-16,
// files are text-mode C streams, and LockFileEx over the largest possible
// range gives the exclusive whole-file lock.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "news/crier.h"
#include "news/memory.h"
#include "news/platform.h"

namespace {

constexpr wchar_t kAppData[] = L"APPDATA";
constexpr wchar_t kStoreName[] = L"\\Tallow.AUDIO";
constexpr size_t kStoreNameLength = sizeof kStoreName / sizeof kStoreName[0] - 1;
constexpr DWORD kWholeFile = 0xFFFFFFFF;  // both halves of the locked range

size_t count_parts(const char* const* parts) {
    size_t n = 0;
    while (parts[n] != nullptr) ++n;
    return n;
}

// UTF-16 length of a part (invalid UTF-8 refused), 0 when it is empty or
// cannot be converted.
size_t utf16_length(const char* part) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, part, -1, nullptr, 0);
    return n > 1 ? static_cast<size_t>(n - 1) : 0;
}

// Appends "\" and a part that utf16_length has measured.
wchar_t* append_part(wchar_t* at, const char* part) {
    *at++ = L'\\';
    const int length = static_cast<int>(utf16_length(part));
    const int bytes = static_cast<int>(std::strlen(part));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, part, bytes, at, length);
    return at + length;
}

// The "\\server\share" after a UNC prefix.
size_t server_and_share_length(const wchar_t* s) {
    const wchar_t* at = s;
    while (*at != L'\0' && !yawp::news::is_separator(*at)) ++at;
    if (*at == L'\0') return static_cast<size_t>(at - s);
    for (++at; *at != L'\0' && !yawp::news::is_separator(*at); ++at) {
    }
    return static_cast<size_t>(at - s);
}

bool is_drive(const wchar_t* s) {
    const bool letter = (s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z');
    return letter && s[1] == L':';
}

HANDLE handle_of(FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

}  // namespace

CrierPathChar* crier_build_path(bool folder_only, const char* const* parts) {
    if (parts == nullptr) return nullptr;
    // Size including the terminator; an empty value would root the store at
    // the current drive, so it counts as missing.
    const DWORD app_data_size = GetEnvironmentVariableW(kAppData, nullptr, 0);
    if (app_data_size <= 1) return nullptr;

    size_t count = count_parts(parts);
    size_t total = app_data_size + kStoreNameLength;  // the size counts the terminator
    for (size_t i = 0; i < count; ++i) {
        const size_t length = crier_part_is_acceptable(parts[i]) ? utf16_length(parts[i]) : 0;
        if (length == 0) return nullptr;
        total += 1 + length;
    }
    if (folder_only && count > 0) --count;

    auto* path = static_cast<wchar_t*>(yawp::news::allocate(total * sizeof(wchar_t)));
    if (path == nullptr) return nullptr;
    // The value may have changed since it was measured.
    const DWORD got = GetEnvironmentVariableW(kAppData, path, app_data_size);
    if (got == 0 || got >= app_data_size) {
        std::free(path);
        return nullptr;
    }
    wchar_t* at = path + got;
    std::wmemcpy(at, kStoreName, kStoreNameLength);
    at += kStoreNameLength;
    for (size_t i = 0; i < count; ++i) at = append_part(at, parts[i]);
    *at = L'\0';
    return path;
}

namespace yawp::news {

// "\\?\" or "\\.\" then "UNC\server\share" or "C:"; "\\server\share"; "C:".
size_t root_length(const CrierPathChar* path) {
    const bool two_backslashes = path[0] == L'\\' && path[1] == L'\\';
    if (two_backslashes && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
        const wchar_t* rest = path + 4;
        if (std::wcsncmp(rest, L"UNC\\", 4) == 0) return 8 + server_and_share_length(rest + 4);
        return is_drive(rest) ? 6 : 4;
    }
    if (two_backslashes) return 2 + server_and_share_length(path + 2);
    if (path[0] != L'\0' && path[1] == L':') return 2;
    return 0;
}

bool is_separator(CrierPathChar c) { return c == L'\\' || c == L'/'; }

int create_folder(const CrierPathChar* path) {
    return CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ? 0 : -1;
}

FILE* open_file(const CrierPathChar* path, OpenFor purpose) {
    static constexpr const wchar_t* kModes[] = {L"rt", L"at", L"a+t"};
    return _wfopen(path, kModes[static_cast<int>(purpose)]);
}

int lock_file(FILE* file) {
    OVERLAPPED range{};  // from offset 0
    return LockFileEx(handle_of(file), LOCKFILE_EXCLUSIVE_LOCK, 0, kWholeFile, kWholeFile, &range) ? 0 : -1;
}

void unlock_file(FILE* file) {
    OVERLAPPED range{};
    UnlockFileEx(handle_of(file), 0, kWholeFile, kWholeFile, &range);
}

int empty_file(FILE* file) { return _chsize(_fileno(file), 0); }

}  // namespace yawp::news
