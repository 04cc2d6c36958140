// Which values the editor bridges of both platforms send to the page. Every
// value the page is sent costs the browser a redraw, and hosts hand editors
// their values about 30 times a second whether they changed or not; so a
// value goes out only when it differs from the last one sent, and a meter
// (the four outputs) at most about 30 times a second, and only when it has
// moved by at least one pixel of its display. A meter held back by the rate
// goes out later from the bridge's idle tick, so the page always ends on
// the last value. The LFO's phase goes nowhere while the LFO is off: the
// page holds its dot still then, and the phase has no audible effect.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/catalogue.h"

namespace yawp::page_values {

inline constexpr uint64_t kMeterIntervalMs = 33;  // about 30 updates a second
// The longest meter display, in device pixels: an editor at 3x of a
// 200 % display. A step of a meter's range over this is below a pixel.
inline constexpr double kMeterPixels = 1024;

class ValueGate {
public:
    // Whether `value` should go to the page now. A meter held back by the
    // rate is kept, and comes out of flush_due() when its time comes.
    // [main-thread], or wherever the bridge serialises its sends.
    bool admit(uint32_t index, float value, uint64_t now_ms) {
        if (index >= catalogue::kCount) return true;  // not ours to judge
        if (sent_[index] && same(last_[index], value)) {
            held_[index] = false;
            return false;
        }
        if (index < catalogue::kInputCount) return note_sent(index, value, now_ms);
        if (index == catalogue::kOutLfoPhase && sent_[index] && lfo_off()) {
            held_[index] = false;
            return false;
        }
        if (sent_[index] && std::abs(double(value) - last_[index]) < pixel_step(index)) {
            held_[index] = false;
            return false;
        }
        if (sent_[index] && now_ms - sent_ms_[index] < kMeterIntervalMs) {
            held_[index] = true;
            held_value_[index] = value;
            return false;
        }
        return note_sent(index, value, now_ms);
    }

    bool holding() const {
        for (uint32_t i = catalogue::kInputCount; i < catalogue::kCount; ++i)
            if (held_[i]) return true;
        return false;
    }

    // Hands each held meter whose time has come to send(index, value).
    template <class Send>
    void flush_due(uint64_t now_ms, Send send) {
        for (uint32_t i = catalogue::kInputCount; i < catalogue::kCount; ++i) {
            if (!held_[i] || now_ms - sent_ms_[i] < kMeterIntervalMs) continue;
            held_[i] = false;
            note_sent(i, held_value_[i], now_ms);
            send(i, held_value_[i]);
        }
    }

    // The page was sent `value` by other means (it asked for every value).
    void sent(uint32_t index, float value, uint64_t now_ms) {
        if (index < catalogue::kCount) note_sent(index, value, now_ms);
    }

private:
    // Bit for bit, so that -0 and 0, or a NaN, still count as changes the
    // page may show differently.
    static bool same(float a, float b) { return std::signbit(a) == std::signbit(b) && (a == b || (a != a && b != b)); }

    bool lfo_off() const { return sent_[catalogue::kLfoOn] && last_[catalogue::kLfoOn] < 0.5f; }

    static double pixel_step(uint32_t index) {
        const catalogue::RangeEntry* entry = catalogue::entry(index);
        return entry != nullptr ? (entry->maximum - entry->minimum) / kMeterPixels : 0.0;
    }

    bool note_sent(uint32_t index, float value, uint64_t now_ms) {
        sent_[index] = true;
        last_[index] = value;
        sent_ms_[index] = now_ms;
        held_[index] = false;
        return true;
    }

    float last_[catalogue::kCount] = {};
    bool sent_[catalogue::kCount] = {};
    uint64_t sent_ms_[catalogue::kCount] = {};
    bool held_[catalogue::kCount] = {};
    float held_value_[catalogue::kCount] = {};
};

}  // namespace yawp::page_values
