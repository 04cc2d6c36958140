// Finding an installed WebView2 runtime without Microsoft's loader DLL.
//
// WebView2Loader.dll does little more than this: it reads where the runtime
// is installed from the registry (or takes a fixed-version folder from the
// environment) and calls the runtime's own library. When a bundle carries
// no loader, the web view host does the same through this lookup.
//
// The lookup only reads: the registry, two environment variables and the
// existence of files. It reaches them through WV2RuntimeSystem, so tests can
// give it a system of their own; wv2_this_system() is the real one.
#pragma once

#include <cstddef>

#include <windows.h>

// Room for a runtime library's whole path, with its terminating zero; a
// longer registry value or folder is taken as malformed.
inline constexpr size_t kWV2RuntimePathChars = 1024;

// How the runtime's library is told where its browser is.
enum WV2RuntimeType : int {
    WV2_RUNTIME_INSTALLED = 0,  // the Evergreen runtime, found in the registry
    WV2_RUNTIME_FIXED = 1,      // a fixed-version runtime in a folder of its own
};

// What the lookup reads. Each reader writes a zero-terminated text into
// text (capacity characters) and returns its length, or 0 when there is
// nothing to read, it is not text, or it does not fit.
struct WV2RuntimeSystem {
    void* user_data;
    // The REG_SZ value "EBWebView" of key under root, in the registry's
    // 32-bit view, where the runtime's installer records it.
    size_t (*read_registry)(void* user_data, HKEY root, const wchar_t* key, wchar_t* text, size_t capacity);
    size_t (*read_environment)(void* user_data, const wchar_t* name, wchar_t* text, size_t capacity);
    // The folder of the host program (not of the plug-in), no trailing
    // separator.
    size_t (*program_folder)(void* user_data, wchar_t* text, size_t capacity);
    bool (*file_exists)(void* user_data, const wchar_t* path);
};

struct WV2Runtime {
    wchar_t library[kWV2RuntimePathChars];  // absolute path of EmbeddedBrowserWebView.dll
    WV2RuntimeType type;
};

// [main-thread] The runtime a loader would choose, or false when there is
// none: the fixed-version folder when WEBVIEW2_BROWSER_EXECUTABLE_FOLDER
// names one, otherwise the first usable installation from the stable
// channel to canary (canary to stable when
// WEBVIEW2_RELEASE_CHANNEL_PREFERENCE is "1"), per machine before per user.
bool wv2_find_runtime(const WV2RuntimeSystem& system, WV2Runtime* found);

// [any-thread] The system as it is: the registry, the process environment
// and the file system.
const WV2RuntimeSystem& wv2_this_system();
