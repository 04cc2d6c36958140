// The numeric kernel: the approximations of reciprocal, floor, sine, tangent
// and power of two that the whole signal path uses. They are part of the
// sound (the sine's error of about 0.011 colours the LFO and the filter
// tuning), so no library call replaces them. All single precision, no
// branches on the hot paths beyond comparisons, no system calls.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace yawp::numeric {

inline constexpr float kPi = 3.14159265f;
inline constexpr float kHalfPi = kPi / 2;
inline constexpr float kInvTwoPi = 0.15915494f;  // 1 / 2π
inline constexpr uint32_t kReciprocalMagic = 0x7EF0E840u;
inline constexpr float kSineC2 = 0.05738534f;
inline constexpr float kSineC3 = 0.11073982f;
// Every float of this magnitude or more is a whole number.
inline constexpr float kIntegralAbove = 8388608.0f;  // 2^23

// Bit-trick first guess refined by two Newton steps; relative error < 1.3e-5.
inline float reciprocal(float x) {
    float r = std::bit_cast<float>(kReciprocalMagic - std::bit_cast<uint32_t>(x));
    r = r * (2.0f - x * r);
    r = r * (2.0f - x * r);
    return r;
}

// Truncation toward zero by integer conversion, the way the four-lane kernel
// does it too (the two must agree to the bit).
inline float trunc(float x) {
    return std::fabs(x) < kIntegralAbove ? static_cast<float>(static_cast<int32_t>(x)) : x;
}

inline float floor(float x) {
    float t = trunc(x);
    return (x < 0 && t != x) ? t - 1.0f : t;
}

// x - floor(x), in [0, 1).
inline float frac(float x) { return x - floor(x); }

// sin(2πf) for a fraction f in [0, 1), by a cubic on each quarter wave;
// exact at every quarter cycle.
inline float sine2pi_of_fraction(float f) {
    float t = 2.0f * f - 1.0f;
    float a = kHalfPi - kHalfPi * std::fabs(2.0f * std::fabs(t) - 1.0f);
    float aa = a * a;
    float s = a - kSineC2 * aa - kSineC3 * (aa * a);
    return t < 0 ? s : -s;
}

// sin(2πx) for any x. Where x already lies in [0, 1), frac(x) = x - 0 is x
// itself, bit for bit, and sine2pi_of_fraction(x) gives the same number
// without the floor.
inline float sine2pi(float x) { return sine2pi_of_fraction(frac(x)); }

// tan(π f / fs), given pi_over_fs = π / fs.
inline float tan_prewarp(float pi_over_fs, float f) {
    float u = pi_over_fs * f * kInvTwoPi;
    return sine2pi(u) * reciprocal(sine2pi(u + 0.25f));
}

// tan_prewarp(pi_over_fs, f) for 0 <= f < fs / 2, where u lies in [0, 1/4)
// and u + 1/4 in [1/4, 1/2): the same number without the floors.
inline float tan_prewarp_below_nyquist(float pi_over_fs, float f) {
    float u = pi_over_fs * f * kInvTwoPi;
    return sine2pi_of_fraction(u) * reciprocal(sine2pi_of_fraction(u + 0.25f));
}

// 2^x with a cubic for the fraction; relative error < 7e-4.
inline constexpr float kPow2MinExponent = -126.0f;
inline constexpr float kPow2MaxExponent = 128.0f;  // 2^128 is already infinite
inline constexpr float kPow2C1 = 0.6931472f;
inline constexpr float kPow2C2 = 0.22741129f;
inline constexpr float kPow2C3 = 0.07944154f;

inline float pow2(float x) {
    if (x < kPow2MinExponent) return 0.0f;
    if (x > kPow2MaxExponent) x = kPow2MaxExponent;
    int32_t i = static_cast<int32_t>(trunc(x));
    if (x < 0) i -= 1;
    float f = x - static_cast<float>(i);
    int32_t biased = i + 127;
    if (biased < 0) biased = 0;
    if (biased > 255) biased = 255;
    float r = std::bit_cast<float>(static_cast<uint32_t>(biased) << 23);
    return r + r * f * (kPow2C1 + f * (kPow2C2 + f * kPow2C3));
}

}  // namespace yawp::numeric
