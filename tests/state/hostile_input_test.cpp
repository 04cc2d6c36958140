// Cut, damaged and hostile documents: refused with EINVAL, never read past
// their end (the sanitizer build checks that), never half applied.
#include <cerrno>
#include <cstring>

#include "support.h"

namespace yawp::state::test {
namespace {

constexpr size_t kBlock = kTarBlockSize;
constexpr size_t kOuterDataEnd = kBlock + 4608;

TEST(HostileInput, EveryTruncationIsRefusedUntilTheDataIsComplete) {
    const Bytes doc = saved();
    for (size_t length = 0; length <= doc.size(); ++length) {
        // A copy of exactly `length` bytes, so the sanitizer sees any overread.
        const Bytes cut(doc.begin(), doc.begin() + length);
        FakePlugin plugin;
        const int result = plugin.restore(cut);
        if (length >= kOuterDataEnd) {
            EXPECT_EQ(result, 0) << length;
        } else {
            ASSERT_EQ(result, EINVAL) << length;
            ASSERT_TRUE(plugin.calls.empty()) << length;
        }
    }
}

TEST(HostileInput, DamagedBytesNeverCrashOrHalfApply) {
    const Bytes doc = saved();
    for (size_t at = 0; at < kOuterDataEnd; ++at) {
        for (uint8_t value : {0x00, 0x37, 0xff}) {
            Bytes damaged = doc;
            damaged[at] = value;
            FakePlugin plugin;
            const int result = plugin.restore(damaged);
            ASSERT_TRUE(result == 0 || result == EINVAL) << at;
            ASSERT_EQ(plugin.calls.size(), result == 0 ? catalogue::kInputCount + 2 : 0u) << at;
        }
    }
}

TEST(HostileInput, OverlongLengthsAreRefused) {
    EditableDocument e;
    Bytes parameters;
    ASSERT_EQ(serialise_map(e.doc.parameters, &parameters), 0);
    std::memset(parameters.data() + 4, 0xff, 4);  // first value length 4 GiB - 1
    Bytes info;
    ASSERT_EQ(serialise_map(e.doc.info, &info), 0);
    const Bytes inner =
        archive_of({{"version", "1.0"}, {"info.map", view(info)}, {"parameters.map", view(parameters)}});
    FakePlugin plugin;
    EXPECT_EQ(plugin.restore(archive_of({{"dsp.tar", view(inner)}})), EINVAL);

    Bytes huge = saved();
    std::memcpy(huge.data() + 124, "17777777777", 11);  // 2 GiB - 1 in a 6 KiB buffer
    EXPECT_EQ(plugin.restore(huge), EINVAL);
    EXPECT_TRUE(plugin.calls.empty());
}

}  // namespace
}  // namespace yawp::state::test
