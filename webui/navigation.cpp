// The browser stays on our own page, loaded from the resources folder; any
// other address is something the user clicked to read elsewhere, so it goes
// to the system's handler instead of replacing the editor.
#include <cstdlib>
#include <cwchar>

#include "webui/host_record.h"

namespace {

const wchar_t kOpener[] = L"rundll32 url.dll,FileProtocolHandler ";
// The opener, two quotes and the terminator.
constexpr size_t kCommandExtra = 40;
static_assert(sizeof(kOpener) / sizeof(wchar_t) - 1 + 3 == kCommandExtra);

// Stops the browser from acting on a non-local address (cancel or handled,
// per event) and opens it outside instead.
template <class Args>
HRESULT keep_local(Args* args, HRESULT (STDMETHODCALLTYPE Args::*stop)(BOOL)) {
    LPWSTR uri = nullptr;
    HRESULT result = args->get_Uri(&uri);
    if (FAILED(result)) return result;
    if (uri == nullptr || !wv2_uri_is_local(uri)) {
        (args->*stop)(TRUE);
        if (uri != nullptr) wv2_open_external(uri);
    }
    CoTaskMemFree(uri);
    return S_OK;
}

}  // namespace

// [web-view-thread] Case matters: the browser writes the scheme of its own file
// addresses in lower case, and nothing else counts.
bool wv2_uri_is_local(LPCWSTR uri) { return wcsncmp(uri, L"file:", 5) == 0; }

// [web-view-thread]
void wv2_open_external(LPCWSTR uri) {
    size_t length = wcslen(uri);
    auto* command = static_cast<wchar_t*>(malloc((length + kCommandExtra) * sizeof(wchar_t)));
    if (command == nullptr) return;
    wchar_t* end = command;
    for (const wchar_t* part : {kOpener, L"\"", uri, L"\""}) {
        size_t n = wcslen(part);
        wmemcpy(end, part, n);
        end += n;
    }
    *end = L'\0';
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        wv2_wait(process.hProcess);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    free(command);
}

// [web-view-thread]
HRESULT wv2_on_navigation_starting(ICoreWebView2NavigationStartingEventArgs* args) {
    return keep_local(args, &ICoreWebView2NavigationStartingEventArgs::put_Cancel);
}

// [web-view-thread] A local address keeps the browser's own handling.
HRESULT wv2_on_new_window_requested(ICoreWebView2NewWindowRequestedEventArgs* args) {
    return keep_local(args, &ICoreWebView2NewWindowRequestedEventArgs::put_Handled);
}
