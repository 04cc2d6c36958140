// Texts as the page and the plug-in write them, and a count of this
// thread's windows: shared by the web view host's tests and the editors'.
#pragma once

#include <windows.h>

#include <bit>
#include <cstdint>
#include <cwchar>
#include <string>

namespace page_text {

inline uint32_t bits_of(float value) { return std::bit_cast<uint32_t>(value); }

// "s %08x %08x", as the host writes value messages.
inline std::wstring value_message(uint32_t index, float value) {
    wchar_t text[32];
    swprintf(text, 32, L"s %08x %08x", index, bits_of(value));
    return text;
}

// A page gesture as the page writes it: kind, space, index and bits in hex.
inline std::wstring gesture(char kind, uint32_t index, float value) {
    wchar_t text[32];
    swprintf(text, 32, L"%c %x %x", kind, index, bits_of(value));
    return text;
}

// Top-level windows of this thread. The system's own input-method window
// comes and goes with a thread's windows; it is not ours to count.
inline int thread_window_count() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM counter) {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (wcscmp(name, L"IME") != 0) ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace page_text
