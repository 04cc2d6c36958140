// The page and the plug-in talk in short texts. Everything that touches the
// browser runs on the web view thread, everything that calls the plug-in on
// the UI thread, and this file carries values and gestures between the two
// without either waiting for the other while the other waits for it.
//
// Who waits for whom:
// - A page gesture holds the exchange lock on the web view thread while the
//   UI thread runs the edit callback; a value the plug-in pushes back from
//   inside that callback is handed over through the pending pair instead of
//   the lock.
// - Every other thread that pushes takes the exchange lock first, so at most
//   one request waits for the reply semaphore at any time and each answer
//   reaches the thread that asked.
// - Whoever waits for the lock keeps serving what the lock's holder may be
//   waiting for: the UI thread runs the relay window's gestures, the web
//   view thread answers value and text requests.
#include <bit>
#include <cstdlib>
#include <cstring>

#include "webui/host_record.h"
#include "webui/page_messages.h"

namespace {

// [any-thread]
bool on_thread(DWORD id) { return GetCurrentThreadId() == id; }

float float_of(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t bits_of(float value) { return std::bit_cast<uint32_t>(value); }

// [web-view-thread]
HRESULT last_error_result() {
    HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : E_FAIL;
}

// --- Talking to the page (web view thread) -----------------------------------------------

// [web-view-thread]
void post_to_page(WV2Host* host, LPCWSTR text) {
    if (host->controller == nullptr) return;
    ICoreWebView2* webview = nullptr;
    if (FAILED(host->controller->get_CoreWebView2(&webview)) || webview == nullptr) return;
    webview->PostWebMessageAsString(text);
    webview->Release();
}

// [web-view-thread]
void post_value(WV2Host* host, uint32_t index, float value) {
    wchar_t text[20];
    yawp::page_messages::format_value_message(text, index, value);
    post_to_page(host, text);
}

// [web-view-thread] Only what would change the page goes out; a meter the
// rate holds back follows from the window's timer.
void send_value_now(WV2Host* host, uint32_t index, float value) {
    if (index >= host->page.count) return;
    host->page.values[index] = value;
    if (host->gate.admit(index, value, GetTickCount64())) {
        post_value(host, index, value);
    } else if (host->gate.holding()) {
        SetTimer(host->window, kHeldMetersTimer, UINT(yawp::page_values::kMeterIntervalMs), nullptr);
    }
}

// [web-view-thread] The page asked for everything: it gets every value.
void send_all_values(WV2Host* host, const WV2PageBinding* page) {
    const uint64_t now = GetTickCount64();
    for (uint32_t index = 0; index < page->count; ++index) {
        post_value(host, index, page->values[index]);
        host->gate.sent(index, page->values[index], now);
    }
}

// [web-view-thread]
void send_text_now(WV2Host* host, const char* text) {
    if (text == nullptr) return;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) return;
    auto* message = static_cast<wchar_t*>(malloc((size_t(length) + 2) * sizeof(wchar_t)));
    if (message == nullptr) return;
    message[0] = L'm';
    message[1] = L' ';
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, message + 2, length) == length)
        post_to_page(host, message);
    free(message);
}

// --- Requests to the web view thread ------------------------------------------------

// [any-thread] Not the web view thread: it would wait for itself.
void ask_browser(WV2Host* host, UINT message, WPARAM wparam, LPARAM lparam) {
    if (wv2_post_to_browser(host, message, wparam, lparam)) wv2_wait(host->reply);
}

// [web-view-thread]
void answer(WV2Host* host) { ReleaseSemaphore(host->reply, 1, nullptr); }

// [any-thread]
void release_lock(WV2Host* host) { ReleaseSemaphore(host->exchange_lock, 1, nullptr); }

// [any-thread] Neither the UI thread nor the web view thread: there is nothing
// this thread must serve meanwhile, so it only yields.
bool take_lock_elsewhere(WV2Host* host) {
    for (;;) {
        DWORD waited = WaitForSingleObject(host->exchange_lock, 0);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT) return false;
        SwitchToThread();
    }
}

// [any-thread] Takes the lock for a request from a thread other than the web
// view thread.
bool take_lock_for_request(WV2Host* host) {
    return on_thread(host->ui_thread_id) ? wv2_take_lock_on_ui_thread(host) : take_lock_elsewhere(host);
}

// --- Page gestures (web view thread) ------------------------------------------------

