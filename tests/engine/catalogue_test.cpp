// Catalogue: ranges, presentation, the host conversions and their texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <cstring>
#include <string>

#include "engine/catalogue.h"

namespace cat = yawp::catalogue;

namespace {

std::u16string text_of(uint32_t index, double normalized) {
    char16_t buf[cat::kTextCapacity];
    if (!cat::value_to_text(index, normalized, buf, cat::kTextCapacity)) return u"<fail>";
    return buf;
}

std::u16string text_of_plain(uint32_t index, double plain) {
    return text_of(index, cat::plain_to_normalized(index, plain));
}

double value_of(uint32_t index, const char16_t* text) {
    double n = -12345;
    EXPECT_TRUE(cat::text_to_value(index, text, &n));
    return n;
}

}  // namespace

TEST(Catalogue, TablesAreConsistent) {
    std::set<uint32_t> ids;
    std::set<std::string> keys;
    for (uint32_t i = 0; i < cat::kCount; ++i) {
        const cat::RangeEntry* e = cat::entry(i);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->index, i);
        EXPECT_LT(e->minimum, e->maximum);
        EXPECT_GE(e->def, e->minimum);
        EXPECT_LE(e->def, e->maximum);
        if (e->kind & cat::kKindLog)
            EXPECT_DOUBLE_EQ(e->log_span, std::log(e->maximum / e->minimum));
        else
            EXPECT_EQ(e->log_span, 0);
        EXPECT_TRUE(ids.insert(cat::vst3_id(i)).second);
        EXPECT_EQ(cat::index_of_vst3_id(cat::vst3_id(i)), i);
        if (i < cat::kInputCount) {
            const char* k = cat::state_key(i);
            ASSERT_NE(k, nullptr);
            EXPECT_TRUE(keys.insert(k).second);
            EXPECT_EQ(cat::index_of_state_key(k, std::strlen(k)), i);
        } else {
            EXPECT_EQ(cat::state_key(i), nullptr);
        }
    }
    EXPECT_EQ(cat::entry(36), nullptr);
    EXPECT_FALSE(cat::index_of_vst3_id(0).has_value());
    EXPECT_FALSE(cat::index_of_state_key("positio", 7).has_value());
    EXPECT_FALSE(cat::index_of_state_key("positionx", 9).has_value());
    EXPECT_EQ(cat::index_of_state_key("bypass", 6), 31u);
}

TEST(Catalogue, PresentationRecords) {
    cat::Presentation p;
    ASSERT_TRUE(cat::presentation(cat::kEnvAttack, &p));
    EXPECT_NEAR(p.default_normalized, 0.6666666666666667, 1e-15);
    EXPECT_EQ(p.flags, cat::kHostCanAutomate);
    ASSERT_TRUE(cat::presentation(cat::kLfoSyncRate, &p));
    EXPECT_DOUBLE_EQ(p.default_normalized, 7.0 / 23.0);
    EXPECT_EQ(p.step_count, 23);
    ASSERT_TRUE(cat::presentation(cat::kBypass, &p));
    EXPECT_EQ(p.flags, cat::kHostCanAutomate | cat::kHostIsBypass);
    EXPECT_EQ(p.step_count, 1);
    ASSERT_TRUE(cat::presentation(cat::kOutModPosition, &p));
    EXPECT_EQ(p.flags, cat::kHostIsReadOnly);
    EXPECT_EQ(std::u16string(p.short_title), u"Mod position");
    EXPECT_EQ(p.vst3_id, 2095569830u);
    EXPECT_FALSE(cat::presentation(36, &p));
    for (uint32_t i = 0; i < cat::kCount; ++i) {
        ASSERT_TRUE(cat::presentation(i, &p));
        EXPECT_EQ(p.unit_id, 0);
        EXPECT_LT(std::u16string(p.title).size(), 128u);
    }
}

