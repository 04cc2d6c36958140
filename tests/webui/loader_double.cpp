// A stand-in for WebView2Loader.dll and the browser behind it, built only for
// the tests (see loader_double.h for what the tests can do with it).
//
// Like the real browser it answers asynchronously: every completion and
// event is a task queued for the thread that asked for the environment and
// run from that thread's message loop, through a message-only window of the
// double's own.
#include <algorithm>
#include <atomic>
#include <cwchar>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/webui/loader_double.h"
#include "tests/webui/double_environment.h"
#include "webui/webview2.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

#define DOUBLE_EXPORT extern "C" __declspec(dllexport)
#define STRAY(name, params) \
    HRESULT STDMETHODCALLTYPE name params override { return stray(#name); }

namespace {

// The double is built twice, as the loader and as the runtime's library.
HINSTANCE double_module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

constexpr UINT kRunTask = WM_APP + 0x100;

std::wstring widen(const char* text) { return std::wstring(text, text + strlen(text)); }

std::wstring hex(HRESULT result) {
    wchar_t text[16];
    swprintf(text, 16, L"%08lx", static_cast<unsigned long>(result));
    return text;
}

LPWSTR task_copy(const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) memcpy(copy, text.c_str(), bytes);
    return copy;
}

template <size_t N>
void copy_text(wchar_t (&to)[N], const wchar_t* from) {
    wcsncpy(to, from != nullptr ? from : L"", N - 1);
    to[N - 1] = L'\0';
}

// --- Faults and records ------------------------------------------------------

struct Fault {
    std::string point;
    HRESULT result;
};

// What a browser did, kept for the tests after the browser is gone.
struct Record {
    std::mutex mutex;
    WV2DoubleState state{};
    std::vector<std::wstring> sent;
    std::wstring log;

    void note(const std::wstring& line) {
        std::lock_guard<std::mutex> lock(mutex);
        log += line;
        log += L'\n';
    }
};

class Browser;

std::mutex g_mutex;  // faults, records and the list of live browsers
std::vector<Fault> g_faults;
std::vector<std::shared_ptr<Record>> g_records;
std::vector<Browser*> g_browsers;
std::atomic<int> g_live{0};
std::atomic<int> g_stray{0};

bool armed(const std::string& point, HRESULT* result = nullptr) {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const Fault& fault : g_faults) {
        if (fault.point != point) continue;
        if (result != nullptr) *result = fault.result;
        return true;
    }
    return false;
}

HRESULT fault(const char* point) {
    HRESULT result = S_OK;
    armed(point, &result);
    return result;
}

// --- One browser: its task queue on its own thread ----------------------------------

class Browser {
public:
    // On the browser's thread.
    explicit Browser(std::shared_ptr<Record> record) : record(std::move(record)) {
        ++g_live;
        swprintf(class_name_, 48, L"WV2DoubleTasks%p", static_cast<void*>(this));
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof(window_class);
        window_class.lpfnWndProc = task_window_proc;
        window_class.hInstance = double_module();
        window_class.lpszClassName = class_name_;
        RegisterClassExW(&window_class);
        task_window_ = CreateWindowExW(0, class_name_, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       window_class.hInstance, nullptr);
        SetWindowLongPtrW(task_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        std::lock_guard<std::mutex> lock(g_mutex);
        g_browsers.push_back(this);
    }

    void hold() { ++refs_; }
    void drop() {
        if (--refs_ == 0) delete this;
    }

    // [any-thread] Queues a task for the browser's thread.
    bool post(std::function<void()> task) {
        std::lock_guard<std::mutex> lock(tasks_mutex_);
        if (closed_) return false;
        tasks_.push_back(std::move(task));
        return PostMessageW(task_window_, kRunTask, 0, 0) != FALSE;
    }

    // Nothing more is delivered after Close, as with the real browser.
    void close() {
        std::deque<std::function<void()>> dropped;
        std::lock_guard<std::mutex> lock(tasks_mutex_);
        closed_ = true;
        dropped.swap(tasks_);
    }

    bool closed() {
        std::lock_guard<std::mutex> lock(tasks_mutex_);
        return closed_;
    }

    const std::shared_ptr<Record> record;
    class WebView* webview = nullptr;  // the live one

private:
    ~Browser() {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            std::erase(g_browsers, this);
        }
        close();
        DestroyWindow(task_window_);
        UnregisterClassW(class_name_, double_module());
        --g_live;
    }

    static LRESULT CALLBACK task_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != kRunTask || browser == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(browser->tasks_mutex_);
            if (browser->tasks_.empty()) return 0;
            task = std::move(browser->tasks_.front());
            browser->tasks_.pop_front();
        }
        task();  // may end the browser: nothing of it is touched afterwards
        return 0;
    }

    wchar_t class_name_[48];
    HWND task_window_;
    std::mutex tasks_mutex_;
    std::deque<std::function<void()>> tasks_;
    bool closed_ = false;
    std::atomic<int> refs_{0};
};

