// The editor's web view host: the page from the resources folder, shown in a
// WebView2 browser that lives on a thread of its own, and the text messages
// between that page and the plug-in.
//
// The thread that calls wv2_host_create is the host's UI thread: the edit
// callbacks run there. Every WebView2 object lives on the host's web view
// thread. Values and texts may be pushed from any thread.
#pragma once

#include <cstdint>

#include <windows.h>

struct WV2Host;

// (user data) -> folder path; the loader folder in the system code page, the
// resources folder in UTF-8.
typedef const char* (*WV2FolderGetter)(void* user_data);
// (user data, catalogue index, plain value)
typedef void (*WV2EditCallback)(void* user_data, uint32_t index, float value);
// (host, UTF-8 text after the page's "m "); runs on the web view thread.
typedef void (*WV2MessageHandler)(WV2Host* host, const char* text);

struct WV2HostCallbacks {
    void* user_data;
    const char* format_name;  // "vst3" or "lv2"; carried along, never read
    WV2FolderGetter loader_folder;
    WV2FolderGetter resources_folder;
    WV2EditCallback begin_edit;
    WV2EditCallback perform_edit;
    WV2EditCallback end_edit;
};
static_assert(sizeof(WV2HostCallbacks) == 7 * sizeof(void*));

// [main-thread] Whether a browser could start at all: WebView2Loader.dll is in
// the loader folder (in the system code page), or a WebView2 runtime is
// installed. Cheap, and starts no browser: plug-ins ask it before they offer
// an editor, so that hosts can show their own controls instead.
bool wv2_host_can_start(const char* loader_folder);

// [main-thread] Shows the page in a new browser: inside parent when embed is
// set, as a top-level window otherwise. handler_slot, when not null, points
// to the handler of the page's "m" texts. Returns once the page is showing
// and loading, or null when anything failed (nothing is left behind then).
WV2Host* wv2_host_create(bool embed, HWND parent, const WV2HostCallbacks* callbacks,
                         const WV2MessageHandler* handler_slot, int width, int height, unsigned count);

// [main-thread] The browser's window: the wrapper sizes it and times on it.
HWND wv2_host_window(WV2Host* host);

// [main-thread] The host's content scale (2 on a 200 % display, as the host
// reports it; 1 when it reports none). The browser draws its pixels at the
// larger of this and its monitor's scale. Values that are not a positive
// number are ignored.
void wv2_host_set_scale(WV2Host* host, double scale);

// [main-thread] Nothing to do: every message is handled as it arrives.
void wv2_host_idle(WV2Host* host);

// [any-thread] Stores the plain value of a catalogue index and sends it to
// the page; returns once it has been handed to the browser. Indices at or
// above the host's count are ignored.
void wv2_host_set_parameter(WV2Host* host, uint32_t index, float value);

// [any-thread] Sends "m " and the UTF-8 text to the page; invalid UTF-8 sends
// nothing. Not from inside an edit callback: the page's gesture is still
// being handed over then.
void wv2_host_send_text(WV2Host* host, const char* text);

// [main-thread] Closes the browser, waits for the web view thread to end and
// frees everything, also when the browser's window is already gone.
void wv2_host_destroy(WV2Host* host);
