// Where the loaded module lies: its own folder, for the web view's loader
// library, and the bundle's Resources folder, for the page.
#pragma once

namespace yawp::vst3 {

// [any-thread] Set while the module is loaded, null otherwise. Narrow
// strings: the system code page on Windows, the file system's bytes
// elsewhere.
const char* module_directory();
const char* resources_directory();

// [main-thread] Called at every load of the module (DllMain's process
// attach, ModuleEntry) and at every unload. The first load finds the
// folders; false refuses the load when they cannot be found.
bool module_attach() noexcept;
void module_detach() noexcept;

// The pieces, open to tests.

// Cuts a module file name at its last two separators: "a/b/c/m.so" gives
// "a/b/c" and "a/b/Resources". False when a separator is missing or memory
// is short; both strings are then null.
struct ModuleFolders {
    char* module_dir = nullptr;     // malloc'ed
    char* resources_dir = nullptr;  // malloc'ed
};
bool folders_of(const char* file_name, char separator, ModuleFolders* out) noexcept;
void free_folders(ModuleFolders* folders) noexcept;

// The full file name of the module holding `address` (malloc'ed), or null.
char* module_file_name(const void* address) noexcept;

#ifdef _WIN32
// The full file name of a loaded module by its handle, however long
// (malloc'ed), or null.
char* module_file_name_of_handle(void* module) noexcept;
#endif

}  // namespace yawp::vst3
