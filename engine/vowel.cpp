#include "vowel.h"

#include "lanes.h"
#include "lanes16.h"
#include "lanes8.h"
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

namespace {

using lanes::F4;

// lerp() on four positions.
F4 lerp4(float a, float b, F4 t) { return lanes::add(lanes::splat(a), lanes::mul(lanes::splat(b - a), t)); }

}  // namespace

void VowelModel::targets_at_in_fours(const float* m, FormantTargets* out, uint32_t n) const {
    using namespace lanes;
    const VowelShape& heel = shapes[kHeel];
    const VowelShape& mid = shapes[kMid];
    const VowelShape& toe = shapes[kToe];
    for (uint32_t at = 0; at < n; at += 4) {
        alignas(16) float pos[4] = {};
        const uint32_t count = n - at < 4 ? n - at : 4;
        for (uint32_t j = 0; j < count; ++j) pos[j] = m[at + j];
        const F4 t = _mm_load_ps(pos);
        const F4 u = mul(splat(2.0f), t);
        const F4 upper = _mm_cmpge_ps(u, splat(1.0f));
        const F4 u_upper = sub(u, splat(1.0f));

        F4 c[kShapeComponents];
        for (uint32_t k = 0; k < kShapeComponents; ++k) {
            const float h = heel.component[k], d = mid.component[k], e = toe.component[k];
            c[k] = mid_on ? select(upper, lerp4(d, e, u_upper), lerp4(h, d, u)) : lerp4(h, e, t);
        }

        const F4 one = splat(1.0f);
        const F4 male = sub(one, c[kSex]);
        const F4 young = sub(one, c[kAge]);
        const F4 sex_term = mul(splat(kSexScale), male);
        const F4 child = sub(add(splat(kChildScale), mul(splat(kChildSexScale), male)), sex_term);
        const F4 scale = add(add(one, sex_term), mul(young, child));

        const F4 drive[3] = {c[kJaw], c[kTongue], c[kColor]};
        F4 fr[4], q[4];
        for (int i = 0; i < 3; ++i) {
            const FormantLaw& law = kFormantLaws[i];
            fr[i] = mul(pow2(add(mul(drive[i], splat(law.log2_span)), splat(law.log2_low))), scale);
            q[i] = mul(fr[i], splat(law.inverse_bandwidth));
        }
        // Rows of formants become each sample's four.
        fr[3] = splat(FormantTargets::kIdleCutoff);
        q[3] = splat(FormantTargets::kIdleQ);
        _MM_TRANSPOSE4_PS(fr[0], fr[1], fr[2], fr[3]);
        _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
        for (uint32_t j = 0; j < count; ++j) {
            _mm_store_ps(out[at + j].cutoff, fr[j]);
            _mm_store_ps(out[at + j].q, q[j]);
        }
    }
}

namespace {

// lerp() on eight positions.
YAWP_AVX2 lanes8::F8 lerp8(float a, float b, lanes8::F8 t) {
    return lanes8::add(lanes8::splat(a), lanes8::mul(lanes8::splat(b - a), t));
}

// Four rows of eight samples become eight columns, one per sample:
// column[j] = {row[0][j], row[1][j], row[2][j], row[3][j]}. Within each
// half of the registers this is the four-by-four transpose.
YAWP_AVX2 void columns_of(const lanes8::F8 row[4], __m128 column[8]) {
    const lanes8::F8 t0 = _mm256_unpacklo_ps(row[0], row[1]);
    const lanes8::F8 t1 = _mm256_unpackhi_ps(row[0], row[1]);
    const lanes8::F8 t2 = _mm256_unpacklo_ps(row[2], row[3]);
    const lanes8::F8 t3 = _mm256_unpackhi_ps(row[2], row[3]);
    const lanes8::F8 c[4] = {_mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0)), _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2)),
                             _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0)), _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2))};
    for (int j = 0; j < 4; ++j) {
        column[j] = lanes8::low(c[j]);
        column[j + 4] = lanes8::high(c[j]);
    }
}

}  // namespace

