// The editor view: the page in a web view host inside the host's editor
// window. Windows only, since the browser is Microsoft's WebView2.
#pragma once

#include <atomic>
#include <cstdint>

#include <windows.h>

#include <pluginterfaces/gui/iplugview.h>

#include "vst3/sdk.h"
#include "vst3/view_sizing.h"

struct WV2Host;

namespace yawp::vst3 {

class Controller;

class View final : public Steinberg::IPlugView, public Steinberg::IPlugViewContentScaleSupport {
public:
    using tresult = Steinberg::tresult;
    using uint32 = Steinberg::uint32;

    // [main-thread] A new view of the controller's values, with one
    // reference; null when memory is short.
    static View* create(Controller* controller);

    // [main-thread] Whether a browser could start here: the WebView2 loader
    // beside the module or an installed WebView2 runtime. Starts no browser.
    static bool can_open();

    // [any-thread]
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32 PLUGIN_API release() override;

    // The host calls everything else on its UI thread. [main-thread]
    tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    tresult PLUGIN_API removed() override;
    tresult PLUGIN_API onWheel(float) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API onKeyDown(Steinberg::char16, Steinberg::int16, Steinberg::int16) override {
        return Steinberg::kResultFalse;
    }
    tresult PLUGIN_API onKeyUp(Steinberg::char16, Steinberg::int16, Steinberg::int16) override {
        return Steinberg::kResultFalse;
    }
    tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
    tresult PLUGIN_API onSize(Steinberg::ViewRect* size) override;
    tresult PLUGIN_API onFocus(Steinberg::TBool) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
    tresult PLUGIN_API canResize() override { return Steinberg::kResultTrue; }
    tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;
    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

    // [any-thread] Sends a value to the page while the view is attached.
    void show(uint32_t index, float value) const;

    // [main-thread] The controller is going away before the view: from now
    // on the view has no values to show and sends gestures nowhere.
    void forget_controller() { controller_ = nullptr; }

private:
    explicit View(Controller* controller) : controller_(controller), sizing_(this, size_window) {}
    ~View() = default;

    void close_editor();
    void show_all_values() const;

    static const char* loader_folder(void* view);
    static const char* resources_folder(void* view);
    static void begin_edit(void* view, uint32_t index, float value);
    static void perform_edit(void* view, uint32_t index, float value);
    static void end_edit(void* view, uint32_t index, float value);
    static void CALLBACK idle_tick(HWND window, UINT message, UINT_PTR view, DWORD time);
    static void size_window(void* view, int width, int height);

    std::atomic<uint32> refs_{1};
    Steinberg::IPlugFrame* frame_ = nullptr;  // not held; asked for a new size when the scale changes
    WV2Host* host_ = nullptr;                 // set while attached
    Controller* controller_;                  // not held: the controller outlives its views
    ViewSizing sizing_;
    uintptr_t timer_ = 0;
};

}  // namespace yawp::vst3
