// The environment options: three strings and a flag that the loader reads
// back through the getters, and frees, when it starts the browser.
#include <cstring>
#include <cwchar>

#include "webui/host_record.h"

namespace {

// [any-thread] The reason an allocation failed; never a success, even if the
// system left no error number behind.
HRESULT last_error_result() {
    HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : E_OUTOFMEMORY;
}

// [any-thread] A CoTaskMemAlloc copy, since whoever asks frees it with
// CoTaskMemFree.
HRESULT copy_out(LPCWSTR text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (text == nullptr) return S_OK;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return last_error_result();
    memcpy(*out, text, bytes);
    return S_OK;
}

// [web-view-thread]
HRESULT replace(LPWSTR* field, LPCWSTR value) {
    LPWSTR copy = nullptr;
    HRESULT result = copy_out(value, &copy);
    if (FAILED(result)) return result;
    CoTaskMemFree(*field);
    *field = copy;
    return S_OK;
}

}  // namespace

// [web-view-thread]
HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    // IUnknown too: COM requires every object to answer it.
    if (iid != IID_IUnknown && iid != IID_ICoreWebView2EnvironmentOptions) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<ICoreWebView2EnvironmentOptions*>(this);
    AddRef();
    return S_OK;
}

// [web-view-thread]
ULONG STDMETHODCALLTYPE WV2EnvironmentOptions::AddRef() { return refs_.fetch_add(1) + 1; }

// [web-view-thread]
ULONG STDMETHODCALLTYPE WV2EnvironmentOptions::Release() {
    uint32_t left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

WV2EnvironmentOptions::~WV2EnvironmentOptions() {
    CoTaskMemFree(additional_browser_arguments_);
    CoTaskMemFree(language_);
    CoTaskMemFree(target_compatible_browser_version_);
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::get_AdditionalBrowserArguments(LPWSTR* value) {
    return copy_out(additional_browser_arguments_, value);
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::put_AdditionalBrowserArguments(LPCWSTR value) {
    return replace(&additional_browser_arguments_, value);
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::get_Language(LPWSTR* value) { return copy_out(language_, value); }

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::put_Language(LPCWSTR value) { return replace(&language_, value); }

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::get_TargetCompatibleBrowserVersion(LPWSTR* value) {
    return copy_out(target_compatible_browser_version_, value);
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::put_TargetCompatibleBrowserVersion(LPCWSTR value) {
    return replace(&target_compatible_browser_version_, value);
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) {
    if (allow == nullptr) return E_POINTER;
    *allow = allow_single_sign_on_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WV2EnvironmentOptions::put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) {
    allow_single_sign_on_ = allow;
    return S_OK;
}
