#include "clap/plugin.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "clap/descriptor.h"
#include "clap/extensions.h"
#include "clap/process.h"

namespace yawp::clap {

namespace cat = catalogue;

namespace {

// The meters before the first block: the pedal in the middle, all else at
// rest.
constexpr float kInitialOutputs[cat::kOutputCount] = {50, 0, 0, 0};

// 64-bit buffers are converted through a buffer of the host's largest
// block, up to this many frames; longer blocks go through it in parts.
constexpr uint32_t kMaxConvertFrames = 1u << 16;

}  // namespace

// The clap_plugin calls. CLAP names each one's thread.
struct PluginCalls {
    // [main-thread]
    static bool init(const clap_plugin* p) {
        Plugin* self = Plugin::of(p);
        const clap_host* host = self->host_;
        if (host->get_extension != nullptr)
            self->host_params_ = static_cast<const clap_host_params*>(host->get_extension(host, CLAP_EXT_PARAMS));
        self->reset_to_defaults();
        return true;
    }

    // [main-thread] A host that left the editor open or the instance
    // active still gets everything freed.
    static void destroy(const clap_plugin* p) {
        Plugin* self = Plugin::of(p);
        close_editor(self);
        std::free(self->convert_);
        delete self;
    }

    // [main-thread]
    static bool activate(const clap_plugin* p, double sample_rate, uint32_t, uint32_t max_frames) {
        Plugin* self = Plugin::of(p);
        if (self->active_ || !std::isfinite(sample_rate) || sample_rate <= 0) return false;
        const uint32_t frames = max_frames == 0 ? 1 : std::min(max_frames, kMaxConvertFrames);
        if (frames > self->convert_frames_) {
            void* buffer = std::realloc(self->convert_, frames * sizeof(float));
            if (buffer == nullptr) return false;
            self->convert_ = static_cast<float*>(buffer);
            self->convert_frames_ = frames;
        }
        self->activation_rate_ = static_cast<float>(sample_rate);
        // A state loaded before activation reaches the engine before its
        // reset: otherwise the mix and bypass would fade in from the
        // defaults at the first block.
        self->take_pending_state();
        self->engine_.set_sample_rate(self->activation_rate_);
        self->engine_.reset();
        self->transport_ = Transport{};
        self->active_ = true;
        return true;
    }

    // [main-thread]
    static void deactivate(const clap_plugin* p) { Plugin::of(p)->active_ = false; }

    // [audio-thread] Nothing to start or stop: a block is processed the
    // same whenever it comes.
    static bool start_processing(const clap_plugin* p) { return Plugin::of(p)->active_; }
    static void stop_processing(const clap_plugin*) {}

    // [audio-thread] Filters, glides, envelope and LFO start over; the
    // parameters stay.
    static void reset(const clap_plugin* p) {
        Plugin* self = Plugin::of(p);
        if (!self->active_) return;
        self->engine_.reset();
        self->transport_ = Transport{};
    }

    // [thread-safe]
    static const void* get_extension(const clap_plugin*, const char* id) {
        if (id == nullptr) return nullptr;
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return params_extension();
        if (std::strcmp(id, CLAP_EXT_STATE) == 0) return state_extension();
        if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return audio_ports_extension();
        if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return latency_extension();
        if (std::strcmp(id, CLAP_EXT_TAIL) == 0) return tail_extension();
        if (std::strcmp(id, CLAP_EXT_GUI) == 0) return gui_extension();
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return timer_extension();
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return posix_fd_extension();
        if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 || std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
            return preset_load_extension();
        return nullptr;
    }

    // [main-thread] Nothing is ever requested.
    static void on_main_thread(const clap_plugin*) {}
};

Plugin::Plugin(const clap_host* host)
    : clap_{descriptor(),
            this,
            PluginCalls::init,
            PluginCalls::destroy,
            PluginCalls::activate,
            PluginCalls::deactivate,
            PluginCalls::start_processing,
            PluginCalls::stop_processing,
            PluginCalls::reset,
            ProcessCalls::process,
            PluginCalls::get_extension,
            PluginCalls::on_main_thread},
      host_(host) {
    reset_to_defaults();
}

const clap_plugin* Plugin::create(const clap_host* host) {
    Plugin* self = new (std::nothrow) Plugin(host);
    return self != nullptr ? &self->clap_ : nullptr;
}

void Plugin::reset_to_defaults() {
    engine_.initialise();
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        const float v = static_cast<float>(cat::entry(i)->def);
        base_[i] = pending_[i] = v;
        mod_[i] = 0;
        engine_.set_parameter(i, v);
        published_[i].store(v, std::memory_order_relaxed);
    }
    for (uint32_t k = 0; k < cat::kOutputCount; ++k)
        published_[cat::kInputCount + k].store(kInitialOutputs[k], std::memory_order_relaxed);
    state_pending_ = false;
    transport_ = Transport{};
}

float Plugin::shown_value(uint32_t index) const {
    return index < cat::kCount ? published_[index].load(std::memory_order_relaxed) : 0.0f;
}

// A gesture is shown at once; the engine and the host hear of it from the
// audio thread. A restore still waiting for that thread takes the value
// too, or a save before the next block would write the restored one.
// The host is always asked for a flush: one that processes only while its
// transport rolls (Qtractor) would otherwise hear of nothing until then.
void Plugin::gesture(Gesture::Kind kind, uint32_t index, float plain) {
    if (index >= cat::kInputCount || std::isnan(plain)) return;
    const float value = static_cast<float>(cat::coerce(index, plain));
    if (!gestures_.push({kind, index, value})) return;
    guard_.take();
    if (state_pending_) pending_[index] = value;
    published_[index].store(value, std::memory_order_relaxed);
    guard_.release();
    if (host_params_ != nullptr) host_params_->request_flush(host_);
}

void Plugin::begin_edit(uint32_t index, float plain) { gesture(Gesture::kBegin, index, plain); }
void Plugin::perform_edit(uint32_t index, float plain) { gesture(Gesture::kValue, index, plain); }
void Plugin::end_edit(uint32_t index, float plain) { gesture(Gesture::kEnd, index, plain); }

void Plugin::restore_values(const float values[cat::kInputCount]) {
    guard_.take();
    for (uint32_t i = 0; i < cat::kInputCount; ++i) pending_[i] = static_cast<float>(cat::coerce(i, values[i]));
    state_pending_ = true;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) published_[i].store(pending_[i], std::memory_order_relaxed);
    guard_.release();
    if (host_params_ != nullptr) {
        host_params_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
        host_params_->request_flush(host_);
    }
}

}  // namespace yawp::clap
