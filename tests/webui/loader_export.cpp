// The loader double's export, as WebView2Loader.dll has it.
#include "tests/webui/double_environment.h"

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    return double_create_environment(L"CreateCoreWebView2EnvironmentWithOptions", user_data_folder, options,
                                     handler);
}
