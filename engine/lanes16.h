// The numeric kernel on sixteen floats at once, for processors with
// AVX-512 (see cpu_features.h). Each function is its eight-lane twin in
// lanes8.h widened, with comparisons giving bit masks and selects blending
// by them: the same operations in the same order in every lane and no
// fused multiply-add, so a lane's result is bit for bit the scalar result.
// Only code that has asked cpu_features whether AVX-512 is there may call
// these; like lanes8.h, every function carries the target attribute.
#pragma once

#include <immintrin.h>

#include "numeric.h"

#define YAWP_AVX512 __attribute__((target("avx512f,avx512dq")))

// GCC 12's AVX-512 intrinsics start some results from a self-initialised
// "undefined" register, which its own uninitialised-use warning then flags
// (GCC bug 105593); nothing here reads such a value.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace yawp::lanes16 {

using F16 = __m512;
using Mask = __mmask16;

YAWP_AVX512 inline F16 splat(float v) { return _mm512_set1_ps(v); }
YAWP_AVX512 inline F16 add(F16 a, F16 b) { return _mm512_add_ps(a, b); }
YAWP_AVX512 inline F16 sub(F16 a, F16 b) { return _mm512_sub_ps(a, b); }
YAWP_AVX512 inline F16 mul(F16 a, F16 b) { return _mm512_mul_ps(a, b); }
YAWP_AVX512 inline F16 select(Mask mask, F16 yes, F16 no) { return _mm512_mask_blend_ps(mask, no, yes); }
YAWP_AVX512 inline F16 abs(F16 x) { return _mm512_andnot_ps(splat(-0.0f), x); }
YAWP_AVX512 inline F16 negate(F16 x) { return _mm512_xor_ps(splat(-0.0f), x); }
// a < b ? a : b, as the scalar code writes it.
YAWP_AVX512 inline F16 min(F16 a, F16 b) { return _mm512_min_ps(a, b); }
YAWP_AVX512 inline Mask less(F16 a, F16 b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
YAWP_AVX512 inline Mask not_equal(F16 a, F16 b) { return _mm512_cmp_ps_mask(a, b, _CMP_NEQ_UQ); }

// Four four-lane values side by side, `a` in lanes 0-3; and lane group k.
YAWP_AVX512 inline F16 quad(__m128 a, __m128 b, __m128 c, __m128 d) {
    const F16 ab = _mm512_insertf32x4(_mm512_castps128_ps512(a), b, 1);
    return _mm512_insertf32x4(_mm512_insertf32x4(ab, c, 2), d, 3);
}
YAWP_AVX512 inline F16 quad(__m128 a) { return _mm512_broadcast_f32x4(a); }
template <int k>
YAWP_AVX512 inline __m128 part(F16 v) {
    return _mm512_extractf32x4_ps(v, k);
}

YAWP_AVX512 inline F16 reciprocal(F16 x) {
    const __m512i magic = _mm512_set1_epi32(static_cast<int>(numeric::kReciprocalMagic));
    F16 r = _mm512_castsi512_ps(_mm512_sub_epi32(magic, _mm512_castps_si512(x)));
    const F16 two = splat(2.0f);
    r = mul(r, sub(two, mul(x, r)));
    r = mul(r, sub(two, mul(x, r)));
    return r;
}

YAWP_AVX512 inline F16 trunc(F16 x) {
    const F16 t = _mm512_cvtepi32_ps(_mm512_cvttps_epi32(x));
    return select(less(abs(x), splat(numeric::kIntegralAbove)), t, x);
}

YAWP_AVX512 inline F16 floor(F16 x) {
    const F16 t = trunc(x);
    const Mask below = less(x, _mm512_setzero_ps()) & not_equal(t, x);
    return select(below, sub(t, splat(1.0f)), t);
}

YAWP_AVX512 inline F16 frac(F16 x) { return sub(x, floor(x)); }

// numeric::sine2pi_of_fraction and sine2pi on each lane.
YAWP_AVX512 inline F16 sine2pi_of_fraction(F16 x) {
    const F16 one = splat(1.0f), two = splat(2.0f), half_pi = splat(numeric::kHalfPi);
    const F16 t = sub(mul(two, x), one);
    const F16 a = sub(half_pi, mul(half_pi, abs(sub(mul(two, abs(t)), one))));
    const F16 aa = mul(a, a);
    const F16 s = sub(sub(a, mul(splat(numeric::kSineC2), aa)), mul(splat(numeric::kSineC3), mul(aa, a)));
    return select(less(t, _mm512_setzero_ps()), s, negate(s));
}

YAWP_AVX512 inline F16 sine2pi(F16 x) { return sine2pi_of_fraction(frac(x)); }

YAWP_AVX512 inline F16 tan_prewarp(F16 pi_over_fs, F16 f) {
    const F16 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi(u), reciprocal(sine2pi(add(u, splat(0.25f)))));
}

// numeric::tan_prewarp_below_nyquist on each lane.
YAWP_AVX512 inline F16 tan_prewarp_below_nyquist(F16 pi_over_fs, F16 f) {
    const F16 u = mul(mul(pi_over_fs, f), splat(numeric::kInvTwoPi));
    return mul(sine2pi_of_fraction(u), reciprocal(sine2pi_of_fraction(add(u, splat(0.25f)))));
}

YAWP_AVX512 inline Mask greater(F16 a, F16 b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
YAWP_AVX512 inline Mask greater_equal(F16 a, F16 b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }

// numeric::pow2 on each lane. Where lanes8.h adds an all-ones compare
// result (-1) and clamps with selects, this subtracts 1 under a mask and
// clamps with integer max and min: the same integers.
YAWP_AVX512 inline F16 pow2(F16 x) {
    const Mask too_small = less(x, splat(numeric::kPow2MinExponent));
    x = select(greater(x, splat(numeric::kPow2MaxExponent)), splat(numeric::kPow2MaxExponent), x);
    __m512i i = _mm512_cvttps_epi32(x);
    i = _mm512_mask_sub_epi32(i, less(x, _mm512_setzero_ps()), i, _mm512_set1_epi32(1));
    const F16 f = sub(x, _mm512_cvtepi32_ps(i));
    __m512i biased = _mm512_add_epi32(i, _mm512_set1_epi32(127));
    biased = _mm512_min_epi32(_mm512_max_epi32(biased, _mm512_setzero_si512()), _mm512_set1_epi32(255));
    const F16 r = _mm512_castsi512_ps(_mm512_slli_epi32(biased, 23));
    const F16 poly = add(splat(numeric::kPow2C1), mul(f, add(splat(numeric::kPow2C2), mul(f, splat(numeric::kPow2C3)))));
    const F16 result = add(r, mul(mul(r, f), poly));
    return _mm512_maskz_mov_ps(static_cast<Mask>(~too_small), result);
}

// The eight-lane halves.
YAWP_AVX512 inline __m256 low_half(F16 v) { return _mm512_castps512_ps256(v); }
YAWP_AVX512 inline __m256 high_half(F16 v) { return _mm512_extractf32x8_ps(v, 1); }

}  // namespace yawp::lanes16

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
