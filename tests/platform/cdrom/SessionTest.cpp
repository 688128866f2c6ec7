// Discs with more than one session (enhanced CDs: audio, then a data session): the tracks'
// sessions as the drive library reports them, the end of the last audio track before the
// gap between sessions, and the cue sheets other rippers write for such discs.
#include "CdImage.h"
#include "CdLibrary.h"
#include "ImageDriveHelpers.h"
#include "TestSupport.h"
#include "TocBuilder.h"
#include "akrip32.h"

#include <gtest/gtest.h>

using namespace bw;
using bwtest::MakeToc;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

TEST(Sessions, DriveSessionStartMarksTheTracksOfTheLaterSession) {
    struct Case {
        const char* Name;
        std::vector<std::int32_t> Starts; // tracks, then the lead-out
        std::int32_t LastSession;
        std::vector<std::uint8_t> Expected;
    };
    const std::vector<Case> cases = {
        {"single session, drive reports 0", {0, 1000, 5000}, 0, {1, 1, 0}},
        {"single session, drive reports the first track", {150, 1000, 5000}, 150, {1, 1, 0}},
        {"enhanced CD", {0, 1000, 20000, 25000}, 20000, {1, 1, 2, 0}},
        {"hidden pregap before track 1", {300, 1000, 20000, 25000}, 300, {1, 1, 1, 0}},
        {"last session at the lead-out (odd drive)", {0, 1000, 5000}, 5000, {1, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TrackSessions(c.Starts, c.LastSession), c.Expected);
    }
}

TEST(Sessions, LastAudioTrackEndsTheGapBeforeALaterSession) {
    struct Case {
        const char* Name;
        std::vector<int> Frames; // MSF frames of the tracks, then the lead-out
        std::vector<bool> Data;
        std::vector<int> Sessions;
        std::vector<int> Ends;
    };
    const std::vector<Case> cases = {
        {"audio only", {150, 20150, 40150}, {false, false}, {1, 1, 0}, {20150, 40150}},
        {"enhanced CD",
         {150, 20150, 60000, 70000},
         {false, false, true},
         {1, 1, 2, 0},
         {20150, 60000 - 11400, 70000}},
        // A data track in the same session (as some mixed discs have it) keeps no gap.
        {"data track last, one session",
         {150, 20150, 60000, 70000},
         {false, false, true},
         {1, 1, 1, 0},
         {20150, 60000, 70000}},
        {"mixed mode: data first", {150, 30000, 50000}, {true, false}, {1, 1, 0}, {30000, 50000}},
        {"no session information", {150, 20150, 40150}, {false, true}, {0, 0, 0}, {20150, 40150}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTOC toc = MakeToc(c.Frames, c.Data, c.Sessions);
        EXPECT_EQ(TOCEndFrames(toc), c.Ends);
        EXPECT_EQ(TOCTrackFrames(toc, 1), c.Ends[1] - c.Frames[1]);
    }
}

// Enhanced-CD cue sheets as rippers write them: the gap between the sessions lies between
// the last audio track's end and the data track's index 1 on the disc, whatever the sheet
// says of the data track.
TEST(Sessions, EnhancedCdCueSheetsLayOutTheGap) {
    struct Case {
        const char* Name;
        std::string Cue;
        bool Wave;
    };
    const std::vector<Case> cases = {
        {"one file per track, data track without a file, INDEX 00 only",
         "CATALOG 0724384260958\nFILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 03 MODE1/2352\n    INDEX 00 00:00:30\n",
         true},
        {"one file per track, REM SESSION, data track with INDEX 01 only",
         "REM SESSION 01\nFILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
         "REM SESSION 02\n  TRACK 03 MODE2/2352\n    INDEX 01 00:00:00\n",
         true},
        {"one BIN with REM SESSION, data after the audio",
         "FILE \"disc.bin\" BINARY\nREM SESSION 01\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 01 00:00:40\nREM SESSION 02\n"
         "  TRACK 03 MODE1/2352\n    INDEX 01 00:00:65\n",
         false},
    };
    const Bytes one = bwtest::GeneratedAudio(40, 7), two = bwtest::GeneratedAudio(25, 8);
    Bytes audio = one; // both tracks, and silence past the last audio sector
    audio.insert(audio.end(), two.begin(), two.end());
    audio.resize(audio.size() + 300 * 4, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bwtest::TempDir dir;
        if (c.Wave) {
            ASSERT_TRUE(bwtest::SoxWav(one, dir.Path() / "01.wav"));
            ASSERT_TRUE(bwtest::SoxWav(two, dir.Path() / "02.wav"));
        } else {
            Bytes bin = one;
            bin.insert(bin.end(), two.begin(), two.end());
            bin.resize(bin.size() + 30 * 2352, 0x5A); // the data track's sectors
            bwtest::WriteFileBytes(dir.Path() / "disc.bin", bin);
        }
        bwtest::WriteFileText(dir.Path() / "disc.cue", c.Cue);
        bwtest::ImageDrives drives((dir.Path() / "disc.cue").string());
        int handle = bwtest::OpenLastDrive(); // 0 when no drive is listed
        ASSERT_NE(handle, 0);
        ModifyCDParms(handle, CDP_MSF, 1);
        TTOC toc;
        ASSERT_EQ(ReadTOC(handle, &toc), 1) << GetCDDiscError(handle);
        ASSERT_EQ(toc.LastTrack, 3);
        EXPECT_EQ(toc.Tracks[0].Session, 1);
        EXPECT_EQ(toc.Tracks[1].Session, 1);
        EXPECT_EQ(toc.Tracks[2].Session, 2);
        EXPECT_FALSE(IsAudioEntry(toc.Tracks[2]));
        EXPECT_EQ(FramesOf(toc.Tracks[2]), 150 + 65 + CDSessionGapSectors);
        EXPECT_EQ(TOCEndFrames(toc)[1], 150 + 65);

        // The last audio track reads whole and exactly, with the read offset of a drive too.
        for (int offset : {0, 300, -300}) {
            ASSERT_EQ(ModifyCDParms(handle, CDP_READ_OFFSET, offset), 1);
            Bytes got = bwtest::ReadSectors(handle, 40, 25);
            ASSERT_EQ(got.size(), 25u * 2352) << offset; // the read succeeded
            // Track 2's span on the audio as written, then silence, moved by the offset.
            const auto at = audio.begin() + std::ptrdiff_t(one.size()) + offset * 4;
            const Bytes expected(at, at + std::ptrdiff_t(two.size()));
            EXPECT_TRUE(got == expected) << "offset " << offset;
        }
        CloseCDHandle(handle);
    }
}
