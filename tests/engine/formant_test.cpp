// Vowel model and formant filters: the formant frequencies the shapes give,
// and what the filters do to a sine at and around their centre.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/cpu_features.h"
#include "engine/formant_bank.h"
#include "engine/vowel.h"
#include "engine_fixture.h"

using namespace yawp;
using namespace yawp::test;

namespace {

VowelShape shape(float jaw, float tongue, float color, float sex, float age) {
    return {{jaw, tongue, color, sex, age}};
}

Formants all_at(float fc, float q) { return {{fc, fc, fc}, {q, q, q}}; }

FormantBank bank_at(float fc, float q, float fs = kRate) {
    FormantBank b;
    b.initialise();
    b.set_sample_rate(fs, fs * numeric::kInvTwoPi);
    b.set_targets(all_at(fc, q));
    b.reset();
    return b;
}

// Steady-state gain of a filter tuned to (fc, q) for a sine at hz.
double filter_gain(float fc, float q, double hz, float fs = kRate) {
    FormantBank b = bank_at(fc, q, fs);
    const size_t n = 24000;
    std::vector<float> x = sine(hz, n, 1.0, fs), y(n);
    for (size_t i = 0; i < n; ++i) {
        b.update_coefficients();
        y[i] = b.step(x[i]).band[0];
    }
    return peak(y, n / 2);
}

}  // namespace

TEST(Vowel, FormantLawEndPoints) {
    // An adult male speaker (sex 1, age 1) leaves the frequencies unscaled.
    Formants lo = VowelModel::formants_of(shape(0, 0, 0, 1, 1));
    Formants hi = VowelModel::formants_of(shape(1, 1, 1, 1, 1));
    const double low[3] = {220, 650, 2000}, high[3] = {900, 2400, 3100}, bw[3] = {80, 100, 120};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(lo.frequency[i] / low[i], 1, 1e-3);
        EXPECT_NEAR(hi.frequency[i] / high[i], 1, 1e-3);
        EXPECT_NEAR(lo.q[i], lo.frequency[i] / bw[i], 1e-3 * lo.q[i]);
    }
}

TEST(Vowel, SpeakerScale) {
    const float cases[][3] = {{1, 1, 1.0f}, {0, 1, 1.18f}, {1, 0, 1.35f}, {0, 0, 1.45f}, {0.5f, 1, 1.09f}};
    Formants base = VowelModel::formants_of(shape(0.3f, 0.4f, 0.5f, 1, 1));
    for (const auto& c : cases) {
        Formants f = VowelModel::formants_of(shape(0.3f, 0.4f, 0.5f, c[0], c[1]));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(f.frequency[i] / base.frequency[i], c[2], 1e-5);
    }
}

TEST(Vowel, DefaultShapes) {
    auto def = [](uint32_t i) { return static_cast<float>(catalogue::entry(i)->def) * 0.01f; };
    const double expected[3][3] = {{262, 767, 2308}, {425, 1649, 2436}, {850, 1610, 2546}};
    const uint32_t first[3] = {catalogue::kHeelJaw, catalogue::kMidJaw, catalogue::kToeJaw};
    for (int s = 0; s < 3; ++s) {
        Formants f = VowelModel::formants_of(shape(def(first[s]), def(first[s] + 1), def(first[s] + 2), 1, 1));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(f.frequency[i], expected[s][i], 2.0) << s << " " << i;
    }
}

