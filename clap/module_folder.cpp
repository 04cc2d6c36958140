#include "clap/module_folder.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace yawp::clap {
namespace {

constexpr char kPageFolder[] = "Resources";

#ifdef _WIN32
constexpr char kSeparator = '\\';
constexpr DWORD kFirstNameBuffer = MAX_PATH;
// Beyond any path Windows can hold.
constexpr DWORD kLastNameBuffer = 1ul << 16;
#else
constexpr char kSeparator = '/';
#endif

char* g_module_folder = nullptr;  // malloc'ed
char* g_page_folder = nullptr;    // malloc'ed
unsigned g_attach_count = 0;

// A copy of the first `length` characters, or null.
char* copy_prefix(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// The folder part of a file name ("a/b/m.clap" gives "a/b"), or null.
char* folder_of(const char* file_name) {
    const char* end = std::strrchr(file_name, kSeparator);
    return end == nullptr ? nullptr : copy_prefix(file_name, static_cast<size_t>(end - file_name));
}

// "`folder`/Resources", or null.
char* page_folder_in(const char* folder) {
    const size_t length = std::strlen(folder);
    char* page = static_cast<char*>(std::malloc(length + 1 + sizeof kPageFolder));
    if (page == nullptr) return nullptr;
    std::memcpy(page, folder, length);
    page[length] = kSeparator;
    std::memcpy(page + length + 1, kPageFolder, sizeof kPageFolder);
    return page;
}

#ifdef _WIN32

HMODULE this_module() {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&g_attach_count), &module)) return nullptr;
    return module;
}

// The module's file name in UTF-16; the name fills the whole buffer when it
// did not fit: grow and read again.
wchar_t* module_file_name(HMODULE module) {
    for (DWORD size = kFirstNameBuffer; size <= kLastNameBuffer; size *= 2) {
        auto* name = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
        if (name == nullptr) return nullptr;
        const DWORD length = GetModuleFileNameW(module, name, size);
        if (length > 0 && length < size) return name;
        std::free(name);
        if (length == 0) return nullptr;
    }
    return nullptr;
}

// The text in a code page; null when a character has no form there (the
// WebView2 loader cannot be loaded from such a folder by its narrow name).
char* narrow(const wchar_t* text, UINT code_page) {
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossy_out = code_page == CP_UTF8 ? nullptr : &lossy;
    const int size = WideCharToMultiByte(code_page, flags, text, -1, nullptr, 0, nullptr, lossy_out);
    if (size <= 0 || lossy) return nullptr;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (out == nullptr) return nullptr;
    if (WideCharToMultiByte(code_page, flags, text, -1, out, size, nullptr, lossy_out) != size || lossy) {
        std::free(out);
        return nullptr;
    }
    return out;
}

// The module's folder in the system code page (empty when it has no form
// there: the editor then finds the WebView2 runtime instead of a loader),
// and the page's folder in UTF-8.
bool find_folders() {
    HMODULE module = this_module();
    wchar_t* name = module != nullptr ? module_file_name(module) : nullptr;
    if (name == nullptr) return false;
    char* utf8 = narrow(name, CP_UTF8);
    char* code_page = narrow(name, CP_ACP);
    std::free(name);
    char* utf8_folder = utf8 != nullptr ? folder_of(utf8) : nullptr;
    g_page_folder = utf8_folder != nullptr ? page_folder_in(utf8_folder) : nullptr;
    g_module_folder = code_page != nullptr ? folder_of(code_page) : copy_prefix("", 0);
    std::free(utf8);
    std::free(code_page);
    std::free(utf8_folder);
    return g_page_folder != nullptr && g_module_folder != nullptr;
}

#else

// A host may have loaded the module by a relative name; the folders must
// stay right after it changes its working directory.
bool find_folders() {
    Dl_info info{};
    if (dladdr(&g_attach_count, &info) == 0 || info.dli_fname == nullptr) return false;
    char* name = info.dli_fname[0] == kSeparator ? copy_prefix(info.dli_fname, std::strlen(info.dli_fname))
                                                  : realpath(info.dli_fname, nullptr);
    if (name == nullptr) return false;
    g_module_folder = folder_of(name);
    std::free(name);
    g_page_folder = g_module_folder != nullptr ? page_folder_in(g_module_folder) : nullptr;
    return g_page_folder != nullptr;
}

#endif

void free_folders() {
    std::free(g_module_folder);
    std::free(g_page_folder);
    g_module_folder = g_page_folder = nullptr;
}

}  // namespace

const char* module_folder() { return g_module_folder; }
const char* page_folder() { return g_page_folder; }

bool module_folders_attach() noexcept {
    if (g_attach_count > 0) {
        ++g_attach_count;
        return true;
    }
    if (!find_folders()) {
        free_folders();
        return false;
    }
    g_attach_count = 1;
    return true;
}

void module_folders_detach() noexcept {
    if (g_attach_count == 0) return;
    if (--g_attach_count == 0) free_folders();
}

}  // namespace yawp::clap