// A counted reference, so that a queued task keeps what it needs alive.
template <class T>
class Ref {
public:
    explicit Ref(T* object) : object_(object) {
        if (object_ != nullptr) object_->AddRef();
    }
    Ref(const Ref& other) : Ref(other.object_) {}
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (object_ != nullptr) object_->Release();
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }

private:
    T* object_;
};

// --- The objects ------------------------------------------------------------------

template <class Interface>
class Object : public Interface {
public:
    explicit Object(Browser* browser) : browser_(browser) {
        ++g_live;
        browser_->hold();
    }
    virtual ~Object() {
        --g_live;
        browser_->drop();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || offers(iid)) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual bool offers(REFIID iid) = 0;

    // Every call the host may make: on the browser's thread only, and
    // failing where a test asked for it.
    HRESULT enter(const char* name) {
        if (GetCurrentThreadId() != browser_->record->state.thread) {
            ++g_stray;
            note(L"WRONG THREAD " + widen(name));
        }
        return fault(name);
    }
    HRESULT stray(const char* name) {
        ++g_stray;
        note(L"STRAY " + widen(name));
        return E_NOTIMPL;
    }
    // Offered unless a test made this runtime too old for it.
    static bool offered(REFIID iid, REFIID candidate, const char* name) {
        return iid == candidate && !armed(std::string("QueryInterface ") + name);
    }
    void note(const std::wstring& line) { browser_->record->note(line); }
    WV2DoubleState& state() { return browser_->record->state; }
    std::mutex& record_mutex() { return browser_->record->mutex; }

    Browser* const browser_;

private:
    std::atomic<ULONG> refs_{1};
};

class Settings final : public Object<ICoreWebView2Settings6> {
public:
    using Object::Object;

    HRESULT put(const char* name, BOOL value) {
        note(widen(name) + L" " + std::to_wstring(value));
        return enter(name);
    }

