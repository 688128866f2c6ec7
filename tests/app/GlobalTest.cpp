#include "Global.h"
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
