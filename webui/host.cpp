// The web view host's life: creation on the UI thread, the web view thread
// that owns the browser, and closing.
//
// The browser is built asynchronously (loader, then environment, then
// controller, each answering later on the web view thread), but the wrapper
// wants a finished editor or a failure from one call; so creation waits for
// the web view thread's single answer on the reply semaphore.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cstring>
#include <new>

#include "webui/environment_source.h"
#include "webui/host_record.h"

#include <shellapi.h>  // after windows.h, which it needs

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE our_module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

const wchar_t kReservedPrefix[] = L"vino";
const wchar_t kPageName[] = L"\\index.html";
const wchar_t kBrowserVersion[] = L"131.0.2903.40";
// The page loads its scripts and styles from the folder it lives in.
const wchar_t kBrowserArguments[] = L"--allow-file-access-from-files";
constexpr DWORD kTempPathChars = 262;
constexpr size_t kExtensionChars = 4;  // ".tmp" of the reserved file
constexpr FILEOP_FLAGS kQuietDelete = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
static_assert(kQuietDelete == 0x0414);

// What the web view thread is given. It may live on the creating call's
// stack: the thread copies what it keeps before it first answers.
struct StartRecord {
    WV2Host* host;
    bool embed;
    HWND parent;
    int width;
    int height;
    WV2EnvironmentSource source;
    const wchar_t* page_path;
    const wchar_t* reserved_name;
};

// The web view thread's own belongings, released when it ends.
struct Browser {
    wchar_t class_name[24];
    bool class_registered;
    bool com_initialised;
    wchar_t* profile_folder;  // ended by two zeros, as SHFileOperationW wants
    WV2EnvironmentOptions* options;
    WV2Handler* handler;
};

// --- Small helpers ---------------------------------------------------------------

// [main-thread]
const char* loader_folder_of(const WV2HostCallbacks* callbacks) {
    return callbacks->loader_folder ? callbacks->loader_folder(callbacks->user_data) : nullptr;
}

// [main-thread] The resources folder (strict UTF-8) with "\index.html", or
// null.
wchar_t* page_path_of(const WV2HostCallbacks* callbacks) {
    const char* folder = callbacks->resources_folder ? callbacks->resources_folder(callbacks->user_data) : nullptr;
    if (folder == nullptr) return nullptr;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, folder, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    size_t size = size_t(length) - 1 + sizeof(kPageName) / sizeof(wchar_t);
    auto* path = static_cast<wchar_t*>(malloc(size * sizeof(wchar_t)));
    if (path == nullptr) return nullptr;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, folder, -1, path, length) != length) {
        free(path);
        return nullptr;
    }
    wcscat(path, kPageName);
    return path;
}

// [main-thread] Reserves a name in the temporary folder: the system creates
// the empty file itself, so no other editor starting meanwhile picks the same
// name for its profile.
bool reserve_temporary_name(wchar_t (&name)[MAX_PATH]) {
    wchar_t folder[kTempPathChars];
    DWORD length = GetTempPathW(kTempPathChars, folder);
    if (length == 0 || length >= kTempPathChars) return false;
    return GetTempFileNameW(folder, kReservedPrefix, 0, name) != 0;
}

// [web-view-thread] The profile folder: the reserved name without its
// extension.
wchar_t* profile_folder_of(const wchar_t* reserved_name) {
    size_t length = wcslen(reserved_name);
    if (length <= kExtensionChars) return nullptr;
    length -= kExtensionChars;
    auto* folder = static_cast<wchar_t*>(calloc(length + 2, sizeof(wchar_t)));
    if (folder != nullptr) wmemcpy(folder, reserved_name, length);
    return folder;
}

// [web-view-thread]
void delete_folder(const wchar_t* folder) {
    if (folder == nullptr) return;
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = folder;
    operation.fFlags = kQuietDelete;
    SHFileOperationW(&operation);
}

// [web-view-thread]
LPWSTR task_memory_copy(const wchar_t* text) {
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) memcpy(copy, text, bytes);
    return copy;
}

// --- The web view thread -----------------------------------------------------------

