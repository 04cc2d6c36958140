#include "vowel.h"

#include "numeric.h"

namespace yawp {
namespace {

using catalogue::kAge;
using catalogue::kColor;
using catalogue::kJaw;
using catalogue::kSex;
using catalogue::kShapeComponents;
using catalogue::kTongue;

// Each formant moves geometrically with its component between two end
// points; the constants are log2 of the end points (slope, offset), then
// 1 / bandwidth.
struct FormantLaw {
    float log2_span;
    float log2_low;
    float inverse_bandwidth;
};

constexpr FormantLaw kFormantLaws[3] = {
    {2.0324216f, 7.7813597f, 0.0125f},        // F1, jaw: 220 -> 900 Hz, 80 Hz wide
    {1.8845228f, 9.3442955f, 0.01f},          // F2, tongue: 650 -> 2400 Hz, 100 Hz wide
    {0.6322682f, 10.965784f, 0.008333334f},   // F3, color: 2000 -> 3100 Hz, 120 Hz wide
};

// Speaker scale: 1 + 0.18 (1 - sex) for an adult, blended by age toward
// 1.35 + 0.1 (1 - sex) for a child.
constexpr float kSexScale = 0.17999995f;
constexpr float kChildScale = 0.35000002f;
constexpr float kChildSexScale = 0.10000002f;

float lerp(float a, float b, float t) { return a + (b - a) * t; }

VowelShape blend(const VowelShape& a, const VowelShape& b, float t) {
    VowelShape s;
    for (uint32_t i = 0; i < kShapeComponents; ++i) s.component[i] = lerp(a.component[i], b.component[i], t);
    return s;
}

}  // namespace

// [audio-thread]
VowelShape VowelModel::shape_at(float m) const {
    if (!mid_on) return blend(shapes[kHeel], shapes[kToe], m);
    float u = 2.0f * m;
    if (u >= 1.0f) return blend(shapes[kMid], shapes[kToe], u - 1.0f);
    return blend(shapes[kHeel], shapes[kMid], u);
}

// [audio-thread]
Formants VowelModel::formants_of(const VowelShape& shape) {
    const float* c = shape.component;
    const float male = 1.0f - c[kSex];
    const float young = 1.0f - c[kAge];
    const float scale =
        1.0f + kSexScale * male + young * (kChildScale + kChildSexScale * male - kSexScale * male);

    const float drive[3] = {c[kJaw], c[kTongue], c[kColor]};
    Formants f;
    for (int i = 0; i < 3; ++i) {
        const FormantLaw& law = kFormantLaws[i];
        f.frequency[i] = numeric::pow2(drive[i] * law.log2_span + law.log2_low) * scale;
        f.q[i] = f.frequency[i] * law.inverse_bandwidth;
    }
    return f;
}

}  // namespace yawp