// [web-view-thread] While a gesture waits for the lock, only the requests
// addressed to this thread are served. Other messages stay queued for the loop:
// dispatching them here would let the browser raise the next page message
// inside this one, so a later gesture could overtake an earlier one, and a busy
// page would nest its messages ever deeper. False when the browser is closing;
// the close goes back into the queue for the loop, whose answer the closing
// side waits for.
bool serve_requests_while_polling(WV2Host* host) {
    MSG msg;
    while (PeekMessageW(&msg, host->window, WV2_MSG_CLOSE, WV2_MSG_SEND_TEXT, PM_REMOVE)) {
        if (msg.message == WV2_MSG_CLOSE) {
            PostMessageW(host->window, WV2_MSG_CLOSE, 0, 0);
            return false;
        }
        wv2_serve_request(host, msg);
    }
    if (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        PostQuitMessage(int(msg.wParam));
        return false;
    }
    return IsWindow(host->window) != FALSE;
}

// [web-view-thread]
bool take_lock_on_webview_thread(WV2Host* host) {
    for (;;) {
        DWORD waited = WaitForSingleObject(host->exchange_lock, 0);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || !serve_requests_while_polling(host)) return false;
    }
}

// [web-view-thread] Waits until the UI thread has run the edit callback or
// handed over a value. The relay window may vanish with its parent while our
// gesture is still queued for it; nobody would answer then, so its existence is
// checked now and then. Any answer it gave comes before it is gone.
bool wait_for_plugin(WV2Host* host) {
    constexpr DWORD kCheckMs = 100;
    HANDLE page_call = host->page_call;
    for (;;) {
        DWORD waited = MsgWaitForMultipleObjectsEx(1, &page_call, kCheckMs, QS_SENDMESSAGE, 0);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (waited != WAIT_TIMEOUT) {
            return false;
        } else if (!IsWindow(host->relay_window)) {
            return WaitForSingleObject(page_call, 0) == WAIT_OBJECT_0;
        }
    }
}

// [web-view-thread]
void relay(WV2Host* host, UINT message, uint32_t index, float value) {
    if (!take_lock_on_webview_thread(host)) return;
    if (PostMessageA(host->relay_window, message, index, bits_of(value)) && wait_for_plugin(host)) {
        while (host->in_plugin_call.load()) {
            send_value_now(host, host->pending_index, host->pending_value);
            answer(host);
            if (!wait_for_plugin(host)) break;
        }
    }
    release_lock(host);
}

// [web-view-thread]
void relay_begin_edit(void* host, uint32_t index, float value) {
    relay(static_cast<WV2Host*>(host), WV2_MSG_BEGIN_EDIT, index, value);
}

// [web-view-thread]
void relay_perform_edit(void* host, uint32_t index, float value) {
    relay(static_cast<WV2Host*>(host), WV2_MSG_PERFORM_EDIT, index, value);
}

// [web-view-thread]
void relay_end_edit(void* host, uint32_t index, float value) {
    relay(static_cast<WV2Host*>(host), WV2_MSG_END_EDIT, index, value);
}

// [web-view-thread]
WV2EditCallback page_edit(const WV2PageBinding* page, yawp::page_messages::PageMessageKind kind) {
    using yawp::page_messages::PageMessageKind;
    switch (kind) {
        case PageMessageKind::kBegin: return page->begin_edit;
        case PageMessageKind::kPerform: return page->perform_edit;
        default: return page->end_edit;
    }
}

// [main-thread]
WV2EditCallback plugin_edit(const WV2Host* host, UINT message) {
    switch (message) {
        case WV2_MSG_BEGIN_EDIT: return host->callbacks.begin_edit;
        case WV2_MSG_PERFORM_EDIT: return host->callbacks.perform_edit;
        default: return host->callbacks.end_edit;
    }
}

}  // namespace

// --- Shared with the host's own files ------------------------------------------------

// [any-thread] A null window would post to the calling thread itself, and
// nobody would ever answer.
bool wv2_post_to_browser(WV2Host* host, UINT message, WPARAM wparam, LPARAM lparam) {
    return host->window != nullptr && PostMessageW(host->window, message, wparam, lparam);
}

// [main-thread] The relays of a new host's page binding.
void wv2_bind_relays(WV2PageBinding* page) {
    page->begin_edit = relay_begin_edit;
    page->perform_edit = relay_perform_edit;
    page->end_edit = relay_end_edit;
}