TEST(Vowel, InterpolationWithAndWithoutMid) {
    VowelModel m;
    m.shapes[VowelModel::kHeel] = shape(0, 0.2f, 0.4f, 0.6f, 0.8f);
    m.shapes[VowelModel::kMid] = shape(1, 1, 1, 1, 1);
    m.shapes[VowelModel::kToe] = shape(0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    for (bool mid : {false, true}) {
        m.mid_on = mid;
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(m.shape_at(0).component[c], m.shapes[0].component[c]);
            EXPECT_EQ(m.shape_at(1).component[c], m.shapes[2].component[c]);
        }
    }
    m.mid_on = false;
    EXPECT_FLOAT_EQ(m.shape_at(0.5f).component[0], 0.25f);  // mid has no say
    m.mid_on = true;
    EXPECT_EQ(m.shape_at(0.5f).component[0], 1.0f);
    EXPECT_FLOAT_EQ(m.shape_at(0.25f).component[0], 0.5f);   // heel -> mid
    EXPECT_FLOAT_EQ(m.shape_at(0.75f).component[0], 0.75f);  // mid -> toe
}

TEST(FormantFilter, GainIsQAtTheCentre) {
    for (auto [fc, q] : {std::pair{500.0f, 6.25f}, {1500.0f, 15.0f}, {2500.0f, 20.833f}, {250.0f, 3.125f}}) {
        double g = filter_gain(fc, q, fc);
        // The kernel sine detunes the prewarp a little; within 5 % of Q.
        EXPECT_NEAR(g / q, 1.0, 0.05) << fc;
        // One bandwidth away the response has fallen well below the peak.
        EXPECT_LT(filter_gain(fc, q, fc + 2 * fc / q), 0.5 * g) << fc;
    }
}

TEST(FormantFilter, PeakSitsAtTheTunedFrequency) {
    const float fc = 1200, q = 12;
    double best_hz = 0, best = 0;
    for (double hz = fc * 0.95; hz <= fc * 1.05; hz += fc * 0.0025) {
        double g = filter_gain(fc, q, hz);
        if (g > best) best = g, best_hz = hz;
    }
    EXPECT_NEAR(best_hz / fc, 1.0, 0.01);
}

TEST(FormantFilter, GlidesWithFiveMillisecondsAndSnaps) {
    FormantBank b;
    b.initialise();
    b.set_sample_rate(kRate, kRate * numeric::kInvTwoPi);
    b.reset();  // at the initial 1000 Hz, Q 0.5
    EXPECT_EQ(b.cutoff(0), 1000.0f);
    b.set_targets(Formants{{2000, 500, 1000}, {20, 5, 0.5f}});
    const int tau = static_cast<int>(0.005f * kRate);
    for (int i = 0; i < tau; ++i) b.update_coefficients();
    EXPECT_NEAR((b.cutoff(0) - 1000) / 1000, 1 - std::exp(-1.0), 0.01);
    EXPECT_NEAR((1000 - b.cutoff(1)) / 500, 1 - std::exp(-1.0), 0.01);
    EXPECT_EQ(b.cutoff(2), 1000.0f);  // a settled filter stays put
    for (int i = 0; i < 20 * tau; ++i) b.update_coefficients();
    EXPECT_EQ(b.cutoff(0), 2000.0f);  // snapped, not creeping forever
    EXPECT_EQ(b.q(0), 20.0f);
    EXPECT_EQ(b.cutoff(1), 500.0f);
}

TEST(FormantFilter, CeilingKeepsHighCutoffsFinite) {
    const float fs = 48000;
    FormantBank b = bank_at(0.499f * fs, 10, fs);
    const float r = b.ratio(0);
    b = bank_at(0.7f * fs, 10, fs);
    EXPECT_EQ(b.ratio(0), r);  // the ratio stops at the ceiling
    EXPECT_FLOAT_EQ(b.g(0), 0.7f * fs * r);
    EXPECT_TRUE(std::isfinite(b.step(1.0f).band[0]));
}

TEST(FormantFilter, LanesAreIndependent) {
    // Each filter's output depends only on its own targets.
    FormantBank mixed = bank_at(300, 4), alone = bank_at(300, 4);
    mixed.set_targets(Formants{{300, 1700, 2600}, {4, 17, 21}});
    mixed.reset();
    std::vector<float> x = sine(320, 4000);
    for (size_t i = 0; i < x.size(); ++i) {
        mixed.update_coefficients();
        alone.update_coefficients();
        ASSERT_EQ(mixed.step(x[i]).band[0], alone.step(x[i]).band[0]) << i;
    }
}