TEST(Catalogue, NormalizedPlainConversions) {
    EXPECT_NEAR(cat::normalized_to_plain(cat::kLfoFreeRate, 0.5), 2.0, 1e-15);
    EXPECT_NEAR(cat::normalized_to_plain(cat::kEnvAttack, 2.0 / 3.0), 100.0, 1e-12);
    EXPECT_DOUBLE_EQ(cat::normalized_to_plain(cat::kLfoSyncRate, 0.5), 12.5);
    EXPECT_DOUBLE_EQ(cat::normalized_to_plain(cat::kLfoBias, 0.25), -50.0);
    // Neither direction clamps.
    EXPECT_DOUBLE_EQ(cat::plain_to_normalized(cat::kMix, 150), 1.5);
    EXPECT_EQ(cat::plain_to_normalized(cat::kEnvAttack, 0), -std::numeric_limits<double>::infinity());
    for (uint32_t i = 0; i < cat::kCount; ++i)
        for (double n : {0.0, 0.25, 0.5, 1.0})
            EXPECT_NEAR(cat::plain_to_normalized(i, cat::normalized_to_plain(i, n)), n, 1e-12) << i;
}

TEST(Catalogue, CoerceToggleIntegerAndClamp) {
    auto host = [](uint32_t i, double n) { return cat::coerce(i, cat::normalized_to_plain(i, n)); };
    EXPECT_EQ(host(cat::kLfoSyncRate, 0.5), 13);
    EXPECT_EQ(host(cat::kLfoSyncRate, 0.49), 12);
    EXPECT_EQ(host(cat::kMidOn, 0.5), 1);
    EXPECT_EQ(host(cat::kMidOn, 0.4999), 0);
    EXPECT_EQ(host(cat::kBypass, 0.5), 1);
    EXPECT_EQ(cat::coerce(cat::kLfoSyncRate, -3.5), 1);   // rounds to -4, clamps
    EXPECT_EQ(cat::coerce(cat::kLfoSyncRate, 24.49), 24);
    EXPECT_EQ(cat::coerce(cat::kLfoSyncRate, 99), 24);
    EXPECT_EQ(cat::coerce(cat::kMix, -1), 0);
    EXPECT_EQ(cat::coerce(cat::kEnvAttack, 0), 1);
    EXPECT_EQ(cat::coerce(cat::kLfoWaveform, 2.5), 2.5);  // continuous, no rounding
    EXPECT_EQ(cat::coerce(cat::kPosition, std::nan("")), 0);  // never stores NaN
    EXPECT_EQ(cat::coerce(cat::kPosition, INFINITY), 100);
}

TEST(Catalogue, MetersForHostsStayInsideTheirRanges) {
    // The envelope output of a loud input runs far past 1 in the engine.
    EXPECT_EQ(cat::meter_for_host(cat::kOutEnvOutput, 31.9f), 1.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutEnvOutput, -790.0f), -1.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutEnvOutput, -0.25f), -0.25f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutLfoOutput, 1.5f), 1.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutLfoPhase, -0.1f), 0.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutLfoPhase, 1.1f), 1.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutModPosition, 100.5f), 100.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kOutModPosition, 37.5f), 37.5f);
    // What is not a number reads 0, never a range end.
    for (uint32_t i = cat::kInputCount; i < cat::kCount; ++i) {
        EXPECT_EQ(cat::meter_for_host(i, std::nanf("")), 0.0f) << i;
        EXPECT_EQ(cat::meter_for_host(i, INFINITY), 0.0f) << i;
        EXPECT_EQ(cat::meter_for_host(i, -INFINITY), 0.0f) << i;
        const cat::RangeEntry* e = cat::entry(i);
        EXPECT_EQ(cat::plain_to_normalized(i, cat::meter_for_host(i, 1e30f)), 1.0) << i;
        EXPECT_EQ(cat::plain_to_normalized(i, cat::meter_for_host(i, -1e30f)), 0.0) << i;
        EXPECT_EQ(cat::meter_for_host(i, static_cast<float>(e->def)), static_cast<float>(e->def)) << i;
    }
    // Inputs are no meters.
    EXPECT_EQ(cat::meter_for_host(cat::kMix, 150.0f), 150.0f);
    EXPECT_EQ(cat::meter_for_host(cat::kCount, 2.0f), 2.0f);
}

