// Inside the web view host: the host record, the page binding, the private
// window messages and our two COM objects. Shared by the host's own files
// and its tests; the wrappers need only host.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "webui/host.h"
#include "webui/page_messages.h"
#include "webui/page_value_gate.h"
#include "webui/webview2.h"

// Private messages. The first four and the last go to the browser's window
// on the web view thread, the other three to the relay window on the UI
// thread.
enum : UINT {
    WV2_MSG_CONTROLLER_READY = 0x8000,  // wParam 1 success, 0 failure
    WV2_MSG_CLOSE = 0x8001,
    WV2_MSG_SET_VALUE = 0x8002,   // wParam index, lParam float bits
    WV2_MSG_SEND_TEXT = 0x8003,   // lParam the UTF-8 text
    WV2_MSG_BEGIN_EDIT = 0x8004,  // wParam index, lParam float bits
    WV2_MSG_PERFORM_EDIT = 0x8005,
    WV2_MSG_END_EDIT = 0x8006,
    WV2_MSG_SET_SCALE = 0x8007,  // lParam the host's content scale, a double's bits
};

// The browser window's timer that sends meters the rate held back.
inline constexpr UINT_PTR kHeldMetersTimer = 0x5957;

// What the page side works with: the callbacks record with the host as user
// data and the host's relays as edit callbacks, then the page's own fields.
struct WV2PageBinding {
    void* user_data;  // the host
    const char* format_name;
    WV2FolderGetter loader_folder;
    WV2FolderGetter resources_folder;
    WV2EditCallback begin_edit;  // the relays: they hand the gesture to the UI thread
    WV2EditCallback perform_edit;
    WV2EditCallback end_edit;
    WV2MessageHandler message_handler;  // null: "m" texts are dropped
    float* values;                      // the value cache, count entries
    uint32_t count;
};
#define WV2_SAME_FIELD(field) offsetof(WV2PageBinding, field) == offsetof(WV2HostCallbacks, field)
static_assert(WV2_SAME_FIELD(user_data) && WV2_SAME_FIELD(format_name) && WV2_SAME_FIELD(loader_folder) &&
              WV2_SAME_FIELD(resources_folder) && WV2_SAME_FIELD(begin_edit) && WV2_SAME_FIELD(perform_edit) &&
              WV2_SAME_FIELD(end_edit));
#undef WV2_SAME_FIELD

struct WV2Host {
    HWND window;  // the browser's window; null after a failed start
    HWND parent;  // the host's window it is embedded in, or null
    HMODULE loader;  // WebView2Loader.dll, or the installed runtime's library
    DWORD ui_thread_id;
    HANDLE reply;  // one answer of the web view thread to a waiting request
    DWORD webview_thread_id;
    ICoreWebView2Controller* controller;  // web view thread only; one reference
    WV2HostCallbacks callbacks;
    WV2PageBinding page;
    char relay_class[24];
    HWND relay_window;
    HANDLE page_call;      // an edit callback returned, or a pending value waits
    HANDLE exchange_lock;  // held by one cross-thread exchange at a time
    std::atomic<uint8_t> in_plugin_call;  // one byte, set only on the UI thread
    uint32_t pending_index;
    float pending_value;
    // The web view thread itself: destroy waits for it to be gone, and can
    // still clean up when the browser's window was destroyed from outside.
    HANDLE thread;
    double host_scale;  // web view thread only: the host's content scale, 1 when it gave none
    yawp::page_values::ValueGate gate;  // web view thread only: what the page was sent
};

static_assert(sizeof(std::atomic<uint8_t>) == 1 && std::atomic<uint8_t>::is_always_lock_free);

// Our implementation of the options the environment is created with.
class WV2EnvironmentOptions final : public ICoreWebView2EnvironmentOptions {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override;
    HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) override;
    virtual ~WV2EnvironmentOptions();

