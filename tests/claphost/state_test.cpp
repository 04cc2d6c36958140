// clap.state: the saved document, states moving between the CLAP, VST3 and
// LV2 modules both ways, and every stream or document a load must refuse
// without changing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "clap_host.h"
#include "engine/catalogue.h"
#include "lv2_test_host.h"
#include "signals.h"
#include "state/document.h"
#include "vst3_host.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

// Values inside every range, each away from its default; `k` picks a set.
state::ParameterValues varied_values(uint32_t k) {
    state::ParameterValues v;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        const cat::RangeEntry* e = cat::entry(i);
        if (e->kind & (cat::kKindToggle | cat::kKindBypass)) {
            v[i] = static_cast<float>((i + k) % 2 == 0 ? 1 - e->def : e->def);
        } else if (e->kind & cat::kKindInteger) {
            v[i] = static_cast<float>(1 + (i + 3 * k) % 24);
        } else {
            v[i] = static_cast<float>(e->minimum + (e->maximum - e->minimum) * ((i * 7 + k * 3) % 19 + 1) / 21.0);
        }
    }
    return v;
}

state::ParameterValues defaults() {
    state::ParameterValues v;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) v[i] = static_cast<float>(cat::entry(i)->def);
    return v;
}

std::vector<uint8_t> document_of(const state::ParameterValues& v, std::string_view format = state::kFormatClap) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(state::save_document(format, 48000, v, &bytes), 0);
    return bytes;
}

std::vector<double> as_doubles(const state::ParameterValues& v) { return {v.begin(), v.end()}; }

// The plug-in's values, set as a host sets them while it is not active.
void set_values(Instance& instance, const state::ParameterValues& v) {
    EventQueue in, out;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) in.param_value(0, i, v[i]);
    instance.params->flush(instance.plugin, in.input(), out.output());
}

struct ClapState : ::testing::Test {
    TestHost host;
    Instance instance{host};

    void SetUp() override {
        ASSERT_NE(instance.state, nullptr);
        ASSERT_NE(instance.params, nullptr);
    }
};

TEST_F(ClapState, SavesTheSharedDocumentAsClap) {
    const state::ParameterValues v = varied_values(1);
    set_values(instance, v);
    const std::vector<uint8_t> saved = instance.save();
    ASSERT_FALSE(saved.empty());

    state::Document doc;
    ASSERT_EQ(state::parse_document({saved.data(), saved.size()}, &doc), 0);
    const std::optional<state::ByteView> format = doc.info.lookup("format");
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(format->data), format->size), state::kFormatClap);
    const std::optional<state::ByteView> id = doc.info.lookup("id");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id->data), id->size), state::kProductId);
    state::ParameterValues read{};
    ASSERT_EQ(state::check_document(doc, &read), 0);
    EXPECT_EQ(read, v);
    EXPECT_EQ(instance.values(), as_doubles(v));
}

TEST_F(ClapState, SaveLoadSaveGivesTheSameBytes) {
    set_values(instance, varied_values(2));
    const std::vector<uint8_t> first = instance.save();
    TestHost other_host;
    Instance other(other_host);
    ASSERT_TRUE(other.load(first));
    EXPECT_EQ(other.save(), first);
    EXPECT_EQ(other.values(), instance.values());
    ASSERT_TRUE(instance.load(first));
    EXPECT_EQ(instance.save(), first);
}

TEST_F(ClapState, ALoadTellsTheHostToRescanValues) {
    const uint32_t before = host.calls(HostFunction::kParamsRescan);
    ASSERT_TRUE(instance.load(document_of(varied_values(3))));
    EXPECT_EQ(host.calls(HostFunction::kParamsRescan), before + 1);
    EXPECT_TRUE(host.last_rescan_flags() & CLAP_PARAM_RESCAN_VALUES);
    EXPECT_FALSE(host.last_rescan_flags() & CLAP_PARAM_RESCAN_ALL) << "values only, and the instance may be active";
    EXPECT_EQ(instance.values(), as_doubles(varied_values(3)));
}

// Out-of-range stored values are held to the range, as every module does.
TEST_F(ClapState, StoredValuesAreCoerced) {
    state::ParameterValues v = varied_values(0);
    v[cat::kPosition] = 150;
    v[cat::kLfoSyncRate] = 12.4f;
    v[cat::kEnvAttack] = 0;
    ASSERT_TRUE(instance.load(document_of(v)));
    EXPECT_EQ(instance.value(cat::kPosition), 100.0);
    EXPECT_EQ(instance.value(cat::kLfoSyncRate), 12.0);
    EXPECT_EQ(instance.value(cat::kEnvAttack), 1.0);
}

