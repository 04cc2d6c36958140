// The frames between the plug-in and its editor helper, and the page's
// texts read from them: whole, split and joined frames, long texts,
// truncation and garbage.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "framed.h"
#include "x11editor/frames.h"
#include "webui/page_messages.h"
#include "webui/page_value_gate.h"

namespace {

using namespace yawp::x11editor;
using namespace yawp::page_messages;
using yawp::test::frame_header;
using yawp::test::framed;

// Every text the reader gives for these bytes, fed in pieces of `step`.
std::vector<std::string> read_all(const std::string& bytes, size_t step, FrameStatus* last = nullptr) {
    FrameReader reader;
    std::vector<std::string> texts;
    FrameStatus status = FrameStatus::kNeedMore;
    for (size_t at = 0; at < bytes.size(); at += step) {
        frame_reader_feed(&reader, bytes.data() + at, std::min(step, bytes.size() - at));
        const char* text = nullptr;
        size_t length = 0;
        while ((status = frame_reader_next(&reader, &text, &length)) == FrameStatus::kFrame) {
            EXPECT_EQ(std::strlen(text), length);
            texts.emplace_back(text, length);
        }
    }
    if (last != nullptr) *last = status;
    frame_reader_free(&reader);
    return texts;
}

TEST(EditorFrames, JoinedAndSplitFramesGiveTheSameTexts) {
    const std::vector<std::string> sent = {"g", "b 00000000 42480000", "", "m crierV1 init yawp\nsecond line",
                                           "s 00000000 42c80000"};
    std::string bytes;
    for (const auto& t : sent) bytes += framed(t);
    for (size_t step : {bytes.size(), size_t(1), size_t(3), size_t(5), size_t(7)}) {
        FrameStatus last;
        EXPECT_EQ(read_all(bytes, step, &last), sent) << "step " << step;
        EXPECT_EQ(last, FrameStatus::kNeedMore);
    }
}

TEST(EditorFrames, AMebibyteNewsTextPassesWhole) {
    std::string news = "m crierV1 initNews ";
    for (size_t i = 0; news.size() < (1u << 20); ++i) news += char('a' + i % 26);
    const auto texts = read_all(framed(news) + framed("g"), 4096);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], news);
    EXPECT_EQ(texts[1], "g");
}

TEST(EditorFrames, ATruncatedFrameWaitsAndGivesNothing) {
    const std::string whole = framed("s 00000001 3f800000");
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        FrameStatus last;
        EXPECT_TRUE(read_all(whole.substr(0, cut), 1, &last).empty());
        EXPECT_EQ(last, FrameStatus::kNeedMore) << "cut at " << cut;
    }
}

TEST(EditorFrames, GarbageLengthBreaksTheStreamForGood) {
    std::string bytes = framed("g");
    bytes += frame_header(0xffffffffu) + "junk";
    bytes += framed("g");
    FrameStatus last;
    EXPECT_EQ(read_all(bytes, bytes.size(), &last), std::vector<std::string>{"g"});
    EXPECT_EQ(last, FrameStatus::kBroken);

    FrameReader reader;
    EXPECT_TRUE(frame_reader_feed(&reader, bytes.data(), bytes.size()));
    const char* text;
    size_t length;
    EXPECT_EQ(frame_reader_next(&reader, &text, &length), FrameStatus::kFrame);
    EXPECT_EQ(frame_reader_next(&reader, &text, &length), FrameStatus::kBroken);
    EXPECT_FALSE(frame_reader_feed(&reader, "x", 1)) << "a broken stream takes nothing more";
    frame_reader_free(&reader);
}

TEST(EditorFrames, AFrameHoldingANulIsSkipped) {
    const std::string bytes = framed(std::string("m crierV1 newSid a\0b", 20)) + framed("g");
    EXPECT_EQ(read_all(bytes, 2), std::vector<std::string>{"g"});
}

TEST(EditorFrames, TheLongestFrameIsTakenAndOneByteMoreIsGarbage) {
    const std::string header = frame_header(kMaxFrameText + 1);
    FrameStatus last;
    EXPECT_TRUE(read_all(header, 4, &last).empty());
    EXPECT_EQ(last, FrameStatus::kBroken);

    const std::string longest(kMaxFrameText, 'x');
    EXPECT_EQ(read_all(framed(longest), 1 << 16), std::vector<std::string>{longest});

    FrameWriter writer;
    EXPECT_TRUE(frame_writer_put(&writer, longest.data(), longest.size()));
    EXPECT_FALSE(frame_writer_put(&writer, longest.data(), longest.size() + 1));
    EXPECT_TRUE(writer.broken);
    frame_writer_free(&writer);
}