// targets_at_in_fours() on eight positions at a time: the same operations
// in the same order, each lane what the scalar formula gives.
YAWP_AVX2 void VowelModel::targets_at_in_eights(const float* m, FormantTargets* out, uint32_t n) const {
    namespace w = lanes8;
    using w::F8;
    const VowelShape& heel = shapes[kHeel];
    const VowelShape& mid = shapes[kMid];
    const VowelShape& toe = shapes[kToe];
    for (uint32_t at = 0; at < n; at += 8) {
        alignas(32) float pos[8] = {};
        const uint32_t count = n - at < 8 ? n - at : 8;
        for (uint32_t j = 0; j < count; ++j) pos[j] = m[at + j];
        const F8 t = count == 8 ? _mm256_loadu_ps(m + at) : _mm256_load_ps(pos);
        const F8 u = w::mul(w::splat(2.0f), t);
        const F8 upper = w::greater_equal(u, w::splat(1.0f));
        const F8 u_upper = w::sub(u, w::splat(1.0f));

        F8 c[kShapeComponents];
        for (uint32_t k = 0; k < kShapeComponents; ++k) {
            const float h = heel.component[k], d = mid.component[k], e = toe.component[k];
            c[k] = mid_on ? w::select(upper, lerp8(d, e, u_upper), lerp8(h, d, u)) : lerp8(h, e, t);
        }

        const F8 one = w::splat(1.0f);
        const F8 male = w::sub(one, c[kSex]);
        const F8 young = w::sub(one, c[kAge]);
        const F8 sex_term = w::mul(w::splat(kSexScale), male);
        const F8 child = w::sub(w::add(w::splat(kChildScale), w::mul(w::splat(kChildSexScale), male)), sex_term);
        const F8 scale = w::add(w::add(one, sex_term), w::mul(young, child));

        const F8 drive[3] = {c[kJaw], c[kTongue], c[kColor]};
        F8 fr[4], q[4];
        for (int i = 0; i < 3; ++i) {
            const FormantLaw& law = kFormantLaws[i];
            fr[i] = w::mul(w::pow2(w::add(w::mul(drive[i], w::splat(law.log2_span)), w::splat(law.log2_low))), scale);
            q[i] = w::mul(fr[i], w::splat(law.inverse_bandwidth));
        }
        fr[3] = w::splat(FormantTargets::kIdleCutoff);
        q[3] = w::splat(FormantTargets::kIdleQ);
        __m128 fr_of[8], q_of[8];
        columns_of(fr, fr_of);
        columns_of(q, q_of);
        for (uint32_t j = 0; j < count; ++j) {
            _mm_store_ps(out[at + j].cutoff, fr_of[j]);
            _mm_store_ps(out[at + j].q, q_of[j]);
        }
    }
}

namespace {

// lerp() on sixteen positions.
YAWP_AVX512 lanes16::F16 lerp16(float a, float b, lanes16::F16 t) {
    return lanes16::add(lanes16::splat(a), lanes16::mul(lanes16::splat(b - a), t));
}

}  // namespace

// targets_at_in_eights() on sixteen positions at a time, for whole
// sixteens; the rest goes in eights.
YAWP_AVX512 void VowelModel::targets_at_in_sixteens(const float* m, FormantTargets* out, uint32_t n) const {
    namespace w = lanes16;
    using w::F16;
    const VowelShape& heel = shapes[kHeel];
    const VowelShape& mid = shapes[kMid];
    const VowelShape& toe = shapes[kToe];
    uint32_t at = 0;
    for (; at + 16 <= n; at += 16) {
        const F16 t = _mm512_loadu_ps(m + at);
        const F16 u = w::mul(w::splat(2.0f), t);
        const w::Mask upper = w::greater_equal(u, w::splat(1.0f));
        const F16 u_upper = w::sub(u, w::splat(1.0f));

        F16 c[kShapeComponents];
        for (uint32_t k = 0; k < kShapeComponents; ++k) {
            const float h = heel.component[k], d = mid.component[k], e = toe.component[k];
            c[k] = mid_on ? w::select(upper, lerp16(d, e, u_upper), lerp16(h, d, u)) : lerp16(h, e, t);
        }

        const F16 one = w::splat(1.0f);
        const F16 male = w::sub(one, c[kSex]);
        const F16 young = w::sub(one, c[kAge]);
        const F16 sex_term = w::mul(w::splat(kSexScale), male);
        const F16 child = w::sub(w::add(w::splat(kChildScale), w::mul(w::splat(kChildSexScale), male)), sex_term);
        const F16 scale = w::add(w::add(one, sex_term), w::mul(young, child));

        const F16 drive[3] = {c[kJaw], c[kTongue], c[kColor]};
        lanes8::F8 fr[2][4], q[2][4];
        for (int i = 0; i < 3; ++i) {
            const FormantLaw& law = kFormantLaws[i];
            const F16 f = w::mul(w::pow2(w::add(w::mul(drive[i], w::splat(law.log2_span)), w::splat(law.log2_low))), scale);
            const F16 qi = w::mul(f, w::splat(law.inverse_bandwidth));
            fr[0][i] = w::low_half(f);
            fr[1][i] = w::high_half(f);
            q[0][i] = w::low_half(qi);
            q[1][i] = w::high_half(qi);
        }
        for (int half = 0; half < 2; ++half) {
            fr[half][3] = lanes8::splat(FormantTargets::kIdleCutoff);
            q[half][3] = lanes8::splat(FormantTargets::kIdleQ);
            __m128 fr_of[8], q_of[8];
            columns_of(fr[half], fr_of);
            columns_of(q[half], q_of);
            for (uint32_t j = 0; j < 8; ++j) {
                _mm_store_ps(out[at + 8 * half + j].cutoff, fr_of[j]);
                _mm_store_ps(out[at + 8 * half + j].q, q_of[j]);
            }
        }
    }
    if (at < n) targets_at_in_eights(m + at, out + at, n - at);
}

void VowelModel::targets_at(const float* m, FormantTargets* out, uint32_t n) const {
    if (wider)
        targets_at_in_sixteens(m, out, n);
    else if (wide)
        targets_at_in_eights(m, out, n);
    else
        targets_at_in_fours(m, out, n);
}

}  // namespace yawp