// [any-thread]
void wv2_wait(HANDLE object) {
    for (;;) {
        DWORD waited = MsgWaitForMultipleObjectsEx(1, &object, INFINITE, QS_SENDMESSAGE, 0);
        if (waited != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// [main-thread] Only the relay window is served: its gestures may be what the
// lock's holder waits for, and nothing else of the plug-in host's runs inside
// our call.
bool wv2_take_lock_on_ui_thread(WV2Host* host) {
    for (;;) {
        DWORD waited = WaitForSingleObject(host->exchange_lock, 0);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT) return false;
        MSG msg;
        while (PeekMessageA(&msg, host->relay_window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// [web-view-thread]
void wv2_send_held_meters(WV2Host* host) {
    host->gate.flush_due(GetTickCount64(), [host](uint32_t index, float value) { post_value(host, index, value); });
    if (!host->gate.holding()) KillTimer(host->window, kHeldMetersTimer);
}

// [web-view-thread]
bool wv2_serve_request(WV2Host* host, const MSG& msg) {
    if (msg.hwnd != host->window) return false;
    if (msg.message == WV2_MSG_SET_VALUE)
        send_value_now(host, uint32_t(msg.wParam), float_of(uint32_t(msg.lParam)));
    else if (msg.message == WV2_MSG_SEND_TEXT)
        send_text_now(host, reinterpret_cast<const char*>(msg.lParam));
    else
        return false;
    answer(host);
    return true;
}

// [web-view-thread]
void wv2_dispatch_page_message(WV2Host* host, WV2PageBinding* page, const char* text) {
    using yawp::page_messages::PageMessageKind;
    const yawp::page_messages::PageMessage message = yawp::page_messages::read_page_message(text, page->count);
    switch (message.kind) {
        case PageMessageKind::kBegin:
        case PageMessageKind::kPerform:
        case PageMessageKind::kEnd:
            page->values[message.index] = message.value;
            // The page shows what it sent: a host that takes the value need
            // not send it back, and one that puts another back must.
            host->gate.sent(message.index, message.value, GetTickCount64());
            page_edit(page, message.kind)(page->user_data, message.index, message.value);
            return;
        case PageMessageKind::kGetAll: send_all_values(host, page); return;
        case PageMessageKind::kNews:
            if (page->message_handler != nullptr) page->message_handler(host, message.text);
            return;
        case PageMessageKind::kKeyDown:
        case PageMessageKind::kKeyUp:
            wv2_hand_key_to_host(host, message.key, message.kind == PageMessageKind::kKeyDown);
            return;
        case PageMessageKind::kIgnored: return;
    }
}

// [web-view-thread]
HRESULT wv2_receive_page_message(WV2Host* host, ICoreWebView2WebMessageReceivedEventArgs* args,
                                 char (&buffer)[1024]) {
    LPWSTR message = nullptr;
    HRESULT result = args->TryGetWebMessageAsString(&message);
    if (FAILED(result) || message == nullptr) return result;
    int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, message, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        result = last_error_result();
        CoTaskMemFree(message);
        return result;
    }
    char* text = size <= int(sizeof(buffer)) ? buffer : static_cast<char*>(malloc(size_t(size)));
    if (text == nullptr) {
        CoTaskMemFree(message);
        return E_OUTOFMEMORY;
    }
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, message, -1, text, size, nullptr, nullptr);
    wv2_dispatch_page_message(host, &host->page, text);
    if (text != buffer) free(text);
    CoTaskMemFree(message);
    return S_OK;
}

// [main-thread]
LRESULT CALLBACK wv2_relay_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* host = reinterpret_cast<WV2Host*>(GetWindowLongPtrA(window, 0));
    if (host == nullptr || message < WV2_MSG_BEGIN_EDIT || message > WV2_MSG_END_EDIT)
        return DefWindowProcA(window, message, wparam, lparam);
    WV2EditCallback edit = plugin_edit(host, message);
    host->in_plugin_call.store(1);
    if (edit != nullptr) edit(host->callbacks.user_data, uint32_t(wparam), float_of(uint32_t(lparam)));
    host->in_plugin_call.store(0);
    ReleaseSemaphore(host->page_call, 1, nullptr);
    return 0;
}

// --- The public calls ------------------------------------------------------------

// [any-thread]
void wv2_host_set_parameter(WV2Host* host, uint32_t index, float value) {
    if (host == nullptr || index >= host->page.count) return;
    if (on_thread(host->webview_thread_id)) {
        send_value_now(host, index, value);
        return;
    }
    if (on_thread(host->ui_thread_id) && host->in_plugin_call.load()) {
        // The web view thread holds the lock for the gesture and waits for us.
        host->pending_index = index;
        host->pending_value = value;
        ReleaseSemaphore(host->page_call, 1, nullptr);
        wv2_wait(host->reply);
        return;
    }
    if (!take_lock_for_request(host)) return;
    ask_browser(host, WV2_MSG_SET_VALUE, index, LPARAM(bits_of(value)));
    release_lock(host);
}

// [any-thread]
void wv2_host_send_text(WV2Host* host, const char* text) {
    if (host == nullptr || text == nullptr) return;
    if (on_thread(host->webview_thread_id)) {
        send_text_now(host, text);
        return;
    }
    if (!take_lock_for_request(host)) return;
    ask_browser(host, WV2_MSG_SEND_TEXT, 0, reinterpret_cast<LPARAM>(text));
    release_lock(host);
}
