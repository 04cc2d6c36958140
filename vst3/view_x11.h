// The editor view on Linux: the page, shown by the helper program
// yawp-wah-editor inside the host's X11 window. The module links no
// toolkit; the host's run loop (IRunLoop, from the plug frame) tells the
// view when the helper's socket is readable and ticks a timer.
#pragma once

#include <atomic>
#include <cstdint>

#include <pluginterfaces/gui/iplugview.h>

#include "vst3/sdk.h"
#include "vst3/view_sizing.h"

namespace yawp::x11editor {
struct EditorLink;
}

namespace yawp::vst3 {

class Controller;

class View final : public Steinberg::IPlugView,
                   public Steinberg::IPlugViewContentScaleSupport,
                   public Steinberg::Linux::IEventHandler,
                   public Steinberg::Linux::ITimerHandler {
public:
    using tresult = Steinberg::tresult;
    using uint32 = Steinberg::uint32;

    // [main-thread] A new view of the controller's values, with one
    // reference; null when memory is short.
    static View* create(Controller* controller);

    // [main-thread] Always: whether the helper starts is known only when
    // the view is attached.
    static bool can_open() { return true; }

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

    // The host's run loop. [main-thread]
    void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor fd) override;
    void PLUGIN_API onTimer() override;

    // [main-thread] Sends a value to the page while the view is attached.
    void show(uint32_t index, float value) const;

    // [main-thread] The controller is going away before the view: from now
    // on the view has no values to show and sends gestures nowhere.
    void forget_controller() { controller_ = nullptr; }

private:
    // The helper follows the size of the host's window by itself.
    explicit View(Controller* controller) : controller_(controller), sizing_(this, [](void*, int, int) {}) {}
    ~View() = default;

    void close_editor();
    void poll_editor();
    void show_all_values() const;

    static void begin_edit(void* view, uint32_t index, float value);
    static void perform_edit(void* view, uint32_t index, float value);
    static void end_edit(void* view, uint32_t index, float value);

    std::atomic<uint32> refs_{1};
    Steinberg::IPlugFrame* frame_ = nullptr;            // not held; asked for a new size when the scale changes
    Steinberg::Linux::IRunLoop* run_loop_ = nullptr;    // held while attached
    x11editor::EditorLink* link_ = nullptr;             // set while attached
    bool watching_socket_ = false;                      // our handler is registered
    Controller* controller_;  // not held: the controller outlives its views
    ViewSizing sizing_;
};

}  // namespace yawp::vst3
