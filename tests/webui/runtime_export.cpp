// The runtime double's export, as EmbeddedBrowserWebView.dll has it, and a
// record of how it was called.
#include <atomic>

#include "tests/webui/double_environment.h"

namespace {

std::atomic<int> g_calls{0};
std::atomic<int> g_flag{-1};
std::atomic<int> g_type{-1};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    BOOL flag, int runtime_type, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    ++g_calls;
    g_flag = flag;
    g_type = runtime_type;
    return double_create_environment(L"CreateWebViewEnvironmentWithOptionsInternal", user_data_folder, options,
                                     handler);
}

// The calls so far; the flag and runtime type of the latest (-1 before any).
// wv2double_reset does not clear them: the tests read the count before and
// after.
extern "C" __declspec(dllexport) int wv2double_runtime_calls(int* flag, int* runtime_type) {
    if (flag != nullptr) *flag = g_flag;
    if (runtime_type != nullptr) *runtime_type = g_type;
    return g_calls;
}