// [web-view-thread]
LRESULT CALLBACK browser_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* host = reinterpret_cast<WV2Host*>(GetWindowLongPtrW(window, 0));
    if (host != nullptr) {
        switch (message) {
            case WM_DESTROY: PostQuitMessage(0); break;
            case WM_SETFOCUS:
                if (host->controller) host->controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
                break;
            case WM_TIMER:
                if (wparam != kHeldMetersTimer) break;
                wv2_send_held_meters(host);
                return 0;
            case WV2_MSG_SET_SCALE:
                host->host_scale = std::bit_cast<double>(lparam);
                wv2_apply_rasterization_scale(host);
                return 0;
            // The window moved to a monitor of another scale.
            case WM_DPICHANGED:
            case WM_DPICHANGED_AFTERPARENT: wv2_apply_rasterization_scale(host); break;
            case WM_SIZE:
                if (host->controller) {
                    RECT bounds{};
                    GetClientRect(window, &bounds);
                    host->controller->put_Bounds(bounds);
                    return 0;
                }
                break;
            default: break;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// [web-view-thread] An embedded window stays hidden and frameless until it is
// placed in its parent; a free-standing one is an ordinary window.
bool open_browser_window(const StartRecord& start, Browser* browser) {
    WV2Host* host = start.host;
    swprintf(browser->class_name, 24, L"c%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = browser_window_proc;
    window_class.cbWndExtra = sizeof(void*);
    window_class.hInstance = our_module();
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = browser->class_name;
    browser->class_registered = RegisterClassExW(&window_class) != 0;
    if (!browser->class_registered) return false;
    HWND window = nullptr;
    if (start.embed) {
        window = CreateWindowExW(WS_EX_NOACTIVATE, browser->class_name, L"", 0, 0, 0, start.width, start.height,
                                 nullptr, nullptr, our_module(), nullptr);
        if (window != nullptr) SetWindowLongPtrW(window, GWL_STYLE, 0);
    } else {
        window = CreateWindowExW(0, browser->class_name, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, start.width,
                                 start.height, nullptr, nullptr, our_module(), nullptr);
    }
    if (window == nullptr) return false;
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(host));
    host->window = window;
    return true;
}

// [web-view-thread] Asks the loader (or the runtime) for an environment; the
// rest of the start-up follows in the handler's completions, which may come
// before this returns.
bool start_browser(const StartRecord& start, Browser* browser) {
    browser->profile_folder = profile_folder_of(start.reserved_name);
    browser->options = new (std::nothrow) WV2EnvironmentOptions();
    if (browser->profile_folder == nullptr || browser->options == nullptr) return false;
    if (FAILED(browser->options->put_TargetCompatibleBrowserVersion(kBrowserVersion)) ||
        FAILED(browser->options->put_AdditionalBrowserArguments(kBrowserArguments)))
        return false;
    LPWSTR page = task_memory_copy(start.page_path);
    browser->handler = new (std::nothrow) WV2Handler(start.host, page);
    if (browser->handler == nullptr) {
        CoTaskMemFree(page);
        return false;
    }
    return SUCCEEDED(wv2_create_environment(
        start.source, browser->profile_folder, browser->options,
        static_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(browser->handler)));
}

// [web-view-thread] The controller is ready: put the browser in its place and
// let wv2_host_create return.
bool show_browser(const StartRecord& start, WPARAM ready) {
    WV2Host* host = start.host;
    if (ready != 1 || host->controller == nullptr) return false;
    // A child of the host's window, as Windows wants it before SetParent: a
    // window without WS_CHILD is kept within the screen's size like a
    // top-level one, and a large editor on a small screen would be cut.
    if (start.embed) SetWindowLongPtrW(host->window, GWL_STYLE, WS_CHILD);
    SetLastError(0);
    if (SetParent(host->window, start.parent) == nullptr && GetLastError() != 0) return false;
    const UINT keep_size = start.embed ? 0 : SWP_NOSIZE;
    if (!SetWindowPos(host->window, nullptr, 0, 0, start.width, start.height,
                      keep_size | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED))
        return false;
    wv2_apply_rasterization_scale(host);
    if (FAILED(host->controller->put_IsVisible(TRUE))) return false;
    ReleaseSemaphore(host->reply, 1, nullptr);
    // Shown without taking the focus: that comes when the musician clicks.
    ShowWindow(host->window, SW_SHOWNA);
    return true;
}

// [web-view-thread] True for a normal end (closed), false for a failure.
// shown tells whether wv2_host_create was let go with a browser.
bool run_browser(const StartRecord& start, bool* shown) {
    WV2Host* host = start.host;
    MSG msg;
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return false;
        if (got == 0) return true;
        if (msg.hwnd == host->window) {
            if (msg.message == WV2_MSG_CONTROLLER_READY) {
                *shown = show_browser(start, msg.wParam);
                if (!*shown) return false;
                continue;
            }
            if (msg.message == WV2_MSG_CLOSE) return true;
            if (wv2_serve_request(host, msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// [web-view-thread] Releases everything the thread made; its last act is the
// answer someone waits for (start-up result or close).
void end_browser(WV2Host* host, Browser* browser, bool failed) {
    if (host->controller != nullptr) {
        host->controller->Close();
        host->controller->Release();
        host->controller = nullptr;
    }
    delete_folder(browser->profile_folder);
    if (browser->handler != nullptr) browser->handler->Release();
    if (browser->options != nullptr) browser->options->Release();
    free(browser->profile_folder);
    if (host->window != nullptr) DestroyWindow(host->window);
    if (browser->class_registered) UnregisterClassW(browser->class_name, our_module());
    if (browser->com_initialised) CoUninitialize();
    if (failed) host->window = nullptr;
    ReleaseSemaphore(host->reply, 1, nullptr);
}

// [web-view-thread]
DWORD WINAPI browser_thread(void* parameter) {
    const StartRecord start = *static_cast<StartRecord*>(parameter);
    WV2Host* host = start.host;
    host->webview_thread_id = GetCurrentThreadId();
    host->controller = nullptr;
    // Before any window of this thread exists: a window keeps the awareness
    // it was created with.
    if (start.embed) wv2_match_dpi_awareness(start.parent);
    Browser browser{};
    bool started = open_browser_window(start, &browser);
    if (started) {
        browser.com_initialised =
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
        started = start_browser(start, &browser);
    }
    // A window destroyed from outside before the browser showed ends the
    // loop as if closed, but the start has failed all the same.
    bool shown = false;
    bool closed = started && run_browser(start, &shown);
    end_browser(host, &browser, !closed || !shown);
    return 0;
}

// --- Creation and closing (UI thread) -------------------------------------------------

// [main-thread]
WV2Host* new_host(HMODULE loader, const WV2HostCallbacks* callbacks, const WV2MessageHandler* handler_slot,
                  unsigned count) {
    auto* host = new (std::nothrow) WV2Host{};
    if (host == nullptr) return nullptr;
    host->loader = loader;
    host->ui_thread_id = GetCurrentThreadId();
    host->host_scale = 1.0;
    host->callbacks = *callbacks;
    host->page.user_data = host;
    host->page.format_name = callbacks->format_name;
    host->page.loader_folder = callbacks->loader_folder;
    host->page.resources_folder = callbacks->resources_folder;
    wv2_bind_relays(&host->page);
    host->page.message_handler = handler_slot != nullptr ? *handler_slot : nullptr;
    // Cleared, although the wrappers push every value at once: a "g" from
    // the page before that reads zeros rather than leftovers.
    host->page.values = static_cast<float*>(calloc(count > 0 ? count : 1, sizeof(float)));
    host->page.count = count;
    host->reply = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    return host;
}

// [main-thread]
bool open_relay_window(WV2Host* host, bool embed, HWND parent) {
    snprintf(host->relay_class, sizeof(host->relay_class), "d%llX",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = wv2_relay_window_proc;
    window_class.cbWndExtra = sizeof(void*);
    window_class.hInstance = our_module();
    window_class.lpszClassName = host->relay_class;
    if (RegisterClassExA(&window_class) == 0) {
        host->relay_class[0] = '\0';
        return false;
    }
    host->relay_window = CreateWindowExA(0, host->relay_class, "", embed ? WS_CHILD : WS_POPUP, 0, 0, 0, 0, parent,
                                         nullptr, our_module(), nullptr);
    if (host->relay_window == nullptr) return false;
    SetWindowLongPtrA(host->relay_window, 0, reinterpret_cast<LONG_PTR>(host));
    host->in_plugin_call.store(0);
    return true;
}

// [main-thread] The two semaphores of the exchanges between the threads.
bool open_exchange(WV2Host* host) {
    host->page_call = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    host->exchange_lock = CreateSemaphoreW(nullptr, 1, 1, nullptr);
    return host->page_call != nullptr && host->exchange_lock != nullptr;
}

// [main-thread] Undoes whatever creation got to, latest first; also the end of
// closing.
void free_host(WV2Host* host) {
    if (host->thread != nullptr) CloseHandle(host->thread);
    if (host->exchange_lock != nullptr) CloseHandle(host->exchange_lock);
    if (host->page_call != nullptr) CloseHandle(host->page_call);
    if (host->relay_window != nullptr) DestroyWindow(host->relay_window);
    if (host->relay_class[0] != '\0') UnregisterClassA(host->relay_class, our_module());
    free(host->page.values);
    if (host->reply != nullptr) CloseHandle(host->reply);
    FreeLibrary(host->loader);
    delete host;
}

// [main-thread] Starts the web view thread and waits for its answer: true when
// the page is showing.
bool start_thread(WV2Host* host, const StartRecord& start) {
    host->thread = CreateThread(nullptr, 0, browser_thread, const_cast<StartRecord*>(&start), 0, nullptr);
    if (host->thread == nullptr) return false;
    wv2_wait(host->reply);
    if (host->window != nullptr) return true;
    wv2_wait(host->thread);  // its answer was its last act; let it finish
    return false;
}

}  // namespace

// [main-thread]
WV2Host* wv2_host_create(bool embed, HWND parent, const WV2HostCallbacks* callbacks,
                         const WV2MessageHandler* handler_slot, int width, int height, unsigned count) {
    if (callbacks == nullptr) return nullptr;
    WV2EnvironmentSource source{};
    if (!wv2_open_environment_source(loader_folder_of(callbacks), wv2_this_system(), &source)) return nullptr;
    HMODULE loader = source.module;
    wchar_t* page_path = page_path_of(callbacks);
    WV2Host* host = page_path != nullptr ? new_host(loader, callbacks, handler_slot, count) : nullptr;
    if (host == nullptr) {
        free(page_path);
        FreeLibrary(loader);
        return nullptr;
    }
    wchar_t reserved_name[MAX_PATH] = {};
    bool reserved = false;
    bool shown = false;
    if (host->page.values != nullptr && host->reply != nullptr) {
        reserved = reserve_temporary_name(reserved_name);
        if (reserved && open_relay_window(host, embed, parent) && open_exchange(host)) {
            host->parent = embed ? parent : nullptr;
            StartRecord start{host, embed, parent, width, height, source, page_path, reserved_name};
            shown = start_thread(host, start);
        }
    }
    // The browser made its own profile folder by now; the reserved file only
    // kept the name from being taken meanwhile.
    if (reserved) DeleteFileW(reserved_name);
    free(page_path);
    if (shown) return host;
    free_host(host);
    return nullptr;
}

// [main-thread]
bool wv2_host_can_start(const char* loader_folder) {
    return wv2_environment_source_exists(loader_folder, wv2_this_system());
}

// [main-thread]
HWND wv2_host_window(WV2Host* host) { return host != nullptr ? host->window : nullptr; }

// [main-thread]
void wv2_host_set_scale(WV2Host* host, double scale) {
    if (host == nullptr || !(scale > 0) || !std::isfinite(scale)) return;
    wv2_post_to_browser(host, WV2_MSG_SET_SCALE, 0, std::bit_cast<LPARAM>(scale));
}

// [main-thread]
void wv2_host_idle(WV2Host*) {}

// [main-thread]
void wv2_host_destroy(WV2Host* host) {
    if (host == nullptr || !wv2_take_lock_on_ui_thread(host)) return;
    if (wv2_post_to_browser(host, WV2_MSG_CLOSE, 0, 0)) {
        wv2_wait(host->reply);
    } else if (IsWindow(host->window)) {
        // The browser lives on but cannot be asked to close; freeing the host
        // under it would be worse than keeping it.
        ReleaseSemaphore(host->exchange_lock, 1, nullptr);
        return;
    }
    // Closed by us, or its window was destroyed from outside and the thread
    // ends by itself: either way nothing of the host is in use after this.
    wv2_wait(host->thread);
    free_host(host);
}
