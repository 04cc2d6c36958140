// Numeric kernel: the approximations stay within their stated errors and are
// exact where the sound relies on it (quarter cycles of the sine).
#include <gtest/gtest.h>

#include <cmath>

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