// A peer that reads nothing: the writer keeps what does not fit, never
// waits, and hands everything over once the peer reads.
TEST(EditorFrames, AFullSocketNeverBlocksTheWriter) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    FrameWriter writer;
    std::string expected;
    const std::string text(100000, 'n');
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(frame_writer_put(&writer, text.data(), text.size()));
        expected += framed(text);
        ASSERT_TRUE(frame_writer_flush(&writer, ends[0]));
    }
    EXPECT_TRUE(frame_writer_pending(&writer)) << "the socket buffer is smaller than 2 MB";

    std::string received;
    char chunk[65536];
    while (received.size() < expected.size()) {
        const ssize_t n = recv(ends[1], chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) received.append(chunk, size_t(n));
        ASSERT_TRUE(frame_writer_flush(&writer, ends[0]));
    }
    EXPECT_FALSE(frame_writer_pending(&writer));
    EXPECT_EQ(received, expected);

    close(ends[1]);
    ASSERT_TRUE(frame_writer_put(&writer, "g", 1));
    EXPECT_FALSE(frame_writer_flush(&writer, ends[0])) << "a peer that has gone is reported, without SIGPIPE";
    close(ends[0]);
    frame_writer_free(&writer);
}

TEST(EditorPageMessages, GesturesAreReadLikeTheWindowsBridge) {
    PageMessage m = read_page_message("s 13 40400000", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kPerform);
    EXPECT_EQ(m.index, 19u);
    EXPECT_EQ(m.value, 3.0f);
    m = read_page_message("b 00000000 42480000", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kBegin);
    EXPECT_EQ(m.value, 50.0f);
    m = read_page_message("eX0x23 +3f800000", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kEnd);
    EXPECT_EQ(m.index, 35u);
    EXPECT_EQ(read_page_message("g anything", 36).kind, PageMessageKind::kGetAll);
    m = read_page_message("m crierV1 init yawp", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kNews);
    EXPECT_STREQ(m.text, "crierV1 init yawp");
    EXPECT_STREQ(read_page_message("m ", 36).text, "");
}

TEST(EditorPageMessages, MalformedTextsAreIgnored) {
    for (const char* text : {"", "s", "b", "m", "x 0 0", "s 24 0", "s 0", "s zz 0", "s 0 0x", "s 100000000 0",
                             "e 0 1ffffffff", "s  ", "S 0 0"})
        EXPECT_EQ(read_page_message(text, 36).kind, PageMessageKind::kIgnored) << '"' << text << '"';
    EXPECT_EQ(read_page_message(nullptr, 36).kind, PageMessageKind::kIgnored);
}

TEST(EditorPageMessages, KeysHandedOnAreReadWithTheirCodeCharacterAndModifiers) {
    PageMessage m = read_page_message("k d 00000020 00000020 00000000", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kKeyDown);
    EXPECT_EQ(m.key.code, 0x20u);
    EXPECT_EQ(m.key.character, 0x20u);
    EXPECT_EQ(m.key.modifiers, 0u);
    m = read_page_message("k u 70 0 1f", 36);
    EXPECT_EQ(m.kind, PageMessageKind::kKeyUp);
    EXPECT_EQ(m.key.code, 0x70u);
    EXPECT_EQ(m.key.character, 0u);
    EXPECT_EQ(m.key.modifiers, 31u);
    // The edges of each range.
    EXPECT_EQ(read_page_message("k d fe 10ffff 0", 36).key.character, 0x10FFFFu);
    EXPECT_EQ(read_page_message("k d 1 d7ff 0", 36).kind, PageMessageKind::kKeyDown);
    EXPECT_EQ(read_page_message("k d 1 e000 0", 36).kind, PageMessageKind::kKeyDown);
    for (const char* text : {"k", "k ", "k d", "k d ", "k x 20 20 0", "kd 20 20 0", "k d 20 20", "k d 0 20 0",
                             "k d ff 20 0", "k d 20 110000 0", "k d 20 d800 0", "k d 20 dfff 0", "k d 20 20 20",
                             "k d 20 20 0 ", "k d 20 20 0 7", "k u 20 20 -1", "k d 100000020 0 0"})
        EXPECT_EQ(read_page_message(text, 36).kind, PageMessageKind::kIgnored) << '"' << text << '"';
}

// --- Which values go to the page --------------------------------------------------

using yawp::page_values::kMeterIntervalMs;
using yawp::page_values::ValueGate;

