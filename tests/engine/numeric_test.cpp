// Numeric kernel: the approximations stay within their stated errors and are
// exact where the sound relies on it (quarter cycles of the sine).
#include <gtest/gtest.h>

#include <cmath>

#include <bit>
#include <limits>
#include <random>
#include <vector>

#include "engine/cpu_features.h"
#include "engine/lanes.h"
#include "engine/lanes16.h"
#include "engine/lanes8.h"
#include "engine/numeric.h"

namespace n = yawp::numeric;

TEST(Numeric, ReciprocalError) {
    for (float x = 1e-6f; x < 1e7f; x *= 1.01f) EXPECT_LT(std::fabs(n::reciprocal(x) * x - 1.0f), 1.3e-5f) << x;
}

TEST(Numeric, FloorAndFrac) {
    EXPECT_EQ(n::floor(2.5f), 2.0f);
    EXPECT_EQ(n::floor(-2.5f), -3.0f);
    EXPECT_EQ(n::floor(-2.0f), -2.0f);
    EXPECT_EQ(n::frac(-0.25f), 0.75f);
    EXPECT_EQ(n::frac(3.0f), 0.0f);
}

TEST(Numeric, SineExactAtQuartersAndCloseBetween) {
    EXPECT_EQ(n::sine2pi(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(n::sine2pi(0.25f), 1.0f);
    EXPECT_EQ(n::sine2pi(0.5f), 0.0f);
    EXPECT_FLOAT_EQ(n::sine2pi(0.75f), -1.0f);
    EXPECT_FLOAT_EQ(n::sine2pi(-0.25f), -1.0f);
    float worst = 0;
    for (int i = 0; i <= 4000; ++i) {
        float x = i / 1000.0f - 2.0f;
        worst = std::max(worst, std::fabs(n::sine2pi(x) - static_cast<float>(std::sin(6.283185307179586 * x))));
    }
    EXPECT_LT(worst, 0.012f);
    EXPECT_GT(worst, 0.005f);  // the approximation's colour is really there
}

TEST(Numeric, PrewarpTangent) {
    const float fs = 48000, pi_fs = n::kPi / fs;
    for (float f : {100.0f, 1000.0f, 5000.0f, 15000.0f}) {
        double exact = std::tan(3.141592653589793 * f / fs);
        EXPECT_NEAR(n::tan_prewarp(pi_fs, f) / exact, 1.0, 0.03) << f;
    }
}

TEST(Numeric, PowerOfTwo) {
    EXPECT_EQ(n::pow2(-127.0f), 0.0f);
    EXPECT_FLOAT_EQ(n::pow2(3.0f), 8.0f);
    for (float x = -20; x < 20; x += 0.013f)
        EXPECT_LT(std::fabs(n::pow2(x) / std::exp2(x) - 1), 7e-4) << x;
}

namespace {

namespace lanes = yawp::lanes;

// One lane of each wide path.
YAWP_AVX2 float tangent_in_eights(float pi_fs, float f) {
    namespace w = yawp::lanes8;
    alignas(32) float r[8];
    _mm256_store_ps(r, w::tan_prewarp_below_nyquist(w::splat(pi_fs), w::splat(f)));
    return r[5];
}

YAWP_AVX512 float tangent_in_sixteens(float pi_fs, float f) {
    namespace w = yawp::lanes16;
    alignas(64) float r[16];
    _mm512_store_ps(r, w::tan_prewarp_below_nyquist(w::splat(pi_fs), w::splat(f)));
    return r[11];
}

}  // namespace

TEST(Numeric, TangentBelowNyquistSkipsOnlyFloorsOfZero) {
    // Every prewarp frequency the filters can be given, from 0 to the
    // ceiling at 0.499 fs, at the common rates and a few odd ones: the
    // version without floors gives the general one's bits, in every path.
    std::mt19937 rng(7);
    for (float fs : {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f, 384000.0f}) {
        const float pi_fs = n::kPi / fs;
        const float ceiling = 0.499f * fs;
        std::uniform_real_distribution<float> any(0.0f, ceiling);
        std::vector<float> f = {0.0f, std::numeric_limits<float>::denorm_min(), 1e-30f, 1.0f, ceiling,
                                std::nextafter(ceiling, 0.0f), fs / 4, fs / 8};
        for (int i = 0; i < 200000; ++i) f.push_back(any(rng));
        for (float v : f) {
            const float general = n::tan_prewarp(pi_fs, v);
            ASSERT_EQ(std::bit_cast<uint32_t>(n::tan_prewarp_below_nyquist(pi_fs, v)), std::bit_cast<uint32_t>(general)) << fs << " " << v;
            alignas(16) float lanes4[4];
            _mm_store_ps(lanes4, lanes::tan_prewarp_below_nyquist(lanes::splat(pi_fs), lanes::splat(v)));
            ASSERT_EQ(std::bit_cast<uint32_t>(lanes4[0]), std::bit_cast<uint32_t>(general)) << fs << " " << v;
            if (yawp::cpu_features::avx2()) {
                ASSERT_EQ(std::bit_cast<uint32_t>(tangent_in_eights(pi_fs, v)), std::bit_cast<uint32_t>(general)) << fs << " " << v;
            }
            if (yawp::cpu_features::avx512()) {
                ASSERT_EQ(std::bit_cast<uint32_t>(tangent_in_sixteens(pi_fs, v)), std::bit_cast<uint32_t>(general)) << fs << " " << v;
            }
        }
    }
}
