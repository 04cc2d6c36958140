// clap.params as a host reads it: each parameter's description against
// the catalogue, the texts against the VST3 controller's, get_value, and
// calls a careless host makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "clap_host.h"
#include "engine/catalogue.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr uint32_t kModulatable[] = {cat::kPosition, cat::kMix, cat::kLfoAmount, cat::kLfoBias, cat::kLfoFreeRate,
                                     cat::kEnvAmount};
constexpr uint32_t kStepKinds = cat::kKindToggle | cat::kKindInteger | cat::kKindBypass;

bool is_modulatable(uint32_t index) {
    return std::find(std::begin(kModulatable), std::end(kModulatable), index) != std::end(kModulatable);
}

uint32_t expected_flags(uint32_t index) {
    uint32_t flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (cat::entry(index)->kind & kStepKinds) flags |= CLAP_PARAM_IS_STEPPED;
    if (index == cat::kBypass) flags |= CLAP_PARAM_IS_BYPASS;
    if (is_modulatable(index)) flags |= CLAP_PARAM_IS_MODULATABLE;
    return flags;
}

// What the VST3 controller shows for a plain value, in UTF-8; empty when
// it shows nothing.
std::string vst3_text(uint32_t index, double plain) {
    char16_t text[cat::kTextCapacity];
    if (!cat::value_to_text(index, cat::plain_to_normalized(index, plain), text, cat::kTextCapacity)) return {};
    return utf8_of(text);
}

// The plain value the VST3 controller reads from a text.
double vst3_value(uint32_t index, const std::string& text) {
    std::u16string wide(text.begin(), text.end());  // the texts here are ASCII
    double normalized = 0;
    EXPECT_TRUE(cat::text_to_value(index, wide.c_str(), &normalized));
    return cat::normalized_to_plain(index, normalized);
}

// Plain values across the range and a little past both ends.
std::vector<double> probe_values(uint32_t index) {
    const cat::RangeEntry* e = cat::entry(index);
    std::vector<double> v = {e->minimum, e->maximum, e->def};
    for (int k = 0; k <= 16; ++k) v.push_back(e->minimum + (e->maximum - e->minimum) * k / 16.0);
    v.push_back(e->minimum - 1);
    v.push_back(e->maximum + 1);
    return v;
}

struct ClapParams : ::testing::Test {
    TestHost host;
    Instance instance{host};
    const clap_plugin* plugin = instance.plugin;
    const clap_plugin_params* params = instance.params;

    void SetUp() override { ASSERT_NE(params, nullptr); }

    std::string text_of(clap_id id, double value) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        if (!params->value_to_text(plugin, id, value, buffer, sizeof buffer)) return "(refused)";
        EXPECT_NE(std::memchr(buffer, 0, sizeof buffer), nullptr);
        return buffer;
    }
};

TEST_F(ClapParams, EachDescribesItsCatalogueEntry) {
    ASSERT_EQ(params->count(plugin), kParameterCount);
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        SCOPED_TRACE(cat::state_key(i));
        clap_param_info info;
        std::memset(&info, 0x55, sizeof info);
        ASSERT_TRUE(params->get_info(plugin, i, &info));
        const cat::RangeEntry* e = cat::entry(i);
        cat::Presentation p;
        ASSERT_TRUE(cat::presentation(i, &p));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.flags, expected_flags(i));
        ASSERT_NE(std::memchr(info.name, 0, sizeof info.name), nullptr);
        EXPECT_EQ(std::string(info.name), utf8_of(p.title));
        ASSERT_NE(std::memchr(info.module, 0, sizeof info.module), nullptr);
        EXPECT_EQ(info.min_value, e->minimum);
        EXPECT_EQ(info.max_value, e->maximum);
        EXPECT_EQ(info.default_value, e->def);
    }
}

