#include "vst3/processor.h"

#include <atomic>
#include <cmath>
#include <new>
#include <vector>

#include "engine/engine.h"
#include "engine/fp_mode.h"
#include "engine/spin_guard.h"
#include "state/document.h"
#include "vst3/factory.h"
#include "vst3/stream_io.h"

namespace yawp::vst3 {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace cat = catalogue;
using cat::kInputCount;
using cat::kOutputCount;

constexpr float kInitialOutputs[kOutputCount] = {50, 0, 0, 0};

// Time information the engine follows. Without asking, a host may hand over
// none at all, and the synced LFO would lose its tempo and song position.
constexpr uint32 kContextNeeds = IProcessContextRequirements::kNeedProjectTimeMusic |
                                 IProcessContextRequirements::kNeedTempo |
                                 IProcessContextRequirements::kNeedTimeSignature |
                                 IProcessContextRequirements::kNeedTransportState;

constexpr uint32_t kRollingBits = kTransportRolling | kTransportSpeed;
constexpr uint32_t kSignatureBits = kTransportBeatsPerBar | kTransportBeatUnit;
constexpr uint32_t kContextBits = kRollingBits | kTransportTempo | kTransportQuarterNotes | kSignatureBits;

// Exact comparison in which NaN differs from everything, itself included.
bool same(float a, float b) { return a == b; }

bool is_main_audio_bus(MediaType type, BusDirection dir, int32 index) {
    return type == kAudio && (dir == kInput || dir == kOutput) && index == 0;
}

// The first channel of the first bus, when the host gave one.
float* first_channel(AudioBusBuffers* buses, int32 count) {
    if (buses == nullptr || count < 1 || buses[0].numChannels < 1 || buses[0].channelBuffers32 == nullptr)
        return nullptr;
    return buses[0].channelBuffers32[0];
}

// Zeros into every output channel except `keep`.
void silence_outputs(ProcessData& data, uint32_t n, const float* keep) {
    if (data.outputs == nullptr) return;
    for (int32 b = 0; b < data.numOutputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        if (bus.channelBuffers32 == nullptr) continue;
        for (int32 c = 0; c < bus.numChannels; ++c) {
            float* channel = bus.channelBuffers32[c];
            if (channel == nullptr || channel == keep) continue;
            for (uint32_t i = 0; i < n; ++i) channel[i] = 0.0f;
        }
    }
}

// [audio-thread] A field the host stopped sending becomes invalid, and
// that is a change too.
void invalidate(Transport& t, uint32_t bits) {
    t.changed |= t.valid & bits;
    t.valid &= ~bits;
}

// [audio-thread] A field now valid: changed when it was not valid before or
// when its value moved.
template <class T>
void take_field(Transport& t, uint32_t bits, T& field, T value) {
    if (!(t.valid & bits) || field != value) t.changed |= bits;
    field = value;
    t.valid |= bits;
}

// [audio-thread]
void fill_transport(Transport& t, const ProcessContext* context) {
    t.changed = 0;
    if (context == nullptr) {
        invalidate(t, kContextBits);
        return;
    }
    const bool rolling = (context->state & ProcessContext::kPlaying) != 0;
    if (!(t.valid & kRollingBits) || t.rolling != rolling) t.changed |= kRollingBits;
    t.rolling = rolling;
    t.speed = rolling ? 1.0f : 0.0f;
    t.valid |= kRollingBits;

    if (context->state & ProcessContext::kTempoValid)
        take_field(t, kTransportTempo, t.tempo, static_cast<float>(context->tempo));
    else
        invalidate(t, kTransportTempo);

    if (context->state & ProcessContext::kProjectTimeMusicValid)
        take_field(t, kTransportQuarterNotes, t.quarter_notes, context->projectTimeMusic);
    else
        invalidate(t, kTransportQuarterNotes);

    if (context->state & ProcessContext::kTimeSigValid) {
        take_field(t, kTransportBeatsPerBar, t.beats_per_bar, static_cast<float>(context->timeSigNumerator));
        take_field(t, kTransportBeatUnit, t.beat_unit, static_cast<uint32_t>(context->timeSigDenominator));
    } else {
        invalidate(t, kSignatureBits);
    }
}

class Processor final : public IComponent,
                        public IAudioProcessor,
                        public IProcessContextRequirements,
                        public IConnectionPoint {
public:
    Processor() { reset_to_defaults(); }

    // FUnknown, the same for every face. [any-thread]
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32 PLUGIN_API release() override;

    // Everything but process runs on the host's main thread; the state
    // calls may run while process does. [main-thread]
    tresult PLUGIN_API initialize(FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // IComponent
    tresult PLUGIN_API getControllerClassId(TUID cid) override;
    tresult PLUGIN_API setIoMode(IoMode) override { return kNotImplemented; }
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) override;
    tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) override;
    tresult PLUGIN_API getRoutingInfo(RoutingInfo&, RoutingInfo&) override { return kNotImplemented; }
    tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index, TBool state) override;
    tresult PLUGIN_API setActive(TBool state) override;
    tresult PLUGIN_API setState(IBStream* stream) override;
    tresult PLUGIN_API getState(IBStream* stream) override;

    // IAudioProcessor
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 num_ins, SpeakerArrangement* outputs,
                                          int32 num_outs) override;
    tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) override;
    tresult PLUGIN_API canProcessSampleSize(int32 size) override;
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override;
    tresult PLUGIN_API setProcessing(TBool) override { return kNotImplemented; }
    tresult PLUGIN_API process(ProcessData& data) override;  // [audio-thread]
    uint32 PLUGIN_API getTailSamples() override { return 0; }

    // IProcessContextRequirements
    uint32 PLUGIN_API getProcessContextRequirements() override { return kContextNeeds; }

    // IConnectionPoint: the controller learns everything through the host.
    tresult PLUGIN_API connect(IConnectionPoint* other) override { return other ? kResultOk : kInvalidArgument; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API notify(IMessage*) override { return kResultOk; }

private:
    enum class Pass { kStart, kEnd };

    void reset_to_defaults();
    void parameter_pass(IParameterChanges* changes, Pass pass);
    void resynchronise();
    void take_change(IParamValueQueue* queue, Pass pass, bool holds_guard);
    void run_engine(ProcessData& data, uint32_t n);
    void report_outputs(IParameterChanges* changes, uint32_t n);
    state::ParameterValues saved_values();

    static void restore_begin(void* user);
    static void restore_set(void* user, uint32_t index, float value);
    static void restore_end(void* user);

    std::atomic<uint32> refs_{1};
    FUnknown* context_ = nullptr;  // null: not initialized
    Engine engine_;
    float setup_rate_ = 0;
    float activation_rate_ = 0;  // what a saved state names as its sample rate

    // Per input parameter: the latest coerced value from the host, and the
    // value last handed to the engine (or restored and not yet handed over).
    float host_[kInputCount] = {};
    float applied_[kInputCount] = {};

    // The guard protects applied_, the engine's parameter intake and both
    // flags below.
    SpinGuard guard_;
    bool in_sync_ = true;         // cleared by every state call
    bool state_pending_ = false;  // a restore waits in applied_

    float reported_[kOutputCount] = {};
    bool input_active_ = false;
    bool output_active_ = false;
    bool buses_active_ = false;
    Transport transport_;
};

