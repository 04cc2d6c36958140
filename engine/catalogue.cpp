#include "catalogue.h"

#include <cmath>
#include <cstring>

namespace yawp::catalogue {
namespace {

constexpr double kLogSpanFreeRate = 4.605170185988092;  // ln(20 / 0.2)
constexpr double kLogSpanTime = 6.907755278982137;      // ln(1000 / 1)

constexpr uint32_t L = 0;
constexpr uint32_t G = kKindLog;
constexpr uint32_t I = kKindInteger;
constexpr uint32_t T = kKindToggle | kKindInteger;
constexpr uint32_t B = kKindBypass;

// clang-format off
constexpr RangeEntry kInputs[kInputCount] = {
    { 0,    0, 100, 50,               L, 0 },
    { 1,    0, 100, 100,              L, 0 },
    { 2,    0, 100, 12.4222007837421, L, 0 },
    { 3,    0, 100, 12.6221400720352, L, 0 },
    { 4,    0, 100, 32.6749101409938, L, 0 },
    { 5,    0, 100, 50,               L, 0 },
    { 6,    0, 100, 100,              L, 0 },
    { 7,    0, 1,   0,                T, 0 },
    { 8,    0, 100, 46.6582563814956, L, 0 },
    { 9,    0, 100, 71.2919267668632, L, 0 },
    { 10,   0, 100, 45.0149668194776, L, 0 },
    { 11,   0, 100, 50,               L, 0 },
    { 12,   0, 100, 100,              L, 0 },
    { 13,   0, 100, 95.9426643982532, L, 0 },
    { 14,   0, 100, 69.4366275208754, L, 0 },
    { 15,   0, 100, 55.0607107213899, L, 0 },
    { 16,   0, 100, 50,               L, 0 },
    { 17,   0, 100, 100,              L, 0 },
    { 18,   0, 1,   0,                T, 0 },
    { 19,   1, 4,   1,                L, 0 },
    { 20,   0, 100, 100,              L, 0 },
    { 21, -100, 100, 0,               L, 0 },
    { 22, -100, 100, 0,               L, 0 },
    { 23,   0, 1,   0,                T, 0 },
    { 24, 0.2, 20,  2,                G, kLogSpanFreeRate },
    { 25,   1, 24,  8,                I, 0 },
    { 26,   0, 360, 0,                L, 0 },
    { 27,   0, 1,   0,                T, 0 },
    { 28, -100, 100, 100,             L, 0 },
    { 29,   1, 1000, 100,             G, kLogSpanTime },
    { 30,   1, 1000, 100,             G, kLogSpanTime },
    { 31,   0, 1,   0,                B, 0 },
};

constexpr RangeEntry kOutputs[kOutputCount] = {
    { 32,  0, 100, 50, L, 0 },
    { 33,  0, 1,   0,  L, 0 },
    { 34, -1, 1,   0,  L, 0 },
    { 35, -1, 1,   0,  L, 0 },
};

struct Names {
    uint32_t vst3_id;
    const char* key;           // null for outputs
    const char16_t* title;
    const char16_t* short_title;
    const char* unit;          // UTF-8; also the UTF-16 units below
    const char16_t* units;
    int32_t step_count;
};

constexpr Names kNames[kCount] = {
    { 1333256809, "position",       u"Position",           u"Position",       "%",  u"%",  0 },
    {  907392060, "mix",            u"Mix",                u"Mix",            "%",  u"%",  0 },
    {  502643557, "heel_jaw",       u"Heel jaw",           u"Heel jaw",       "%",  u"%",  0 },
    { 1687151167, "heel_tongue",    u"Heel tongue",        u"Heel tongue",    "%",  u"%",  0 },
    { 1701944200, "heel_color",     u"Heel color",         u"Heel color",     "%",  u"%",  0 },
    {  577259499, "heel_sex",       u"Heel sex",           u"Heel sex",       "%",  u"%",  0 },
    {  428683588, "heel_age",       u"Heel age",           u"Heel age",       "%",  u"%",  0 },
    {  683198070, "mid_on",         u"Mid on",             u"Mid on",         "",   u"",   1 },
    { 1231783625, "mid_jaw",        u"Mid jaw",            u"Mid jaw",        "%",  u"%",  0 },
    { 1963712987, "mid_tongue",     u"Mid tongue",         u"Mid tongue",     "%",  u"%",  0 },
    { 1307571436, "mid_color",      u"Mid color",          u"Mid color",      "%",  u"%",  0 },
    { 1306399567, "mid_sex",        u"Mid sex",            u"Mid sex",        "%",  u"%",  0 },
    { 1157823656, "mid_age",        u"Mid age",            u"Mid age",        "%",  u"%",  0 },
    { 1838068427, "toe_jaw",        u"Toe jaw",            u"Toe jaw",        "%",  u"%",  0 },
    { 1679251289, "toe_tongue",     u"Toe tongue",         u"Toe tongue",     "%",  u"%",  0 },
    { 1010384878, "toe_color",      u"Toe color",          u"Toe color",      "%",  u"%",  0 },
    { 1912684369, "toe_sex",        u"Toe sex",            u"Toe sex",        "%",  u"%",  0 },
    { 1764108458, "toe_age",        u"Toe age",            u"Toe age",        "%",  u"%",  0 },
    { 1183989865, "lfo_on",         u"LFO on",             u"LFO on",         "",   u"",   1 },
    { 1555420231, "lfo_waveform",   u"LFO waveform",       u"LFO waveform",   "",   u"",   0 },
    { 1416313666, "lfo_amount",     u"LFO amount",         u"LFO amount",     "%",  u"%",  0 },
    { 1983433987, "lfo_bias",       u"LFO bias",           u"LFO bias",       "%",  u"%",  0 },
    {  237816244, "lfo_skew",       u"LFO skew",           u"LFO skew",       "",   u"",   0 },
    {  354067685, "lfo_sync",       u"LFO sync",           u"LFO sync",       "",   u"",   1 },
    { 1667852873, "lfo_free_rate",  u"LFO free rate",      u"LFO free rate",  "Hz", u"Hz", 0 },
    { 1818070170, "lfo_sync_rate",  u"LFO sync rate",      u"LFO sync rate",  "",   u"",   23 },
    { 1814654561, "lfo_sync_phase", u"LFO sync phase",     u"LFO sync phase", "",   u"",   0 },
    {  275662065, "env_on",         u"Env on",             u"Env on",         "",   u"",   1 },
    {  156612554, "env_amount",     u"Env amount",         u"Env amount",     "%",  u"%",  0 },
    { 1133128634, "env_attack",     u"Env attack",         u"Env attack",     "ms", u"ms", 0 },
    { 1354700021, "env_release",    u"Env release",        u"Env release",    "ms", u"ms", 0 },
    {  150732888, "bypass",         u"Bypass",             u"Bypass",         "",   u"",   1 },
    { 2095569830, nullptr,          u"Modulated position", u"Mod position",   "%",  u"%",  0 },
    { 1835259249, nullptr,          u"LFO phase",          u"LFO phase",      "",   u"",   0 },
    {  510516228, nullptr,          u"LFO output",         u"LFO out",        "",   u"",   0 },
    { 1343945084, nullptr,          u"Env output",         u"Env out",        "",   u"",   0 },
};

// LFO cycles per quarter note; groups of three per note length: dotted,
// plain, triplet, from the whole note down to the 128th.
constexpr float kSyncRates[kSyncRateCount] = {
    1.0f / 6, 1.0f / 4, 3.0f / 8,
    1.0f / 3, 1.0f / 2, 3.0f / 4,
    2.0f / 3, 1.0f,     3.0f / 2,
    4.0f / 3, 2.0f,     3.0f,
    8.0f / 3, 4.0f,     6.0f,
    16.0f / 3, 8.0f,    12.0f,
    32.0f / 3, 16.0f,   24.0f,
    64.0f / 3, 32.0f,   48.0f,
};

constexpr const char* kSyncRateLabels[kSyncRateCount] = {
    "1/1 dotted",   "1/1",   "1/1 triplet",
    "1/2 dotted",   "1/2",   "1/2 triplet",
    "1/4 dotted",   "1/4",   "1/4 triplet",
    "1/8 dotted",   "1/8",   "1/8 triplet",
    "1/16 dotted",  "1/16",  "1/16 triplet",
    "1/32 dotted",  "1/32",  "1/32 triplet",
    "1/64 dotted",  "1/64",  "1/64 triplet",
    "1/128 dotted", "1/128", "1/128 triplet",
};
// clang-format on

constexpr double kToggleThreshold = 0.5;

// Text of a value: two truncated decimals. A value of this size or more
// would need more digits than any host's text field holds.
constexpr double kTextLimit = 1e100;

// 0.1 * 0.1 in double precision: the step of the second decimal. Digits are
// truncated, never rounded, so 0.3 reads 0.29.
constexpr double kSecondDecimal = 0.010000000000000002;

bool is_log(const RangeEntry& e) { return (e.kind & kKindLog) != 0; }

}  // namespace

const RangeEntry* entry(uint32_t index) {
    if (index < kInputCount) return &kInputs[index];
    if (index < kCount) return &kOutputs[index - kInputCount];
    return nullptr;
}

bool presentation(uint32_t index, Presentation* out) {
    const RangeEntry* e = entry(index);
    if (e == nullptr || out == nullptr) return false;
    const Names& n = kNames[index];
    out->vst3_id = n.vst3_id;
    out->title = n.title;
    out->short_title = n.short_title;
    out->units = n.units;
    out->step_count = n.step_count;
    out->default_normalized = plain_to_normalized(index, e->def);
    out->unit_id = 0;
    if (index >= kInputCount)
        out->flags = kHostIsReadOnly;
    else if (e->kind & kKindBypass)
        out->flags = kHostCanAutomate | kHostIsBypass;
    else
        out->flags = kHostCanAutomate;
    return true;
}

uint32_t vst3_id(uint32_t index) { return index < kCount ? kNames[index].vst3_id : 0; }

std::optional<uint32_t> index_of_vst3_id(uint32_t id) {
    for (uint32_t i = 0; i < kCount; ++i)
        if (kNames[i].vst3_id == id) return i;
    return std::nullopt;
}

const char* state_key(uint32_t index) { return index < kInputCount ? kNames[index].key : nullptr; }

std::optional<uint32_t> index_of_state_key(const char* key, size_t length) {
    if (key == nullptr) return std::nullopt;
    for (uint32_t i = 0; i < kInputCount; ++i) {
        const char* k = kNames[i].key;
        if (std::strlen(k) == length && std::memcmp(k, key, length) == 0) return i;
    }
    return std::nullopt;
}

const char* unit_text(uint32_t index) { return index < kCount ? kNames[index].unit : ""; }

double normalized_to_plain(uint32_t index, double normalized) {
    const RangeEntry* e = entry(index);
    if (e == nullptr) return normalized;
    if (is_log(*e)) return e->minimum * std::exp(normalized * e->log_span);
    return e->minimum + (e->maximum - e->minimum) * normalized;
}

double plain_to_normalized(uint32_t index, double plain) {
    const RangeEntry* e = entry(index);
    if (e == nullptr) return plain;
    if (is_log(*e)) return std::log(plain / e->minimum) / e->log_span;
    return (plain - e->minimum) / (e->maximum - e->minimum);
}

double coerce(uint32_t index, double plain) {
    const RangeEntry* e = entry(index);
    if (e == nullptr) return plain;
    double v = plain;
    if (e->kind & (kKindBypass | kKindToggle)) {
        v = v >= kToggleThreshold ? 1.0 : 0.0;
    } else if (e->kind & kKindInteger) {
        v = std::trunc(v >= 0 ? v + 0.5 : v - 0.5);
    }
    // NaN compares false both ways; it is pinned to the minimum so that no
    // caller ever stores one.
    if (!(v >= e->minimum)) v = e->minimum;
    if (v > e->maximum) v = e->maximum;
    return v;
}

float meter_for_host(uint32_t index, float value) {
    if (index < kInputCount || index >= kCount) return value;
    if (!std::isfinite(value)) return 0.0f;
    const RangeEntry& e = kOutputs[index - kInputCount];
    const float lo = static_cast<float>(e.minimum);
    const float hi = static_cast<float>(e.maximum);
    return value < lo ? lo : value > hi ? hi : value;
}

namespace {

// Appends to a bounded UTF-16 buffer, always leaving room for the terminator.
struct TextSink {
    char16_t* out;
    size_t capacity;
    size_t length = 0;
    bool overflow = false;

