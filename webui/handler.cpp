// The browser's completions and events, all on the web view thread: the
// start-up chain (environment, then controller, then the page) and the
// hand-off of page messages and navigations to the bridge.
#include <initializer_list>

#include "webui/host_record.h"

namespace {


// [web-view-thread] Extras a plug-in editor has no use for, switched off where
// this runtime knows the interface that carries them. Their results do not
// matter.
template <class Face, class Object>
void switch_off(Object* object, const IID& iid, std::initializer_list<HRESULT (STDMETHODCALLTYPE Face::*)(BOOL)> puts) {
    Face* face = nullptr;
    if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&face))) || face == nullptr) return;
    for (auto put : puts) (face->*put)(FALSE);
    face->Release();
}

// [web-view-thread]
void switch_off_extras(ICoreWebView2Settings* settings, ICoreWebView2Controller* controller) {
    for (auto put : {&ICoreWebView2Settings::put_AreDefaultContextMenusEnabled,
                     &ICoreWebView2Settings::put_AreDevToolsEnabled, &ICoreWebView2Settings::put_IsStatusBarEnabled,
                     &ICoreWebView2Settings::put_IsZoomControlEnabled,
                     &ICoreWebView2Settings::put_AreDefaultScriptDialogsEnabled})
        (settings->*put)(FALSE);
    switch_off<ICoreWebView2Settings3>(settings, IID_ICoreWebView2Settings3,
                                       {&ICoreWebView2Settings3::put_AreBrowserAcceleratorKeysEnabled});
    switch_off<ICoreWebView2Settings4>(settings, IID_ICoreWebView2Settings4,
                                       {&ICoreWebView2Settings4::put_IsPasswordAutosaveEnabled,
                                        &ICoreWebView2Settings4::put_IsGeneralAutofillEnabled});
    switch_off<ICoreWebView2Settings5>(settings, IID_ICoreWebView2Settings5,
                                       {&ICoreWebView2Settings5::put_IsPinchZoomEnabled});
    switch_off<ICoreWebView2Settings6>(settings, IID_ICoreWebView2Settings6,
                                       {&ICoreWebView2Settings6::put_IsSwipeNavigationEnabled});
    switch_off<ICoreWebView2Controller4>(controller, IID_ICoreWebView2Controller4,
                                         {&ICoreWebView2Controller4::put_AllowExternalDrop});
}

// [web-view-thread] The page talks to us through messages only, and script must
// run for it.
HRESULT enable_page(ICoreWebView2Settings* settings) {
    if (settings->put_IsScriptEnabled(TRUE) != S_OK) return E_FAIL;
    return settings->put_AreHostObjectsAllowed(TRUE);
}

// [web-view-thread]
void report_ready(WV2Host* host, bool ready) {
    PostMessageW(host->window, WV2_MSG_CONTROLLER_READY, ready ? 1 : 0, 0);
}

}  // namespace

// [web-view-thread] Every face answers for the whole object.
// Besides the callback interfaces, IUnknown (the object's identity, which
// COM requires every object to answer) and the new-window handler, whose
// face the object has and hands to the browser.
HRESULT STDMETHODCALLTYPE WV2Handler::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler)
        *out = static_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(this);
    else if (iid == IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler)
        *out = static_cast<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*>(this);
    else if (iid == IID_ICoreWebView2WebMessageReceivedEventHandler)
        *out = static_cast<ICoreWebView2WebMessageReceivedEventHandler*>(this);
    else if (iid == IID_ICoreWebView2NavigationStartingEventHandler)
        *out = static_cast<ICoreWebView2NavigationStartingEventHandler*>(this);
    else if (iid == IID_ICoreWebView2NewWindowRequestedEventHandler)
        *out = static_cast<ICoreWebView2NewWindowRequestedEventHandler*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// [web-view-thread]
ULONG STDMETHODCALLTYPE WV2Handler::AddRef() { return refs_.fetch_add(1) + 1; }

// [web-view-thread]
ULONG STDMETHODCALLTYPE WV2Handler::Release() {
    uint32_t left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

WV2Handler::~WV2Handler() { CoTaskMemFree(page_location_); }

// [web-view-thread] The environment exists: ask it for the browser itself.
HRESULT STDMETHODCALLTYPE WV2Handler::Invoke(HRESULT result, ICoreWebView2Environment* environment) {
    if (SUCCEEDED(result) && environment == nullptr) result = E_POINTER;
    if (SUCCEEDED(result)) {
        result = environment->CreateCoreWebView2Controller(
            host_->window, static_cast<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*>(this));
        if (SUCCEEDED(result)) return S_OK;
    }
    report_ready(host_, false);
    return result;
}

// [web-view-thread] The browser exists: set it up and load the page.
HRESULT STDMETHODCALLTYPE WV2Handler::Invoke(HRESULT result, ICoreWebView2Controller* controller) {
    if (SUCCEEDED(result) && controller == nullptr) result = E_POINTER;
    if (SUCCEEDED(result)) result = set_up_browser(controller);
    report_ready(host_, SUCCEEDED(result));
    return result;
}

// [web-view-thread]
HRESULT WV2Handler::set_up_browser(ICoreWebView2Controller* controller) {
    ICoreWebView2* webview = nullptr;
    ICoreWebView2Settings* settings = nullptr;
    HRESULT result = controller->get_CoreWebView2(&webview);
    if (SUCCEEDED(result) && webview != nullptr) result = webview->get_Settings(&settings);
    if (SUCCEEDED(result) && settings != nullptr) {
        switch_off_extras(settings, controller);
        result = enable_page(settings);
    } else {
        result = E_FAIL;
    }
    if (SUCCEEDED(result)) {
        RECT bounds{};
        GetClientRect(host_->window, &bounds);
        result = controller->put_Bounds(bounds);
    }
    // The registrations last as long as the browser, so their tokens are
    // never needed.
    EventRegistrationToken token{};
    if (SUCCEEDED(result))
        result = webview->add_WebMessageReceived(static_cast<ICoreWebView2WebMessageReceivedEventHandler*>(this), &token);
    if (SUCCEEDED(result))
        result = webview->add_NavigationStarting(static_cast<ICoreWebView2NavigationStartingEventHandler*>(this), &token);
    if (SUCCEEDED(result))
        result = webview->add_NewWindowRequested(static_cast<ICoreWebView2NewWindowRequestedEventHandler*>(this), &token);
    if (SUCCEEDED(result)) result = page_location_ != nullptr ? webview->Navigate(page_location_) : E_OUTOFMEMORY;
    if (settings != nullptr) settings->Release();
    if (webview != nullptr) webview->Release();
    if (FAILED(result)) return E_FAIL;
    controller->AddRef();
    host_->controller = controller;
    return S_OK;
}

// [web-view-thread]
HRESULT STDMETHODCALLTYPE WV2Handler::Invoke(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
    return wv2_receive_page_message(host_, args, text_);
}

// [web-view-thread]
HRESULT STDMETHODCALLTYPE WV2Handler::Invoke(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
    return wv2_on_navigation_starting(args);
}

// [web-view-thread]
HRESULT STDMETHODCALLTYPE WV2Handler::Invoke(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
    return wv2_on_new_window_requested(args);
}