tresult PLUGIN_API Processor::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    void* face = nullptr;
    if (same_id(iid, FUnknown::iid) || same_id(iid, IPluginBase::iid) || same_id(iid, IComponent::iid))
        face = static_cast<IComponent*>(this);
    else if (same_id(iid, IAudioProcessor::iid))
        face = static_cast<IAudioProcessor*>(this);
    else if (same_id(iid, IProcessContextRequirements::iid))
        face = static_cast<IProcessContextRequirements*>(this);
    else if (same_id(iid, IConnectionPoint::iid))
        face = static_cast<IConnectionPoint*>(this);
    *obj = face;
    if (face == nullptr) return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API Processor::release() {
    const uint32 left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

// Also run at construction, so that a state call before initialize sees
// defaults rather than garbage.
void Processor::reset_to_defaults() {
    engine_.initialise();
    for (uint32_t i = 0; i < kInputCount; ++i) {
        const float v = static_cast<float>(cat::entry(i)->def);
        engine_.set_parameter(i, v);
        host_[i] = applied_[i] = v;
    }
    guard_.release();
    in_sync_ = true;
    state_pending_ = false;
    for (uint32_t k = 0; k < kOutputCount; ++k) reported_[k] = kInitialOutputs[k];
    setup_rate_ = activation_rate_ = 0;
    input_active_ = output_active_ = buses_active_ = false;
    transport_ = Transport{};
}

tresult PLUGIN_API Processor::initialize(FUnknown* context) {
    if (context_ != nullptr) return kResultFalse;
    context_ = context;
    reset_to_defaults();
    return kResultOk;
}

tresult PLUGIN_API Processor::terminate() {
    context_ = nullptr;
    return kResultOk;
}

tresult PLUGIN_API Processor::getControllerClassId(TUID cid) {
    if (cid == nullptr) return kResultFalse;
    for (size_t i = 0; i < sizeof(TUID); ++i) cid[i] = kControllerCid[i];
    return kResultOk;
}

int32 PLUGIN_API Processor::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult PLUGIN_API Processor::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    if (!is_main_audio_bus(type, dir, index)) return kInvalidArgument;
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = 1;
    copy_text(bus.name, dir == kInput ? "Input" : "Output");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult PLUGIN_API Processor::activateBus(MediaType type, BusDirection dir, int32 index, TBool state) {
    if (!is_main_audio_bus(type, dir, index)) return kInvalidArgument;
    (dir == kInput ? input_active_ : output_active_) = state != 0;
    return kResultOk;
}

tresult PLUGIN_API Processor::setActive(TBool state) {
    if (!state) return kResultOk;
    buses_active_ = input_active_ && output_active_;
    activation_rate_ = setup_rate_;
    // A host that skipped setupProcessing leaves the engine at its last
    // rate: a rate of 0 would turn every filter into NaN.
    if (std::isfinite(setup_rate_) && setup_rate_ > 0) engine_.set_sample_rate(setup_rate_);
    engine_.reset();
    transport_.valid = 0;
    return kResultOk;
}

tresult PLUGIN_API Processor::setBusArrangements(SpeakerArrangement* inputs, int32 num_ins,
                                                 SpeakerArrangement* outputs, int32 num_outs) {
    if (num_ins < 0 || num_outs < 0) return kInvalidArgument;
    const bool mono_in = num_ins == 1 && inputs != nullptr && inputs[0] == kSpeakerM;
    const bool mono_out = num_outs == 1 && outputs != nullptr && outputs[0] == kSpeakerM;
    return mono_in && mono_out ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API Processor::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    if (!is_main_audio_bus(kAudio, dir, index)) return kInvalidArgument;
    arr = kSpeakerM;
    return kResultOk;
}

tresult PLUGIN_API Processor::canProcessSampleSize(int32 size) {
    return size == kSample32 ? kResultTrue : kNotImplemented;
}

tresult PLUGIN_API Processor::setupProcessing(ProcessSetup& setup) {
    setup_rate_ = static_cast<float>(setup.sampleRate);
    return kResultOk;
}

// [audio-thread] Never waits: a single try at the guard. When a state call
// holds it, changes collect in host_ and reach the engine at a later pass.
void Processor::parameter_pass(IParameterChanges* changes, Pass pass) {
    const bool holds_guard = guard_.try_take();
    if (holds_guard && !in_sync_) resynchronise();
    if (changes != nullptr) {
        const int32 count = changes->getParameterCount();
        for (int32 q = 0; q < count; ++q) take_change(changes->getParameterData(q), pass, holds_guard);
    }
    if (holds_guard) guard_.release();
}

// [audio-thread] Under the guard, after a state call: a restored state wins
// over whatever the host sent meanwhile; otherwise the host's changes that
// waited are applied.
void Processor::resynchronise() {
    for (uint32_t i = 0; i < kInputCount; ++i) {
        if (state_pending_) {
            host_[i] = applied_[i];
        } else if (same(applied_[i], host_[i])) {
            continue;
        } else {
            applied_[i] = host_[i];
        }
        engine_.set_parameter(i, applied_[i]);
    }
    in_sync_ = true;
    state_pending_ = false;
}

// [audio-thread] One point per queue and pass: the one at offset 0 before
// the block, the last one after it. Changes are block-accurate.
void Processor::take_change(IParamValueQueue* queue, Pass pass, bool holds_guard) {
    if (queue == nullptr) return;
    const int32 points = queue->getPointCount();
    if (points <= 0) return;
    int32 offset = 0;
    ParamValue normalized = 0;
    if (queue->getPoint(pass == Pass::kStart ? 0 : points - 1, offset, normalized) != kResultOk) return;
    if (pass == Pass::kStart ? offset != 0 : offset <= 0) return;
    // A NaN would reach the engine unclamped and make every later save fail.
    if (std::isnan(normalized)) return;
    const std::optional<uint32_t> index = cat::index_of_vst3_id(queue->getParameterId());
    if (!index || *index >= kInputCount) return;

    const uint32_t i = *index;
    const double plain = cat::coerce(i, cat::normalized_to_plain(i, normalized));
    if (plain == static_cast<double>(host_[i])) return;
    host_[i] = static_cast<float>(plain);
    if (!holds_guard) return;
    applied_[i] = host_[i];
    engine_.set_parameter(i, applied_[i]);
}

// [audio-thread] The first input channel into the first output channel.
// A missing input is heard as silence; with no output channel, or with a
// bus left inactive, the engine only takes the time information.
void Processor::run_engine(ProcessData& data, uint32_t n) {
    float* out = buses_active_ ? first_channel(data.outputs, data.numOutputs) : nullptr;
    silence_outputs(data, n, out);
    if (out == nullptr) {
        engine_.take_transport(transport_);
        return;
    }
    const float* in = first_channel(data.inputs, data.numInputs);
    if (in == nullptr) {
        for (uint32_t i = 0; i < n; ++i) out[i] = 0.0f;
        in = out;
    }
    engine_.process(in, out, n, transport_);
}

// [audio-thread] Only values that moved are reported. The engine keeps its
// outputs finite, but not inside their ranges: each is shown to the host as
// the catalogue bounds it, so its normalized value stays within 0..1. The
// bounded value is what counts as reported, so a meter held past its range
// end is reported once, not with every block.
void Processor::report_outputs(IParameterChanges* changes, uint32_t n) {
    const EngineOutputs o = engine_.outputs();
    const float raw[kOutputCount] = {o.mod_position, o.lfo_phase, o.lfo_output, o.env_output};
    // The last sample of the block; a block without samples reports at 0.
    const int32 offset = n > 0 ? static_cast<int32>(n - 1) : 0;
    for (uint32_t k = 0; k < kOutputCount; ++k) {
        const uint32_t index = cat::kInputCount + k;
        const float value = cat::meter_for_host(index, raw[k]);
        if (same(value, reported_[k])) continue;
        reported_[k] = value;
        if (changes == nullptr) continue;
        int32 slot = 0;
        IParamValueQueue* queue = changes->addParameterData(cat::vst3_id(index), slot);
        if (queue != nullptr) queue->addPoint(offset, cat::plain_to_normalized(index, value), slot);
    }
}

// [audio-thread]
tresult PLUGIN_API Processor::process(ProcessData& data) {
    DenormalsOff denormals_off;
    const uint32_t n = data.numSamples > 0 ? static_cast<uint32_t>(data.numSamples) : 0;
    parameter_pass(data.inputParameterChanges, Pass::kStart);
    fill_transport(transport_, data.processContext);
    run_engine(data, n);
    parameter_pass(data.inputParameterChanges, Pass::kEnd);
    report_outputs(data.outputParameterChanges, n);
    return kResultOk;
}

// [main-thread] The values a save must write: the restored ones while a
// restore still waits for the audio thread, else the engine's own. Saving
// the engine's would lose a state that was loaded and saved again before
// any block ran.
state::ParameterValues Processor::saved_values() {
    state::ParameterValues values;
    guard_.take();
    in_sync_ = false;
    for (uint32_t i = 0; i < kInputCount; ++i) values[i] = state_pending_ ? applied_[i] : engine_.get_parameter(i);
    guard_.release();
    return values;
}

// [main-thread]
tresult PLUGIN_API Processor::getState(IBStream* stream) {
    if (stream == nullptr) return kResultFalse;
    const float rate = activation_rate_;
    const state::ParameterValues values = saved_values();
    std::vector<uint8_t> bytes;
    if (state::save_document(state::kFormatVst3, rate, values, &bytes) != 0) return kResultFalse;
    return write_stream(stream, bytes) ? kResultOk : kResultFalse;
}

// Restore hooks: the checked values are parked as applied values under the
// guard; the audio thread hands them to the engine at its next pass.
void Processor::restore_begin(void* user) {
    Processor* self = static_cast<Processor*>(user);
    self->guard_.take();
    self->in_sync_ = false;
}

void Processor::restore_set(void* user, uint32_t index, float value) {
    Processor* self = static_cast<Processor*>(user);
    self->applied_[index] = static_cast<float>(cat::coerce(index, value));
    self->state_pending_ = true;
}

void Processor::restore_end(void* user) { static_cast<Processor*>(user)->guard_.release(); }

// [main-thread]
tresult PLUGIN_API Processor::setState(IBStream* stream) {
    if (stream == nullptr) return kResultFalse;
    std::vector<uint8_t> bytes;
    if (!read_stream(stream, &bytes)) return kResultFalse;
    const state::RestoreHooks hooks{this, restore_begin, restore_set, restore_end};
    return state::restore_document({bytes.data(), bytes.size()}, hooks) == 0 ? kResultOk : kResultFalse;
}

}  // namespace

IComponent* new_processor() noexcept { return new (std::nothrow) Processor; }

}  // namespace yawp::vst3
