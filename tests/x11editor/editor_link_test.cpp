// The plug-in's side of the Linux editor against a stand-in helper: the
// page's texts become edits and answers, malformed input touches nothing,
// long answers get through a full socket, and helpers that end at once,
// crash or refuse to end never hold the host or leave a zombie.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "framed.h"
#include "processes.h"
#include "x11editor/editor_link.h"
#include "x11editor/reaper.h"

namespace {

using namespace yawp::x11editor;
using yawp::test::children_of;
using yawp::test::frame_header;
using yawp::test::framed;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kCount = 36;
constexpr unsigned long kAnyWindow = 0x1234;

struct Edit {
    char kind;
    uint32_t index;
    float value;
    bool operator==(const Edit&) const = default;
};

struct Recorder {
    std::vector<Edit> edits;
    static void begin(void* r, uint32_t i, float v) { static_cast<Recorder*>(r)->edits.push_back({'b', i, v}); }
    static void perform(void* r, uint32_t i, float v) { static_cast<Recorder*>(r)->edits.push_back({'s', i, v}); }
    static void end(void* r, uint32_t i, float v) { static_cast<Recorder*>(r)->edits.push_back({'e', i, v}); }
    EditCallbacks callbacks() { return {this, begin, perform, end}; }
};

// Our children, zombies included, are the helpers: none may be left.
bool wait_for_no_children(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (children_of(getpid()).empty() && !reaper_busy()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return children_of(getpid()).empty();
}

class EditorLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("yawp-link-" + std::to_string(getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "store");
        setenv("YAWP_WAH_EDITOR", YAWP_FAKE_HELPER, 1);
        setenv("YAWP_FAKE_MODE", "talk", 1);
        setenv("YAWP_FAKE_SEND", (folder_ / "send").c_str(), 1);
        setenv("YAWP_FAKE_LOG", (folder_ / "log").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder_ / "store").c_str(), 1);
    }
    void TearDown() override {
        EXPECT_TRUE(wait_for_no_children(std::chrono::milliseconds(3000))) << "a helper was left behind";
        unsetenv("YAWP_WAH_EDITOR");
        fs::remove_all(folder_);
    }

    void page_sends(const std::string& bytes) { std::ofstream(folder_ / "send", std::ios::binary) << bytes; }

    EditorLink* open(Recorder* recorder) {
        const EditCallbacks callbacks = recorder->callbacks();
        return editor_link_open(folder_.c_str(), folder_.c_str(), kAnyWindow, &callbacks, kCount);
    }

    // What the helper has received so far: all of it once it has ended.
    std::vector<std::string> received() {
        std::ifstream in(folder_ / "log", std::ios::binary);
        std::vector<std::string> texts;
        uint32_t n;
        while (in.read(reinterpret_cast<char*>(&n), 4)) {
            std::string text(n, '\0');
            in.read(text.data(), n);
            texts.push_back(text);
        }
        return texts;
    }

    // Polls as a host's idle tick would until `done` or a time limit.
    template <class Done>
    void poll_until(EditorLink* link, Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        const auto end = Clock::now() + limit;
        while (!done() && Clock::now() < end) {
            editor_link_poll(link);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    fs::path folder_;
};

std::string value_message(uint32_t index, float value) {
    char text[32];
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    std::snprintf(text, sizeof text, "s %08x %08x", index, bits);
    return text;
}

TEST_F(EditorLinkTest, PageTextsBecomeEditsAndAnswersInOrder) {
    page_sends(framed("g") + framed("b 00000000 42480000") + framed("s 00000000 42960000") +
               framed("s 00000063 3f800000") + framed("x 0 0") + framed("s 0 zz") + framed("e 00000000 42960000") +
               framed("m crierV1 init yawp") + framed("g"));
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    for (uint32_t i = 0; i < kCount; ++i) editor_link_set_parameter(link, i, float(i));
    editor_link_set_parameter(link, kCount, 1.0f);  // beyond the catalogue: ignored
    poll_until(link, [&] { return recorder.edits.size() >= 3; });
    poll_until(link, [] { return false; }, std::chrono::milliseconds(200));
    editor_link_close(link);
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));

    EXPECT_EQ(recorder.edits, (std::vector<Edit>{{'b', 0, 50}, {'s', 0, 75}, {'e', 0, 75}}));
    std::vector<std::string> expected;
    for (uint32_t i = 0; i < kCount; ++i) expected.push_back(value_message(i, float(i)));  // the pushes
    for (uint32_t i = 0; i < kCount; ++i) expected.push_back(value_message(i, float(i)));  // the first "g"
    expected.push_back("m crierV1 initDone ");
    expected.push_back(value_message(0, 75));  // the second "g": only the gesture changed the cache
    for (uint32_t i = 1; i < kCount; ++i) expected.push_back(value_message(i, float(i)));
    EXPECT_EQ(received(), expected);
}

