// The page in a WebKitGTK view that speaks like WebView2 to it: the page
// finds window.chrome.webview, posts strings with it and hears "message"
// events, so the same page runs on both platforms unchanged.
#pragma once

#include <gtk/gtk.h>

// (user data, UTF-8 text the page posted)
typedef void (*PageTextHandler)(void* user_data, const char* text);

// A new web view showing the page file (an absolute path), or null. Texts
// the page posts go to `handler`.
GtkWidget* page_view_new(const char* page_file, PageTextHandler handler, void* user_data);

// Runs a script in the page (see page_batch.h), without waiting for it.
void page_view_run_script(GtkWidget* view, const char* script, size_t length);

// The scale to draw the page at: the host's (see helper_texts.h), or 0 to
// go by the desktop: GDK's own scale factor (GDK_SCALE, the desktop's
// window scaling) or else the font resolution (Xft.dpi) over 96. The
// page's layout stays the same; only how many pixels it takes changes, and
// the page fits itself to the window it is given.
void page_view_set_scale(GtkWidget* view, double host_scale);
