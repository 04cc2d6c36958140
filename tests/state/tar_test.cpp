// The ustar writer's exact bytes and the reader's rules.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support.h"

namespace yawp::state::test {
namespace {

constexpr size_t kBlock = kTarBlockSize;

Bytes write(std::initializer_list<std::pair<std::string_view, ByteView>> members) { return archive_of(members); }

std::string field(const Bytes& archive, size_t offset, size_t width) {
    return text(ByteView{archive.data() + offset, width});
}

TEST(TarWrite, VersionMemberHeaderIsExact) {
    const Bytes archive = write({{"version", "1.0"}});
    ASSERT_EQ(archive.size(), 2048u);
    // The header as the format describes it, built field by field.
    Bytes header(kBlock, 0);
    auto put = [&](size_t at, std::string_view s) { std::memcpy(header.data() + at, s.data(), s.size()); };
    put(0, "version");
    put(100, "0000644");
    put(108, "0000000");
    put(116, "0000000");
    put(124, "00000000003");
    put(136, "00000000000");
    put(148, std::string_view("07346\0\0 ", 8));  // 3814
    put(156, "0");
    put(257, "ustar");
    put(263, "00");
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + kBlock), header);
    EXPECT_EQ(field(archive, kBlock, kBlock), std::string("1.0") + std::string(509, '\0'));
    EXPECT_EQ(field(archive, 2 * kBlock, 2 * kBlock), std::string(1024, '\0'));
}

TEST(TarWrite, SizesTakeWholeBlocks) {
    const std::string b512(512, 'x'), b513(513, 'y');
    EXPECT_EQ(write({}), Bytes(1024, 0));
    EXPECT_EQ(write({{"empty", ByteView{}}}).size(), kBlock + 1024);
    EXPECT_EQ(write({{"a", std::string_view(b512)}}).size(), 2 * kBlock + 1024);
    const Bytes two = write({{"b", std::string_view(b513)}});
    ASSERT_EQ(two.size(), 3 * kBlock + 1024);
    EXPECT_EQ(field(two, 2 * kBlock, kBlock), "y" + std::string(511, '\0'));
}

TEST(TarWrite, MembersFollowNameOrder) {
    const Bytes archive = write({{"version", "1.0"}, {"parameters.map", "p"}, {"info.map", "i"}});
    EXPECT_EQ(field(archive, 0, 8), "info.map");
    EXPECT_EQ(field(archive, 2 * kBlock, 14), "parameters.map");
    EXPECT_EQ(field(archive, 4 * kBlock, 7), "version");
}

TEST(TarWrite, RefusesNamesItCannotWrite) {
    using namespace std::string_view_literals;
    const std::string n99(99, 'n'), n100(100, 'n');
    EXPECT_EQ(write({{n99, "1"}}).size(), 2 * kBlock + 1024);
    for (std::string_view bad : {std::string_view(n100), ""sv, "a\0b"sv}) {
        Map map;
        ASSERT_EQ(map.insert(bad, "1"), 0);
        Bytes out{1, 2, 3};
        EXPECT_EQ(write_archive(map, &out), EINVAL);
        EXPECT_EQ(out, (Bytes{1, 2, 3}));
    }
}

TEST(TarWrite, ChecksumCountsBytesAsSigned) {
    const std::string name(99, '\x80');  // a negative sum: 18 bits give six digits
    const Bytes archive = write({{name, "1"}});
    int32_t sum = 0;
    for (size_t i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<int8_t>(archive[i]);
    char expected[8] = {};
    std::snprintf(expected, sizeof expected, "%06o", static_cast<unsigned>(sum & 0x3ffff));
    EXPECT_EQ(field(archive, 148, 8), std::string(expected, 6) + std::string("\0 ", 2));
    Map members;
    ASSERT_EQ(read_archive(view(archive), &members), 0);
    EXPECT_EQ(text(*members.lookup(std::string_view(name))), "1");
}

TEST(TarRead, GivesViewsAndIgnoresChecksumMagicAndMissingEnd) {
    const std::string big(1000, 'b');
    Bytes archive = write({{"big", std::string_view(big)}, {"none", ByteView{}}, {"one", "1"}});
    archive[148] = '1';
    std::memcpy(archive.data() + 257, "nope", 4);
    archive.resize(5 * kBlock + 1);  // cut inside the last padding
    Map members;
    ASSERT_EQ(read_archive(view(archive), &members), 0);
    EXPECT_EQ(keys_of(members), (std::vector<std::string>{"big", "none", "one"}));
    EXPECT_EQ(members.lookup("big")->data, archive.data() + kBlock);  // a view, no copy
    EXPECT_EQ(text(*members.lookup("big")), big);
    EXPECT_EQ(members.lookup("none")->size, 0u);
    EXPECT_EQ(text(*members.lookup("one")), "1");
    Map empty;
    EXPECT_EQ(read_archive(ByteView{}, &empty), 0);
    EXPECT_TRUE(empty.empty());
}

TEST(TarRead, EqualNamesAreAllKeptLaterFirst) {
    Bytes first = write({{"m", "old"}}), second = write({{"m", "new"}});
    first.resize(2 * kBlock);
    first.insert(first.end(), second.begin(), second.end());
    Map members;
    ASSERT_EQ(read_archive(view(first), &members), 0);
    EXPECT_EQ(members.size(), 2u);
    EXPECT_EQ(text(*members.lookup("m")), "new");
    Bytes rewritten;  // written back in the order they came
    ASSERT_EQ(write_archive(members, &rewritten), 0);
    EXPECT_EQ(text(ByteView{rewritten.data() + kBlock, 3}), "old");
}

TEST(TarRead, RefusesBadSizeFieldsAndShortBytes) {
    const Bytes good = write({{"a", "xyz"}});
    auto with = [&](size_t at, std::string_view s) {
        Bytes b = good;
        std::memcpy(b.data() + at, s.data(), s.size());
        return b;
    };
    const Bytes refused[] = {
        with(124, "00000000008"), with(124, "0000000009"), with(135, "7"),
        with(124, "        3 "),      // space padding is not octal
        with(124, "20000000000"),     // 2^31
        with(124, "17777777777"),     // below 2^31, but far past the end
        with(124, "00000004000"),     // a whole block past the end
        Bytes(good.begin(), good.begin() + 511),
        Bytes(good.begin(), good.begin() + kBlock + 2),
    };
    for (const Bytes& bytes : refused) {
        Map members;
        EXPECT_EQ(read_archive(view(bytes), &members), EINVAL);
    }
    Map members;  // a short block that starts with NUL is still an end
    Bytes short_end(good.begin(), good.begin() + 2 * kBlock + 10);
    EXPECT_EQ(read_archive(view(short_end), &members), 0);
}

}  // namespace
}  // namespace yawp::state::test