// The host's scale goes to the helper as often as the host gives it, in
// order with the page's texts.
TEST_F(EditorLinkTest, TheHostsScaleGoesToTheHelper) {
    page_sends("");
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    editor_link_set_scale(link, 2.0);
    editor_link_set_parameter(link, 1, 1.0f);
    editor_link_set_scale(link, 1.5);
    editor_link_set_scale(link, 0.0);
    editor_link_set_scale(link, -3.0);
    poll_until(link, [] { return false; }, std::chrono::milliseconds(200));
    editor_link_close(link);
    editor_link_set_scale(nullptr, 2.0);  // harmless
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));
    EXPECT_EQ(received(), (std::vector<std::string>{"z 40000000", value_message(1, 1.0f), "z 3fc00000", "z 00000000",
                                                    "z 00000000"}));
}

// Hosts hand editors every value about 30 times a second, changed or not.
// Only changes reach the page; meters at most about 30 times a second and
// never by less than a pixel of their display; and a meter held back still
// ends on its last value.
TEST_F(EditorLinkTest, OnlyChangesReachThePageAndMetersAreRateLimited) {
    page_sends("");
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    for (int i = 0; i < 1000; ++i) editor_link_set_parameter(link, 1, 25.0f);
    editor_link_set_parameter(link, 1, 26.0f);
    editor_link_set_parameter(link, 33, 0.5f);
    editor_link_set_parameter(link, 33, 0.5f + 0.0004f);  // less than a pixel of the phase's display
    const auto start = Clock::now();
    float last = 0;
    for (int i = 0; i < 1000; ++i) {
        last = -1.0f + float(i) * 0.002f;
        editor_link_set_parameter(link, 35, last);
        if (i % 100 == 0) editor_link_poll(link);
    }
    const auto elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    poll_until(link, [] { return false; }, std::chrono::milliseconds(200));
    editor_link_close(link);
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));

    std::vector<std::string> mix, phase, envelope;
    for (const std::string& text : received()) {
        if (text.rfind("s 00000001 ", 0) == 0) mix.push_back(text);
        if (text.rfind("s 00000021 ", 0) == 0) phase.push_back(text);
        if (text.rfind("s 00000023 ", 0) == 0) envelope.push_back(text);
    }
    EXPECT_EQ(mix, (std::vector<std::string>{value_message(1, 25.0f), value_message(1, 26.0f)}));
    EXPECT_EQ(phase, (std::vector<std::string>{value_message(33, 0.5f)}));
    ASSERT_FALSE(envelope.empty());
    EXPECT_LE(envelope.size(), size_t(elapsed_ms / 33 + 3)) << elapsed_ms << " ms";
    EXPECT_EQ(envelope.back(), value_message(35, last));
}

// The page shows a value it sent. A host that takes it sends nothing back;
// one that keeps the old value must send it again, though it is what the
// page was last sent.
TEST_F(EditorLinkTest, AValueTheHostPutsBackAfterAGestureReachesThePage) {
    page_sends(framed("s 00000000 41a00000"));  // the page shows 20
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    editor_link_set_parameter(link, 0, 10.0f);
    editor_link_set_parameter(link, 1, 30.0f);
    poll_until(link, [&] { return !recorder.edits.empty(); });
    editor_link_set_parameter(link, 0, 10.0f);  // kept at 10
    editor_link_set_parameter(link, 1, 30.0f);  // unchanged: nothing to send
    poll_until(link, [] { return false; }, std::chrono::milliseconds(200));
    editor_link_close(link);
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));
    EXPECT_EQ(recorder.edits, (std::vector<Edit>{{'s', 0, 20}}));
    EXPECT_EQ(received(), (std::vector<std::string>{value_message(0, 10), value_message(1, 30), value_message(0, 10)}));
}

// Values the host hands over wait for its next idle tick and then go out
// together, so that the helper wakes once for them; a host that never
// ticks still gets them out once a few kilobytes wait.
TEST_F(EditorLinkTest, ValuesWaitForTheHostsTickAndGoTogether) {
    page_sends("");
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    std::vector<std::string> expected;
    for (uint32_t i = 0; i < 32; ++i) {
        editor_link_set_parameter(link, i, float(i) + 0.5f);
        expected.push_back(value_message(i, float(i) + 0.5f));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(received().empty()) << "sent before the host's tick";
    editor_link_poll(link);
    poll_until(link, [&] { return received().size() >= expected.size(); }, std::chrono::milliseconds(2000));
    EXPECT_EQ(received(), expected);

    // No tick at all: 400 changes of the mix, 27 bytes each.
    for (int k = 0; k < 400; ++k) {
        editor_link_set_parameter(link, 1, float(k));
        expected.push_back(value_message(1, float(k)));
    }
    const auto end = Clock::now() + std::chrono::milliseconds(2000);
    while (received().size() < expected.size() - 200 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto early = received();
    EXPECT_GE(early.size(), expected.size() - 200) << "held without limit";
    EXPECT_TRUE(std::equal(early.begin(), early.end(), expected.begin())) << "out of order";
    editor_link_poll(link);
    poll_until(link, [&] { return received().size() >= expected.size(); }, std::chrono::milliseconds(2000));
    editor_link_close(link);
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));
    EXPECT_EQ(received(), expected);
}

