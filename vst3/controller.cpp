#include "vst3/controller.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "state/document.h"
#include "vst3/stream_io.h"
#ifdef _WIN32
#include "vst3/view.h"
#else
#include "vst3/view_x11.h"
#endif

namespace yawp::vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace cat = catalogue;

namespace {

// Values the processor reports before its first block.
constexpr double kInitialOutputs[cat::kOutputCount] = {50, 0, 0, 0};

std::optional<uint32_t> index_of(ParamID id) { return cat::index_of_vst3_id(id); }

}  // namespace

Controller::Controller() { reset_to_defaults(); }

void Controller::reset_to_defaults() {
    for (uint32_t i = 0; i < cat::kInputCount; ++i) values_[i] = cat::entry(i)->def;
    for (uint32_t k = 0; k < cat::kOutputCount; ++k) values_[cat::kInputCount + k] = kInitialOutputs[k];
}

tresult PLUGIN_API Controller::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    void* face = nullptr;
    if (same_id(iid, FUnknown::iid) || same_id(iid, IPluginBase::iid) || same_id(iid, IEditController::iid))
        face = static_cast<IEditController*>(this);
    else if (same_id(iid, IMidiMapping::iid))
        face = static_cast<IMidiMapping*>(this);
    else if (same_id(iid, IConnectionPoint::iid))
        face = static_cast<IConnectionPoint*>(this);
    *obj = face;
    if (face == nullptr) return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API Controller::release() {
    const uint32 left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left != 0) return left;
    // Hosts normally release their views first. One the host still holds
    // only loses its controller: the controller never took a reference of
    // its own on a view (the one a view is created with belongs to the
    // host), and dropping the host's here would leave it holding a freed
    // view.
    for (size_t i = 0; i < view_slots_; ++i)
        if (views_[i] != nullptr) views_[i]->forget_controller();
    std::free(views_);
    if (handler_ != nullptr) handler_->release();
    delete this;
    return 0;
}

tresult PLUGIN_API Controller::initialize(FUnknown* context) {
    if (context_ != nullptr) return kResultFalse;
    context_ = context;
    reset_to_defaults();
    return kResultOk;
}

tresult PLUGIN_API Controller::terminate() {
    context_ = nullptr;
    return kResultOk;
}

void Controller::restore_set(void* user, uint32_t index, float value) {
    static_cast<Controller*>(user)->values_[index] = cat::coerce(index, value);
}

tresult PLUGIN_API Controller::setComponentState(IBStream* stream) {
    if (stream == nullptr) return kResultFalse;
    std::vector<uint8_t> bytes;
    if (!read_stream(stream, &bytes)) return kResultFalse;
    const state::RestoreHooks hooks{this, nullptr, restore_set, nullptr};
    if (state::restore_document({bytes.data(), bytes.size()}, hooks) != 0) return kResultFalse;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) show(i);
    return kResultOk;
}

int32 PLUGIN_API Controller::getParameterCount() { return static_cast<int32>(cat::kCount); }

tresult PLUGIN_API Controller::getParameterInfo(int32 index, ParameterInfo& info) {
    cat::Presentation p{};
    if (index < 0 || !cat::presentation(static_cast<uint32_t>(index), &p)) return kResultFalse;
    info.id = p.vst3_id;
    copy_text(info.title, p.title);
    copy_text(info.shortTitle, p.short_title);
    copy_text(info.units, p.units);
    info.stepCount = p.step_count;
    info.defaultNormalizedValue = p.default_normalized;
    info.unitId = p.unit_id;
    info.flags = p.flags;
    return kResultOk;
}

tresult PLUGIN_API Controller::getParamStringByValue(ParamID id, ParamValue normalized, String128 text) {
    if (text == nullptr) return kInvalidArgument;
    const std::optional<uint32_t> index = index_of(id);
    char16_t converted[cat::kTextCapacity];
    if (!index || !cat::value_to_text(*index, normalized, converted, cat::kTextCapacity)) return kResultFalse;
    copy_text(text, sizeof(String128) / sizeof(TChar), converted);
    return kResultOk;
}

