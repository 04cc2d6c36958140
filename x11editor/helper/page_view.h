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

// Hands one text to the page's "message" listeners. Invalid UTF-8 is
// dropped, as the Windows bridge drops it.
void page_view_deliver(GtkWidget* view, const char* text, size_t length);