TEST(Catalogue, ValueToText) {
    EXPECT_EQ(text_of_plain(cat::kPosition, 50), u"50.00");
    EXPECT_EQ(text_of_plain(cat::kHeelJaw, 12.4222007837421), u"12.42");
    // Digits are truncated: the top of the attack range comes back from
    // exp() a hair below 1000.
    EXPECT_EQ(text_of(cat::kEnvAttack, 1.0), u"999.99");
    EXPECT_EQ(text_of(cat::kLfoSyncPhase, 1.0), u"360.00");
    EXPECT_EQ(text_of_plain(cat::kLfoBias, -100), u"-100.00");
    EXPECT_EQ(text_of_plain(cat::kPosition, 0.3), u"0.29");
    EXPECT_EQ(text_of_plain(cat::kPosition, 0.7), u"0.69");
    EXPECT_EQ(text_of_plain(cat::kPosition, 0), u"0.00");
    EXPECT_EQ(text_of(cat::kMidOn, 1.0), u"1.00");
    EXPECT_EQ(text_of(cat::kLfoWaveform, 0.5), u"2.50");
    EXPECT_EQ(text_of(cat::kOutLfoOutput, 0.0), u"-1.00");
    EXPECT_EQ(text_of(36, 0.5), u"<fail>");
    // Values a host may hand over that have no sensible text.
    EXPECT_EQ(text_of(cat::kEnvAttack, 1e300), u"<fail>");
    EXPECT_EQ(text_of(cat::kPosition, std::nan("")), u"<fail>");
    EXPECT_EQ(text_of(cat::kPosition, 1e200), u"<fail>");
    EXPECT_EQ(text_of(cat::kPosition, 1e10), u"1000000000000.00");
    char16_t small[6];
    EXPECT_FALSE(cat::value_to_text(cat::kLfoSyncPhase, 1.0, small, 6));  // "360.00" needs 7
    char16_t exact[7];
    EXPECT_TRUE(cat::value_to_text(cat::kLfoSyncPhase, 1.0, exact, 7));
    EXPECT_EQ(std::u16string(exact), u"360.00");
}

TEST(Catalogue, TextToValue) {
    EXPECT_DOUBLE_EQ(value_of(cat::kPosition, u"12.9"), 0.12);
    EXPECT_DOUBLE_EQ(value_of(cat::kPosition, u"-"), 0.0);
    EXPECT_DOUBLE_EQ(value_of(cat::kLfoBias, u"abc"), 0.5);
    EXPECT_DOUBLE_EQ(value_of(cat::kLfoBias, u"-50"), 0.25);
    EXPECT_EQ(value_of(cat::kEnvAttack, u"0"), -std::numeric_limits<double>::infinity());
    EXPECT_NEAR(value_of(cat::kEnvAttack, u"100 ms"), 2.0 / 3.0, 1e-15);
    EXPECT_DOUBLE_EQ(value_of(cat::kPosition, u""), 0.0);
    double n;
    EXPECT_FALSE(cat::text_to_value(36, u"1", &n));
    EXPECT_FALSE(cat::text_to_value(0, nullptr, &n));
}

TEST(Catalogue, SyncRates) {
    EXPECT_EQ(cat::sync_rate(1), 1.0f / 6);
    EXPECT_EQ(cat::sync_rate(8), 1.0f);
    EXPECT_EQ(cat::sync_rate(13), 8.0f / 3);
    EXPECT_EQ(cat::sync_rate(24), 48.0f);
    EXPECT_EQ(cat::sync_rate(0), cat::sync_rate(1));
    EXPECT_EQ(cat::sync_rate(99), cat::sync_rate(24));
    // Within each note length: dotted is 2/3 and triplet 3/2 of the plain rate.
    for (int g = 0; g < 8; ++g) {
        float plain = cat::sync_rate(3 * g + 2);
        EXPECT_FLOAT_EQ(cat::sync_rate(3 * g + 1), plain * 2 / 3);
        EXPECT_FLOAT_EQ(cat::sync_rate(3 * g + 3), plain * 3 / 2);
    }
    EXPECT_STREQ(cat::sync_rate_label(8), "1/4");
}
