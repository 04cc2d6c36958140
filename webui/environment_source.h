// Where the browser's environment comes from: Microsoft's loader,
// WebView2Loader.dll, when the bundle carries it, otherwise the installed
// WebView2 runtime's own library, found as the loader would find it.
#pragma once

#include <windows.h>

#include "webui/runtime_lookup.h"
#include "webui/webview2.h"

struct WV2EnvironmentSource {
    HMODULE module;  // the loader or the runtime's library, kept loaded while a host uses it
    WV2CreateEnvironmentWithOptions loader_entry;  // set when the loader was found
    WV2CreateEnvironmentInternal runtime_entry;    // set otherwise
    WV2RuntimeType runtime_type;
};

// [main-thread] Loads "<loader folder>\WebView2Loader.dll" when it is there
// with its entry point, otherwise the runtime's library by its absolute
// path. False when neither is there (nothing stays loaded then).
bool wv2_open_environment_source(const char* loader_folder, const WV2RuntimeSystem& system,
                                 WV2EnvironmentSource* source);

// [main-thread] Whether wv2_open_environment_source could find anything:
// the loader with its entry point, or a runtime library on disk. Starts no
// browser and leaves nothing loaded.
bool wv2_environment_source_exists(const char* loader_folder, const WV2RuntimeSystem& system);

// [web-view-thread] Asks the source for an environment; the answer comes
// through the handler, as the loader's does.
HRESULT wv2_create_environment(const WV2EnvironmentSource& source, PCWSTR user_data_folder,
                               ICoreWebView2EnvironmentOptions* options,
                               ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
