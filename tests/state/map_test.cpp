// The map container's key order and duplicates, and the map file format.
#include <algorithm>
#include <cerrno>
#include <random>

#include "support.h"

namespace yawp::state::test {
namespace {

int order(std::string_view a, std::string_view b) { return compare_keys(a, b); }

TEST(MapOrder, FollowsBytesThenLength) {
    EXPECT_LT(order("mid_on", "mix"), 0);
    EXPECT_LT(order("lfo_sync", "lfo_sync_phase"), 0);
    EXPECT_GT(order("\x80", "z"), 0);  // bytes are unsigned
    EXPECT_EQ(order("position", "position"), 0);
    using namespace std::string_view_literals;
    EXPECT_EQ(order("a\0x"sv, "a\0y"sv), 0);   // nothing after a shared NUL counts
    EXPECT_LT(order("a\0y"sv, "a\0xx"sv), 0);  // except the length
}

TEST(MapOrder, EnumerationIgnoresInsertionOrder) {
    std::vector<std::string_view> keys;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) keys.push_back(catalogue::state_key(i));
    std::vector<std::string> expected(keys.begin(), keys.end());
    std::sort(expected.begin(), expected.end());
    std::mt19937 shuffle_rng(1234);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(keys.begin(), keys.end(), shuffle_rng);
        Map map;
        for (auto k : keys) ASSERT_EQ(map.insert(k, k), 0);
        EXPECT_EQ(keys_of(map), expected);
    }
    EXPECT_EQ(expected.front(), "bypass");
    EXPECT_EQ(expected.back(), "toe_tongue");
}

TEST(Map, EqualKeysEnumerateNewestFirst) {
    Map map;
    for (std::string_view v : {"a", "b", "c"}) ASSERT_EQ(map.insert("k", v), 0);
    ASSERT_EQ(map.insert("j", "before"), 0);
    ASSERT_EQ(map.insert("l", "after"), 0);
    std::string seen;
    map.for_each([&](ByteView, ByteView v) { return seen += text(v) + ",", 0; });
    EXPECT_EQ(seen, "before,c,b,a,after,");
    EXPECT_EQ(map.erase("k"), 3u);
    EXPECT_EQ(map.size(), 2u);
}

TEST(Map, EmptyValueIsFoundAndStopValueReturned) {
    Map map;
    ASSERT_EQ(map.insert("empty", ByteView{}), 0);
    ASSERT_EQ(map.insert("x", "1"), 0);
    ASSERT_TRUE(map.lookup("empty").has_value());
    EXPECT_EQ(map.lookup("empty")->size, 0u);
    EXPECT_FALSE(map.lookup("missing").has_value());
    int visited = 0;
    EXPECT_EQ(map.for_each([&](ByteView, ByteView) { return ++visited, 42; }), 42);
    EXPECT_EQ(visited, 1);
}

TEST(MapFile, IdRecordIs25Bytes) {
    Map map;
    ASSERT_EQ(map.insert("id", kProductId), 0);
    Bytes file;
    ASSERT_EQ(serialise_map(map, &file), 0);
    EXPECT_EQ(text(file), std::string("\x02\0\0\0\x0f\0\0\0idtallow-yawp-wah", 25));
}

TEST(MapFile, RoundTripKeepsEntriesOrderAndDuplicates) {
    const std::string file("\x01\0\0\0\x00\0\0\0z"
                           "\x01\0\0\0\x02\0\0\0aA1"
                           "\x01\0\0\0\x01\0\0\0aB", 30);
    Map map;
    ASSERT_EQ(parse_map(std::string_view(file), &map), 0);
    EXPECT_EQ(keys_of(map), (std::vector<std::string>{"a", "a", "z"}));
    EXPECT_EQ(text(*map.lookup("a")), "B");  // the later record
    EXPECT_EQ(map.lookup("a")->data, reinterpret_cast<const uint8_t*>(file.data()) + 29);  // a view, no copy
    Bytes again;
    ASSERT_EQ(serialise_map(map, &again), 0);
    EXPECT_EQ(text(again), file.substr(9) + file.substr(0, 9));  // sorted; equal keys as they came
    Map reparsed;
    ASSERT_EQ(parse_map(view(again), &reparsed), 0);
    EXPECT_EQ(text(*reparsed.lookup("a")), "B");
    Map empty;
    EXPECT_EQ(parse_map(ByteView{}, &empty), 0);
    EXPECT_TRUE(empty.empty());
}

TEST(MapFile, RefusesBadRecordsAndLeavesOutputAlone) {
    const std::string good("\x01\0\0\0\x01\0\0\0kv", 10);
    const std::string refused[] = {
        std::string("\0\0\0\0\x01\0\0\0v", 9) + good,  // zero key length first
        good + std::string("\x01\0\0", 3),              // length field cut short
        good + std::string("\x02\0\0\0\0\0\0\0k", 9),   // key past the end
        good + std::string("\x01\0\0\0\x02\0\0\0kv", 10),  // value past the end
        std::string("\xff\xff\xff\xff\xff\xff\xff\xff", 8) + good,  // lengths that would wrap
        std::string("\x01\0\0\0\xff\xff\xff\xff", 8) + good,
    };
    for (const std::string& bytes : refused) {
        Map map;
        ASSERT_EQ(map.insert("kept", "1"), 0);
        EXPECT_EQ(parse_map(std::string_view(bytes), &map), EINVAL);
        EXPECT_EQ(keys_of(map), std::vector<std::string>{"kept"});
    }
    Map empty_key;
    ASSERT_EQ(empty_key.insert("", "v"), 0);
    Bytes out;
    EXPECT_EQ(serialise_map(empty_key, &out), EINVAL);  // could never be read back
}

}  // namespace
}  // namespace yawp::state::test
