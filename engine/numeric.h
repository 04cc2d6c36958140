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

// Bit-trick first guess refined by two Newton steps; relative error < 1.3e-5.
inline float reciprocal(float x) {
    constexpr uint32_t kMagic = 0x7EF0E840u;
    float r = std::bit_cast<float>(kMagic - std::bit_cast<uint32_t>(x));
    r = r * (2.0f - x * r);
    r = r * (2.0f - x * r);
    return r;
}

inline float floor(float x) {
    float t = std::trunc(x);
    return (x < 0 && t != x) ? t - 1.0f : t;
}

// x - floor(x), in [0, 1).
inline float frac(float x) { return x - floor(x); }

// sin(2πx) by a cubic on each quarter wave; exact at every quarter cycle.
inline float sine2pi(float x) {
    constexpr float kC2 = 0.05738534f;
    constexpr float kC3 = 0.11073982f;
    float t = 2.0f * frac(x) - 1.0f;
    float a = kHalfPi - kHalfPi * std::fabs(2.0f * std::fabs(t) - 1.0f);
    float s = a - kC2 * (a * a) - kC3 * (a * a * a);
    return t < 0 ? s : -s;
}

// tan(π f / fs), given pi_over_fs = π / fs.
inline float tan_prewarp(float pi_over_fs, float f) {
    float u = pi_over_fs * f * kInvTwoPi;
    return sine2pi(u) * reciprocal(sine2pi(u + 0.25f));
}

// 2^x with a cubic for the fraction; relative error < 7e-4.
inline float pow2(float x) {
    constexpr float kMinExponent = -126.0f;
    if (x < kMinExponent) return 0.0f;
    int32_t i = static_cast<int32_t>(std::trunc(x));
    if (x < 0) i -= 1;
    float f = x - static_cast<float>(i);
    int32_t biased = i + 127;
    if (biased < 0) biased = 0;
    if (biased > 255) biased = 255;
    float r = std::bit_cast<float>(static_cast<uint32_t>(biased) << 23);
    return r + r * f * (0.6931472f + f * (0.22741129f + f * 0.07944154f));
}

}  // namespace yawp::numeric
