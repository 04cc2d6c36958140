#include "vst3/module_paths.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace yawp::vst3 {
namespace {

constexpr char kResources[] = "Resources";

#ifdef _WIN32
constexpr char kSeparator = '\\';
constexpr unsigned long kFirstNameBuffer = MAX_PATH;
// Beyond any path Windows can hold, even at two bytes per character.
constexpr unsigned long kLastNameBuffer = 1ul << 17;
#else
constexpr char kSeparator = '/';
#endif

ModuleFolders g_folders;
unsigned g_load_count = 0;

// A copy of the first `length` characters.
char* copy_prefix(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// Where the last separator in the first `length` characters is, or null.
const char* last_separator(const char* text, size_t length, char separator) {
    for (size_t i = length; i > 0; --i)
        if (text[i - 1] == separator) return text + i - 1;
    return nullptr;
}

}  // namespace

const char* module_directory() { return g_folders.module_dir; }
const char* resources_directory() { return g_folders.resources_dir; }

bool folders_of(const char* file_name, char separator, ModuleFolders* out) noexcept {
    *out = {};
    const char* module_end = last_separator(file_name, std::strlen(file_name), separator);
    if (module_end == nullptr) return false;
    const size_t module_length = static_cast<size_t>(module_end - file_name);
    const char* parent_end = last_separator(file_name, module_length, separator);
    if (parent_end == nullptr) return false;
    // The parent with its separator, then the folder's name.
    const size_t parent_length = static_cast<size_t>(parent_end - file_name) + 1;

    ModuleFolders f;
    f.module_dir = copy_prefix(file_name, module_length);
    f.resources_dir = static_cast<char*>(std::malloc(parent_length + sizeof kResources));
    if (f.module_dir == nullptr || f.resources_dir == nullptr) {
        free_folders(&f);
        return false;
    }
    std::memcpy(f.resources_dir, file_name, parent_length);
    std::memcpy(f.resources_dir + parent_length, kResources, sizeof kResources);
    *out = f;
    return true;
}

void free_folders(ModuleFolders* folders) noexcept {
    std::free(folders->module_dir);
    std::free(folders->resources_dir);
    *folders = {};
}

#ifdef _WIN32

// The name fills the whole buffer when it did not fit: grow and read again.
char* module_file_name_of_handle(void* module) noexcept {
    for (unsigned long size = kFirstNameBuffer; size <= kLastNameBuffer; size *= 2) {
        char* name = static_cast<char*>(std::malloc(size));
        if (name == nullptr) return nullptr;
        const unsigned long length = GetModuleFileNameA(static_cast<HMODULE>(module), name, size);
        if (length > 0 && length < size) return name;
        std::free(name);
        if (length == 0) return nullptr;
    }
    return nullptr;
}

char* module_file_name(const void* address) noexcept {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, static_cast<const char*>(address), &module)) return nullptr;
    return module_file_name_of_handle(module);
}

#else

// A host may have loaded the module by a relative name; the folders must
// stay right after it changes its working directory.
char* module_file_name(const void* address) noexcept {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return nullptr;
    if (info.dli_fname[0] == kSeparator) return copy_prefix(info.dli_fname, std::strlen(info.dli_fname));
    return realpath(info.dli_fname, nullptr);
}

#endif

bool module_attach() noexcept {
    if (g_load_count > 0) {
        ++g_load_count;
        return true;
    }
    char* name = module_file_name(&g_load_count);
    if (name == nullptr) return false;
    const bool found = folders_of(name, kSeparator, &g_folders);
    std::free(name);
    if (!found) return false;
    g_load_count = 1;
    return true;
}

void module_detach() noexcept {
    if (g_load_count == 0) return;
    if (--g_load_count == 0) free_folders(&g_folders);
}

}  // namespace yawp::vst3
