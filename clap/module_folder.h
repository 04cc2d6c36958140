// Where the loaded module lies. The CLAP folder "Yawp Wah" holds the module
// and what it needs beside it:
//
//   Yawp Wah/
//     Yawp Wah.clap         the module
//     Resources/            the editor's page
//     yawp-wah-editor       the editor helper (Linux)
//     WebView2Loader.dll    Microsoft's loader, when the build was given one
//
// Hosts search their CLAP folders recursively, so the folder goes into any
// of them whole; installers and packages keep it as it is.
#pragma once

namespace yawp::clap {

// [any-thread] Set between a successful clap_entry.init and its deinit,
// null otherwise. The module's folder in the file system's bytes (Linux) or
// in the system code page (Windows, where the WebView2 loader is loaded
// from it); the page's folder in UTF-8.
const char* module_folder();
const char* page_folder();

// [main-thread] Called by clap_entry.init (every call) and deinit (every
// call): the first init finds the folders, the last deinit frees them.
// False when the module's own file cannot be found.
bool module_folders_attach() noexcept;
void module_folders_detach() noexcept;

}  // namespace yawp::clap
