#include "Global.h"
#include "OverallProgress.h"
#include "TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace bw;

TEST(SharedRoutines, TextHelpers) {
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(7), "07");
    EXPECT_EQ(TwoDigits(9), "09");
    EXPECT_EQ(TwoDigits(10), "10");
    EXPECT_EQ(TwoDigits(100), "100");
    EXPECT_EQ(TwoDigits(-3), "0-3"); // "0%d" for anything up to 9

    EXPECT_EQ(AddTrailingBackslash(""), "");
    EXPECT_EQ(AddTrailingBackslash("/music"), "/music/");
    EXPECT_EQ(AddTrailingBackslash("/music/"), "/music/");

    const char* names[] = {"MP3", "WAV", "OGG", "WMA", "FLAC", "APE", "OPUS"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(OutputFormatName(i), names[i]);
    EXPECT_EQ(OutputFormatName(-1), "");
    EXPECT_EQ(OutputFormatName(7), "");
    EXPECT_STREQ(OutputFormatLabels[5], "APE FILE(*.APE)");
    EXPECT_STREQ(OutputFormatLabels[6], "Opus file(*.OPUS)");
}

TEST(SharedRoutines, WaitMilliseconds) {
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    WaitMilliseconds(30);
    EXPECT_GE(clock::now() - start, std::chrono::milliseconds(30));
    WaitMilliseconds(0);
    WaitMilliseconds(-5);
}

TEST(SharedRoutines, FileLockedByPath) {
    bwtest::TempDir dir;
    EXPECT_FALSE(bw::IsFileLocked((dir / "none").string()));
    bwtest::WriteFileText(dir / "f", "x");
    EXPECT_FALSE(bw::IsFileLocked((dir / "f").string()));
}

// The whole job's progress by audio length, with a clock the test moves.
TEST(OverallProgress, FollowsTheAudioDoneAndTellsTheTimeLeft) {
    double now = 0;
    TOverallProgress progress([&] { return now; });
    // Tracks of 60 s and 180 s, each read then encoded, at a steady 4x real time.
    progress.Begin({60, 180}, 2);
    progress.Sample();
    EXPECT_EQ(progress.Text(), "");
    now = 5; // set-up: no work yet, not counted against the speed
    progress.Sample();
    for (int step = 1; step <= 10; ++step) {
        now = 5 + step * 1.5;
        progress.SetStage(0, 0, step / 10.0); // 6 s of audio a 1.5 s step, halved by stages
        progress.Sample();
    }
    EXPECT_DOUBLE_EQ(progress.Fraction(), 30.0 / 240);
    ASSERT_TRUE(progress.Speed());
    EXPECT_NEAR(*progress.Speed(), 2.0, 1e-9); // reading alone: half of the work, at 4x
    EXPECT_NEAR(*progress.SecondsLeft(), 210 / 2.0, 1e-6);
    EXPECT_EQ(progress.Text(), "2.0x real time, 1:45 left");
    // Work never goes back, and a skipped item leaves nothing to do without adding speed.
    progress.SetStage(0, 0, 0.5);
    EXPECT_DOUBLE_EQ(progress.Fraction(), 30.0 / 240);
    progress.ItemDone(1);
    progress.Sample();
    EXPECT_NEAR(*progress.Speed(), 2.0, 1e-9);
    EXPECT_NEAR(*progress.SecondsLeft(), 15, 1e-6);
    // A length learnt later changes what is left, never what was shown.
    EXPECT_DOUBLE_EQ(progress.Fraction(), 210.0 / 240);
    progress.SetItemSeconds(0, 600);
    EXPECT_DOUBLE_EQ(progress.Fraction(), 210.0 / 240);
    EXPECT_NEAR(*progress.SecondsLeft(), 300 / 2.0, 1e-6); // item 0 still to encode
    EXPECT_EQ(ClockText(3723.4), "1:02:03");
    EXPECT_EQ(ClockText(7), "0:07");
}

TEST(OverallProgress, SpeedFollowsTheLastStretchOnly) {
    double now = 0;
    TOverallProgress progress([&] { return now; });
    progress.Begin({1000}, 1);
    for (int second = 1; second <= 60; ++second) {
        now = second;
        // 10x for 30 s, then 2x: the speed shown follows within the window.
        progress.SetStage(0, 0, (second <= 30 ? second * 10 : 300 + (second - 30) * 2) / 1000.0);
        progress.Sample();
    }
    EXPECT_NEAR(*progress.Speed(), 2.0, 0.11);
}