TEST(Formants, IdenticalShapesIgnorePositionAndModulation) {
    Settings s = {{catalogue::kLfoOn, 1}, {catalogue::kEnvOn, 1}, {catalogue::kLfoFreeRate, 20}};
    Engine a, b;
    prepare(a, s);
    prepare(b, s);
    for (uint32_t c = 0; c < 5; ++c)
        for (Engine* e : {&a, &b}) {
            e->set_parameter(catalogue::kHeelJaw + c, 30);
            e->set_parameter(catalogue::kMidJaw + c, 30);
            e->set_parameter(catalogue::kToeJaw + c, 30);
        }
    b.set_parameter(catalogue::kPosition, 90);
    b.set_parameter(catalogue::kMidOn, 1);
    std::vector<float> x = sine(700, 9600);
    EXPECT_EQ(run(a, x), run(b, x));
}

TEST(Formants, EngineOutputPeaksAtTheFirstFormant) {
    // Heel shape with jaw 0: F1 = 220 Hz × 1.09 for the default speaker.
    Engine e;
    prepare(e, {{catalogue::kPosition, 0}, {catalogue::kHeelJaw, 0}});
    const double f1 = 220 * 1.09;
    double at = peak(run(e, sine(f1, 24000, 0.1)), 12000);
    prepare(e, {{catalogue::kPosition, 0}, {catalogue::kHeelJaw, 0}});
    double off = peak(run(e, sine(f1 * 1.5, 24000, 0.1)), 12000);
    EXPECT_NEAR(at / 0.1, f1 * 0.0125, 0.15 * f1 * 0.0125);
    EXPECT_GT(at, 2.5 * off);
}

TEST(Vowel, GroupsOfFourEightAndSixteenEqualOneAtATime) {
    VowelModel v;
    v.shapes[VowelModel::kHeel] = shape(0.1f, 0.9f, 0.3f, 0.2f, 1.0f);
    v.shapes[VowelModel::kMid] = shape(0.7f, 0.2f, 0.8f, 0.6f, 0.1f);
    v.shapes[VowelModel::kToe] = shape(1.0f, 0.5f, 0.0f, 0.9f, 0.5f);
    std::vector<float> m;
    for (int i = 0; i <= 1001; ++i) m.push_back(i / 1001.0f);
    m.push_back(0.5f);
    for (int width : {4, 8, 16}) {
        if ((width == 8 && !cpu_features::avx2()) || (width == 16 && !cpu_features::avx512())) continue;
        for (bool mid : {false, true}) {
            v.mid_on = mid;
            // Counts that leave a last group of 1 to 15 positions, which
            // must not be written past.
            for (uint32_t n : {1u, 3u, 5u, 8u, 9u, 15u, 16u, 17u, 31u, 64u, static_cast<uint32_t>(m.size())}) {
                std::vector<FormantTargets> out(n + 1, FormantTargets{{-1, -1, -1, -1}, {-1, -1, -1, -1}});
                if (width == 4) v.targets_at_in_fours(m.data(), out.data(), n);
                if (width == 8) v.targets_at_in_eights(m.data(), out.data(), n);
                if (width == 16) v.targets_at_in_sixteens(m.data(), out.data(), n);
                ASSERT_EQ(out[n].cutoff[0], -1) << n;
                for (size_t i = 0; i < n; ++i) {
                    const FormantTargets one = FormantTargets::of(VowelModel::formants_of(v.shape_at(m[i])));
                    for (int k = 0; k < 4; ++k) {
                        ASSERT_EQ(out[i].cutoff[k], one.cutoff[k]) << m[i] << " width " << width;
                        ASSERT_EQ(out[i].q[k], one.q[k]) << m[i] << " width " << width;
                    }
                }
            }
        }
    }
}
