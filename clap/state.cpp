// The state: the same document the VST3 and LV2 modules keep, marked as the
// CLAP module's. Each format loads the others'.
#include <cstdint>
#include <new>
#include <vector>

#include "clap/extensions.h"
#include "clap/plugin.h"
#include "state/document.h"

namespace yawp::clap {

namespace cat = catalogue;

namespace {

// A document is about 6 KiB; a stream far beyond that is not one of ours,
// and stopping early keeps an endless stream from taking all memory.
constexpr size_t kMaxStateBytes = 16u << 20;
constexpr size_t kReadPart = 4096;

// [main-thread] Every byte, however the stream cuts its writes. A write of
// nothing would loop for ever: it counts as a failure, like an error.
bool write_all(const clap_ostream* stream, const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const int64_t written = stream->write(stream, bytes.data() + done, bytes.size() - done);
        if (written <= 0 || static_cast<uint64_t>(written) > bytes.size() - done) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// [main-thread] Reads until the stream ends (a read of 0), however short
// its reads are: each read goes into a part of our own and is appended, so
// a stream that hands out a byte at a time costs no more than copying.
// False on an error, past kMaxStateBytes, or when memory is short.
bool read_all(const clap_istream* stream, std::vector<uint8_t>* bytes) {
    uint8_t part[kReadPart];
    try {
        for (;;) {
            const int64_t got = stream->read(stream, part, sizeof part);
            if (got < 0 || static_cast<uint64_t>(got) > sizeof part) return false;
            if (got == 0) return true;
            bytes->insert(bytes->end(), part, part + got);
            if (bytes->size() > kMaxStateBytes) return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The checked values go to the instance all at once, and only when the
// whole document passed.
void collect_value(void* values, uint32_t index, float value) { static_cast<float*>(values)[index] = value; }

}  // namespace

struct StateCalls {
    // [main-thread] The values a save writes: a restore's while it waits for
    // the audio thread, else the ones the audio thread applied.
    static state::ParameterValues saved_values(Plugin* self) {
        state::ParameterValues values;
        self->guard_.take();
        for (uint32_t i = 0; i < cat::kInputCount; ++i)
            values[i] = self->state_pending_ ? self->pending_[i] : self->shown_value(i);
        self->guard_.release();
        return values;
    }

    // [main-thread]
    static bool save(const clap_plugin* plugin, const clap_ostream* stream) {
        if (stream == nullptr) return false;
        Plugin* self = Plugin::of(plugin);
        const state::ParameterValues values = saved_values(self);
        std::vector<uint8_t> bytes;
        if (state::save_document(state::kFormatClap, self->activation_rate(), values, &bytes) != 0) return false;
        return write_all(stream, bytes);
    }

    // [main-thread] A refused document changes nothing.
    static bool load(const clap_plugin* plugin, const clap_istream* stream) {
        if (stream == nullptr) return false;
        std::vector<uint8_t> bytes;
        if (!read_all(stream, &bytes)) return false;
        float values[cat::kInputCount];
        const state::RestoreHooks hooks{values, nullptr, collect_value, nullptr};
        if (state::restore_document({bytes.data(), bytes.size()}, hooks) != 0) return false;
        Plugin::of(plugin)->restore_values(values);
        return true;
    }
};

const clap_plugin_state* state_extension() {
    static constexpr clap_plugin_state kState = {StateCalls::save, StateCalls::load};
    return &kState;
}

}  // namespace yawp::clap
