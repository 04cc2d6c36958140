// The saved document's exact layout.
#include <cmath>

#include "state/little_endian.h"
#include "support.h"

namespace yawp::state::test {
namespace {

constexpr size_t kBlock = kTarBlockSize;

struct MemberAt {
    std::string name;
    size_t size;
    size_t header;  // offset of the header block
};

std::vector<MemberAt> members_of(const Bytes& archive) {
    Map members;
    EXPECT_EQ(read_archive(view(archive), &members), 0);
    std::vector<MemberAt> out;
    members.for_each([&](ByteView name, ByteView data) {
        return out.push_back({text(name), data.size, static_cast<size_t>(data.data - archive.data()) - kBlock}), 0;
    });
    return out;
}

Bytes inner_of(const Bytes& document) { return Bytes(document.begin() + kBlock, document.begin() + 5 * 1024); }

size_t info_size(std::string_view format) { return 192 - 4 + format.size() - 7 + kPlatform.size(); }

TEST(DocumentLayout, SavedDocumentHasTheFixedShape) {
    for (std::string_view format : {kFormatVst3, kFormatLv2}) {
        const Bytes doc = saved(default_values(), format);
        ASSERT_EQ(doc.size(), 6144u);
        const auto outer = members_of(doc);
        ASSERT_EQ(outer.size(), 1u);
        EXPECT_EQ(outer[0].name, "dsp.tar");
        EXPECT_EQ(outer[0].size, 4608u);
        EXPECT_EQ(Bytes(doc.end() - 1024, doc.end()), Bytes(1024, 0));

        const Bytes inner = inner_of(doc);
        const auto got = members_of(inner);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].name, "info.map");
        EXPECT_EQ(got[0].size, info_size(format));
        EXPECT_EQ(got[0].header, 0u);
        EXPECT_EQ(got[1].name, "parameters.map");
        EXPECT_EQ(got[1].size, 661u);
        EXPECT_EQ(got[1].header, 2 * kBlock);
        EXPECT_EQ(got[2].name, "version");
        EXPECT_EQ(got[2].size, 3u);
        EXPECT_EQ(got[2].header, 5 * kBlock);
        EXPECT_EQ(text(ByteView{inner.data() + 6 * kBlock, 3}), "1.0");
        EXPECT_EQ(Bytes(inner.end() - 1024, inner.end()), Bytes(1024, 0));
    }
}

TEST(DocumentLayout, InfoAndParametersHoldTheValues) {
    ParameterValues values = default_values();
    values[catalogue::kMix] = 42.5f;
    values[catalogue::kBypass] = 1.0f;
    Bytes bytes;
    ASSERT_EQ(save_document(kFormatLv2, 44100.0f, values, &bytes), 0);
    Document doc;
    ASSERT_EQ(parse_document(view(bytes), &doc), 0);

    EXPECT_EQ(keys_of(doc.info), (std::vector<std::string>{"format", "id", "platform", "sample_rate", "version_build",
                                                          "version_major", "version_minor", "version_revision"}));
    EXPECT_EQ(text(*doc.info.lookup("format")), "lv2");
    EXPECT_EQ(text(*doc.info.lookup("id")), "tallow-yawp-wah");
#ifdef _WIN32
    EXPECT_EQ(text(*doc.info.lookup("platform")), "windows");
#else
    EXPECT_EQ(text(*doc.info.lookup("platform")), "linux");
#endif
    EXPECT_EQ(text(*doc.info.lookup("sample_rate")), std::string("\0\x44\x2c\x47", 4));  // 44100.0f
    const std::pair<const char*, std::string> versions[] = {{"version_major", std::string("\1\0\0\0", 4)},
                                                            {"version_minor", std::string("\0\0\0\0", 4)},
                                                            {"version_revision", std::string("\1\0\0\0", 4)},
                                                            {"version_build", std::string("\2\0\0\0", 4)}};
    for (const auto& [key, le] : versions) EXPECT_EQ(text(*doc.info.lookup(key)), le) << key;

    ASSERT_EQ(doc.parameters.size(), catalogue::kInputCount);
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        const auto v = doc.parameters.lookup(catalogue::state_key(i));
        ASSERT_TRUE(v && v->size == 4) << i;
        EXPECT_EQ(load_f32le(v->data), values[i]) << i;
    }
    const auto keys = keys_of(doc.parameters);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(text(*doc.parameters.lookup("mix")), std::string("\0\0\x2a\x42", 4));  // 42.5f, little-endian
}

TEST(DocumentLayout, SameValuesGiveSameBytes) {
    EXPECT_EQ(saved(), saved());
    ParameterValues other = default_values();
    other[catalogue::kPosition] = 51.0f;
    EXPECT_NE(saved(other), saved());

}

TEST(DocumentLayout, ExtraMembersSurviveARoundTrip) {
    EditableDocument e;
    ASSERT_EQ(e.doc.extra_inner.insert("notes.txt", "hello"), 0);
    ASSERT_EQ(e.doc.extra_outer.insert("a-first.bin", "x"), 0);
    const Bytes bytes = e.bytes();
    Document doc;
    ASSERT_EQ(parse_document(view(bytes), &doc), 0);
    EXPECT_EQ(text(*doc.extra_inner.lookup("notes.txt")), "hello");
    EXPECT_EQ(text(*doc.extra_outer.lookup("a-first.bin")), "x");
    EXPECT_EQ(doc.extra_inner.size() + doc.extra_outer.size(), 2u);

    ASSERT_EQ(e.doc.extra_inner.insert("version", "2.0"), 0);  // would shadow the real one
    Bytes out;
    EXPECT_EQ(serialise_document(e.doc, &out), EINVAL);
}

TEST(DocumentLayout, NaNIsNeverSaved) {
    ParameterValues values = default_values();
    values[5] = std::nanf("");
    Bytes out;
    EXPECT_EQ(save_document(kFormatVst3, 48000.0f, values, &out), EINVAL);
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace yawp::state::test
