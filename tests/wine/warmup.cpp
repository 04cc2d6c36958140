// Creates, shows and destroys one window, then exits 0.
#include <windows.h>

int main() {
    HWND w = CreateWindowExA(0, "STATIC", "warm-up", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    if (w == nullptr) return 1;
    ShowWindow(w, SW_SHOW);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    DestroyWindow(w);
    return 0;
}
