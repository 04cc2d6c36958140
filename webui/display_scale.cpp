// The browser's pixels on high-DPI displays. The web view thread's windows
// take the DPI awareness of the host's window, so that Windows neither
// stretches them nor hands them pixels the host does not expect; and the
// browser draws at the larger of the host's content scale and the monitor's.
// Some DAWs are DPI-aware and also report the monitor's factor: the two are
// never multiplied.
#include <algorithm>

#include "webui/host_record.h"

namespace {

// Windows 10 (1607 and later) functions, looked up so that the editor still
// opens where they are missing: there a process has a single awareness.
using GetWindowAwareness = HANDLE(WINAPI*)(HWND window);
using SetThreadAwareness = HANDLE(WINAPI*)(HANDLE context);
using GetWindowDpi = UINT(WINAPI*)(HWND window);

constexpr double kStandardDpi = 96.0;

template <class Function>
Function user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

// [web-view-thread] The monitor's scale where the window is, as the window's
// awareness sees it (1 for a DPI-unaware window, which Windows stretches).
double monitor_scale(HWND window) {
    static const GetWindowDpi dpi_of = user32_function<GetWindowDpi>("GetDpiForWindow");
    const UINT dpi = dpi_of != nullptr && window != nullptr ? dpi_of(window) : 0;
    return dpi > 0 ? dpi / kStandardDpi : 1.0;
}

}  // namespace

// [web-view-thread]
void wv2_match_dpi_awareness(HWND parent) {
    static const GetWindowAwareness awareness_of = user32_function<GetWindowAwareness>("GetWindowDpiAwarenessContext");
    static const SetThreadAwareness set_awareness = user32_function<SetThreadAwareness>("SetThreadDpiAwarenessContext");
    if (parent == nullptr || awareness_of == nullptr || set_awareness == nullptr) return;
    HANDLE context = awareness_of(parent);
    if (context != nullptr) set_awareness(context);
}

// [web-view-thread]
void wv2_apply_rasterization_scale(WV2Host* host) {
    if (host->controller == nullptr) return;
    ICoreWebView2Controller3* controller = nullptr;
    if (FAILED(host->controller->QueryInterface(IID_ICoreWebView2Controller3, reinterpret_cast<void**>(&controller))) ||
        controller == nullptr)
        return;  // an older runtime follows the monitor by itself
    // We follow the monitor ourselves, so that the host's factor counts too.
    controller->put_ShouldDetectMonitorScaleChanges(FALSE);
    controller->put_RasterizationScale(std::max(host->host_scale, monitor_scale(host->window)));
    controller->Release();
}
