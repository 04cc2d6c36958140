#include "vst3/view.h"

#include <cstring>
#include <new>

#include <windows.h>

#include "news/crier.h"
#include "vst3/controller.h"
#include "vst3/module_paths.h"
#include "webui/host.h"

namespace yawp::vst3 {

using namespace Steinberg;
namespace cat = catalogue;

namespace {

constexpr UINT kIdlePeriodMs = 20;
// Only the size changes; the window keeps its place and stacking, and the
// host keeps the focus.
constexpr UINT kResizeFlags = SWP_NOOWNERZORDER | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE;
static_assert(kResizeFlags == 0x216);

constexpr WV2MessageHandler kNewsHandler = crier_handle_message;

bool is_hwnd(FIDString type) { return type != nullptr && std::strcmp(type, kPlatformTypeHWND) == 0; }

}  // namespace

View* View::create(Controller* controller) { return new (std::nothrow) View(controller); }

bool View::can_open() { return wv2_host_can_start(module_directory()); }

tresult PLUGIN_API View::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (same_id(iid, FUnknown::iid) || same_id(iid, IPlugView::iid))
        *obj = static_cast<IPlugView*>(this);
    else if (same_id(iid, IPlugViewContentScaleSupport::iid))
        *obj = static_cast<IPlugViewContentScaleSupport*>(this);
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

tresult PLUGIN_API View::isPlatformTypeSupported(FIDString type) { return is_hwnd(type) ? kResultTrue : kResultFalse; }

tresult PLUGIN_API View::attached(void* parent, FIDString type) {
    if (!is_hwnd(type) || host_ != nullptr) return kInvalidArgument;
    const WV2HostCallbacks callbacks{this, "vst3", loader_folder, resources_folder, begin_edit, perform_edit, end_edit};
    const ViewRect size = sizing_.size(controller_);
    WV2Host* host = wv2_host_create(true, static_cast<HWND>(parent), &callbacks, &kNewsHandler, size.getWidth(),
                                    size.getHeight(), cat::kCount);
    if (host == nullptr) return kResultFalse;
    wv2_host_set_scale(host, sizing_.scale());
    host_ = host;  // before the first tick can look for it
    timer_ = SetTimer(wv2_host_window(host), reinterpret_cast<uintptr_t>(this), kIdlePeriodMs, idle_tick);
    if (timer_ == 0) {
        wv2_host_destroy(host);
        host_ = nullptr;
        return kResultFalse;
    }
    sizing_.shown_at(size);
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

// The host's display scale: the window grows to match, and the browser
// draws its pixels at that scale.
tresult PLUGIN_API View::setContentScaleFactor(ScaleFactor factor) {
    sizing_.set_scale(factor, frame_, this, controller_);
    if (host_ != nullptr) wv2_host_set_scale(host_, sizing_.scale());
    return kResultTrue;
}

tresult PLUGIN_API View::setFrame(IPlugFrame* frame) {
    frame_ = frame;
    return kResultOk;
}

void View::show(uint32_t index, float value) const {
    if (host_ != nullptr) wv2_host_set_parameter(host_, index, value);
}

// The page starts from what the controller knows: the 32 inputs, then the
// four meters.
void View::show_all_values() const {
    if (controller_ == nullptr) return;
    for (uint32_t i = 0; i < cat::kCount; ++i) show(i, static_cast<float>(controller_->value(i)));
}

// Stopping the tick first: nothing may reach for the host once it is gone.
void View::close_editor() {
    if (host_ == nullptr) return;
    KillTimer(wv2_host_window(host_), timer_);
    wv2_host_destroy(host_);
    host_ = nullptr;
    timer_ = 0;
    sizing_.hidden();
}

const char* View::loader_folder(void*) { return module_directory(); }
const char* View::resources_folder(void*) { return resources_directory(); }

void View::begin_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->begin_edit(index, value);
}

void View::perform_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->perform_edit(index, value);
}

void View::end_edit(void* view, uint32_t index, float value) {
    if (Controller* c = static_cast<View*>(view)->controller_) c->end_edit(index, value);
}

// [web-view-thread] The timer lives on the browser's window, which belongs
// to the web view thread, so the tick arrives there. It reads nothing but
// the host, which outlives every tick: closing kills the timer before it
// closes the host, and closing the host waits for the web view thread to
// finish what it is doing.
void CALLBACK View::idle_tick(HWND, UINT, UINT_PTR view, DWORD) {
    wv2_host_idle(reinterpret_cast<View*>(view)->host_);
}

void View::size_window(void* view, int width, int height) {
    WV2Host* host = static_cast<View*>(view)->host_;
    if (host != nullptr) SetWindowPos(wv2_host_window(host), nullptr, 0, 0, width, height, kResizeFlags);
}

}  // namespace yawp::vst3