    STRAY(get_IsScriptEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL value) override { return put("put_IsScriptEnabled", value); }
    STRAY(get_IsWebMessageEnabled, (BOOL*))
    STRAY(put_IsWebMessageEnabled, (BOOL))
    STRAY(get_AreDefaultScriptDialogsEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override {
        return put("put_AreDefaultScriptDialogsEnabled", value);
    }
    STRAY(get_IsStatusBarEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL value) override { return put("put_IsStatusBarEnabled", value); }
    STRAY(get_AreDevToolsEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override { return put("put_AreDevToolsEnabled", value); }
    STRAY(get_AreDefaultContextMenusEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override {
        return put("put_AreDefaultContextMenusEnabled", value);
    }
    STRAY(get_AreHostObjectsAllowed, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL value) override {
        return put("put_AreHostObjectsAllowed", value);
    }
    STRAY(get_IsZoomControlEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL value) override { return put("put_IsZoomControlEnabled", value); }
    STRAY(get_IsBuiltInErrorPageEnabled, (BOOL*))
    STRAY(put_IsBuiltInErrorPageEnabled, (BOOL))
    STRAY(get_UserAgent, (LPWSTR*))
    STRAY(put_UserAgent, (LPCWSTR))
    STRAY(get_AreBrowserAcceleratorKeysEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) override {
        return put("put_AreBrowserAcceleratorKeysEnabled", value);
    }
    STRAY(get_IsPasswordAutosaveEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL value) override {
        return put("put_IsPasswordAutosaveEnabled", value);
    }
    STRAY(get_IsGeneralAutofillEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL value) override {
        return put("put_IsGeneralAutofillEnabled", value);
    }
    STRAY(get_IsPinchZoomEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsPinchZoomEnabled(BOOL value) override { return put("put_IsPinchZoomEnabled", value); }
    STRAY(get_IsSwipeNavigationEnabled, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_IsSwipeNavigationEnabled(BOOL value) override {
        return put("put_IsSwipeNavigationEnabled", value);
    }

protected:
    bool offers(REFIID iid) override {
        return iid == IID_ICoreWebView2Settings || offered(iid, IID_ICoreWebView2Settings2, "ICoreWebView2Settings2") ||
               offered(iid, IID_ICoreWebView2Settings3, "ICoreWebView2Settings3") ||
               offered(iid, IID_ICoreWebView2Settings4, "ICoreWebView2Settings4") ||
               offered(iid, IID_ICoreWebView2Settings5, "ICoreWebView2Settings5") ||
               offered(iid, IID_ICoreWebView2Settings6, "ICoreWebView2Settings6");
    }
};

class MessageArgs final : public Object<ICoreWebView2WebMessageReceivedEventArgs> {
public:
    MessageArgs(Browser* browser, std::wstring text, bool as_string)
        : Object(browser), text_(std::move(text)), as_string_(as_string) {}

    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
        std::lock_guard<std::mutex> lock(record_mutex());
        *source = task_copy(state().current_uri);
        return S_OK;
    }
    STRAY(get_WebMessageAsJson, (LPWSTR*))
    HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* text) override {
        HRESULT result = enter("TryGetWebMessageAsString");
        *text = nullptr;
        if (FAILED(result)) return result;
        if (!as_string_) return E_INVALIDARG;
        *text = task_copy(text_);
        return *text != nullptr ? S_OK : E_OUTOFMEMORY;
    }

protected:
    bool offers(REFIID iid) override { return iid == IID_ICoreWebView2WebMessageReceivedEventArgs; }

private:
    std::wstring text_;
    bool as_string_;
};

class NavigationArgs final : public Object<ICoreWebView2NavigationStartingEventArgs> {
public:
    NavigationArgs(Browser* browser, std::wstring uri) : Object(browser), uri_(std::move(uri)) {}

    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
        HRESULT result = enter("get_Uri");
        *uri = SUCCEEDED(result) ? task_copy(uri_) : nullptr;
        return result;
    }
    STRAY(get_IsUserInitiated, (BOOL*))
    STRAY(get_IsRedirected, (BOOL*))
    STRAY(get_RequestHeaders, (ICoreWebView2HttpRequestHeaders**))
    HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override {
        *cancel = cancel_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
        cancel_ = cancel;
        return enter("put_Cancel");
    }
    STRAY(get_NavigationId, (UINT64*))

    BOOL cancel_ = FALSE;

protected:
    bool offers(REFIID iid) override { return iid == IID_ICoreWebView2NavigationStartingEventArgs; }

private:
    std::wstring uri_;
};

class WindowArgs final : public Object<ICoreWebView2NewWindowRequestedEventArgs> {
public:
    WindowArgs(Browser* browser, std::wstring uri) : Object(browser), uri_(std::move(uri)) {}

    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
        HRESULT result = enter("get_Uri");
        *uri = SUCCEEDED(result) ? task_copy(uri_) : nullptr;
        return result;
    }
    STRAY(put_NewWindow, (ICoreWebView2*))
    STRAY(get_NewWindow, (ICoreWebView2**))
    HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
        handled_ = handled;
        return enter("put_Handled");
    }
    HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override {
        *handled = handled_;
        return S_OK;
    }
    STRAY(get_IsUserInitiated, (BOOL*))
    STRAY(GetDeferral, (ICoreWebView2Deferral**))
    STRAY(get_WindowFeatures, (ICoreWebView2WindowFeatures**))

    BOOL handled_ = FALSE;

protected:
    bool offers(REFIID iid) override { return iid == IID_ICoreWebView2NewWindowRequestedEventArgs; }

private:
    std::wstring uri_;
};

// The browser shows a Windows path as a file address.
std::wstring as_uri(const wchar_t* target) {
    std::wstring uri = target;
    bool drive_path = uri.size() > 2 && uri[1] == L':' && (uri[2] == L'\\' || uri[2] == L'/');
    if (!drive_path) return uri;
    for (wchar_t& c : uri)
        if (c == L'\\') c = L'/';
    return L"file:///" + uri;
}