tresult PLUGIN_API Controller::getParamValueByString(ParamID id, TChar* text, ParamValue& normalized) {
    if (text == nullptr) return kInvalidArgument;
    const std::optional<uint32_t> index = index_of(id);
    if (!index) return kResultFalse;
    // The reading stops at the first character that is not a digit, so a
    // String128's worth of the host's text is all it can ever use.
    char16_t converted[cat::kTextCapacity];
    size_t n = 0;
    for (; text[n] != 0 && n + 1 < cat::kTextCapacity; ++n) converted[n] = static_cast<char16_t>(text[n]);
    converted[n] = 0;
    return cat::text_to_value(*index, converted, &normalized) ? kResultOk : kResultFalse;
}

ParamValue PLUGIN_API Controller::normalizedParamToPlain(ParamID id, ParamValue normalized) {
    const std::optional<uint32_t> index = index_of(id);
    return index ? cat::normalized_to_plain(*index, normalized) : normalized;
}

ParamValue PLUGIN_API Controller::plainParamToNormalized(ParamID id, ParamValue plain) {
    const std::optional<uint32_t> index = index_of(id);
    return index ? cat::plain_to_normalized(*index, plain) : plain;
}

ParamValue PLUGIN_API Controller::getParamNormalized(ParamID id) {
    const std::optional<uint32_t> index = index_of(id);
    return index ? cat::plain_to_normalized(*index, values_[*index]) : 0.0;
}

// Host automation and the processor's output values, which the host relays
// here, both arrive this way.
tresult PLUGIN_API Controller::setParamNormalized(ParamID id, ParamValue normalized) {
    const std::optional<uint32_t> index = index_of(id);
    if (!index) return kResultFalse;
    values_[*index] = cat::coerce(*index, cat::normalized_to_plain(*index, normalized));
    show(*index);
    return kResultOk;
}

tresult PLUGIN_API Controller::setComponentHandler(IComponentHandler* handler) {
    if (handler == handler_) return kResultOk;
    if (handler_ != nullptr) handler_->release();
    handler_ = handler;
    if (handler_ != nullptr) handler_->addRef();
    return kResultOk;
}

IPlugView* PLUGIN_API Controller::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, ViewType::kEditor) != 0) return nullptr;
    // No editor at all rather than one that cannot open: the host then
    // offers its own controls.
    if (!View::can_open()) return nullptr;
    View* view = View::create(this);
    if (view == nullptr) return nullptr;
    size_t slot = 0;
    while (slot < view_slots_ && views_[slot] != nullptr) ++slot;
    if (slot == view_slots_) {
        auto* grown = static_cast<View**>(std::realloc(views_, (view_slots_ + 1) * sizeof(View*)));
        if (grown == nullptr) {
            view->release();  // the host never saw it: its only reference ends here
            return nullptr;
        }
        views_ = grown;
        ++view_slots_;
    }
    views_[slot] = view;
    return view;
}

void Controller::forget_view(View* view) {
    for (size_t i = 0; i < view_slots_; ++i)
        if (views_[i] == view) views_[i] = nullptr;
}

// Where a value reaches every open editor.
void Controller::show(uint32_t index) const {
    for (size_t i = 0; i < view_slots_; ++i)
        if (views_[i] != nullptr) views_[i]->show(index, static_cast<float>(values_[index]));
}

void Controller::edit(uint32_t index, float plain, EditStep step) {
    if (index >= cat::kCount) return;
    values_[index] = cat::coerce(index, plain);
    if (handler_ == nullptr) return;
    const ParamID id = cat::vst3_id(index);
    const ParamValue normalized = cat::plain_to_normalized(index, values_[index]);
    if (step == EditStep::kBegin) handler_->beginEdit(id);
    handler_->performEdit(id, normalized);
    if (step == EditStep::kEnd) handler_->endEdit(id);
}

void Controller::begin_edit(uint32_t index, float plain) { edit(index, plain, EditStep::kBegin); }
void Controller::perform_edit(uint32_t index, float plain) { edit(index, plain, EditStep::kPerform); }
void Controller::end_edit(uint32_t index, float plain) { edit(index, plain, EditStep::kEnd); }

}  // namespace yawp::vst3
