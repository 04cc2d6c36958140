// The offline programs' pretend host fills transport records the way a
// VST3 wrapper does: a field that appears, disappears or changes marks its
// changed bit, and only for that block.
#include <gtest/gtest.h>

#include "tools/common/host_time.h"

namespace yawp::tools {
namespace {

constexpr uint32_t kPlayBits = kTransportRolling | kTransportSpeed;
constexpr uint32_t kAllBits = kPlayBits | kTransportTempo | kTransportQuarterNotes;

HostTime playing_at(double quarter_notes, float tempo = 120) {
    HostTime t;
    t.play_state_known = t.playing = t.tempo_known = t.position_known = true;
    t.tempo = tempo;
    t.quarter_notes = quarter_notes;
    return t;
}

TEST(HostTimeFeed, NothingKnownMeansNothingValidOrChanged) {
    HostTimeFeed feed;
    for (int block = 0; block < 3; ++block) {
        const Transport& t = feed.next(HostTime{});
        EXPECT_EQ(t.valid, 0u);
        EXPECT_EQ(t.changed, 0u);
    }
}

TEST(HostTimeFeed, FieldsAnnounceThemselvesOnce) {
    HostTimeFeed feed;
    HostTime tempo_only;
    tempo_only.tempo_known = true;
    tempo_only.tempo = 97;
    const Transport& first = feed.next(tempo_only);
    EXPECT_EQ(first.valid, uint32_t{kTransportTempo});
    EXPECT_EQ(first.changed, uint32_t{kTransportTempo});
    EXPECT_EQ(first.tempo, 97.0f);
    EXPECT_EQ(feed.next(tempo_only).changed, 0u);
}

TEST(HostTimeFeed, PlayingMovesOnlyThePosition) {
    HostTimeFeed feed;
    const Transport& first = feed.next(playing_at(0));
    EXPECT_EQ(first.valid, kAllBits);
    EXPECT_EQ(first.changed, kAllBits);
    EXPECT_TRUE(first.rolling);
    EXPECT_EQ(first.speed, 1.0f);

    const Transport& second = feed.next(playing_at(0.25));
    EXPECT_EQ(second.changed, uint32_t{kTransportQuarterNotes});
    EXPECT_EQ(second.quarter_notes, 0.25);
    EXPECT_EQ(feed.next(playing_at(0.25)).changed, 0u);
    EXPECT_EQ(feed.next(playing_at(0.25, 90)).changed, uint32_t{kTransportTempo});
}

TEST(HostTimeFeed, StoppingAndForgetting) {
    HostTimeFeed feed;
    feed.next(playing_at(4));
    HostTime stopped = playing_at(4);
    stopped.playing = false;
    stopped.position_known = false;
    const Transport& t = feed.next(stopped);
    EXPECT_EQ(t.changed, kPlayBits | kTransportQuarterNotes);
    EXPECT_EQ(t.valid, kPlayBits | kTransportTempo);
    EXPECT_FALSE(t.rolling);
    EXPECT_EQ(t.speed, 0.0f);

    const Transport& gone = feed.next(HostTime{});
    EXPECT_EQ(gone.changed, kPlayBits | kTransportTempo);
    EXPECT_EQ(gone.valid, 0u);
}

TEST(HostTimeFeed, RestartAnnouncesEverythingAgain) {
    HostTimeFeed feed;
    feed.next(playing_at(1));
    feed.restart();
    EXPECT_EQ(feed.next(playing_at(1)).changed, kAllBits);
}

TEST(HostTimeFeed, SongPositionAfterFrames) {
    EXPECT_DOUBLE_EQ(quarter_notes_after(2.5, 0, 48000, 120), 2.5);
    EXPECT_DOUBLE_EQ(quarter_notes_after(2.5, 48000, 48000, 120), 4.5);
    EXPECT_DOUBLE_EQ(quarter_notes_after(0, 22050, 44100, 90), 0.75);
}

}  // namespace
}  // namespace yawp::tools
