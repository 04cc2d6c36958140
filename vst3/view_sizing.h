// What both editor views (Windows and Linux) do about their size: the
// host's content scale, the sizes the host proposes and gives, the size the
// musician left the editor at, and asking the host's frame for a new size
// when the scale changes while the editor is shown.
#pragma once

#include <pluginterfaces/gui/iplugview.h>

namespace yawp::vst3 {

class Controller;

class ViewSizing {
public:
    // (view, width, height): put the editor's window to this size.
    using Apply = void (*)(void* view, int width, int height);

    ViewSizing(void* view, Apply apply) : view_(view), apply_(apply) {}

    // [main-thread] The editor's size: the one the host gave while it is
    // shown, otherwise the page's size at the scale and the kept zoom.
    Steinberg::ViewRect size(const Controller* controller) const;
    double scale() const { return scale_; }
    // Whether the host reported a content scale at all: without one, the
    // Linux editor goes by the desktop's settings.
    bool scale_given() const { return scale_given_; }

    // [main-thread] The page's proportions, within the zoom limits.
    void constrain(Steinberg::ViewRect* rect, const Controller* controller) const;

    // The answers to IPlugView's getSize, onSize and checkSizeConstraint,
    // the same for both views. [main-thread]
    Steinberg::tresult get_size(Steinberg::ViewRect* size, const Controller* controller) const;
    Steinberg::tresult on_size(Steinberg::ViewRect* size, Controller* controller);
    Steinberg::tresult check_size(Steinberg::ViewRect* rect, const Controller* controller) const;

    // [main-thread] The editor opened at this size, or closed.
    void shown_at(const Steinberg::ViewRect& size);
    void hidden();

    // [main-thread] The host gave the editor a size (onSize): applied, and
    // kept as the musician's zoom.
    void host_sized(const Steinberg::ViewRect& rect, Controller* controller);

    // [main-thread] The host's content scale. While the editor is shown, the
    // frame is asked for the new size; a host that answers with onSize inside
    // that call, later, or never, leaves a window of the size it agreed to.
    // True when the scale changed.
    bool set_scale(double scale, Steinberg::IPlugFrame* frame, Steinberg::IPlugView* view,
                   const Controller* controller);

private:
    void apply(int width, int height);

    void* view_;
    Apply apply_;
    double scale_ = 1.0;
    bool scale_given_ = false;
    bool shown_ = false;
    int width_ = 0;  // while shown: the size the window has
    int height_ = 0;
    bool asking_frame_ = false;  // inside our own resizeView call
    bool host_answered_ = false;  // the host called onSize during it
};

}  // namespace yawp::vst3
