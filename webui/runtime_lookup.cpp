// The WebView2 runtime lookup: which library a loader would call, from the
// registry's records of the installed channels or a fixed-version folder.
#include "webui/runtime_lookup.h"

#include <cwchar>

namespace {

// Where the runtime's installer records each channel's version folder.
const wchar_t kClientStateKey[] = L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\";
// Stable first: the order a loader searches in unless told otherwise.
const wchar_t* const kChannels[] = {
    L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",  // stable
    L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",  // beta
    L"{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}",  // dev
    L"{65C35B14-6C1D-4122-AC46-7148CC9D6497}",  // canary
};
constexpr size_t kChannelCount = sizeof(kChannels) / sizeof(kChannels[0]);
// Per machine before per user.
const HKEY kRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

const wchar_t kFixedFolderVariable[] = L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER";
const wchar_t kChannelPreferenceVariable[] = L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE";
// The 64-bit library below a version folder (or a fixed-version folder).
// x86-only installations on 64-bit Windows lack it.
const wchar_t kLibraryInFolder[] = L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";

// The oldest runtime whose library has the export we call.
constexpr unsigned kVersionParts = 4;
constexpr unsigned kOldestVersion[kVersionParts] = {86, 0, 616, 0};

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:\..." or "\\server\...": a registry value must name a folder outright,
// since the library is loaded by absolute path.
bool is_absolute(const wchar_t* path) {
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && is_separator(path[2]);
    return drive || (is_separator(path[0]) && is_separator(path[1]));
}

// Drops trailing separators; returns the length left.
size_t trim_separators(wchar_t* path, size_t length) {
    while (length > 0 && is_separator(path[length - 1])) path[--length] = L'\0';
    return length;
}

// "131.0.2903.86": four decimal numbers and nothing else.
bool parse_version(const wchar_t* text, unsigned (&parts)[kVersionParts]) {
    for (unsigned i = 0; i < kVersionParts; ++i) {
        if (*text < L'0' || *text > L'9') return false;
        unsigned long part = 0;
        while (*text >= L'0' && *text <= L'9') {
            part = part * 10 + unsigned(*text - L'0');
            if (part > 0xFFFFu) return false;
            ++text;
        }
        parts[i] = unsigned(part);
        if (i + 1 < kVersionParts && *text++ != L'.') return false;
    }
    return *text == L'\0';
}

bool recent_enough(const unsigned (&version)[kVersionParts]) {
    for (unsigned i = 0; i < kVersionParts; ++i)
        if (version[i] != kOldestVersion[i]) return version[i] > kOldestVersion[i];
    return true;
}

// The library below folder (length characters, no trailing separator), when
// it fits and exists.
bool library_below(const WV2RuntimeSystem& system, const wchar_t* folder, size_t length, WV2Runtime* found) {
    const size_t suffix = sizeof(kLibraryInFolder) / sizeof(wchar_t) - 1;
    if (length == 0 || length + suffix >= kWV2RuntimePathChars) return false;
    wmemcpy(found->library, folder, length);
    wmemcpy(found->library + length, kLibraryInFolder, suffix + 1);
    return system.file_exists(system.user_data, found->library);
}

// One channel's record under one root: a version folder of a recent enough
// runtime that has its 64-bit library.
bool installed_runtime(const WV2RuntimeSystem& system, HKEY root, const wchar_t* channel, WV2Runtime* found) {
    wchar_t key[sizeof(kClientStateKey) / sizeof(wchar_t) + 40];
    swprintf(key, sizeof(key) / sizeof(wchar_t), L"%ls%ls", kClientStateKey, channel);
    wchar_t folder[kWV2RuntimePathChars];
    size_t length = system.read_registry(system.user_data, root, key, folder, kWV2RuntimePathChars);
    if (length == 0 || length >= kWV2RuntimePathChars || folder[length] != L'\0') return false;
    length = trim_separators(folder, length);
    if (length == 0 || !is_absolute(folder)) return false;
    const wchar_t* version_text = folder + length;
    while (version_text > folder && !is_separator(version_text[-1])) --version_text;
    unsigned version[kVersionParts];
    if (!parse_version(version_text, version) || !recent_enough(version)) return false;
    found->type = WV2_RUNTIME_INSTALLED;
    return library_below(system, folder, length, found);
}

// WEBVIEW2_BROWSER_EXECUTABLE_FOLDER, absolute or relative to the host
// program's folder.
bool fixed_runtime(const WV2RuntimeSystem& system, const wchar_t* named, size_t length, WV2Runtime* found) {
    wchar_t folder[kWV2RuntimePathChars];
    size_t at = 0;
    if (!is_absolute(named)) {
        at = system.program_folder(system.user_data, folder, kWV2RuntimePathChars);
        if (at == 0 || at + 1 + length >= kWV2RuntimePathChars) return false;
        at = trim_separators(folder, at);
        folder[at++] = L'\\';
    }
    if (at + length >= kWV2RuntimePathChars) return false;
    wmemcpy(folder + at, named, length + 1);
    length = trim_separators(folder, at + length);
    found->type = WV2_RUNTIME_FIXED;
    return library_below(system, folder, length, found);
}

}  // namespace

// [main-thread]
bool wv2_find_runtime(const WV2RuntimeSystem& system, WV2Runtime* found) {
    if (found == nullptr) return false;
    wchar_t text[kWV2RuntimePathChars];
    // A fixed folder replaces the search, as it does for the loader: whoever
    // set it wants that runtime and no other.
    size_t length = system.read_environment(system.user_data, kFixedFolderVariable, text, kWV2RuntimePathChars);
    if (length > 0) return fixed_runtime(system, text, length, found);

    length = system.read_environment(system.user_data, kChannelPreferenceVariable, text, kWV2RuntimePathChars);
    const bool canary_first = length == 1 && text[0] == L'1';
    for (size_t i = 0; i < kChannelCount; ++i) {
        const wchar_t* channel = kChannels[canary_first ? kChannelCount - 1 - i : i];
        for (HKEY root : kRoots)
            if (installed_runtime(system, root, channel, found)) return true;
    }
    return false;
}

// --- The system as it is -----------------------------------------------------------

namespace {

// [any-thread]
size_t registry_text(void*, HKEY root, const wchar_t* key, wchar_t* text, size_t capacity) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS) return 0;
    DWORD type = 0;
    DWORD bytes = DWORD((capacity - 1) * sizeof(wchar_t));
    const LONG status =
        RegQueryValueExW(opened, L"EBWebView", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
    // A stored string need not end in a zero, or may end in several.
    size_t length = bytes / sizeof(wchar_t);
    text[length] = L'\0';
    return wcslen(text);
}

// [any-thread]
size_t environment_text(void*, const wchar_t* name, wchar_t* text, size_t capacity) {
    const DWORD length = GetEnvironmentVariableW(name, text, DWORD(capacity));
    return length < capacity ? length : 0;
}

// [any-thread]
size_t program_folder(void*, wchar_t* text, size_t capacity) {
    const DWORD length = GetModuleFileNameW(nullptr, text, DWORD(capacity));
    if (length == 0 || length >= capacity) return 0;
    size_t end = length;
    while (end > 0 && !is_separator(text[end - 1])) --end;
    text[end] = L'\0';
    return trim_separators(text, end);
}

// [any-thread]
bool file_exists(void*, const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

const WV2RuntimeSystem kThisSystem{nullptr, registry_text, environment_text, program_folder, file_exists};

}  // namespace

// [any-thread]
const WV2RuntimeSystem& wv2_this_system() { return kThisSystem; }
