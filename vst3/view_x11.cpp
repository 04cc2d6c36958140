#include "vst3/view_x11.h"

#include <cstring>
#include <new>

#include "vst3/controller.h"
#include "vst3/module_paths.h"
#include "x11editor/editor_link.h"

namespace yawp::vst3 {

using namespace Steinberg;
namespace cat = catalogue;

namespace {

constexpr Linux::TimerInterval kIdlePeriodMs = 20;

bool is_x11(FIDString type) { return type != nullptr && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0; }

// [main-thread] The host's run loop, offered by its plug frame; null when
// the host has none.
Linux::IRunLoop* run_loop_of(IPlugFrame* frame) {
    if (frame == nullptr) return nullptr;
    void* loop = nullptr;
    if (frame->queryInterface(Linux::IRunLoop::iid, &loop) != kResultOk) return nullptr;
    return static_cast<Linux::IRunLoop*>(loop);
}

}  // namespace

View* View::create(Controller* controller) { return new (std::nothrow) View(controller); }

tresult PLUGIN_API View::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (same_id(iid, FUnknown::iid) || same_id(iid, IPlugView::iid))
        *obj = static_cast<IPlugView*>(this);
    else if (same_id(iid, IPlugViewContentScaleSupport::iid))
        *obj = static_cast<IPlugViewContentScaleSupport*>(this);
    else if (same_id(iid, Linux::IEventHandler::iid))
        *obj = static_cast<Linux::IEventHandler*>(this);
    else if (same_id(iid, Linux::ITimerHandler::iid))
        *obj = static_cast<Linux::ITimerHandler*>(this);
    if (*obj == nullptr) return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API View::release() {
    const uint32 left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left != 0) return left;
    close_editor();
    if (controller_ != nullptr) controller_->forget_view(this);
    delete this;
    return 0;
}

tresult PLUGIN_API View::isPlatformTypeSupported(FIDString type) { return is_x11(type) ? kResultTrue : kResultFalse; }

// Without the host's run loop nobody would read the helper's socket, so
// nothing is started.
tresult PLUGIN_API View::attached(void* parent, FIDString type) {
    if (!is_x11(type) || link_ != nullptr) return kInvalidArgument;
    Linux::IRunLoop* loop = run_loop_of(frame_);
    if (loop == nullptr) return kResultFalse;
    const x11editor::EditCallbacks callbacks{this, begin_edit, perform_edit, end_edit};
    const auto window = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
    x11editor::EditorLink* link =
        x11editor::editor_link_open(module_directory(), resources_directory(), window, &callbacks, cat::kCount);
    if (link == nullptr) {
        loop->release();
        return kResultFalse;
    }
    if (loop->registerTimer(this, kIdlePeriodMs) != kResultOk) {
        x11editor::editor_link_close(link);
        loop->release();
        return kResultFalse;
    }
    run_loop_ = loop;
    link_ = link;
    watching_socket_ = loop->registerEventHandler(this, x11editor::editor_link_fd(link)) == kResultOk;
    sizing_.shown_at(sizing_.size(controller_));
    if (sizing_.scale_given()) x11editor::editor_link_set_scale(link, sizing_.scale());
    show_all_values();
    return kResultOk;
}

tresult PLUGIN_API View::removed() {
    close_editor();
    return kResultOk;
}

tresult PLUGIN_API View::getSize(ViewRect* size) { return sizing_.get_size(size, controller_); }

tresult PLUGIN_API View::onSize(ViewRect* size) { return sizing_.on_size(size, controller_); }

tresult PLUGIN_API View::checkSizeConstraint(ViewRect* rect) { return sizing_.check_size(rect, controller_); }

// The host's display scale: the host's window grows to match, and the
// helper draws the page at that scale.
tresult PLUGIN_API View::setContentScaleFactor(ScaleFactor factor) {
    sizing_.set_scale(factor, frame_, this, controller_);
    if (link_ != nullptr) x11editor::editor_link_set_scale(link_, sizing_.scale());
    return kResultTrue;
}

tresult PLUGIN_API View::setFrame(IPlugFrame* frame) {
    frame_ = frame;
    return kResultOk;
}

void PLUGIN_API View::onFDIsSet(Linux::FileDescriptor) { poll_editor(); }
void PLUGIN_API View::onTimer() { poll_editor(); }

void View::show(uint32_t index, float value) const {
    if (link_ != nullptr) x11editor::editor_link_set_parameter(link_, index, value);
}

// [main-thread] A helper that has gone closed its socket: the run loop must
// stop watching it before anything else gets the same number.
void View::poll_editor() {
    if (link_ == nullptr) return;
    if (!x11editor::editor_link_poll(link_) && watching_socket_) {
        run_loop_->unregisterEventHandler(this);
        watching_socket_ = false;
    }
}

// The page starts from what the controller knows: the 32 inputs, then the
// four meters.
void View::show_all_values() const {
    if (controller_ == nullptr) return;
    for (uint32_t i = 0; i < cat::kCount; ++i) show(i, static_cast<float>(controller_->value(i)));
}

// The run loop lets go of us before the socket closes.
void View::close_editor() {
    if (link_ == nullptr) return;
    if (watching_socket_) run_loop_->unregisterEventHandler(this);
    run_loop_->unregisterTimer(this);
    run_loop_->release();
    run_loop_ = nullptr;
    watching_socket_ = false;
    x11editor::editor_link_close(link_);
    link_ = nullptr;
    sizing_.hidden();
}

void View::begin_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->begin_edit(index, value);
}

void View::perform_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->perform_edit(index, value);
}

void View::end_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->end_edit(index, value);
}

}  // namespace yawp::vst3