// A state loaded while the instance plays reaches the engine at the start
// of the next block, as the same values sent as events at its start would.
TEST_F(ClapState, ALoadWhileActiveReachesTheNextBlock) {
    TestHost twin_host;
    Instance twin(twin_host);
    ASSERT_TRUE(instance.activate(48000, 512));
    ASSERT_TRUE(twin.activate(48000, 512));
    const std::vector<float> x = test_tone(512 * 6);
    std::vector<float> a(512), b(512);
    instance.process(512, x.data(), a.data());
    twin.process(512, x.data(), b.data());

    const state::ParameterValues v = varied_values(4);
    ASSERT_TRUE(instance.load(document_of(v)));
    EXPECT_EQ(instance.values(), as_doubles(v)) << "shown at once";
    EventQueue events;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) events.param_value(0, i, v[i]);
    for (int k = 1; k < 6; ++k) {
        instance.process(512, x.data() + 512 * k, a.data());
        twin.process(512, x.data() + 512 * k, b.data(), Buffers::k32, {k == 1 ? &events : nullptr});
        ASSERT_EQ(first_difference(a.data(), b.data(), 512), -1) << "block " << k;
    }
    EXPECT_EQ(instance.values(), as_doubles(v));
}

// ---- across the formats

TEST_F(ClapState, ClapStatesLoadIntoTheVst3AndLv2Modules) {
    const state::ParameterValues v = varied_values(5);
    set_values(instance, v);
    const std::vector<uint8_t> saved = instance.save();

    test::Plugin vst;
    ASSERT_NE(vst.component, nullptr) << "the VST3 module did not load";
    ASSERT_EQ(vst.restore(saved), Steinberg::kResultOk);
    EXPECT_EQ(test::values_of(vst.save()), std::vector<float>(v.begin(), v.end()));

    test::Host lv2;
    lv2.activate();
    test::StateStore from_clap, from_lv2;
    from_clap.bytes = saved;
    from_clap.present = true;
    ASSERT_EQ(lv2.state()->restore(lv2.handle, test::StateStore::retrieve, &from_clap, 0, nullptr), LV2_STATE_SUCCESS);
    ASSERT_EQ(lv2.state()->save(lv2.handle, test::StateStore::store, &from_lv2, 0, nullptr), LV2_STATE_SUCCESS);
    EXPECT_EQ(test::values_of(from_lv2.bytes), std::vector<float>(v.begin(), v.end()));
}

