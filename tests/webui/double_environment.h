// Inside the WebView2 double: what its two exports share. The double is
// built as WebView2Loader.dll (the loader's export) and as the runtime's
// EmbeddedBrowserWebView.dll (the runtime's export); either way the browser
// behind it is the same.
#pragma once

#include "webui/webview2.h"

// Starts a browser's environment as both exports do. entry is the export's
// name, the first line of the browser's log. The fault point
// "CreateCoreWebView2EnvironmentWithOptions" fails either export at once.
HRESULT double_create_environment(const wchar_t* entry, PCWSTR user_data_folder,
                                  ICoreWebView2EnvironmentOptions* options,
                                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
