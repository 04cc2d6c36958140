// The page on Linux: the helper program yawp-wah-editor shows it inside an
// X11 window of ours, a child of the host's parent. The window is ours so
// that the editor can size, show and hide it as CLAP asks; the helper
// follows its size by itself. The module links Xlib only for that window,
// on a connection of its own, and no toolkit. The host watches the helper's
// socket (clap.posix-fd-support) and ticks the editor (clap.timer-support)
// in place of a run loop of ours.
#include "clap/page_window.h"

#include <cerrno>
#include <cstdlib>

#include <time.h>

#include "clap/editor.h"
#include "clap/module_folder.h"
#include "engine/catalogue.h"
#include "x11editor/editor_link.h"

// Last: Xlib's macros (None, Status, Bool) must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xlibint.h>  // XESetError, an error handler for one connection

namespace yawp::clap {

struct PageWindow {
    Editor* editor;
    const clap_host* host;
    const clap_host_posix_fd_support* fds;
    Display* display;  // ours alone, for our window
    Window window;     // ours; the helper lives in it
    x11editor::EditorLink* link;
    int watched_fd;  // the helper's socket while the host watches it, else -1
};

namespace {

constexpr int kConnectAttempts = 3;
constexpr timespec kConnectPause = {0, 20 * 1000 * 1000};  // 20 ms

// [main-thread] The host's descriptor watch when all its calls are there.
const clap_host_posix_fd_support* fd_support_of(const clap_host* host) {
    if (host == nullptr || host->get_extension == nullptr) return nullptr;
    const auto* fds = static_cast<const clap_host_posix_fd_support*>(host->get_extension(host, CLAP_EXT_POSIX_FD_SUPPORT));
    return fds != nullptr && fds->register_fd != nullptr && fds->unregister_fd != nullptr ? fds : nullptr;
}

// [main-thread]
bool has_timers(const clap_host* host) {
    if (host == nullptr || host->get_extension == nullptr) return false;
    const auto* timers = static_cast<const clap_host_timer_support*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
    return timers != nullptr && timers->register_timer != nullptr && timers->unregister_timer != nullptr;
}

// --- Our window ------------------------------------------------------------------------

// [main-thread] Errors on our connection end here, not in the process's X
// error handler (a toolkit's may end the process): the host may destroy
// its parent, and our window with it, before it destroys the editor, and a
// request that finds them gone has nothing left to do.
int ignore_error(Display*, xError*, XExtCodes*, int* result) {
    *result = 0;
    return 1;
}

// [main-thread] Our connection, with its errors kept to itself. A server
// whose queue of new connections is full turns one away (EAGAIN) rather
// than wait: it is asked again a moment later.
bool open_display(PageWindow* page) {
    for (int attempt = 0; attempt < kConnectAttempts && page->display == nullptr; ++attempt) {
        if (attempt > 0) nanosleep(&kConnectPause, nullptr);
        errno = 0;
        page->display = XOpenDisplay(nullptr);
        if (page->display == nullptr && errno != EAGAIN) return false;
    }
    if (page->display == nullptr) return false;
    if (XExtCodes* codes = XAddExtension(page->display)) XESetError(page->display, codes->extension, ignore_error);
    return true;
}

// [main-thread] Our window, mapped in the parent at the editor's size and
// showing the parent's background until the helper covers it. False when
// the parent does not exist.
bool open_window(PageWindow* page, Window parent, int width, int height) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(page->display, parent, &attributes) == 0) return false;
    XSetWindowAttributes background;
    background.background_pixmap = ParentRelative;
    page->window = XCreateWindow(page->display, parent, 0, 0, unsigned(width), unsigned(height), 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixmap, &background);
    XMapWindow(page->display, page->window);
    // The helper looks our window up on its own connection.
    XSync(page->display, False);
    return page->window != 0;
}

// [main-thread] The host may have destroyed our window with its parent
// already; the request then fails harmlessly.
void close_window(PageWindow* page) {
    if (page->display == nullptr) return;
    if (page->window != 0) XDestroyWindow(page->display, page->window);
    XCloseDisplay(page->display);
    page->display = nullptr;
    page->window = 0;
}

// [main-thread] The helper's XEmbed messages to its embedder come to the
// connection that made our window, wanted or not; they, and our errors,
// are read and dropped.
void drain_events(PageWindow* page) {
    while (XPending(page->display) > 0) {
        XEvent event;
        XNextEvent(page->display, &event);
    }
}

