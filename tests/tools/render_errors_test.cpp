// yawp-wah-render refuses bad input with one line on standard error, exit
// status 2 and no output file.
#include <gtest/gtest.h>

#include <fstream>

#include "render_harness.h"

namespace yawp::test {
namespace {

constexpr int kFailure = 2;
constexpr int kMonoFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

class RenderErrors : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(write_sound(in, test_signal(2000), 1, kMonoFloatWav));
    }

    // Runs with the arguments and checks the failure's common signs: the
    // status, a single line naming `expected`, nothing left but the input.
    void expect_refused(const std::vector<std::string>& args, const std::string& expected) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const RunResult r = run_render(args);
        EXPECT_EQ(r.status, kFailure);
        EXPECT_EQ(count_lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(dir.listing(), listing_before);
    }

    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    const std::vector<std::string> listing_before = {"in.wav"};
};

TEST_F(RenderErrors, MissingInputFile) {
    expect_refused({dir.file("absent.wav"), out}, "absent.wav");
}

TEST_F(RenderErrors, InputThatIsNotAudio) {
    const std::string text = dir.file("notes.wav");
    std::ofstream(text) << "this is not a sound file\n";
    const RunResult r = run_render({text, out});
    EXPECT_EQ(r.status, kFailure);
    EXPECT_EQ(count_lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("notes.wav"), std::string::npos) << r.err;
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"in.wav", "notes.wav"}));
}

TEST_F(RenderErrors, UnknownKey) {
    expect_refused({"--set", "wobble=3", in, out}, "wobble");
    expect_refused({"--set", "Mix=3", in, out}, "Mix");
    expect_refused({"--set", "=3", in, out}, "KEY=VALUE");
    expect_refused({"--set", "mix", in, out}, "KEY=VALUE");
}

TEST_F(RenderErrors, ValueThatIsNotANumber) {
    for (const char* value : {"abc", "12abc", "", "nan", "inf", "-inf", "1e999", " 5", "5 "})
        expect_refused({"--set", std::string("mix=") + value, in, out}, "mix");
}

TEST_F(RenderErrors, BadBlockSizes) {
    for (const char* size : {"0", "8193", "abc", "-5", "+5", "", "1.5", "99999999999"})
        expect_refused({"--block", size, in, out}, "block");
}

TEST_F(RenderErrors, BadOptions) {
    expect_refused({"--frobnicate", in, out}, "--frobnicate");
    expect_refused({"--play=yes", in, out}, "--play");
    expect_refused({in, out, "--block"}, "--block");
    expect_refused({"--tempo", "0", in, out}, "tempo");
    expect_refused({"--tempo", "fast", in, out}, "tempo");
    expect_refused({"--start-qn", "4", in, out}, "--play");
    expect_refused({"--play", "--start-qn", "x", in, out}, "start");
}

TEST_F(RenderErrors, WrongNumberOfFiles) {
    expect_refused({in}, "output");
    expect_refused({}, "output");
    expect_refused({in, out, dir.file("third.wav")}, "third.wav");
}

TEST_F(RenderErrors, NothingLeftWhenTheOutputCannotBeWritten) {
    // Fails after the temporary output file exists: FLAC holds no floats.
    const std::string flac = dir.file("in.flac");
    ASSERT_TRUE(write_sound(flac, test_signal(100), 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    const RunResult r = run_render({"--float", flac, out});
    EXPECT_EQ(r.status, kFailure);
    EXPECT_EQ(count_lines(r.err), 1u) << r.err;
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"in.flac", "in.wav"}));
}

TEST_F(RenderErrors, NothingLeftWhenTheMetersCannotBeWritten) {
    expect_refused({"--meters", dir.file("no/such/dir/m.txt"), in, out}, "m.txt");
}

TEST_F(RenderErrors, OutputInAMissingDirectory) {
    expect_refused({in, dir.file("no/such/dir/out.wav")}, "out.wav");
}

}  // namespace
}  // namespace yawp::test