TEST_F(ClapState, Vst3AndLv2StatesLoadIntoClap) {
    // The VST3 module's own save of restored values.
    const state::ParameterValues from_vst3 = varied_values(6);
    test::Plugin vst;
    ASSERT_NE(vst.component, nullptr);
    ASSERT_EQ(vst.restore(document_of(from_vst3, state::kFormatVst3)), Steinberg::kResultOk);
    ASSERT_TRUE(instance.load(vst.save()));
    EXPECT_EQ(instance.values(), as_doubles(from_vst3));

    // The LV2 plug-in's save of values its ports were set to.
    test::Host lv2;
    state::ParameterValues from_lv2 = varied_values(7);
    from_lv2[cat::kBypass] = 0;  // the port is "enable", the inverse
    for (uint32_t i = 0; i < cat::kInputCount; ++i)
        if (i != cat::kBypass) lv2.set(i, from_lv2[i]);
    lv2.activate();
    lv2.run(64);
    test::StateStore saved;
    ASSERT_EQ(lv2.state()->save(lv2.handle, test::StateStore::store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
    ASSERT_TRUE(instance.load(saved.bytes));
    EXPECT_EQ(instance.values(), as_doubles(from_lv2));
}

// ---- refused documents and streams

struct Spoiled {
    const char* what;
    std::vector<uint8_t> bytes;
};

// `good` with the product id one letter off.
std::vector<uint8_t> with_other_id(std::vector<uint8_t> good) {
    auto at = std::search(good.begin(), good.end(), state::kProductId.begin(), state::kProductId.end());
    EXPECT_NE(at, good.end());
    if (at != good.end()) at[state::kProductId.size() - 1] = 'x';
    return good;
}

// A document whose position holds a NaN: stored as a marker value and
// overwritten, since no module saves a NaN.
std::vector<uint8_t> with_nan_position() {
    constexpr float kMarker = 12.3456789f;
    state::ParameterValues v = varied_values(8);
    v[cat::kPosition] = kMarker;
    std::vector<uint8_t> bytes = document_of(v);
    const auto marker = std::bit_cast<std::array<uint8_t, 4>>(kMarker);  // little-endian, as stored
    auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
    EXPECT_NE(at, bytes.end());
    const auto nan = std::bit_cast<std::array<uint8_t, 4>>(std::nanf(""));
    if (at != bytes.end()) std::copy(nan.begin(), nan.end(), at);
    state::Document doc;
    state::ParameterValues read{};
    state::Refusal why;
    EXPECT_EQ(state::parse_document({bytes.data(), bytes.size()}, &doc), 0);
    EXPECT_NE(state::check_document(doc, &read, &why), 0);
    EXPECT_EQ(why.kind, state::Refusal::kNotANumber);
    return bytes;
}

TEST_F(ClapState, RefusedDocumentsChangeNothing) {
    set_values(instance, varied_values(9));
    ASSERT_TRUE(instance.activate(48000, 64));
    instance.process(64, nullptr, nullptr);
    const std::vector<uint8_t> before = instance.save();
    const std::vector<double> values = instance.values();
    const uint32_t rescans = host.calls(HostFunction::kParamsRescan);

    const std::vector<uint8_t> good = document_of(varied_values(10));
    const Spoiled spoiled[] = {
        {"empty", {}},
        {"garbage", std::vector<uint8_t>(good.size(), 0x5A)},
        {"other product", with_other_id(good)},
        {"NaN value", with_nan_position()},
        {"half", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
    };
    for (const Spoiled& s : spoiled) {
        SCOPED_TRACE(s.what);
        EXPECT_FALSE(instance.load(s.bytes));
        EXPECT_EQ(instance.values(), values);
        instance.process(64, nullptr, nullptr);
        EXPECT_EQ(instance.save(), before);
    }
    EXPECT_EQ(host.calls(HostFunction::kParamsRescan), rescans) << "nothing changed, nothing to rescan";
}

// Cut short anywhere, a document is refused, unless what is left is still
// a whole document to the state reader (a cut in the archive's end
// padding may be).
TEST_F(ClapState, TruncatedDocumentsAreRefused) {
    const std::vector<double> values = instance.values();
    const std::vector<uint8_t> good = document_of(varied_values(11));
    uint32_t refused = 0, lengths = 0;
    for (size_t length = 0; length < good.size(); length += length < 1200 ? 1 : 97) {
        SCOPED_TRACE(std::to_string(length) + " of " + std::to_string(good.size()) + " bytes");
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        ++lengths;
        if (state::restore_document({cut.data(), cut.size()}, {}) == 0) {
            EXPECT_TRUE(instance.load(cut));
            set_values(instance, defaults());
            continue;
        }
        ++refused;
        ASSERT_FALSE(instance.load(cut));
        ASSERT_EQ(instance.values(), values);
    }
    EXPECT_GT(refused, lengths * 9 / 10) << "most cuts leave no document";
}

TEST_F(ClapState, ShortReadsAndWritesAreLooped) {
    set_values(instance, varied_values(12));
    const std::vector<uint8_t> expected = instance.save();
    for (uint64_t chunk : {1u, 7u, 512u, 4095u}) {
        SCOPED_TRACE(chunk);
        WriteStream out;
        out.chunk = chunk;
        ASSERT_TRUE(instance.state->save(instance.plugin, out.clap()));
        EXPECT_EQ(out.bytes, expected);

        TestHost other_host;
        Instance other(other_host);
        ReadStream in(expected);
        in.chunk = chunk;
        ASSERT_TRUE(other.state->load(other.plugin, in.clap()));
        EXPECT_EQ(other.values(), instance.values());
    }
}

TEST_F(ClapState, StreamsThatFailMidwayFailTheCall) {
    set_values(instance, varied_values(13));
    const std::vector<uint8_t> saved = instance.save();
    const std::vector<uint8_t> other = document_of(varied_values(14));
    const std::vector<double> values = instance.values();
    for (int64_t at : {int64_t{0}, int64_t{1}, int64_t{511}, int64_t{512}, static_cast<int64_t>(other.size() / 2),
                       static_cast<int64_t>(other.size() - 1)}) {
        SCOPED_TRACE(at);
        ReadStream in(other);
        in.fail_at = at;
        in.chunk = 100;
        EXPECT_FALSE(instance.state->load(instance.plugin, in.clap()));
        EXPECT_EQ(instance.values(), values);

        WriteStream failing;
        failing.fail_at = at;
        failing.chunk = 100;
        EXPECT_FALSE(instance.state->save(instance.plugin, failing.clap()));
        WriteStream full;
        full.full_at = at;
        EXPECT_FALSE(instance.state->save(instance.plugin, full.clap())) << "a write that takes nothing";
    }
    EXPECT_EQ(instance.save(), saved);
}

// A stream that goes on and on: the plug-in stops reading at some point,
// or reads it all, and refuses it.
TEST_F(ClapState, EndlessGarbageIsRefused) {
    const std::vector<double> values = instance.values();
    ReadStream in;
    in.garbage_to = uint64_t{16} << 20;
    EXPECT_FALSE(instance.state->load(instance.plugin, in.clap()));
    EXPECT_EQ(instance.values(), values);
}

}  // namespace
}  // namespace yawp::clap_test
