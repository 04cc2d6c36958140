// The plug-in's side of an open editor on Linux: the helper process that
// shows the page, the socket to it, the value cache, and the page's texts
// turned into edit calls and news requests. Wrappers (the LV2 UI, the VST3
// view) call it from the host's UI thread only, and nothing in it waits on
// the helper: the socket is polled when the host's loop says it is
// readable or when the host's idle tick comes.
#pragma once

#include <cstdint>

namespace yawp::x11editor {

// (user data, catalogue index, plain value)
typedef void (*EditCallback)(void* user_data, uint32_t index, float value);

struct EditCallbacks {
    void* user_data;
    EditCallback begin_edit;
    EditCallback perform_edit;
    EditCallback end_edit;
};

struct EditorLink;

// [main-thread] Starts the helper from `helper_folder` (see
// helper_program_in) inside the X11 window `parent`, showing
// "`page_folder`/index.html". Null when the helper cannot start or ends at
// once; nothing is left behind then.
EditorLink* editor_link_open(const char* helper_folder, const char* page_folder, unsigned long parent,
                             const EditCallbacks* callbacks, uint32_t count);

// [main-thread] Ends the helper (it is reaped in the background) and frees
// everything.
void editor_link_close(EditorLink* link);

// [main-thread] The socket to watch for input, or -1 once the helper is gone.
int editor_link_fd(const EditorLink* link);

// [main-thread] Handles what the helper sent and sends what waits. False
// once the helper is gone (it crashed, or its window was destroyed): the
// editor stays an empty window, and calls go on doing nothing harmful.
bool editor_link_poll(EditorLink* link);

// [main-thread] Stores a value and sends it to the page as "s %08x %08x"
// if the page would show it differently; it goes out with the next
// editor_link_poll, together with the others of the host's tick. Indices
// at or above the count are ignored.
void editor_link_set_parameter(EditorLink* link, uint32_t index, float value);

// [main-thread] Sends "m " and the text to the page.
void editor_link_send_text(EditorLink* link, const char* text);

// [main-thread] The host's scale for the editor (2 on a display twice as
// dense); a value <= 0 or not finite means the host gave none, and the
// helper goes by the desktop's settings. The helper draws the page at this
// scale in whatever size its window is; the window's size stays the
// host's (or the wrapper's) to set. Any number of calls, at any time.
void editor_link_set_scale(EditorLink* link, double scale);

}  // namespace yawp::x11editor