TEST_F(ClapParams, ExactlyOneBypassAndSixModulatable) {
    uint32_t bypass = 0, modulatable = 0;
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        clap_param_info info{};
        ASSERT_TRUE(params->get_info(plugin, i, &info));
        bypass += (info.flags & CLAP_PARAM_IS_BYPASS) != 0;
        modulatable += (info.flags & CLAP_PARAM_IS_MODULATABLE) != 0;
        // A bypass is stepped, and nothing here is per note, key, channel
        // or port: the effect is monophonic.
        if (info.flags & CLAP_PARAM_IS_BYPASS) {
            EXPECT_TRUE(info.flags & CLAP_PARAM_IS_STEPPED);
        }
        EXPECT_EQ(info.flags & (CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID | CLAP_PARAM_IS_MODULATABLE_PER_KEY |
                                CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL | CLAP_PARAM_IS_MODULATABLE_PER_PORT),
                  0u);
    }
    EXPECT_EQ(bypass, 1u);
    EXPECT_EQ(modulatable, std::size(kModulatable));
}

TEST_F(ClapParams, ValuesStartAtTheDefaults) {
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        clap_param_info info{};
        ASSERT_TRUE(params->get_info(plugin, i, &info));
        double v = -1;
        ASSERT_TRUE(params->get_value(plugin, i, &v)) << i;
        // The default itself, or the nearest float if that is how the value
        // is kept.
        const double as_float = static_cast<float>(info.default_value);
        EXPECT_TRUE(v == info.default_value || v == as_float) << cat::state_key(i) << ": " << v;
    }
}

TEST_F(ClapParams, TextsAreTheVst3ControllersTexts) {
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        SCOPED_TRACE(cat::state_key(i));
        for (double plain : probe_values(i)) {
            const std::string expected = vst3_text(i, plain);
            EXPECT_EQ(text_of(i, plain), expected.empty() ? "(refused)" : expected) << plain;
        }
    }
}

TEST_F(ClapParams, TextToValueReadsWhatTheVst3ControllerReads) {
    for (uint32_t i = 0; i < kParameterCount; ++i) {
        SCOPED_TRACE(cat::state_key(i));
        for (double plain : probe_values(i)) {
            const std::string text = text_of(i, plain);
            if (text == "(refused)") continue;
            double back = std::nan("");
            ASSERT_TRUE(params->text_to_value(plugin, i, text.c_str(), &back)) << text;
            EXPECT_EQ(back, vst3_value(i, text)) << text;
        }
        // A text keeps the whole part: read back, a value inside the range
        // loses less than one unit, and a whole number on a linear range
        // comes back as it was.
        const cat::RangeEntry* e = cat::entry(i);
        for (double plain : probe_values(i)) {
            if (plain < e->minimum || plain > e->maximum) continue;
            double back = std::nan("");
            ASSERT_TRUE(params->text_to_value(plugin, i, text_of(i, plain).c_str(), &back));
            EXPECT_LT(std::fabs(back - plain), 1.0 + 1e-9) << plain;
            const bool linear = (e->kind & cat::kKindLog) == 0;
            if (linear && plain == std::trunc(plain)) {
                EXPECT_EQ(back, plain);
            }
        }
    }
}

