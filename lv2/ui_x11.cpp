// The LV2 UI on Linux: the editor's page, shown by the helper program
// yawp-wah-editor inside a window of ours, a child of the host's parent
// window. This library links no toolkit, only Xlib for that window, on an
// X connection of its own; the helper is found in the bundle beside the
// module. Like every LV2 UI it shares nothing with the plug-in instance: it
// writes control ports through the host and hears of port values through
// port_event.
//
// Its size is the page's times the host's scale (ui:scaleFactor). A host
// that gives none gets the page's own size: toolkits that scale the desktop
// (GDK_SCALE) scale what a UI asks for themselves, and the helper draws
// the page sharp at the desktop's scale all the same. The musician may make
// it larger or smaller; with the host's instance-access feature the last
// size is kept for that plug-in instance while this library stays loaded,
// so that an editor closed and opened again comes back as it was left.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include "lv2/ports.h"
#include "lv2/ui_ports.h"
#include "lv2/ui_size.h"
#include "lv2/uris.h"
#include "x11editor/editor_link.h"

// Last: Xlib's macros (None, Status, Bool) must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xlibint.h>  // XESetError, an error handler for one connection

namespace yawp::lv2 {
namespace {

using catalogue::kCount;

struct Ui {
    x11editor::EditorLink* link;
    Display* display;  // ours alone, for our window
    Window parent;     // the host's
    Window window;     // ours, the UI's widget; the helper lives in it
    UiPortWriter ports;  // the page's gestures, as port writes
    const void* instance;  // the plug-in instance, when the host tells it
};

// --- Our window ------------------------------------------------------------------------

// [main-thread] Errors on our connection end here, not in the process's X
// error handler (GDK's ends the process): the host may destroy its parent,
// and our window with it, before it cleans the UI up, and a request that
// finds them gone has nothing left to do.
int ignore_error(Display*, xError*, XExtCodes*, int* result) {
    *result = 0;
    return 1;
}

// [main-thread] Our connection, with its errors kept to itself.
bool open_display(Ui* ui) {
    ui->display = XOpenDisplay(nullptr);
    if (ui->display == nullptr) return false;
    if (XExtCodes* codes = XAddExtension(ui->display)) XESetError(ui->display, codes->extension, ignore_error);
    return true;
}

// [main-thread] Our window: a child of the parent at the editor's size,
// showing the parent's background until the helper covers it. Hosts that
// wrap X11 UIs in a toolkit (suil) size and embed only a child of the
// parent they gave, never the parent itself. False when there is no such
// parent.
bool open_window(Ui* ui, uintptr_t parent, UiSize size) {
    ui->parent = Window(parent);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(ui->display, ui->parent, &attributes) == 0) return false;
    XSetWindowAttributes background;
    background.background_pixmap = ParentRelative;
    ui->window = XCreateWindow(ui->display, ui->parent, 0, 0, unsigned(size.width), unsigned(size.height), 0,
                               CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap, &background);
    // The parent's size changes reach idle(), which makes ours follow; our
    // own (a wrapper such as suil sizes our window itself) are remembered.
    XSelectInput(ui->display, ui->parent, StructureNotifyMask);
    XSelectInput(ui->display, ui->window, StructureNotifyMask);
    XMapWindow(ui->display, ui->window);
    // The helper looks our window up on its own connection.
    XSync(ui->display, False);
    return ui->window != 0;
}

// [main-thread] Our window goes with the connection. The host may have
// destroyed it with its parent already; the request then fails harmlessly.
void close_window(Ui* ui) {
    if (ui->display == nullptr) return;
    if (ui->window != 0) XDestroyWindow(ui->display, ui->window);
    XCloseDisplay(ui->display);
}

// [main-thread]
void resize_window(Ui* ui, int width, int height) {
    if (width <= 0 || height <= 0) return;
    XResizeWindow(ui->display, ui->window, unsigned(width), unsigned(height));
    XFlush(ui->display);
    keep_ui_size(ui->instance, {width, height});
}

// [main-thread] Our window takes the parent's latest size; the helper
// follows ours by itself. A size given to our window directly is kept.
void follow_parent(Ui* ui) {
    UiSize parent{0, 0};
    while (XPending(ui->display) > 0) {
        XEvent event;
        XNextEvent(ui->display, &event);
        if (event.type != ConfigureNotify) continue;
        const UiSize size{event.xconfigure.width, event.xconfigure.height};
        if (event.xconfigure.window == ui->parent) parent = size;
        if (event.xconfigure.window == ui->window) keep_ui_size(ui->instance, size);
    }
    resize_window(ui, parent.width, parent.height);
}

// [main-thread] The page's gestures.
void begin_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.begin(index, value); }
void perform_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.perform(index, value); }
void end_edit(void* self, uint32_t index, float value) { static_cast<Ui*>(self)->ports.end(index, value); }