private:
    LPWSTR additional_browser_arguments_ = nullptr;
    LPWSTR language_ = nullptr;
    LPWSTR target_compatible_browser_version_ = nullptr;
    BOOL allow_single_sign_on_ = FALSE;
    std::atomic<uint32_t> refs_{1};
};

// The one object that hears every completion and event of the browser.
class WV2Handler final : public ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                         public ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                         public ICoreWebView2WebMessageReceivedEventHandler,
                         public ICoreWebView2NavigationStartingEventHandler,
                         public ICoreWebView2NewWindowRequestedEventHandler {
public:
    // Takes over page_location (CoTaskMemAlloc, may be null).
    WV2Handler(WV2Host* host, LPWSTR page_location) : host_(host), page_location_(page_location) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Environment* environment) override;
    virtual ~WV2Handler();
    HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Controller* controller) override;
    HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) override;
    HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) override;
    HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) override;

private:
    HRESULT set_up_browser(ICoreWebView2Controller* controller);

    std::atomic<uint32_t> refs_{1};
    WV2Host* host_;
    LPWSTR page_location_;
    char text_[1024];  // a page message converted to UTF-8, when it fits
};

// --- The bridge (bridge.cpp) ----------------------------------------------------

// [web-view-thread] Acts on one page message, UTF-8 and NUL-ended.
void wv2_dispatch_page_message(WV2Host* host, WV2PageBinding* page, const char* text);

// [web-view-thread] Converts a page's web message to UTF-8 (into buffer when
// it fits) and dispatches it.
HRESULT wv2_receive_page_message(WV2Host* host, ICoreWebView2WebMessageReceivedEventArgs* args,
                                 char (&buffer)[1024]);

// [web-view-thread] Serves a value or text request addressed to the web view
// thread's window and answers it; false for any other message.
bool wv2_serve_request(WV2Host* host, const MSG& msg);

// [web-view-thread] Sends the meters the rate held back whose time has come.
void wv2_send_held_meters(WV2Host* host);

// [main-thread] The relay window's procedure: runs the edit callbacks.
LRESULT CALLBACK wv2_relay_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// [main-thread] Puts the host's relays into its page binding.
void wv2_bind_relays(WV2PageBinding* page);

// [any-thread] Posts a request to the browser's window; false if it is gone.
bool wv2_post_to_browser(WV2Host* host, UINT message, WPARAM wparam, LPARAM lparam);

// [any-thread] Waits without a time-out, still answering messages other
// threads send to this thread's windows, since they may be waiting for us.
void wv2_wait(HANDLE object);

// [main-thread] Takes the exchange lock, serving the relay window meanwhile.
bool wv2_take_lock_on_ui_thread(WV2Host* host);

// --- High-DPI displays (display_scale.cpp) --------------------------------------

// [web-view-thread] Gives this thread the DPI awareness of the host's window,
// where Windows can; the process's own awareness is never changed.
void wv2_match_dpi_awareness(HWND parent);

// [web-view-thread] The browser draws at the larger of the host's content
// scale and the scale of the monitor its window is on.
void wv2_apply_rasterization_scale(WV2Host* host);

// --- Keys for the host (host_keys.cpp) ------------------------------------------

// [web-view-thread] Posts a key the page handed on to the top-level window
// of the host's frame; nothing for a free-standing editor.
void wv2_hand_key_to_host(const WV2Host* host, const yawp::page_messages::PageKey& key, bool down);

// --- Navigation (navigation.cpp) ------------------------------------------------

// [web-view-thread] Only "file:" addresses stay in the browser.
bool wv2_uri_is_local(LPCWSTR uri);

// [web-view-thread] Hands the address to the shell's URL handler and waits
// until that process has ended.
void wv2_open_external(LPCWSTR uri);

HRESULT wv2_on_navigation_starting(ICoreWebView2NavigationStartingEventArgs* args);  // [web-view-thread]
HRESULT wv2_on_new_window_requested(ICoreWebView2NewWindowRequestedEventArgs* args);  // [web-view-thread]
