#include "x11editor/helper/host_keys.h"

#include <gdk/gdkx.h>

#include "x11editor/helper/key_symbols.h"

using namespace yawp::x11editor;

namespace {

// The host's top-level window: the highest ancestor of `window` that a
// window manager manages (it carries WM_STATE), or, with no window manager,
// the ancestor just below the root. A reparenting window manager's frame
// is not the host's, so the climb does not stop at the root's child alone.
Window top_level_of(Display* display, Window window) {
    const Atom wm_state = XInternAtom(display, "WM_STATE", False);
    Window top = window;
    Window managed = 0;
    for (Window at = window; at != 0;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, at, &root, &parent, &children, &count) == 0) break;
        if (children != nullptr) XFree(children);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, at, wm_state, 0, 0, False, AnyPropertyType, &type, &format, &items, &after,
                               &data) == Success && type != 0)
            managed = at;
        if (data != nullptr) XFree(data);
        if (parent == root) {
            top = at;
            break;
        }
        at = parent;
    }
    return managed != 0 ? managed : top;
}

// The keycode X would have sent for the key: the character's key, else the
// key named by its Windows code.
KeyCode keycode_of(Display* display, const yawp::page_messages::PageKey& key) {
    const KeySym by_character = keysym_of(key);
    const KeyCode code = by_character != NoSymbol ? XKeysymToKeycode(display, by_character) : 0;
    if (code != 0) return code;
    const KeySym by_code = keysym_of_code(key.code);
    return by_code != NoSymbol ? XKeysymToKeycode(display, by_code) : 0;
}

}  // namespace

void host_keys_send(unsigned long parent, const yawp::page_messages::PageKey& key, bool press) {
    GdkDisplay* gdk_display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(gdk_display)) return;
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display);
    const KeyCode keycode = keycode_of(display, key);
    if (keycode == 0) return;
    // The host may take its window away at any moment; the error is ours
    // to swallow, not GDK's to end the program with.
    gdk_x11_display_error_trap_push(gdk_display);
    const Window top = top_level_of(display, Window(parent));
    XKeyEvent event{};
    event.type = press ? KeyPress : KeyRelease;
    event.display = display;
    event.window = top;
    event.root = DefaultRootWindow(display);
    event.subwindow = 0;
    event.time = CurrentTime;
    event.same_screen = True;
    event.state = x_state_of(key.modifiers);
    event.keycode = keycode;
    // Sent to whoever listens for keys on the host's window, as a press on
    // the keyboard would be when the host has the focus.
    XSendEvent(display, top, True, press ? KeyPressMask : KeyReleaseMask, reinterpret_cast<XEvent*>(&event));
    XFlush(display);
    gdk_x11_display_error_trap_pop_ignored(gdk_display);
}
