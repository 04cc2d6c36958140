// The page in a window of the host's: the part of the CLAP editor that
// differs between the platforms. On Windows the web view host, embedded in
// the host's HWND (page_window_win32.cpp); on Linux the helper program in an
// X11 window of ours, a child of the host's (page_window_x11.cpp). The page's
// gestures go to the editor's begin_edit, perform_edit and end_edit.
// Everything here runs on the host's main thread.
#pragma once

#include <cstdint>

#include <clap/clap.h>

namespace yawp::clap {

class Editor;
struct PageWindow;

// [main-thread] The window api of this platform's editor.
const char* page_window_api();

// [main-thread] Whether a page could open for some host, cheaply and
// starting nothing: on Windows a browser could start (the WebView2 loader
// beside the module, or an installed runtime); on Linux always.
bool page_window_offered();

// [main-thread] Whether it can open for this host: on Linux the host offers
// clap.posix-fd-support and clap.timer-support, without which nobody would
// read the helper's socket.
bool page_window_possible(const clap_host* host);

// [main-thread] The page of `editor` in a new window inside `parent`,
// `width` x `height` physical pixels, drawn at the host's `scale` (0: none
// given). Null when anything failed; nothing is left behind then.
PageWindow* page_window_open(Editor* editor, const clap_host* host, const clap_window* parent, int width, int height,
                             double scale);

// [main-thread] Closes the window and everything of the page's; the host
// lets go of our socket first. Null does nothing.
void page_window_close(PageWindow* window);

// [main-thread]
void page_window_resize(PageWindow* window, int width, int height);
bool page_window_set_visible(PageWindow* window, bool visible);
void page_window_set_scale(PageWindow* window, double scale);

// [main-thread] A value for the page: catalogue index and plain value.
void page_window_send(PageWindow* window, uint32_t index, float value);

// [main-thread] Handles what the page sent and sends what waits; the
// editor's timer calls it.
void page_window_poll(PageWindow* window);

// [main-thread] The host says a descriptor of ours is ready (Linux).
void page_window_fd_ready(PageWindow* window, int fd);

// [main-thread] A timer of our own that ticks the editor, for a host that
// offers no clap.timer-support (Windows; on Linux create never gets here).
// False when none could start.
bool page_window_start_own_timer(PageWindow* window, uint32_t period_ms);
void page_window_stop_own_timer(PageWindow* window);

}  // namespace yawp::clap
