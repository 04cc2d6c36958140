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

    // Applies 32 plain values (a preset) as a state load does: parked for
    // the audio thread, shown at once, the host told to rescan its values.
    void restore_values(const float values[catalogue::kInputCount]);

    // How far the musician zoomed the editor, kept while the instance lives
    // so that a reopened editor comes back at that size; never saved.
    double editor_zoom() const { return editor_zoom_; }
    void keep_editor_zoom(double zoom) { editor_zoom_ = zoom; }

    // The open editor, owned by the gui extension; null when none.
    Editor* editor = nullptr;

private:
    // plugin_data points at the Plugin; clap_ is its first member so that
    // the host's pointer and ours stay tied for the instance's life.
    explicit Plugin(const clap_host* host);
    ~Plugin() = default;

    friend struct PluginCalls;
    friend struct ParamsCalls;
    friend struct StateCalls;
    friend struct ProcessCalls;

    void reset_to_defaults();
    void publish_inputs();
    void publish_outputs();

    clap_plugin clap_;
    const clap_host* host_;
    const clap_host_params* host_params_ = nullptr;  // found at init

    Engine engine_;
    SpinGuard guard_;  // the engine's parameter intake, base_ and pending_

    // [audio-thread] (under the guard while a state call may run)
    float base_[catalogue::kInputCount] = {};  // the host's values, coerced
    float mod_[catalogue::kInputCount] = {};   // the host's modulation amounts
    float pending_[catalogue::kInputCount] = {};
    bool state_pending_ = false;  // a restore waits in pending_

    Transport transport_;
    float* convert_ = nullptr;  // activate's maximum frames, for 64-bit buffers
    uint32_t max_frames_ = 0;
    double sample_rate_ = 0;
    bool active_ = false;
    bool processing_ = false;

    std::atomic<float> published_[catalogue::kCount];
    GestureRing gestures_;
    double editor_zoom_ = 1.0;
};

}  // namespace yawp::clap
