// The edit controller: the host's view of the 36 parameters, and the path of
// the editor's gestures to the host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "vst3/sdk.h"

namespace yawp::vst3 {

class View;

class Controller final : public Steinberg::Vst::IEditController,
                         public Steinberg::Vst::IMidiMapping,
                         public Steinberg::Vst::IConnectionPoint {
public:
    using tresult = Steinberg::tresult;
    using uint32 = Steinberg::uint32;
    using int32 = Steinberg::int32;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;

    Controller();

    // FUnknown, the same for every face. [any-thread]
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32 PLUGIN_API release() override;

    // The host calls everything else on its main thread. [main-thread]
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // IEditController
    tresult PLUGIN_API setComponentState(Steinberg::IBStream* stream) override;
    tresult PLUGIN_API setState(Steinberg::IBStream*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API getState(Steinberg::IBStream*) override { return Steinberg::kNotImplemented; }
    int32 PLUGIN_API getParameterCount() override;
    tresult PLUGIN_API getParameterInfo(int32 index, Steinberg::Vst::ParameterInfo& info) override;
    tresult PLUGIN_API getParamStringByValue(ParamID id, ParamValue normalized,
                                             Steinberg::Vst::String128 text) override;
    tresult PLUGIN_API getParamValueByString(ParamID id, Steinberg::Vst::TChar* text, ParamValue& normalized) override;
    ParamValue PLUGIN_API normalizedParamToPlain(ParamID id, ParamValue normalized) override;
    ParamValue PLUGIN_API plainParamToNormalized(ParamID id, ParamValue plain) override;
    ParamValue PLUGIN_API getParamNormalized(ParamID id) override;
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue normalized) override;
    tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // IMidiMapping: no controller is mapped.
    tresult PLUGIN_API getMidiControllerAssignment(int32, Steinberg::int16, Steinberg::Vst::CtrlNumber,
                                                   ParamID&) override {
        return Steinberg::kInvalidArgument;
    }

    // IConnectionPoint: the processor's state arrives through the host.
    tresult PLUGIN_API connect(IConnectionPoint* other) override {
        return other ? Steinberg::kResultOk : Steinberg::kInvalidArgument;
    }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return Steinberg::kResultOk; }
    tresult PLUGIN_API notify(Steinberg::Vst::IMessage*) override { return Steinberg::kResultOk; }

    // The editor's gestures: a catalogue index 0 to 35 and a plain value.
    // The value is coerced and stored, and the host hears of it through the
    // component handler (begin and perform, perform, perform and end).
    // Other indices are ignored.
    void begin_edit(uint32_t index, float plain);    // [main-thread]
    void perform_edit(uint32_t index, float plain);  // [main-thread]
    void end_edit(uint32_t index, float plain);      // [main-thread]

    // [main-thread] The plain value of a catalogue index 0 to 35; 0 for others.
    double value(uint32_t index) const { return index < catalogue::kCount ? values_[index] : 0.0; }

    // [main-thread] A view is closing for good: its slot becomes free.
    void forget_view(View* view);

    // [main-thread] How far the musician zoomed the editor (1 = the page's
    // own size at the display's scale). Kept here so that an editor closed
    // and opened again comes back at that size while the plug-in lives;
    // never saved with the state.
    double editor_zoom() const { return editor_zoom_; }
    void keep_editor_zoom(double zoom) { editor_zoom_ = zoom; }

private:
    enum class EditStep { kBegin, kPerform, kEnd };

    ~Controller() = default;
    void reset_to_defaults();
    void edit(uint32_t index, float plain, EditStep step);
    void show(uint32_t index) const;

    static void restore_set(void* user, uint32_t index, float value);

    std::atomic<uint32> refs_{1};
    Steinberg::FUnknown* context_ = nullptr;  // null: not initialized
    double values_[catalogue::kCount] = {};
    Steinberg::Vst::IComponentHandler* handler_ = nullptr;  // holds one reference
    // The views createView made, each until it closes; a closed view
    // leaves a null slot for the next one.
    View** views_ = nullptr;  // malloc'ed
    size_t view_slots_ = 0;
    double editor_zoom_ = 1.0;
};

}  // namespace yawp::vst3
