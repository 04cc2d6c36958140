// The common restore: what it accepts, what it refuses, and that a refusal
// touches nothing.
#include <cerrno>
#include <cmath>
#include <limits>

#include "state/little_endian.h"
#include "support.h"

namespace yawp::state::test {
namespace {

std::string le_float(float v) {
    std::string s(4, '\0');
    store_f32le(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}

// A document whose version member, info map and parameters map are given.
Bytes assembled(std::string_view version, const EditableDocument& e) {
    Bytes info, parameters;
    EXPECT_EQ(serialise_map(e.doc.info, &info), 0);
    EXPECT_EQ(serialise_map(e.doc.parameters, &parameters), 0);
    const Bytes inner = archive_of({{"version", version}, {"info.map", view(info)}, {"parameters.map", view(parameters)}});
    return archive_of({{"dsp.tar", view(inner)}});
}

void expect_refused(const Bytes& bytes, const std::string& why) {
    FakePlugin plugin;
    const ParameterValues before = plugin.values;
    EXPECT_EQ(plugin.restore(bytes), EINVAL) << why;
    EXPECT_TRUE(plugin.calls.empty()) << why;
    EXPECT_EQ(plugin.values, before) << why;
}

TEST(Restore, AppliesEveryValueInOrderBetweenBeginAndEnd) {
    ParameterValues values = default_values();
    values[catalogue::kLfoSyncRate] = 13.0f;
    for (std::string_view format : {kFormatVst3, kFormatLv2, kFormatClap}) {  // each module reads the others' states
        FakePlugin plugin;
        ASSERT_EQ(plugin.restore(saved(values, format)), 0);
        std::vector<std::string> expected{"begin"};
        for (uint32_t i = 0; i < catalogue::kInputCount; ++i) expected.push_back("set " + std::to_string(i));
        expected.push_back("end");
        EXPECT_EQ(plugin.calls, expected);
        EXPECT_EQ(plugin.values, values);
    }
}

TEST(Restore, RefusesMissingOrWrongMembers) {
    EditableDocument e;
    expect_refused({}, "empty bytes");
    expect_refused(archive_of({{"other.tar", view(e.original)}}), "no dsp.tar");
    using namespace std::string_view_literals;
    for (std::string_view version : {"1.1"sv, "1.01"sv, "2.0"sv, "1.0x"sv, "1."sv, ""sv, "1.0\0"sv}) {
        expect_refused(assembled(version, e), "version " + std::string(version));
    }
    Bytes info, parameters;
    ASSERT_EQ(serialise_map(e.doc.info, &info), 0);
    ASSERT_EQ(serialise_map(e.doc.parameters, &parameters), 0);
    auto outer = [](const Bytes& inner) { return archive_of({{"dsp.tar", view(inner)}}); };
    expect_refused(outer(archive_of({{"version", "1.0"}, {"parameters.map", view(parameters)}})), "no info.map");
    expect_refused(outer(archive_of({{"version", "1.0"}, {"info.map", view(info)}})), "no parameters.map");
    expect_refused(outer(archive_of({{"info.map", view(info)}, {"parameters.map", view(parameters)}})), "no version");
    info.insert(info.begin(), 8, 0);  // a record with an empty key
    expect_refused(outer(archive_of({{"version", "1.0"}, {"info.map", view(info)}, {"parameters.map", view(parameters)}})),
                   "bad info.map");
}

TEST(Restore, AcceptsWhiteSpaceAfterVersion) {
    EditableDocument e;
    for (const char* version : {"1.0\n", "1.0 \t\r\n\v\f"}) {
        FakePlugin plugin;
        EXPECT_EQ(plugin.restore(assembled(version, e)), 0) << version;
    }
}

TEST(Restore, RefusesAWrongId) {
    for (std::string id : {std::string("tallow-yawp-wax"), std::string("tallow-yawp-wah\0", 16), std::string("tallow")}) {
        EditableDocument e;
        e.replace(e.doc.info, "id", id);
        expect_refused(e.bytes(), "id " + id);
    }
    EditableDocument e;
    e.doc.info.erase("id");
    expect_refused(e.bytes(), "no id");
}

TEST(Restore, RefusesAnyBadParameter) {
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        EditableDocument e;
        e.doc.parameters.erase(catalogue::state_key(i));
        expect_refused(e.bytes(), std::string("missing ") + catalogue::state_key(i));
    }
    const std::string bad[] = {
        le_float(1.0f) + le_float(1.0f),  // 8 bytes
        std::string("\1\0\0", 3),
        le_float(std::numeric_limits<float>::quiet_NaN()),
        le_float(-std::numeric_limits<float>::quiet_NaN()),
        le_float(std::numeric_limits<float>::signaling_NaN()),
    };
    for (const std::string& value : bad) {
        EditableDocument e;
        e.replace(e.doc.parameters, "bypass", value);
        expect_refused(e.bytes(), "bypass of " + std::to_string(value.size()) + " bytes");
    }
}

TEST(Restore, IgnoresExtrasAndLeavesClampingToTheHook) {
    EditableDocument e;
    e.replace(e.doc.parameters, "mix", le_float(150.0f));
    e.replace(e.doc.parameters, "env_attack", le_float(std::numeric_limits<float>::infinity()));
    e.replace(e.doc.info, "format", "something else");
    ASSERT_EQ(e.doc.parameters.insert("future_knob", "??"), 0);
    ASSERT_EQ(e.doc.info.insert("comment", ""), 0);
    ASSERT_EQ(e.doc.extra_inner.insert("later.map", "x"), 0);
    ASSERT_EQ(e.doc.extra_outer.insert("zz-extra", "y"), 0);
    FakePlugin plugin;
    ASSERT_EQ(plugin.restore(e.bytes()), 0);
    EXPECT_EQ(plugin.received[catalogue::kMix], 150.0f);
    EXPECT_EQ(plugin.values[catalogue::kMix], 100.0f);
    EXPECT_EQ(plugin.values[catalogue::kEnvAttack], 1000.0f);
}

TEST(Restore, CheckAloneGivesTheValues) {  // the LV2 module applies them itself
    EditableDocument e;
    ParameterValues values;
    values.fill(-1.0f);
    ASSERT_EQ(check_document(e.doc, &values), 0);
    EXPECT_EQ(values, default_values());
    e.doc.parameters.erase("position");
    values.fill(-1.0f);
    EXPECT_EQ(check_document(e.doc, &values), EINVAL);
    EXPECT_EQ(values[0], -1.0f);
}

}  // namespace
}  // namespace yawp::state::test