TEST_F(ClapParams, RefusesUnknownIdsAndMissingBuffers) {
    clap_param_info info{};
    EXPECT_FALSE(params->get_info(plugin, kParameterCount, &info));
    EXPECT_FALSE(params->get_info(plugin, UINT32_MAX, &info));
    EXPECT_FALSE(params->get_info(plugin, 0, nullptr));

    double v = 7;
    EXPECT_FALSE(params->get_value(plugin, kParameterCount, &v));
    EXPECT_FALSE(params->get_value(plugin, CLAP_INVALID_ID, &v));
    EXPECT_FALSE(params->get_value(plugin, 0, nullptr));
    // The meters are not parameters here.
    EXPECT_FALSE(params->get_value(plugin, cat::kOutModPosition, &v));

    char text[64];
    EXPECT_FALSE(params->value_to_text(plugin, kParameterCount, 50, text, sizeof text));
    EXPECT_FALSE(params->value_to_text(plugin, 0, 50, nullptr, 64));
    EXPECT_FALSE(params->value_to_text(plugin, 0, 50, text, 0));
    EXPECT_FALSE(params->value_to_text(plugin, 0, std::nan(""), text, sizeof text));
    EXPECT_FALSE(params->value_to_text(plugin, 0, INFINITY, text, sizeof text));

    EXPECT_FALSE(params->text_to_value(plugin, kParameterCount, "50", &v));
    EXPECT_FALSE(params->text_to_value(plugin, 0, nullptr, &v));
    EXPECT_FALSE(params->text_to_value(plugin, 0, "50", nullptr));
}

// A host's text buffer too small for the text: the plug-in writes nothing
// past its end and leaves either no text or a terminated one.
TEST_F(ClapParams, TextBuffersThatAreTooSmallAreNotOverrun) {
    const std::string full = text_of(cat::kEnvAttack, 999.0);
    ASSERT_EQ(full, vst3_text(cat::kEnvAttack, 999.0));
    for (uint32_t capacity = 1; capacity <= full.size() + 1; ++capacity) {
        SCOPED_TRACE(capacity);
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        const bool ok = params->value_to_text(plugin, cat::kEnvAttack, 999.0, buffer, capacity);
        for (size_t i = capacity; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "written past the end";
        if (ok) {
            ASSERT_NE(std::memchr(buffer, 0, capacity), nullptr) << "no terminator";
            EXPECT_EQ(full.compare(0, std::strlen(buffer), buffer), 0) << "not the start of " << full;
        }
        if (capacity == full.size() + 1) {
            EXPECT_TRUE(ok && buffer == full);
        }
    }
}

TEST_F(ClapParams, FlushWhileInactiveSetsTheValues) {
    EventQueue in, out;
    in.param_value(0, cat::kMix, 25.0);
    in.param_value(0, cat::kLfoSyncRate, 7.6);    // rounded
    in.param_value(0, cat::kPosition, 180.0);     // clamped
    in.param_value(0, cat::kEnvOn, 0.7);          // on from one half
    in.param_value(0, cat::kLfoOn, std::nan(""));  // ignored
    in.param_value(0, 77, 1.0);                   // no such parameter
    params->flush(plugin, in.input(), out.output());
    EXPECT_EQ(instance.value(cat::kMix), 25.0);
    EXPECT_EQ(instance.value(cat::kLfoSyncRate), 8.0);
    EXPECT_EQ(instance.value(cat::kPosition), 100.0);
    EXPECT_EQ(instance.value(cat::kEnvOn), 1.0);
    EXPECT_EQ(instance.value(cat::kLfoOn), 0.0);
    EXPECT_EQ(out.size(), 0u) << "a host's own changes do not come back";
}

// The host's modulation never shows as the value: get_value is the base.
TEST_F(ClapParams, ModulationIsNotTheValue) {
    EventQueue in, out;
    in.param_mod(0, cat::kPosition, 30.0);
    in.param_mod(0, cat::kMix, -40.0);
    params->flush(plugin, in.input(), out.output());
    EXPECT_EQ(instance.value(cat::kPosition), 50.0);
    EXPECT_EQ(instance.value(cat::kMix), 100.0);
    ASSERT_TRUE(instance.activate());
    EventQueue block;
    block.param_value(0, cat::kPosition, 20.0);
    block.param_mod(3, cat::kPosition, 50.0);
    std::vector<float> x(64, 0.1f);
    ASSERT_EQ(instance.process(64, x.data(), nullptr, Buffers::k32, {&block}), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(instance.value(cat::kPosition), 20.0);
}

}  // namespace
}  // namespace yawp::clap_test
