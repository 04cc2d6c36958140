// The numeric kernel on four floats at once (SSE2, part of every x86-64
// processor). Each lane performs exactly the operations of the scalar
// kernel in numeric.h, in the same order, so a lane's result is bit for bit
// the scalar result: the three formant filters run side by side without
// changing a single sample.
#pragma once

#include <emmintrin.h>

#include "numeric.h"

namespace yawp::lanes {

using F4 = __m128;

inline F4 splat(float v) { return _mm_set1_ps(v); }
inline F4 add(F4 a, F4 b) { return _mm_add_ps(a, b); }
inline F4 sub(F4 a, F4 b) { return _mm_sub_ps(a, b); }
inline F4 mul(F4 a, F4 b) { return _mm_mul_ps(a, b); }
inline F4 select(F4 mask, F4 yes, F4 no) { return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no)); }
inline F4 abs(F4 x) { return _mm_andnot_ps(splat(-0.0f), x); }
inline F4 negate(F4 x) { return _mm_xor_ps(splat(-0.0f), x); }
// a < b ? a : b, as the scalar code writes it.
inline F4 min(F4 a, F4 b) { return _mm_min_ps(a, b); }

inline F4 reciprocal(F4 x) {
    const __m128i magic = _mm_set1_epi32(static_cast<int>(numeric::kReciprocalMagic));
    F4 r = _mm_castsi128_ps(_mm_sub_epi32(magic, _mm_castps_si128(x)));
    const F4 two = splat(2.0f);
    r = mul(r, sub(two, mul(x, r)));
    r = mul(r, sub(two, mul(x, r)));
    return r;
}

// numeric::trunc on each lane.
inline F4 trunc(F4 x) {
    const F4 t = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
    return select(_mm_cmplt_ps(abs(x), splat(numeric::kIntegralAbove)), t, x);
}

inline F4 floor(F4 x) {
    const F4 t = trunc(x);
    const F4 below = _mm_and_ps(_mm_cmplt_ps(x, _mm_setzero_ps()), _mm_cmpneq_ps(t, x));
    return select(below, sub(t, splat(1.0f)), t);
}

inline F4 frac(F4 x) { return sub(x, floor(x)); }

// numeric::sine2pi_of_fraction and sine2pi on each lane.
inline F4 sine2pi_of_fraction(F4 x) {
    const F4 one = splat(1.0f), two = splat(2.0f), half_pi = splat(numeric::kHalfPi);
    const F4 t = sub(mul(two, x), one);
    const F4 a = sub(half_pi, mul(half_pi, abs(sub(mul(two, abs(t)), one))));
    const F4 aa = mul(a, a);
    const F4 s = sub(sub(a, mul(splat(numeric::kSineC2), aa)), mul(splat(numeric::kSineC3), mul(aa, a)));
    return select(_mm_cmplt_ps(t, _mm_setzero_ps()), s, negate(s));
}

inline F4 sine2pi(F4 x) { return sine2pi_of_fraction(frac(x)); }

inline F4 tan_prewarp(F4 pi_over_fs, F4 f) {
    const F4 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi(u), reciprocal(sine2pi(add(u, splat(0.25f)))));
}

// numeric::tan_prewarp_below_nyquist on each lane.
inline F4 tan_prewarp_below_nyquist(F4 pi_over_fs, F4 f) {
    const F4 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi_of_fraction(u), reciprocal(sine2pi_of_fraction(add(u, splat(0.25f)))));
}

// numeric::pow2 on each lane.
inline F4 pow2(F4 x) {
    const F4 too_small = _mm_cmplt_ps(x, splat(numeric::kPow2MinExponent));
    x = select(_mm_cmpgt_ps(x, splat(numeric::kPow2MaxExponent)), splat(numeric::kPow2MaxExponent), x);
    // In this range the scalar trunc is the integer conversion.
    __m128i i = _mm_cvttps_epi32(x);
    i = _mm_add_epi32(i, _mm_castps_si128(_mm_cmplt_ps(x, _mm_setzero_ps())));  // -1 where negative
    const F4 f = sub(x, _mm_cvtepi32_ps(i));
    __m128i biased = _mm_add_epi32(i, _mm_set1_epi32(127));
    biased = _mm_andnot_si128(_mm_cmplt_epi32(biased, _mm_setzero_si128()), biased);
    const __m128i top = _mm_set1_epi32(255);
    const __m128i over = _mm_cmpgt_epi32(biased, top);
    biased = _mm_or_si128(_mm_and_si128(over, top), _mm_andnot_si128(over, biased));
    const F4 r = _mm_castsi128_ps(_mm_slli_epi32(biased, 23));
    const F4 poly = add(splat(numeric::kPow2C1), mul(f, add(splat(numeric::kPow2C2), mul(f, splat(numeric::kPow2C3)))));
    const F4 result = add(r, mul(mul(r, f), poly));
    return _mm_andnot_ps(too_small, result);
}

}  // namespace yawp::lanes