TEST(PageValueGate, AnInputGoesOutOnlyWhenItChanges) {
    ValueGate gate;
    EXPECT_TRUE(gate.admit(1, 25, 0));
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(gate.admit(1, 25, uint64_t(i)));
    EXPECT_TRUE(gate.admit(1, 25.001f, 1000));
    // Zero's sign, and a NaN after a number, are changes the page may show.
    EXPECT_TRUE(gate.admit(2, 0.0f, 0));
    EXPECT_TRUE(gate.admit(2, -0.0f, 0));
    EXPECT_TRUE(gate.admit(2, std::nanf(""), 0));
    EXPECT_FALSE(gate.admit(2, std::nanf(""), 0));
    // Indices beyond the catalogue are not the gate's to judge.
    EXPECT_TRUE(gate.admit(36, 1, 0));
    EXPECT_TRUE(gate.admit(36, 1, 0));
}

TEST(PageValueGate, AMeterGoesOutAtMostEveryIntervalAndEndsOnItsLastValue) {
    ValueGate gate;
    std::vector<std::pair<uint32_t, float>> flushed;
    const auto collect = [&](uint32_t index, float value) { flushed.push_back({index, value}); };
    EXPECT_TRUE(gate.admit(35, 0.1f, 1000));
    EXPECT_FALSE(gate.admit(35, 0.2f, 1010));  // too soon: held
    EXPECT_FALSE(gate.admit(35, 0.3f, 1020));
    EXPECT_TRUE(gate.holding());
    gate.flush_due(1020, collect);
    EXPECT_TRUE(flushed.empty());
    gate.flush_due(1000 + kMeterIntervalMs, collect);
    EXPECT_EQ(flushed, (std::vector<std::pair<uint32_t, float>>{{35, 0.3f}}));
    EXPECT_FALSE(gate.holding());
    // Time enough since: straight out.
    EXPECT_TRUE(gate.admit(35, 0.5f, 1000 + 2 * kMeterIntervalMs));
    // Held, then back at what the page shows: nothing is left to send.
    EXPECT_FALSE(gate.admit(35, 0.6f, 1000 + 2 * kMeterIntervalMs + 1));
    EXPECT_FALSE(gate.admit(35, 0.5f, 1000 + 2 * kMeterIntervalMs + 2));
    EXPECT_FALSE(gate.holding());
    // Inputs are never rate-limited.
    EXPECT_TRUE(gate.admit(0, 1, 5000));
    EXPECT_TRUE(gate.admit(0, 2, 5000));
}

TEST(PageValueGate, AMeterStepBelowAPixelIsNotSent) {
    ValueGate gate;
    EXPECT_TRUE(gate.admit(32, 50.0f, 0));        // the pedal, 0 to 100
    EXPECT_FALSE(gate.admit(32, 50.05f, 1000));   // a twentieth of a pixel or so
    EXPECT_TRUE(gate.admit(32, 50.2f, 2000));     // two pixels
    EXPECT_TRUE(gate.admit(33, 0.25f, 0));        // the LFO phase, 0 to 1
    EXPECT_FALSE(gate.admit(33, 0.2504f, 1000));
    // Small steps that add up to a pixel do go out.
    EXPECT_TRUE(gate.admit(33, 0.2512f, 2000));
}

TEST(PageValueGate, TheLfoPhaseGoesNowhereWhileTheLfoIsOff) {
    ValueGate gate;
    EXPECT_TRUE(gate.admit(18, 0.0f, 0));    // the LFO is off
    EXPECT_TRUE(gate.admit(33, 0.1f, 0));    // the page starts from a phase
    EXPECT_FALSE(gate.admit(33, 0.3f, 100));  // after that, nothing drawn, nothing sent
    EXPECT_FALSE(gate.admit(33, 0.6f, 1000));
    EXPECT_FALSE(gate.holding());
    EXPECT_TRUE(gate.admit(18, 1.0f, 2000));  // on: the phase follows again
    EXPECT_TRUE(gate.admit(33, 0.7f, 2000));
    EXPECT_TRUE(gate.admit(34, 0.3f, 2000));  // the LFO's output was never held back
}

TEST(PageValueGate, WhatThePageWasSentAnywayCounts) {
    ValueGate gate;
    gate.sent(4, 30, 0);  // the page asked for every value
    EXPECT_FALSE(gate.admit(4, 30, 10));
    gate.sent(34, 0.5f, 100);
    EXPECT_FALSE(gate.admit(34, 0.9f, 110));  // within the interval: held
    EXPECT_TRUE(gate.holding());
}

TEST(EditorPageMessages, ValueMessagesHaveEightDigitFields) {
    char text[20];
    format_value_message(text, 19, 3.0f);
    EXPECT_STREQ(text, "s 00000013 40400000");
    format_value_message(text, 0, -0.0f);
    EXPECT_STREQ(text, "s 00000000 80000000");
}

}  // namespace
