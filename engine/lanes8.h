// The numeric kernel on eight floats at once, for processors with AVX2.
// Each function is its four-lane twin in lanes.h widened: the same
// operations in the same order in every lane, and no fused multiply-add
// (AVX2 alone does not enable it), so a lane's result is bit for bit the
// scalar result. Only code that has asked cpu_features whether AVX2 is there
// may call these.
//
// Every function carries the target attribute instead of the translation
// unit being built with -mavx2: an inline function of a shared header built
// that way could be the copy the linker keeps for plain SSE2 callers.
#pragma once

#include <immintrin.h>

#include "numeric.h"

#define YAWP_AVX2 __attribute__((target("avx2")))

namespace yawp::lanes8 {

using F8 = __m256;

YAWP_AVX2 inline F8 splat(float v) { return _mm256_set1_ps(v); }
YAWP_AVX2 inline F8 add(F8 a, F8 b) { return _mm256_add_ps(a, b); }
YAWP_AVX2 inline F8 sub(F8 a, F8 b) { return _mm256_sub_ps(a, b); }
YAWP_AVX2 inline F8 mul(F8 a, F8 b) { return _mm256_mul_ps(a, b); }
YAWP_AVX2 inline F8 select(F8 mask, F8 yes, F8 no) { return _mm256_or_ps(_mm256_and_ps(mask, yes), _mm256_andnot_ps(mask, no)); }
YAWP_AVX2 inline F8 abs(F8 x) { return _mm256_andnot_ps(splat(-0.0f), x); }
YAWP_AVX2 inline F8 negate(F8 x) { return _mm256_xor_ps(splat(-0.0f), x); }
// a < b ? a : b, as the scalar code writes it.
YAWP_AVX2 inline F8 min(F8 a, F8 b) { return _mm256_min_ps(a, b); }
YAWP_AVX2 inline F8 less(F8 a, F8 b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
YAWP_AVX2 inline F8 greater(F8 a, F8 b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
YAWP_AVX2 inline F8 greater_equal(F8 a, F8 b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
YAWP_AVX2 inline F8 not_equal(F8 a, F8 b) { return _mm256_cmp_ps(a, b, _CMP_NEQ_UQ); }

// Two four-lane values side by side: `low` in lanes 0-3, `high` in 4-7.
YAWP_AVX2 inline F8 pair(__m128 low, __m128 high) { return _mm256_set_m128(high, low); }
YAWP_AVX2 inline __m128 low(F8 v) { return _mm256_castps256_ps128(v); }
YAWP_AVX2 inline __m128 high(F8 v) { return _mm256_extractf128_ps(v, 1); }

YAWP_AVX2 inline F8 reciprocal(F8 x) {
    const __m256i magic = _mm256_set1_epi32(static_cast<int>(numeric::kReciprocalMagic));
    F8 r = _mm256_castsi256_ps(_mm256_sub_epi32(magic, _mm256_castps_si256(x)));
    const F8 two = splat(2.0f);
    r = mul(r, sub(two, mul(x, r)));
    r = mul(r, sub(two, mul(x, r)));
    return r;
}

YAWP_AVX2 inline F8 trunc(F8 x) {
    const F8 t = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(x));
    return select(less(abs(x), splat(numeric::kIntegralAbove)), t, x);
}

YAWP_AVX2 inline F8 floor(F8 x) {
    const F8 t = trunc(x);
    const F8 below = _mm256_and_ps(less(x, _mm256_setzero_ps()), not_equal(t, x));
    return select(below, sub(t, splat(1.0f)), t);
}

YAWP_AVX2 inline F8 frac(F8 x) { return sub(x, floor(x)); }

// numeric::sine2pi_of_fraction and sine2pi on each lane.
YAWP_AVX2 inline F8 sine2pi_of_fraction(F8 x) {
    const F8 one = splat(1.0f), two = splat(2.0f), half_pi = splat(numeric::kHalfPi);
    const F8 t = sub(mul(two, x), one);
    const F8 a = sub(half_pi, mul(half_pi, abs(sub(mul(two, abs(t)), one))));
    const F8 aa = mul(a, a);
    const F8 s = sub(sub(a, mul(splat(numeric::kSineC2), aa)), mul(splat(numeric::kSineC3), mul(aa, a)));
    return select(less(t, _mm256_setzero_ps()), s, negate(s));
}

YAWP_AVX2 inline F8 sine2pi(F8 x) { return sine2pi_of_fraction(frac(x)); }

YAWP_AVX2 inline F8 tan_prewarp(F8 pi_over_fs, F8 f) {
    const F8 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi(u), reciprocal(sine2pi(add(u, splat(0.25f)))));
}

// numeric::tan_prewarp_below_nyquist on each lane.
YAWP_AVX2 inline F8 tan_prewarp_below_nyquist(F8 pi_over_fs, F8 f) {
    const F8 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi_of_fraction(u), reciprocal(sine2pi_of_fraction(add(u, splat(0.25f)))));
}

YAWP_AVX2 inline F8 pow2(F8 x) {
    const F8 too_small = less(x, splat(numeric::kPow2MinExponent));
    x = select(greater(x, splat(numeric::kPow2MaxExponent)), splat(numeric::kPow2MaxExponent), x);
    __m256i i = _mm256_cvttps_epi32(x);
    i = _mm256_add_epi32(i, _mm256_castps_si256(less(x, _mm256_setzero_ps())));  // -1 where negative
    const F8 f = sub(x, _mm256_cvtepi32_ps(i));
    __m256i biased = _mm256_add_epi32(i, _mm256_set1_epi32(127));
    biased = _mm256_andnot_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), biased), biased);
    const __m256i top = _mm256_set1_epi32(255);
    const __m256i over = _mm256_cmpgt_epi32(biased, top);
    biased = _mm256_or_si256(_mm256_and_si256(over, top), _mm256_andnot_si256(over, biased));
    const F8 r = _mm256_castsi256_ps(_mm256_slli_epi32(biased, 23));
    const F8 poly = add(splat(numeric::kPow2C1), mul(f, add(splat(numeric::kPow2C2), mul(f, splat(numeric::kPow2C3)))));
    const F8 result = add(r, mul(mul(r, f), poly));
    return _mm256_andnot_ps(too_small, result);
}

}  // namespace yawp::lanes8