    void put(char16_t c) {
        if (length + 1 >= capacity) {
            overflow = true;
            return;
        }
        out[length++] = c;
    }
    void digit(double d) {
        // Rounding can leave a remainder a hair outside 0..9; a digit never is.
        int v = static_cast<int>(d);
        if (v < 0) v = 0;
        if (v > 9) v = 9;
        put(static_cast<char16_t>(u'0' + v));
    }
};

}  // namespace

bool value_to_text(uint32_t index, double normalized, char16_t* out, size_t capacity) {
    if (index >= kCount || out == nullptr || capacity == 0) return false;
    double x = normalized_to_plain(index, normalized);
    if (!std::isfinite(x) || std::fabs(x) >= kTextLimit) return false;

    TextSink s{out, capacity};
    if (x < 0) {
        s.put(u'-');
        x = -x;
    }
    if (x < 1) {
        s.put(u'0');
    } else {
        double p = 1;
        while (x >= p) p *= 10;
        p *= 0.1;
        while (p >= 1) {
            double d = std::trunc(x / p);
            s.digit(d);
            x -= d * p;
            p *= 0.1;
        }
    }
    s.put(u'.');
    double d1 = std::trunc(x / 0.1);
    s.digit(d1);
    x -= d1 * 0.1;
    s.digit(std::trunc(x / kSecondDecimal));
    if (s.overflow) return false;
    out[s.length] = 0;
    return true;
}

bool text_to_value(uint32_t index, const char16_t* text, double* normalized) {
    if (index >= kCount || text == nullptr || normalized == nullptr) return false;
    const char16_t* c = text;
    bool negative = false;
    if (*c == u'-') {
        negative = true;
        ++c;
    }
    double value = 0;
    for (; *c >= u'0' && *c <= u'9'; ++c) value = value * 10 + (*c - u'0');
    if (negative) value = -value;
    *normalized = plain_to_normalized(index, value);
    return true;
}

float sync_rate(int32_t value) {
    if (value < 1) value = 1;
    if (value > kSyncRateCount) value = kSyncRateCount;
    return kSyncRates[value - 1];
}

const char* sync_rate_label(int32_t value) {
    if (value < 1) value = 1;
    if (value > kSyncRateCount) value = kSyncRateCount;
    return kSyncRateLabels[value - 1];
}

}  // namespace yawp::catalogue