TEST_F(EditorLinkTest, AMebibyteAnswerGetsThroughAFullSocket) {
    std::string news;
    for (size_t i = 0; news.size() < (1u << 20); ++i) news += char('a' + i % 26);
    fs::create_directories(folder_ / "store" / "Tallow.AUDIO");
    std::ofstream(folder_ / "store" / "Tallow.AUDIO" / "crier-news", std::ios::binary) << news;
    page_sends(framed("m crierV1 getNews ") + framed("g"));
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    poll_until(link, [] { return false; }, std::chrono::milliseconds(500));
    editor_link_close(link);
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));
    const auto texts = received();
    ASSERT_EQ(texts.size(), 1 + kCount);
    EXPECT_EQ(texts[0], "m crierV1 getNews " + news);
}

TEST_F(EditorLinkTest, GarbageEndsTheLinkAndTouchesNothing) {
    page_sends(frame_header(0x7fffffffu) + framed("b 00000000 42480000"));
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    poll_until(link, [&] { return editor_link_fd(link) < 0; });
    EXPECT_LT(editor_link_fd(link), 0) << "the link gave the helper up";
    EXPECT_FALSE(editor_link_poll(link));
    editor_link_set_parameter(link, 0, 1.0f);  // harmless now
    EXPECT_TRUE(recorder.edits.empty());
    editor_link_close(link);
}

TEST_F(EditorLinkTest, AHelperThatCannotStartFailsTheOpen) {
    Recorder recorder;
    setenv("YAWP_FAKE_MODE", "silent", 1);
    EXPECT_EQ(open(&recorder), nullptr) << "a helper that ends at once";
    setenv("YAWP_WAH_EDITOR", (folder_ / "no-such-program").c_str(), 1);
    EXPECT_EQ(open(&recorder), nullptr) << "a helper that does not exist";
    const EditCallbacks callbacks = recorder.callbacks();
    EXPECT_EQ(editor_link_open(folder_.c_str(), folder_.c_str(), 0, &callbacks, kCount), nullptr) << "no window";
}

TEST_F(EditorLinkTest, AHelperThatWillNotEndIsKilledAfterItsGrace) {
    setenv("YAWP_FAKE_MODE", "stubborn", 1);
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(children_of(getpid()).size(), 1u);
    const auto closed = Clock::now();
    editor_link_close(link);
    EXPECT_LT(Clock::now() - closed, std::chrono::milliseconds(50)) << "closing never waits for the helper";
    EXPECT_EQ(children_of(getpid()).size(), 1u) << "still in its grace time";
    ASSERT_TRUE(wait_for_no_children(std::chrono::milliseconds(kHelperGraceMs + 1000)));
    EXPECT_GE(Clock::now() - closed, std::chrono::milliseconds(kHelperGraceMs));
}

TEST_F(EditorLinkTest, AHelperThatCrashesLeavesAHarmlessLink) {
    setenv("YAWP_FAKE_MODE", "crash", 1);
    Recorder recorder;
    EditorLink* link = open(&recorder);
    ASSERT_NE(link, nullptr);
    editor_link_set_parameter(link, 0, 10.0f);
    poll_until(link, [&] { return editor_link_fd(link) < 0; });
    EXPECT_LT(editor_link_fd(link), 0);
    EXPECT_TRUE(wait_for_no_children(std::chrono::milliseconds(1000))) << "the crashed helper was reaped";
    for (uint32_t i = 0; i < kCount; ++i) editor_link_set_parameter(link, i, 1.0f);
    EXPECT_FALSE(editor_link_poll(link));
    editor_link_close(link);

    setenv("YAWP_FAKE_MODE", "talk", 1);
    page_sends(framed("s 00000001 3f800000"));
    EditorLink* again = open(&recorder);
    ASSERT_NE(again, nullptr) << "opening again starts a new helper";
    poll_until(again, [&] { return !recorder.edits.empty(); });
    EXPECT_EQ(recorder.edits, (std::vector<Edit>{{'s', 1, 1}}));
    editor_link_close(again);
}

TEST_F(EditorLinkTest, ManyOpenAndCloseCyclesLeaveNothingBehind) {
    Recorder recorder;
    for (int i = 0; i < 20; ++i) {
        EditorLink* link = open(&recorder);
        ASSERT_NE(link, nullptr);
        editor_link_poll(link);
        editor_link_close(link);
    }
    EXPECT_TRUE(wait_for_no_children(std::chrono::milliseconds(2000)));
}

}  // namespace
