// The parameter catalogue: the one constant description of the 36 parameters.
//
// Inside the product every value is a plain value in the parameter's own unit
// (50 for 50 %, 100 for 100 ms, 8 for the eighth sync rate). Only the VST3
// host interface speaks normalized values (0 to 1); it converts with the
// functions below. All functions here are pure and may be called from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace yawp::catalogue {

inline constexpr uint32_t kInputCount = 32;
inline constexpr uint32_t kOutputCount = 4;
inline constexpr uint32_t kCount = kInputCount + kOutputCount;

// Catalogue indices of the parameters other code refers to by name.
enum Index : uint32_t {
    kPosition = 0,
    kMix = 1,
    kHeelJaw = 2,
    kMidOn = 7,
    kMidJaw = 8,
    kToeJaw = 13,
    kLfoOn = 18,
    kLfoWaveform = 19,
    kLfoAmount = 20,
    kLfoBias = 21,
    kLfoSkew = 22,
    kLfoSync = 23,
    kLfoFreeRate = 24,
    kLfoSyncRate = 25,
    kLfoSyncPhase = 26,
    kEnvOn = 27,
    kEnvAmount = 28,
    kEnvAttack = 29,
    kEnvRelease = 30,
    kBypass = 31,
    kOutModPosition = 32,
    kOutLfoPhase = 33,
    kOutLfoOutput = 34,
    kOutEnvOutput = 35,
};

// Offsets of the five shape components from the first (jaw) parameter of a
// heel, mid or toe group.
enum ShapeComponent : uint32_t { kJaw = 0, kTongue, kColor, kSex, kAge, kShapeComponents };

enum KindFlags : uint32_t {
    kKindBypass = 1,
    kKindToggle = 2,
    kKindInteger = 4,
    kKindLog = 8,
};

struct RangeEntry {
    uint64_t index;
    double minimum;
    double maximum;
    double def;
    uint32_t kind;
    double log_span;  // ln(maximum / minimum) for logarithmic entries, else 0
};

// Host flags, bit for bit the VST3 ParameterInfo flags (the VST3 module
// checks this at compile time); the engine includes no plug-in header.
enum HostFlags : int32_t {
    kHostCanAutomate = 1 << 0,
    kHostIsReadOnly = 1 << 1,
    kHostIsBypass = 1 << 16,
};

// Host-facing presentation of one parameter, the fields of a VST3
// ParameterInfo record as plain data.
struct Presentation {
    uint32_t vst3_id;
    const char16_t* title;
    const char16_t* short_title;
    const char16_t* units;
    int32_t step_count;
    double default_normalized;
    int32_t unit_id;
    int32_t flags;
};

// Range entry of an index 0 to 35; null for anything else.
const RangeEntry* entry(uint32_t index);

// Presentation of an index 0 to 35; false for anything else.
bool presentation(uint32_t index, Presentation* out);

// VST3 id of an index 0 to 35 (0 for anything else) and its inverse.
uint32_t vst3_id(uint32_t index);
std::optional<uint32_t> index_of_vst3_id(uint32_t id);

// State key of an input index 0 to 31 (null for anything else) and its inverse.
const char* state_key(uint32_t index);
std::optional<uint32_t> index_of_state_key(const char* key, size_t length);

// Unit shown after a value ("%", "Hz", "ms" or empty), UTF-8.
const char* unit_text(uint32_t index);

// Conversions; neither clamps. Unknown indices give the value back unchanged.
double normalized_to_plain(uint32_t index, double normalized);
double plain_to_normalized(uint32_t index, double plain);

// [any-thread] What a host is shown of an output 32 to 35: a value that is
// not a finite number reads 0, anything else is held inside the output's
// range. The engine's own outputs are not bounded (the envelope output of a
// loud input runs far past 1) and stay as they are, since the modulation
// follows them; but a host takes the declared range at its word, and a VST3
// normalized value outside 0..1 or an LV2 port past its lv2:maximum is
// a fault there. NaN turns into 0 before the clamp, which would otherwise
// pin it to the minimum; 0 lies inside every output's range. Other indices
// give the value back unchanged.
float meter_for_host(uint32_t index, float value);

// The host-value rule: toggles on at 0.5 or more, the integer parameter
// rounded half away from zero, then clamped to the range. Unknown indices
// give the value back unchanged.
double coerce(uint32_t index, double plain);

// UTF-16 text of a normalized value: two truncated decimals, no unit.
// Writes at most `capacity` units including the terminator. False for an
// index above 35, a value whose text does not fit, or a value that is not a
// finite number.
inline constexpr size_t kTextCapacity = 128;
bool value_to_text(uint32_t index, double normalized, char16_t* out, size_t capacity);

// Normalized value of a UTF-16 text (sign and integer digits only). False for
// an index above 35. `text` is null-terminated.
bool text_to_value(uint32_t index, const char16_t* text, double* normalized);

// LFO cycles per quarter note for a sync rate value 1 to 24 (clamped).
float sync_rate(int32_t value);
inline constexpr int32_t kSyncRateCount = 24;

// Musician's name of a sync rate value 1 to 24, e.g. "1/4", "1/8 dotted".
const char* sync_rate_label(int32_t value);

}  // namespace yawp::catalogue
