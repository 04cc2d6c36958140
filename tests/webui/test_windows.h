// Windows for tests to wait in and embed into: serving this thread's
// messages while a test waits, and a stand-in for a plug-in host's window.
// Shared by the web view host's tests and the editors'.
#pragma once

#include <windows.h>

#include <functional>

namespace test_windows {

// Serves this thread's messages until done() holds; false on time-out.
inline bool pump_until(const std::function<bool()>& done, DWORD timeout_ms = 30000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeout_ms) return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

inline void pump_for(DWORD ms) {
    const DWORD start = GetTickCount();
    pump_until([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

// A visible top-level window of this thread, as a plug-in host gives one to
// embed an editor in.
inline HWND make_parent_window(int width = 900, int height = 800) {
    static const wchar_t* const kClass = L"yawp-test-host-window";
    static const bool registered = [] {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof(window_class);
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = kClass;
        return RegisterClassExW(&window_class) != 0;
    }();
    if (!registered) return nullptr;
    HWND window = CreateWindowExW(0, kClass, L"plug-in host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, width, height,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pump_for(20);
    return window;
}

}  // namespace test_windows
