// One instance of the CLAP plug-in: the engine, the host's parameter events
// and modulation, the transport, the state, and what the editor and the
// preset loader need of it.
//
// CLAP makes one object of what VST3 splits into a processor and a
// controller. The audio thread owns the engine. The main thread learns what
// the audio thread applied through `published` values (one atomic per
// catalogue index), and hands it the editor's gestures through a small
// queue; neither side ever waits for the other, except a state call, which
// spins on the engine's guard for the time it takes to copy 32 values.
#pragma once

#include <atomic>
#include <cstdint>

#include <clap/clap.h>

#include "engine/catalogue.h"
#include "engine/engine.h"
#include "engine/spin_guard.h"
#include "engine/transport.h"

namespace yawp::clap {

class Editor;
struct AudioSpan;

// The editor's gestures on their way to the audio thread: a ring that only
// the main thread writes and only the audio thread (or a flush) reads.
struct Gesture {
    enum Kind : uint8_t { kBegin, kValue, kEnd };
    Kind kind;
    uint32_t index;
    float value;  // plain, already coerced
};

class GestureRing {
public:
    static constexpr uint32_t kSize = 256;  // a power of two

    bool push(const Gesture& g);  // [main-thread] false when full
    bool pop(Gesture* g);         // [audio-thread]

private:
    Gesture slots_[kSize] = {};
    std::atomic<uint32_t> head_{0};  // next to write
    std::atomic<uint32_t> tail_{0};  // next to read
};

class Plugin {
public:
    // [main-thread] A new instance for the host, or null when memory is
    // short. The host owns it through the returned clap_plugin.
    static const clap_plugin* create(const clap_host* host);

    // [any-thread] The instance behind a clap_plugin the factory made.
    static Plugin* of(const clap_plugin* plugin) { return static_cast<Plugin*>(plugin->plugin_data); }

    const clap_host* host() const { return host_; }
    const clap_plugin* clap() const { return &clap_; }

    // What the editor shows and does. [main-thread]

    // The latest value of a catalogue index 0 to 35 as the audio thread
    // applied it (or as a state, preset or gesture set it since): the base
    // values of the 32 inputs (never modulated) and the four meters (whose
    // pedal position includes the host's modulation). 0 for other indices.
    float shown_value(uint32_t index) const;

    // The editor's gestures, a catalogue index 0 to 31 and a plain value
    // (coerced here). They reach the engine at the next process or flush
    // and go out to the host as gesture and value events from there. Other
    // indices are ignored.
    void begin_edit(uint32_t index, float plain);
    void perform_edit(uint32_t index, float plain);
    void end_edit(uint32_t index, float plain);

    // [main-thread] Applies 32 plain values (a state load's or a preset's):
    // parked for the audio thread, shown at once, the host told to rescan
    // its values.
    void restore_values(const float values[catalogue::kInputCount]);

    // How far the musician zoomed the editor, kept while the instance lives
    // so that a reopened editor comes back at that size; never saved.
    double editor_zoom() const { return editor_zoom_; }
    void keep_editor_zoom(double zoom) { editor_zoom_ = zoom; }

    // [main-thread] The sample rate of the last activation; 0 before any.
    float activation_rate() const { return activation_rate_; }

    // The open editor, owned by the gui extension; null when none.
    Editor* editor = nullptr;

private:
    // plugin_data points at the Plugin; clap_ is its first member so that
    // the host's pointer and ours stay tied for the instance's life.
    explicit Plugin(const clap_host* host);
    ~Plugin() = default;

    friend struct PluginCalls;
    friend struct StateCalls;
    friend struct ProcessCalls;

    // [main-thread] Defaults everywhere: at construction and at init.
    void reset_to_defaults();

    // The steps of process and flush, in process.cpp.
    // [audio-thread] (flush, and activate for a waiting state: [main-thread]
    // while inactive)
    void take_pending_state();
    void send_gestures(const clap_output_events* out);
    void run_block(const clap_process& process);
    void run_span(const AudioSpan& audio, uint32_t from, uint32_t to);
    void run_engine(const float* in, float* out, uint32_t n);
    void apply_event(const clap_event_header* header);
    void apply_value(uint32_t index, double value);
    void apply_modulation(uint32_t index, double amount);
    void publish_inputs();
    void publish_outputs();

    // [main-thread] An editor gesture queued for the audio thread.
    void gesture(Gesture::Kind kind, uint32_t index, float plain);

    clap_plugin clap_;
    const clap_host* host_;
    const clap_host_params* host_params_ = nullptr;  // found at init

    Engine engine_;
    // The audio thread's own: the host's values, coerced, and its
    // modulation amounts. The main thread sees them only as published.
    float base_[catalogue::kInputCount] = {};
    float mod_[catalogue::kInputCount] = {};
    uint32_t unpublished_ = 0;  // a bit per input whose base moved

    // A restored state on its way to the audio thread, under the guard.
    // The audio thread only tries the guard, once per block; a state call
    // holds it while it copies 32 values.
    SpinGuard guard_;
    float pending_[catalogue::kInputCount] = {};
    bool state_pending_ = false;

    Transport transport_;
    float* convert_ = nullptr;  // for 64-bit buffers: malloc'ed at activate
    uint32_t convert_frames_ = 0;
    float activation_rate_ = 0;  // what a saved state names as its rate
    bool active_ = false;

    std::atomic<float> published_[catalogue::kCount];
    GestureRing gestures_;
    double editor_zoom_ = 1.0;
};

}  // namespace yawp::clap
