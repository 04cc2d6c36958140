// The helper hands the page all texts of one read in one script. What the
// page's receiver is called with must be exactly the plug-in's texts, in
// order, whatever bytes they hold; the call's arguments are JSON strings
// too, so a JSON reader checks them as the page's JavaScript would read them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "x11editor/helper/page_batch.h"

namespace {

constexpr char kStart[] = "window.__yawpDeliver && window.__yawpDeliver(";

struct Batch {
    PageBatch* batch = page_batch_new();
    ~Batch() { page_batch_free(batch); }
    bool add(const std::string& text) { return page_batch_add(batch, text.data(), text.size()); }
    std::string script() {
        size_t length = 0;
        const char* text = page_batch_script(batch, &length);
        return std::string(text, length);
    }
    // The texts the script hands over.
    std::vector<std::string> texts() {
        const std::string call = script();
        EXPECT_EQ(call.rfind(kStart, 0), 0u) << call;
        EXPECT_EQ(call.back(), ')') << call;
        const std::string arguments = call.substr(sizeof kStart - 1, call.size() - sizeof kStart);
        return nlohmann::json::parse("[" + arguments + "]").get<std::vector<std::string>>();
    }
};

TEST(PageBatch, HandsOverEveryTextInOrderInOneCall) {
    Batch b;
    EXPECT_TRUE(page_batch_empty(b.batch));
    ASSERT_TRUE(b.add("s 00000020 42480000"));
    ASSERT_TRUE(b.add("s 00000021 3f000000"));
    ASSERT_TRUE(b.add("m crierV1 initDone "));
    EXPECT_FALSE(page_batch_empty(b.batch));
    EXPECT_EQ(b.script(), std::string(kStart) + "\"s 00000020 42480000\",\"s 00000021 3f000000\",\"m crierV1 initDone \")");
    // Asking twice gives the same script; clearing starts the next read's.
    EXPECT_EQ(b.texts(), (std::vector<std::string>{"s 00000020 42480000", "s 00000021 3f000000", "m crierV1 initDone "}));
    page_batch_clear(b.batch);
    EXPECT_TRUE(page_batch_empty(b.batch));
    ASSERT_TRUE(b.add("g"));
    EXPECT_EQ(b.texts(), std::vector<std::string>{"g"});
}

// News texts carry whatever the feed held: quotes, backslashes, line
// breaks, every control character, text beyond ASCII, and script-like
// content that must stay text.
TEST(PageBatch, AnyValidTextArrivesUnchanged) {
    std::string controls;
    for (int c = 1; c < 0x20; ++c) controls += char(c);
    const std::vector<std::string> texts = {
        "", "\"", "\\", "\\\"", "a\"),alert(1),(\"", "line\nbreak\r\ttab", controls, "\x7f",
        "Ünïcödé – “quotes” 🎸", "\xe2\x80\xa8 and \xe2\x80\xa9", "</script><script>x()</script>"};
    Batch b;
    for (const std::string& text : texts) ASSERT_TRUE(b.add(text)) << text;
    EXPECT_EQ(b.texts(), texts);
}

TEST(PageBatch, InvalidUtf8IsDroppedAndTheRestStillGo) {
    Batch b;
    ASSERT_TRUE(b.add("before"));
    EXPECT_FALSE(b.add("\xff"));
    EXPECT_FALSE(b.add("cut \xe2\x82"));
    EXPECT_FALSE(b.add("overlong \xc0\xaf"));
    EXPECT_FALSE(b.add(std::string("nul \0 inside", 12)));
    ASSERT_TRUE(b.add("after"));
    EXPECT_EQ(b.texts(), (std::vector<std::string>{"before", "after"}));

    Batch only_bad;
    EXPECT_FALSE(only_bad.add("\xfe"));
    EXPECT_TRUE(page_batch_empty(only_bad.batch));
}

}  // namespace
