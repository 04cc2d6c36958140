// The page on Windows: the web view host, embedded in the host's HWND, with
// the news store behind the page's "m" texts. The browser's window is the
// editor's window: sized, shown and hidden here. Keys the page does not use
// reach the host's window through the web view host, as in the VST3 view.
#include "clap/page_window.h"

#include <cstdlib>

#include <windows.h>

#include "clap/editor.h"
#include "clap/module_folder.h"
#include "engine/catalogue.h"
#include "news/crier.h"
#include "webui/host.h"

namespace yawp::clap {

struct PageWindow {
    Editor* editor;
    WV2Host* browser;
    UINT_PTR own_timer;  // the thread timer, 0 when none
    PageWindow* next;    // among the windows with an own timer
};

namespace {

// Only the size changes; the window keeps its place and stacking, and the
// host keeps the focus.
constexpr UINT kResizeFlags = SWP_NOOWNERZORDER | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE;
static_assert(kResizeFlags == 0x216);
// Shown without taking the focus from the host.
constexpr int kShow = SW_SHOWNA;
constexpr int kHide = SW_HIDE;

constexpr WV2MessageHandler kNewsHandler = crier_handle_message;

// The windows whose editors tick from a thread timer of ours, to find the
// one a tick is for. Only the main thread comes here.
PageWindow* g_ticking = nullptr;

// [main-thread] The folders the web view host asks for: the loader's in
// the system code page, the page's in UTF-8.
const char* loader_folder(void*) { return module_folder(); }
const char* resources_folder(void*) { return page_folder(); }

// [main-thread] The page's gestures, on the thread that created the host.
void begin_edit(void* editor, uint32_t index, float value) { static_cast<Editor*>(editor)->begin_edit(index, value); }
void perform_edit(void* editor, uint32_t index, float value) {
    static_cast<Editor*>(editor)->perform_edit(index, value);
}
void end_edit(void* editor, uint32_t index, float value) { static_cast<Editor*>(editor)->end_edit(index, value); }

// [main-thread] A thread timer's tick, from the host's message loop.
void CALLBACK own_tick(HWND, UINT, UINT_PTR timer, DWORD) {
    for (PageWindow* page = g_ticking; page != nullptr; page = page->next)
        if (page->own_timer == timer) {
            page->editor->tick();
            return;
        }
}

// [main-thread]
void forget_ticking(PageWindow* page) {
    for (PageWindow** at = &g_ticking; *at != nullptr; at = &(*at)->next)
        if (*at == page) {
            *at = page->next;
            return;
        }
}

}  // namespace

const char* page_window_api() { return CLAP_WINDOW_API_WIN32; }

bool page_window_offered() { return wv2_host_can_start(module_folder()); }
bool page_window_possible(const clap_host*) { return page_window_offered(); }

PageWindow* page_window_open(Editor* editor, const clap_host*, const clap_window* parent, int width, int height,
                             double scale) {
    if (editor == nullptr || parent == nullptr || parent->win32 == nullptr || width <= 0 || height <= 0)
        return nullptr;
    auto* page = static_cast<PageWindow*>(std::calloc(1, sizeof(PageWindow)));
    if (page == nullptr) return nullptr;
    page->editor = editor;
    const WV2HostCallbacks callbacks{editor, "clap", loader_folder, resources_folder, begin_edit, perform_edit, end_edit};
    page->browser = wv2_host_create(true, static_cast<HWND>(parent->win32), &callbacks, &kNewsHandler, width, height,
                                    catalogue::kCount);
    if (page->browser == nullptr) {
        std::free(page);
        return nullptr;
    }
    // Without a scale from the host, the browser goes by its monitor's.
    wv2_host_set_scale(page->browser, scale > 0 ? scale : 1.0);
    return page;
}

void page_window_close(PageWindow* page) {
    if (page == nullptr) return;
    page_window_stop_own_timer(page);
    wv2_host_destroy(page->browser);
    std::free(page);
}

void page_window_resize(PageWindow* page, int width, int height) {
    SetWindowPos(wv2_host_window(page->browser), nullptr, 0, 0, width, height, kResizeFlags);
}

bool page_window_set_visible(PageWindow* page, bool visible) {
    HWND window = wv2_host_window(page->browser);
    if (window == nullptr) return false;
    ShowWindow(window, visible ? kShow : kHide);
    return true;
}

void page_window_set_scale(PageWindow* page, double scale) { wv2_host_set_scale(page->browser, scale); }

void page_window_send(PageWindow* page, uint32_t index, float value) {
    wv2_host_set_parameter(page->browser, index, value);
}

void page_window_poll(PageWindow* page) { wv2_host_idle(page->browser); }

void page_window_fd_ready(PageWindow*, int) {}

// A thread timer (no window): its ticks come through the host's message
// loop on this, the main thread.
bool page_window_start_own_timer(PageWindow* page, uint32_t period_ms) {
    page_window_stop_own_timer(page);
    page->own_timer = SetTimer(nullptr, 0, period_ms, own_tick);
    if (page->own_timer == 0) return false;
    page->next = g_ticking;
    g_ticking = page;
    return true;
}

void page_window_stop_own_timer(PageWindow* page) {
    if (page->own_timer == 0) return;
    KillTimer(nullptr, page->own_timer);
    forget_ticking(page);
    page->own_timer = 0;
}

}  // namespace yawp::clap