class WebView final : public Object<ICoreWebView2> {
public:
    explicit WebView(Browser* browser) : Object(browser), settings_(new Settings(browser)) {
        browser->webview = this;
    }
    ~WebView() override {
        forget_handlers();
        settings_->Release();
        browser_->webview = nullptr;
    }

    void forget_handlers() {
        release(&on_message_);
        release(&on_navigation_);
        release(&on_new_window_);
    }

    // Events, on the browser's thread.
    void raise_page_message(const std::wstring& text, bool as_string) {
        Ref<WebView> keep(this);
        auto* args = new MessageArgs(browser_, text, as_string);
        HRESULT result = on_message_ != nullptr ? on_message_->Invoke(this, args) : E_NOINTERFACE;
        args->Release();
        note(L"WebMessageReceived -> " + hex(result));
        count_event();
    }

    void raise_navigation(const std::wstring& uri) {
        Ref<WebView> keep(this);
        auto* args = new NavigationArgs(browser_, uri);
        HRESULT result = on_navigation_ != nullptr ? on_navigation_->Invoke(this, args) : E_NOINTERFACE;
        note(L"NavigationStarting " + uri + L" -> " + hex(result) + L" cancel " + std::to_wstring(args->cancel_));
        if (!args->cancel_) {
            std::lock_guard<std::mutex> lock(record_mutex());
            copy_text(state().current_uri, uri.c_str());
        }
        args->Release();
        count_event();
    }

    void raise_new_window(const std::wstring& uri) {
        Ref<WebView> keep(this);
        auto* args = new WindowArgs(browser_, uri);
        HRESULT result = on_new_window_ != nullptr ? on_new_window_->Invoke(this, args) : E_NOINTERFACE;
        note(L"NewWindowRequested " + uri + L" -> " + hex(result) + L" handled " + std::to_wstring(args->handled_));
        if (!args->handled_) note(L"a new browser window opens");
        args->Release();
        count_event();
    }

    HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
        HRESULT result = enter("get_Settings");
        *settings = nullptr;
        if (FAILED(result)) return result;
        settings_->AddRef();
        *settings = settings_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override {
        std::lock_guard<std::mutex> lock(record_mutex());
        *uri = task_copy(state().current_uri);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR target) override {
        note(L"Navigate " + std::wstring(target));
        HRESULT result = enter("Navigate");
        if (FAILED(result)) return result;
        Ref<WebView> keep(this);
        std::wstring uri = as_uri(target);
        browser_->post([keep, uri] { keep->raise_navigation(uri); });
        return S_OK;
    }
    STRAY(NavigateToString, (LPCWSTR))
    HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                                     EventRegistrationToken* token) override {
        return add("add_NavigationStarting", &on_navigation_, handler, token);
    }
    STRAY(remove_NavigationStarting, (EventRegistrationToken))
    STRAY(add_ContentLoading, (ICoreWebView2ContentLoadingEventHandler*, EventRegistrationToken*))
    STRAY(remove_ContentLoading, (EventRegistrationToken))
    STRAY(add_SourceChanged, (ICoreWebView2SourceChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_SourceChanged, (EventRegistrationToken))
    STRAY(add_HistoryChanged, (ICoreWebView2HistoryChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_HistoryChanged, (EventRegistrationToken))
    STRAY(add_NavigationCompleted, (ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*))
    STRAY(remove_NavigationCompleted, (EventRegistrationToken))
    STRAY(add_FrameNavigationStarting, (ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*))
    STRAY(remove_FrameNavigationStarting, (EventRegistrationToken))
    STRAY(add_FrameNavigationCompleted, (ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*))
    STRAY(remove_FrameNavigationCompleted, (EventRegistrationToken))
    STRAY(add_ScriptDialogOpening, (ICoreWebView2ScriptDialogOpeningEventHandler*, EventRegistrationToken*))
    STRAY(remove_ScriptDialogOpening, (EventRegistrationToken))
    STRAY(add_PermissionRequested, (ICoreWebView2PermissionRequestedEventHandler*, EventRegistrationToken*))
    STRAY(remove_PermissionRequested, (EventRegistrationToken))
    STRAY(add_ProcessFailed, (ICoreWebView2ProcessFailedEventHandler*, EventRegistrationToken*))
    STRAY(remove_ProcessFailed, (EventRegistrationToken))
    STRAY(AddScriptToExecuteOnDocumentCreated,
          (LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*))
    STRAY(RemoveScriptToExecuteOnDocumentCreated, (LPCWSTR))
    STRAY(ExecuteScript, (LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*))
    STRAY(CapturePreview,
          (COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*, ICoreWebView2CapturePreviewCompletedHandler*))
    STRAY(Reload, ())
    STRAY(PostWebMessageAsJson, (LPCWSTR))
    HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) override {
        HRESULT result = enter("PostWebMessageAsString");
        if (FAILED(result)) return result;
        std::lock_guard<std::mutex> lock(record_mutex());
        browser_->record->sent.emplace_back(text);
        state().sent = int(browser_->record->sent.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
        return add("add_WebMessageReceived", &on_message_, handler, token);
    }
    STRAY(remove_WebMessageReceived, (EventRegistrationToken))
    STRAY(CallDevToolsProtocolMethod, (LPCWSTR, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*))
    STRAY(get_BrowserProcessId, (UINT32*))
    STRAY(get_CanGoBack, (BOOL*))
    STRAY(get_CanGoForward, (BOOL*))
    STRAY(GoBack, ())
    STRAY(GoForward, ())
    STRAY(GetDevToolsProtocolEventReceiver, (LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**))
    STRAY(Stop, ())
    HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
        return add("add_NewWindowRequested", &on_new_window_, handler, token);
    }
    STRAY(remove_NewWindowRequested, (EventRegistrationToken))
    STRAY(add_DocumentTitleChanged, (ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_DocumentTitleChanged, (EventRegistrationToken))
    STRAY(get_DocumentTitle, (LPWSTR*))
    STRAY(AddHostObjectToScript, (LPCWSTR, VARIANT*))
    STRAY(RemoveHostObjectFromScript, (LPCWSTR))
    STRAY(OpenDevToolsWindow, ())
    STRAY(add_ContainsFullScreenElementChanged,
          (ICoreWebView2ContainsFullScreenElementChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_ContainsFullScreenElementChanged, (EventRegistrationToken))
    STRAY(get_ContainsFullScreenElement, (BOOL*))
    STRAY(add_WebResourceRequested, (ICoreWebView2WebResourceRequestedEventHandler*, EventRegistrationToken*))
    STRAY(remove_WebResourceRequested, (EventRegistrationToken))
    STRAY(AddWebResourceRequestedFilter, (const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT))
    STRAY(RemoveWebResourceRequestedFilter, (const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT))
    STRAY(add_WindowCloseRequested, (ICoreWebView2WindowCloseRequestedEventHandler*, EventRegistrationToken*))
    STRAY(remove_WindowCloseRequested, (EventRegistrationToken))

protected:
    bool offers(REFIID iid) override { return iid == IID_ICoreWebView2; }

private:
    template <class Handler>
    static void release(Handler** slot) {
        if (*slot != nullptr) (*slot)->Release();
        *slot = nullptr;
    }

    template <class Handler>
    HRESULT add(const char* name, Handler** slot, Handler* handler, EventRegistrationToken* token) {
        HRESULT result = enter(name);
        if (FAILED(result)) return result;
        if (handler == nullptr || token == nullptr) return E_POINTER;
        handler->AddRef();
        release(slot);
        *slot = handler;
        token->value = ++tokens_;
        return S_OK;
    }

    void count_event() {
        std::lock_guard<std::mutex> lock(record_mutex());
        ++state().events_handled;
    }

    Settings* settings_;
    ICoreWebView2WebMessageReceivedEventHandler* on_message_ = nullptr;
    ICoreWebView2NavigationStartingEventHandler* on_navigation_ = nullptr;
    ICoreWebView2NewWindowRequestedEventHandler* on_new_window_ = nullptr;
    INT64 tokens_ = 0;
};

class Controller final : public Object<ICoreWebView2Controller4> {
public:
    explicit Controller(Browser* browser) : Object(browser), webview_(new WebView(browser)) {}
    ~Controller() override { webview_->Release(); }

    HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override {
        std::lock_guard<std::mutex> lock(record_mutex());
        *visible = state().visible;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
        note(L"put_IsVisible " + std::to_wstring(visible));
        HRESULT result = enter("put_IsVisible");
        if (FAILED(result)) return result;
        std::lock_guard<std::mutex> lock(record_mutex());
        state().visible = visible;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override {
        std::lock_guard<std::mutex> lock(record_mutex());
        *bounds = state().bounds;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
        note(L"put_Bounds " + std::to_wstring(bounds.right - bounds.left) + L"x" +
             std::to_wstring(bounds.bottom - bounds.top));
        HRESULT result = enter("put_Bounds");
        if (FAILED(result)) return result;
        std::lock_guard<std::mutex> lock(record_mutex());
        state().bounds = bounds;
        return S_OK;
    }
    STRAY(get_ZoomFactor, (double*))
    STRAY(put_ZoomFactor, (double))
    STRAY(add_ZoomFactorChanged, (ICoreWebView2ZoomFactorChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_ZoomFactorChanged, (EventRegistrationToken))
    STRAY(SetBoundsAndZoomFactor, (RECT, double))
    HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override {
        note(L"MoveFocus " + std::to_wstring(int(reason)));
        return enter("MoveFocus");
    }
    STRAY(add_MoveFocusRequested, (ICoreWebView2MoveFocusRequestedEventHandler*, EventRegistrationToken*))
    STRAY(remove_MoveFocusRequested, (EventRegistrationToken))
    STRAY(add_GotFocus, (ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_GotFocus, (EventRegistrationToken))
    STRAY(add_LostFocus, (ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_LostFocus, (EventRegistrationToken))
    STRAY(add_AcceleratorKeyPressed, (ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*))
    STRAY(remove_AcceleratorKeyPressed, (EventRegistrationToken))
    STRAY(get_ParentWindow, (HWND*))
    STRAY(put_ParentWindow, (HWND))
    STRAY(NotifyParentWindowPositionChanged, ())
    HRESULT STDMETHODCALLTYPE Close() override {
        note(L"Close");
        HRESULT result = enter("Close");
        browser_->close();
        webview_->forget_handlers();
        std::lock_guard<std::mutex> lock(record_mutex());
        state().closed = TRUE;
        return result;
    }
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** webview) override {
        HRESULT result = enter("get_CoreWebView2");
        *webview = nullptr;
        if (FAILED(result)) return result;
        webview_->AddRef();
        *webview = webview_;
        return S_OK;
    }
    STRAY(get_DefaultBackgroundColor, (COREWEBVIEW2_COLOR*))
    STRAY(put_DefaultBackgroundColor, (COREWEBVIEW2_COLOR))
    STRAY(get_RasterizationScale, (double*))
    HRESULT STDMETHODCALLTYPE put_RasterizationScale(double scale) override {
        note(L"put_RasterizationScale " + std::to_wstring(scale));
        HRESULT result = enter("put_RasterizationScale");
        std::lock_guard<std::mutex> lock(record_mutex());
        state().rasterization_scale = scale;
        return result;
    }
    STRAY(get_ShouldDetectMonitorScaleChanges, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL value) override {
        note(L"put_ShouldDetectMonitorScaleChanges " + std::to_wstring(value));
        HRESULT result = enter("put_ShouldDetectMonitorScaleChanges");
        std::lock_guard<std::mutex> lock(record_mutex());
        state().detects_monitor_scale = value;
        return result;
    }
    STRAY(add_RasterizationScaleChanged, (ICoreWebView2RasterizationScaleChangedEventHandler*, EventRegistrationToken*))
    STRAY(remove_RasterizationScaleChanged, (EventRegistrationToken))
    STRAY(get_BoundsMode, (COREWEBVIEW2_BOUNDS_MODE*))
    STRAY(put_BoundsMode, (COREWEBVIEW2_BOUNDS_MODE))
    STRAY(get_AllowExternalDrop, (BOOL*))
    HRESULT STDMETHODCALLTYPE put_AllowExternalDrop(BOOL value) override {
        note(L"put_AllowExternalDrop " + std::to_wstring(value));
        return enter("put_AllowExternalDrop");
    }

protected:
    bool offers(REFIID iid) override {
        return iid == IID_ICoreWebView2Controller ||
               offered(iid, IID_ICoreWebView2Controller2, "ICoreWebView2Controller2") ||
               offered(iid, IID_ICoreWebView2Controller3, "ICoreWebView2Controller3") ||
               offered(iid, IID_ICoreWebView2Controller4, "ICoreWebView2Controller4");
    }

private:
    WebView* webview_;
};

void complete_controller(Browser* browser, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
    HRESULT result = fault("controller-completed");
    Controller* controller = SUCCEEDED(result) && !armed("controller-null") ? new Controller(browser) : nullptr;
    browser->record->note(L"controller completed " + hex(result));
    handler->Invoke(result, controller);
    if (controller != nullptr) controller->Release();
}

class Environment final : public Object<ICoreWebView2Environment> {
public:
    using Object::Object;

    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
        note(L"CreateCoreWebView2Controller");
        HRESULT result = enter("CreateCoreWebView2Controller");
        if (FAILED(result)) return result;
        if (handler == nullptr) return E_POINTER;
        {
            std::lock_guard<std::mutex> lock(record_mutex());
            state().parent = parent;
        }
        Ref<ICoreWebView2Environment> keep(this);
        Ref<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> completed(handler);
        Browser* browser = browser_;
        browser_->post([keep, completed, browser] { complete_controller(browser, completed.get()); });
        return S_OK;
    }
    STRAY(CreateWebResourceResponse, (IStream*, int, LPCWSTR, LPCWSTR, ICoreWebView2WebResourceResponse**))
    STRAY(get_BrowserVersionString, (LPWSTR*))
    STRAY(add_NewBrowserVersionAvailable, (ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*))
    STRAY(remove_NewBrowserVersionAvailable, (EventRegistrationToken))

protected:
    bool offers(REFIID iid) override { return iid == IID_ICoreWebView2Environment; }
};

void complete_environment(Browser* browser, ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    HRESULT result = fault("environment-completed");
    Environment* environment = SUCCEEDED(result) && !armed("environment-null") ? new Environment(browser) : nullptr;
    browser->record->note(L"environment completed " + hex(result));
    handler->Invoke(result, environment);
    if (environment != nullptr) environment->Release();
}

// --- Setting up a browser ---------------------------------------------------------

BOOL CALLBACK note_browser_window(HWND window, LPARAM record) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (name[0] == L'c') copy_text(reinterpret_cast<Record*>(record)->state.class_name, name);
    return TRUE;
}

// What the browser learns from its options: the host must hand out copies
// that the browser can free.
void read_options(ICoreWebView2EnvironmentOptions* options, Record* record) {
    ICoreWebView2EnvironmentOptions* face = nullptr;
    if (options == nullptr || FAILED(options->QueryInterface(IID_ICoreWebView2EnvironmentOptions,
                                                             reinterpret_cast<void**>(&face)))) {
        record->note(L"no options");
        return;
    }
    LPWSTR text = nullptr;
    if (SUCCEEDED(face->get_AdditionalBrowserArguments(&text))) copy_text(record->state.browser_arguments, text);
    CoTaskMemFree(text);
    text = nullptr;
    if (SUCCEEDED(face->get_TargetCompatibleBrowserVersion(&text))) copy_text(record->state.browser_version, text);
    CoTaskMemFree(text);
    face->Release();
}

// The browser keeps its profile in the user data folder, in files of its own.
void make_profile(const wchar_t* folder) {
    std::wstring inner = std::wstring(folder) + L"\\EBWebView";
    CreateDirectoryW(folder, nullptr);
    CreateDirectoryW(inner.c_str(), nullptr);
    HANDLE file = CreateFileW((inner + L"\\Local State").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "{}", 2, &written, nullptr);
    CloseHandle(file);
}

int thread_dpi_awareness() {
    using GetThreadContext = HANDLE(WINAPI*)();
    using AwarenessOf = int(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto context = reinterpret_cast<GetThreadContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto awareness = reinterpret_cast<AwarenessOf>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    return context != nullptr && awareness != nullptr ? awareness(context()) : -1;
}

bool in_single_threaded_apartment() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

std::shared_ptr<Record> find_record(HWND window) {
    DWORD thread = window != nullptr ? GetWindowThreadProcessId(window, nullptr) : 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_records.rbegin(); it != g_records.rend(); ++it)
        if (window == nullptr || (*it)->state.thread == thread) return *it;
    return nullptr;
}

// Queues an event for the live browser on the window's thread.
BOOL raise(HWND window, const std::function<void(WebView*)>& event) {
    DWORD thread = window != nullptr ? GetWindowThreadProcessId(window, nullptr) : 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_browsers.rbegin(); it != g_browsers.rend(); ++it) {
        Browser* browser = *it;
        if (window != nullptr && browser->record->state.thread != thread) continue;
        if (browser->closed()) return FALSE;
        return browser->post([browser, event] {
            if (browser->webview == nullptr) return;
            event(browser->webview);
        });
    }
    return FALSE;
}

}  // namespace

// --- Creating an environment, for either export ----------------------------------

HRESULT double_create_environment(const wchar_t* entry, PCWSTR user_data_folder,
                                  ICoreWebView2EnvironmentOptions* options,
                                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    auto record = std::make_shared<Record>();
    record->state.thread = GetCurrentThreadId();
    record->state.apartment_ok = in_single_threaded_apartment();
    record->state.detects_monitor_scale = TRUE;  // the runtime's own default
    record->state.thread_dpi_awareness = thread_dpi_awareness();
    EnumThreadWindows(GetCurrentThreadId(), note_browser_window, reinterpret_cast<LPARAM>(record.get()));
    copy_text(record->state.profile_folder, user_data_folder);
    read_options(options, record.get());
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_records.push_back(record);
    }
    record->note(entry);
    HRESULT result = fault("CreateCoreWebView2EnvironmentWithOptions");
    if (FAILED(result)) return result;
    if (handler == nullptr || user_data_folder == nullptr) return E_INVALIDARG;
    make_profile(user_data_folder);
    if (armed("environment-never")) return S_OK;  // a browser that never starts
    auto* browser = new Browser(record);
    if (armed("environment-at-once")) {
        // Answered inside the call, as a runtime that is already running may.
        browser->hold();
        complete_environment(browser, handler);
        browser->drop();
        return S_OK;
    }
    browser->hold();  // until the environment is delivered
    Ref<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> completed(handler);
    browser->post([browser, completed] {
        complete_environment(browser, completed.get());
        browser->drop();
    });
    return S_OK;
}