struct Features {
    uintptr_t parent = 0;  // the X11 window to live in
    const LV2UI_Resize* resize = nullptr;
    double scale = 0;  // the host's ui:scaleFactor, 0 when it gave none
};

// [main-thread] A missing touch feature leaves edits without notifications.
Features read_features(Ui* ui, const LV2_Feature* const* features) {
    Features found;
    for (size_t i = 0; features != nullptr && features[i] != nullptr; ++i) {
        const LV2_Feature* f = features[i];
        if (f->URI == nullptr) continue;
        if (std::strcmp(f->URI, LV2_UI__parent) == 0) {
            found.parent = reinterpret_cast<uintptr_t>(f->data);
        } else if (std::strcmp(f->URI, LV2_UI__touch) == 0) {
            ui->ports.take_touch(f);
        } else if (std::strcmp(f->URI, LV2_UI__resize) == 0 && f->data != nullptr) {
            found.resize = static_cast<const LV2UI_Resize*>(f->data);
        }
    }
    ui->instance = ui_instance(features);
    found.scale = ui_scale_factor(features);
    return found;
}

// [main-thread] Without a parent there is nowhere to show the page: the
// host falls back to its own controls. The widget is our window in the
// parent; the helper fills it and follows its size.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char* bundle_path, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (widget == nullptr) return nullptr;
    *widget = nullptr;
    if (bundle_path == nullptr || write == nullptr) return nullptr;
    auto* ui = static_cast<Ui*>(std::calloc(1, sizeof(Ui)));
    if (ui == nullptr) return nullptr;
    const Features found = read_features(ui, features);
    ui->ports.write = write;
    ui->ports.controller = controller;
    const x11editor::EditCallbacks callbacks{ui, begin_edit, perform_edit, end_edit};
    UiSize size = page_size_at(0);
    if (found.parent != 0 && open_display(ui)) {
        size = first_ui_size(ui->instance, found.scale);
        if (open_window(ui, found.parent, size))
            ui->link = x11editor::editor_link_open(bundle_path, bundle_path, ui->window, &callbacks, kCount);
    }
    if (ui->link == nullptr) {
        close_window(ui);
        std::free(ui);
        return nullptr;
    }
    x11editor::editor_link_set_scale(ui->link, found.scale);
    if (found.resize != nullptr && found.resize->ui_resize != nullptr)
        found.resize->ui_resize(found.resize->handle, size.width, size.height);
    *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(ui->window));
    return ui;
}

// [main-thread] The helper is told to end before its window goes; one
// still running then ends with the window too.
void cleanup(LV2UI_Handle handle) {
    Ui* ui = static_cast<Ui*>(handle);
    x11editor::editor_link_close(ui->link);
    close_window(ui);
    std::free(ui);
}

// [main-thread]
void port_event(LV2UI_Handle handle, uint32_t port, uint32_t, uint32_t, const void* buffer) {
    Ui* ui = static_cast<Ui*>(handle);
    uint32_t index = 0;
    float value = 0;
    if (page_value_of_port(port, buffer, &index, &value)) x11editor::editor_link_set_parameter(ui->link, index, value);
}

// [main-thread] The socket is read without waiting. A helper that has gone
// leaves an empty window; the UI never asks to be closed.
int idle(LV2UI_Handle handle) {
    Ui* ui = static_cast<Ui*>(handle);
    follow_parent(ui);
    x11editor::editor_link_poll(ui->link);
    return 0;
}

// [main-thread] The host tells us our size.
int resize(LV2UI_Feature_Handle handle, int width, int height) {
    if (handle == nullptr) return 1;
    resize_window(static_cast<Ui*>(handle), width, height);
    return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {idle};
const LV2UI_Resize kResizeInterface = {nullptr, resize};

// [any-thread]
const void* extension_data(const char* uri) {
    if (uri == nullptr) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    if (std::strcmp(uri, LV2_UI__resize) == 0) return &kResizeInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {YAWP_LV2_UI_URI, instantiate, cleanup, port_event, extension_data};

}  // namespace
}  // namespace yawp::lv2

// [any-thread]
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &yawp::lv2::kDescriptor : nullptr;
}
