#include "x11editor/helper/embedding.h"

#include <gdk/gdkx.h>
#include <gtk/gtkx.h>

namespace {

struct Embedding {
    GtkWidget* plug;
    GdkWindow* parent;
};

void fit_to(GtkWidget* plug, int width, int height) {
    if (width <= 0 || height <= 0) return;
    gtk_widget_set_size_request(plug, width, height);
    gtk_window_resize(GTK_WINDOW(plug), width, height);
    if (GdkWindow* window = gtk_widget_get_window(plug)) gdk_window_resize(window, width, height);
}

// X counts a window's size in the screen's pixels, GTK in its own, which
// are GDK's scale factor (GDK_SCALE) times larger; rounded up, so that the
// plug never leaves a seam of the parent showing.
int in_gtk_pixels(int pixels, int gdk_scale) { return (pixels + gdk_scale - 1) / gdk_scale; }

// The parent's own events reach us because we asked for its structure
// events: a resize makes the plug follow, and its end ends the plug.
GdkFilterReturn on_parent_event(GdkXEvent* native, GdkEvent*, gpointer data) {
    auto* embedding = static_cast<Embedding*>(data);
    const auto* event = static_cast<const XEvent*>(native);
    if (event->type == ConfigureNotify) {
        const int gdk_scale = gdk_window_get_scale_factor(embedding->parent);
        fit_to(embedding->plug, in_gtk_pixels(event->xconfigure.width, gdk_scale),
               in_gtk_pixels(event->xconfigure.height, gdk_scale));
    } else if (event->type == DestroyNotify && event->xdestroywindow.window == event->xdestroywindow.event) {
        gtk_widget_destroy(embedding->plug);
    }
    return GDK_FILTER_CONTINUE;
}

void on_plug_destroyed(GtkWidget*, gpointer data) {
    auto* embedding = static_cast<Embedding*>(data);
    gdk_window_remove_filter(embedding->parent, on_parent_event, embedding);
    g_object_unref(embedding->parent);
    g_free(embedding);
}

}  // namespace

GtkWidget* embedding_new(unsigned long parent, GtkWidget* child) {
    GdkDisplay* display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(display)) return nullptr;
    gdk_x11_display_error_trap_push(display);
    GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, Window(parent));
    if (foreign != nullptr) gdk_window_set_events(foreign, GdkEventMask(gdk_window_get_events(foreign) | GDK_STRUCTURE_MASK));
    int width = 0;
    int height = 0;
    if (foreign != nullptr) gdk_window_get_geometry(foreign, nullptr, nullptr, &width, &height);
    if (gdk_x11_display_error_trap_pop(display) != 0 || foreign == nullptr) {
        if (foreign != nullptr) g_object_unref(foreign);
        return nullptr;
    }

    GtkWidget* plug = gtk_plug_new(Window(parent));
    auto* embedding = g_new(Embedding, 1);
    *embedding = Embedding{plug, foreign};
    gdk_window_add_filter(foreign, on_parent_event, embedding);
    g_signal_connect(plug, "destroy", G_CALLBACK(on_plug_destroyed), embedding);
    gtk_container_add(GTK_CONTAINER(plug), child);
    fit_to(plug, width, height);
    gtk_widget_show_all(plug);
    // A plain X window is no XEmbed embedder: nobody else would map the plug.
    GdkWindow* window = gtk_widget_get_window(plug);
    XMapWindow(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window));
    return plug;
}