// --- The tests' controls ---------------------------------------------------------------

DOUBLE_EXPORT void wv2double_reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_faults.clear();
    g_records.clear();
    g_stray = 0;
}

DOUBLE_EXPORT void wv2double_fail(const char* point, HRESULT result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_faults.push_back({point, result});
}

DOUBLE_EXPORT int wv2double_live_objects() { return g_live; }

DOUBLE_EXPORT int wv2double_stray_calls() { return g_stray; }

DOUBLE_EXPORT BOOL wv2double_post_page_message(HWND window, const wchar_t* text, BOOL as_string) {
    std::wstring message = text;
    return raise(window, [message, as_string](WebView* webview) { webview->raise_page_message(message, as_string); });
}

DOUBLE_EXPORT BOOL wv2double_navigate(HWND window, const wchar_t* uri) {
    std::wstring target = uri;
    return raise(window, [target](WebView* webview) { webview->raise_navigation(target); });
}

DOUBLE_EXPORT BOOL wv2double_request_window(HWND window, const wchar_t* uri) {
    std::wstring target = uri;
    return raise(window, [target](WebView* webview) { webview->raise_new_window(target); });
}

DOUBLE_EXPORT BOOL wv2double_get_state(HWND window, WV2DoubleState* state) {
    std::shared_ptr<Record> record = find_record(window);
    if (record == nullptr) return FALSE;
    std::lock_guard<std::mutex> lock(record->mutex);
    *state = record->state;
    return TRUE;
}

DOUBLE_EXPORT int wv2double_sent(HWND window, int index, wchar_t* text, int capacity) {
    std::shared_ptr<Record> record = find_record(window);
    if (record == nullptr) return -1;
    std::lock_guard<std::mutex> lock(record->mutex);
    if (index < 0 || size_t(index) >= record->sent.size()) return -1;
    const std::wstring& message = record->sent[size_t(index)];
    if (capacity > 0) {
        size_t n = std::min(message.size(), size_t(capacity) - 1);
        wmemcpy(text, message.c_str(), n);
        text[n] = L'\0';
    }
    return int(message.size());
}

DOUBLE_EXPORT int wv2double_log(HWND window, wchar_t* text, int capacity) {
    std::shared_ptr<Record> record = find_record(window);
    if (record == nullptr) return -1;
    std::lock_guard<std::mutex> lock(record->mutex);
    if (capacity > 0) {
        size_t n = std::min(record->log.size(), size_t(capacity) - 1);
        wmemcpy(text, record->log.c_str(), n);
        text[n] = L'\0';
    }
    return int(record->log.size());
}
