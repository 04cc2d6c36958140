// Envelope follower: attack and release are time constants, the term is
// gated and scaled by the amount, and it pushes the pedal.
#include <gtest/gtest.h>

#include <cmath>

#include "engine_fixture.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

namespace {

// Envelope output after each sample of a DC level held for n samples.
std::vector<float> follow(Engine& e, float level, size_t n) {
    std::vector<float> out;
    Transport t;
    for (size_t i = 0; i < n; ++i) {
        float x = level;
        e.process(&x, &x, 1, t);
        out.push_back(e.outputs().env_output);
    }
    return out;
}

// The coefficient τ·fs / (τ·fs + 1) comes from the kernel reciprocal, whose
// relative error of up to 1.3e-5 is a sizeable share of 1 - coefficient for
// long time constants: up to about 16 % at 250 ms and 60 % at 1 s.
double tolerance(double tau_samples) { return tau_samples * (0.01 + 1.3e-5 * (tau_samples + 1)) + 1; }

size_t first_at_or_above(const std::vector<float>& v, float level) {
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] >= level) return i;
    return v.size();
}

}  // namespace

TEST(Envelope, AttackAndReleaseAreTimeConstants) {
    for (float ms : {1.0f, 10.0f, 250.0f}) {
        Engine e;
        // amount 2 % gives depth 1: the term equals the detector state.
        prepare(e, {{cat::kEnvOn, 1}, {cat::kEnvAmount, 2}, {cat::kEnvAttack, ms}, {cat::kEnvRelease, 4 * ms}});
        const double tau = ms * 0.001 * kRate;
        auto rise = follow(e, 1.0f, static_cast<size_t>(5 * tau) + 10);
        EXPECT_NEAR(first_at_or_above(rise, 1 - std::exp(-1.0f)), tau, tolerance(tau)) << ms;
        auto fall = follow(e, 0.0f, static_cast<size_t>(8 * tau) + 10);
        const float start = rise.back();
        size_t i = 0;
        while (i < fall.size() && fall[i] > start * std::exp(-1.0f)) ++i;
        EXPECT_NEAR(i, 4 * tau, tolerance(4 * tau)) << ms;
    }
}

TEST(Envelope, CoefficientAtDefaults) {
    // 100 ms at 48 kHz: 4800 / 4801 per sample, within the reciprocal's
    // error; one sample of a unit step brings the state to 1 - coefficient.
    Engine e;
    prepare(e, {{cat::kEnvOn, 1}, {cat::kEnvAmount, 2}});
    auto v = follow(e, 1.0f, 1);
    EXPECT_NEAR(v[0], 1.0 / 4801, 1.3e-5);
}

TEST(Envelope, GateAmountAndSign) {
    Engine e;
    prepare(e, {{cat::kEnvAmount, -100}});
    auto off = follow(e, 1.0f, 2000);
    EXPECT_EQ(off.back(), 0.0f);
    EXPECT_FLOAT_EQ(e.outputs().mod_position, 50.0f);
    // Switching on continues from the detector's level, not from 0.
    e.set_parameter(cat::kEnvOn, 1);
    auto on = follow(e, 1.0f, 1);
    EXPECT_LT(on[0], -0.3f * 50);
    EXPECT_EQ(e.outputs().mod_position, 0.0f);  // pinned at the heel
}

TEST(Envelope, FullScaleInputPinsThePedalAlmostAtOnce) {
    Engine e;
    prepare(e, {{cat::kEnvOn, 1}, {cat::kEnvAmount, 100}});
    auto v = follow(e, 1.0f, 100);
    // 0.5 / 50 = 1 % of full scale: about 1 % of the 100 ms time constant.
    size_t pinned = first_at_or_above(v, 0.5f);
    EXPECT_NEAR(pinned, 48, 2);
    EXPECT_EQ(e.outputs().mod_position, 100.0f);
    EXPECT_GT(v.back(), 1.0f);  // the output is not limited to ±1
}

TEST(Envelope, NewAttackReachesTheNextBlock) {
    Engine e;
    prepare(e, {{cat::kEnvOn, 1}, {cat::kEnvAmount, 2}, {cat::kEnvAttack, 1000}});
    follow(e, 1.0f, 1);
    e.set_parameter(cat::kEnvAttack, 1);
    auto v = follow(e, 1.0f, 48 * 3);
    EXPECT_GT(v.back(), 0.94f);
}