// --- The helper ------------------------------------------------------------------------

// [main-thread] The page's gestures.
void begin_edit(void* editor, uint32_t index, float value) { static_cast<Editor*>(editor)->begin_edit(index, value); }
void perform_edit(void* editor, uint32_t index, float value) {
    static_cast<Editor*>(editor)->perform_edit(index, value);
}
void end_edit(void* editor, uint32_t index, float value) { static_cast<Editor*>(editor)->end_edit(index, value); }

// [main-thread] The helper from the module's folder, in our window.
bool open_link(PageWindow* page) {
    const x11editor::EditCallbacks callbacks{page->editor, begin_edit, perform_edit, end_edit};
    page->link = x11editor::editor_link_open(module_folder(), page_folder(), page->window, &callbacks,
                                             catalogue::kCount);
    return page->link != nullptr;
}

// [main-thread] A host that cannot watch the socket still ticks us; the
// timer then reads it.
void watch_socket(PageWindow* page) {
    const int fd = x11editor::editor_link_fd(page->link);
    if (fd >= 0 && page->fds->register_fd(page->host, fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR))
        page->watched_fd = fd;
}

// [main-thread] Before the socket closes, and before anything else can get
// the same number.
void unwatch_socket(PageWindow* page) {
    if (page->watched_fd < 0) return;
    page->fds->unregister_fd(page->host, page->watched_fd);
    page->watched_fd = -1;
}

}  // namespace

const char* page_window_api() { return CLAP_WINDOW_API_X11; }

bool page_window_offered() { return true; }
bool page_window_possible(const clap_host* host) { return fd_support_of(host) != nullptr && has_timers(host); }

PageWindow* page_window_open(Editor* editor, const clap_host* host, const clap_window* parent, int width, int height,
                             double scale) {
    if (editor == nullptr || parent == nullptr || parent->x11 == 0 || width <= 0 || height <= 0) return nullptr;
    auto* page = static_cast<PageWindow*>(std::calloc(1, sizeof(PageWindow)));
    if (page == nullptr) return nullptr;
    page->editor = editor;
    page->host = host;
    page->fds = fd_support_of(page->host);
    page->watched_fd = -1;
    if (page->fds == nullptr || !open_display(page) || !open_window(page, Window(parent->x11), width, height) ||
        !open_link(page)) {
        close_window(page);
        std::free(page);
        return nullptr;
    }
    x11editor::editor_link_set_scale(page->link, scale);
    watch_socket(page);
    return page;
}

// The helper is told to end before its window goes; one still running then
// ends with the window too.
void page_window_close(PageWindow* page) {
    if (page == nullptr) return;
    unwatch_socket(page);
    x11editor::editor_link_close(page->link);
    close_window(page);
    std::free(page);
}

// The server has done it when the call returns, so that the host (on its
// own connection) finds the window as the call said.
void page_window_resize(PageWindow* page, int width, int height) {
    if (width <= 0 || height <= 0) return;
    XResizeWindow(page->display, page->window, unsigned(width), unsigned(height));
    XSync(page->display, False);
}

bool page_window_set_visible(PageWindow* page, bool visible) {
    if (visible)
        XMapWindow(page->display, page->window);
    else
        XUnmapWindow(page->display, page->window);
    XSync(page->display, False);
    return true;
}

void page_window_set_scale(PageWindow* page, double scale) { x11editor::editor_link_set_scale(page->link, scale); }

void page_window_send(PageWindow* page, uint32_t index, float value) {
    x11editor::editor_link_set_parameter(page->link, index, value);
}

// A helper that has gone closed its socket: the host stops watching it,
// and the editor stays an empty window until the host closes it.
void page_window_poll(PageWindow* page) {
    drain_events(page);
    if (!x11editor::editor_link_poll(page->link)) unwatch_socket(page);
}

void page_window_fd_ready(PageWindow* page, int fd) {
    if (fd >= 0 && fd == page->watched_fd) page_window_poll(page);
}

// The host's timers are a condition of the editor on Linux.
bool page_window_start_own_timer(PageWindow*, uint32_t) { return false; }
void page_window_stop_own_timer(PageWindow*) {}

}  // namespace yawp::clap
