// The test double of WebView2Loader.dll and the browser behind it.
//
// The double implements the environment, controller, web view, settings and
// event-argument objects with the host's own interface declarations, and
// delivers every completion and event on the thread that created the
// environment, through that thread's message loop, as the browser does. The
// tests steer and watch it through the plain C functions below, which they
// look up with GetProcAddress.
//
// A browser is found by any window of the thread it lives on (normally the
// host's browser window); a null window means the latest browser.
#pragma once

#include <windows.h>

struct WV2DoubleState {
    DWORD thread;         // the web view thread
    HWND parent;          // given to CreateCoreWebView2Controller
    RECT bounds;          // the latest put_Bounds
    BOOL visible;         // the latest put_IsVisible
    BOOL closed;          // Close was called
    BOOL apartment_ok;    // the environment was created in a single-threaded apartment
    int events_handled;   // raised events whose handler has returned
    int sent;             // strings posted to the page
    double rasterization_scale;   // the latest put_RasterizationScale, 0 for none
    BOOL detects_monitor_scale;   // the latest put_ShouldDetectMonitorScaleChanges (TRUE until one)
    int thread_dpi_awareness;     // of the thread that asked for the environment (0 unaware,
                                  // 1 system, 2 per monitor), -1 where Windows cannot tell
    wchar_t class_name[64];            // of the browser window, seen when the environment was asked for
    wchar_t profile_folder[MAX_PATH];  // the user data folder
    wchar_t browser_arguments[128];
    wchar_t browser_version[64];
    wchar_t current_uri[1024];  // where the page is, after navigations that went ahead
};

extern "C" {
// Forgets all browsers' records and faults.
typedef void (*WV2DoubleReset)();
// Makes a step fail with result from now on (until the next reset). Points:
// the name of a method ("Navigate", "put_IsScriptEnabled", ...), or
// "environment-completed", "controller-completed" (the completion carries
// result), "environment-null", "controller-null" (the completion succeeds
// with no object), "environment-never" (the environment never arrives),
// "QueryInterface <interface name>" (the interface is not offered).
typedef void (*WV2DoubleFail)(const char* point, HRESULT result);
// COM objects of the double alive right now.
typedef int (*WV2DoubleLiveObjects)();
// Calls of methods the host has no business calling, and calls from a
// thread other than the browser's.
typedef int (*WV2DoubleStrayCalls)();
// Raise events on the browser's thread; false when there is no browser or
// it is closed. as_string false posts a message that is not a string.
typedef BOOL (*WV2DoublePostPageMessage)(HWND window, const wchar_t* text, BOOL as_string);
typedef BOOL (*WV2DoubleNavigate)(HWND window, const wchar_t* uri);
typedef BOOL (*WV2DoubleRequestWindow)(HWND window, const wchar_t* uri);
typedef BOOL (*WV2DoubleGetState)(HWND window, WV2DoubleState* state);
// The index-th string posted to the page; its length, or -1.
typedef int (*WV2DoubleSent)(HWND window, int index, wchar_t* text, int capacity);
// Everything the browser saw, one line per call or event; its length.
typedef int (*WV2DoubleLog)(HWND window, wchar_t* text, int capacity);
}
