#include "vst3/view_sizing.h"

#include "vst3/controller.h"
#include "vst3/view_size.h"

namespace yawp::vst3 {

using Steinberg::ViewRect;

namespace {

double zoom_of(const Controller* controller) { return controller != nullptr ? controller->editor_zoom() : 1.0; }

}  // namespace

ViewRect ViewSizing::size(const Controller* controller) const {
    if (shown_ && width_ > 0 && height_ > 0) return ViewRect(0, 0, width_, height_);
    return view_size::size_at(scale_, zoom_of(controller));
}

void ViewSizing::constrain(ViewRect* rect, const Controller* controller) const {
    const ViewRect now = size(controller);
    view_size::constrain(rect, scale_, view_size::zoom_fitting(now.getWidth(), now.getHeight(), scale_));
}

Steinberg::tresult ViewSizing::get_size(ViewRect* size, const Controller* controller) const {
    if (size == nullptr) return Steinberg::kInvalidArgument;
    *size = this->size(controller);
    return Steinberg::kResultOk;
}

// A size for an editor that is not open has nowhere to go.
Steinberg::tresult ViewSizing::on_size(ViewRect* size, Controller* controller) {
    if (!shown_) return Steinberg::kResultFalse;
    if (size == nullptr) return Steinberg::kInvalidArgument;
    host_sized(*size, controller);
    return Steinberg::kResultOk;
}

Steinberg::tresult ViewSizing::check_size(ViewRect* rect, const Controller* controller) const {
    if (rect == nullptr) return Steinberg::kInvalidArgument;
    constrain(rect, controller);
    return Steinberg::kResultTrue;
}

void ViewSizing::shown_at(const ViewRect& size) {
    shown_ = true;
    width_ = size.getWidth();
    height_ = size.getHeight();
}

void ViewSizing::hidden() { shown_ = false; }

void ViewSizing::apply(int width, int height) {
    width_ = width;
    height_ = height;
    if (shown_) apply_(view_, width, height);
}

void ViewSizing::host_sized(const ViewRect& rect, Controller* controller) {
    if (asking_frame_) host_answered_ = true;
    apply(rect.getWidth(), rect.getHeight());
    if (controller != nullptr) controller->keep_editor_zoom(view_size::zoom_fitting(width_, height_, scale_));
}

bool ViewSizing::set_scale(double scale, Steinberg::IPlugFrame* frame, Steinberg::IPlugView* view,
                           const Controller* controller) {
    scale = view_size::valid_scale(scale);
    scale_given_ = true;
    if (scale == scale_) return false;
    scale_ = scale;
    // A host that sends the scale again from inside resizeView gets the
    // size it is already making.
    if (!shown_ || asking_frame_) return true;
    ViewRect wanted = view_size::size_at(scale_, zoom_of(controller));
    asking_frame_ = true;
    host_answered_ = false;
    const bool agreed = frame != nullptr && frame->resizeView(view, &wanted) == Steinberg::kResultTrue;
    asking_frame_ = false;
    if (agreed && !host_answered_) apply(wanted.getWidth(), wanted.getHeight());
    return true;
}

}  // namespace yawp::vst3
