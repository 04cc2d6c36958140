#include "ports.h"

#include <cmath>

namespace yawp::lv2 {
namespace {

using catalogue::kKindBypass;
using catalogue::kKindInteger;
using catalogue::kKindToggle;

float clamp_to_range(uint32_t index, float v) {
    const catalogue::RangeEntry* e = catalogue::entry(index);
    const float lo = static_cast<float>(e->minimum);
    const float hi = static_cast<float>(e->maximum);
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

float round_half_away(float v) { return std::trunc(v >= 0 ? v + 0.5f : v - 0.5f); }

float coerce(uint32_t index, float v, bool from_enable_port) {
    const catalogue::RangeEntry* e = catalogue::entry(index);
    if (e == nullptr) return v;
    if (from_enable_port)
        v = v > 0 ? 0.0f : 1.0f;
    else if (e->kind & (kKindToggle | kKindBypass))
        v = v > 0 ? 1.0f : 0.0f;
    else if (e->kind & kKindInteger)
        v = round_half_away(v);
    return clamp_to_range(index, v);
}

}  // namespace

float coerce_port(uint32_t index, float port_value) {
    return coerce(index, port_value, index == catalogue::kBypass);
}

float coerce_stored(uint32_t index, float value) { return coerce(index, value, false); }

}  // namespace yawp::lv2
