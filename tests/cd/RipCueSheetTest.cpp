// The cue sheet a rip writes: the disc's and each track's title and performer, texts from
// servers and discs kept on their own line, and no cue sheet when no track was ripped.
#include "CueSheet.h"
#include "RipReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace bw;
namespace fs = std::filesystem;

namespace {

TRipDisc ThreeTrackDisc(const std::string& artist, const std::string& album) {
    TRipDisc disc;
    disc.FirstTrack = 1;
    disc.StartFrames = {150, 190, 230, 300};
    disc.IsAudio = {true, true, true};
    disc.Artist = artist;
    disc.Album = album;
    return disc;
}

} // namespace

TEST(RipCueSheet, TitlesAndPerformersOnLinesOfTheirOwn) {
    struct Case {
        const char* Name;
        std::string Artist, Album;
        std::vector<std::string> Titles;
        std::string Expected;
    };
    const Case cases[] = {
        {"plain",
         "Demo Ensemble",
         "Tones",
         {"One", "Two", "Three"},
         "PERFORMER \"Demo Ensemble\"\nTITLE \"Tones\"\n"
         "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
         "    PERFORMER \"Demo Ensemble\"\n    INDEX 01 00:00:00\n"
         "FILE \"02.mp3\" MP3\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n"
         "    PERFORMER \"Demo Ensemble\"\n    INDEX 01 00:00:00\n"},
        {"quotes and line breaks from a server",
         "A \"B\"",
         "X\r\nFILE \"evil.bin\" BINARY",
         {"One\nTRACK 09 AUDIO", "", "Three"},
         "PERFORMER \"A 'B'\"\nTITLE \"X  FILE 'evil.bin' BINARY\"\n"
         "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One TRACK 09 AUDIO\"\n"
         "    PERFORMER \"A 'B'\"\n    INDEX 01 00:00:00\n"
         "FILE \"02.mp3\" MP3\n  TRACK 02 AUDIO\n    PERFORMER \"A 'B'\"\n"
         "    INDEX 01 00:00:00\n"},
        {"no disc fields",
         "",
         "",
         {"One", "Two", "Three"},
         "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
         "FILE \"02.mp3\" MP3\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:00:00\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TRipReport report(ThreeTrackDisc(c.Artist, c.Album));
        for (int t = 1; t <= 3; ++t)
            report.SetTrackTitle(t, c.Titles[static_cast<std::size_t>(t - 1)]);
        report.AddRippedTrack(1, "/nowhere/01.wav");
        report.SetProducedFile(1, "/nowhere/01.flac");
        report.AddRippedTrack(2, "/nowhere/02.wav");
        report.SetProducedFile(2, "/nowhere/02.mp3");
        report.AddFailedTrack(3, "Error while reading CD information!");
        EXPECT_EQ(report.CueSheetText(), c.Expected);
    }
}

TEST(RipCueSheet, NoCueSheetWhenEveryTrackFailed) {
    bwtest::TempDir dir;
    for (bool anyRipped : {false, true}) {
        SCOPED_TRACE(anyRipped);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        // Named as the tracks are: what FAT and SMB shares refuse is replaced.
        TRipReport report(ThreeTrackDisc("Artist", "Harbour Lights: Songs?"));
        report.AddFailedTrack(1, "Error while reading CD information!");
        if (anyRipped) report.AddRippedTrack(2, dir / "out" / "Two.wav");
        const fs::path log = report.WriteFiles(dir / "out", [](const fs::path&) { return false; });
        EXPECT_EQ(log, dir / "out" / "Harbour Lights - Songs.log");
        EXPECT_TRUE(fs::exists(log));
        EXPECT_EQ(fs::exists(dir / "out" / "Harbour Lights - Songs.cue"), anyRipped);
        EXPECT_NE(bwtest::ReadFileText(log).find("Not ripped: Error while reading CD"),
                  std::string::npos);
    }
}

// The cue sheet a rip writes opens again with the disc's layout: an enhanced CD keeps its
// sessions (REM SESSION lines, the data track without a file where its session starts).
TEST(RipCueSheet, ReadsBackToTheDiscsLayout) {
    const int data = 150 + 900 + CDSessionGapSectors;
    auto discOf = [](std::vector<int> starts, std::vector<int> ends, std::vector<bool> audio) {
        TRipDisc disc;
        disc.StartFrames = std::move(starts);
        disc.EndFrames = std::move(ends);
        disc.IsAudio = std::move(audio);
        return disc;
    };
    const std::vector<TRipDisc> discs = {
        discOf({150, 450, data, data + 3000}, {450, 1050, data + 3000}, {true, true, false}),
        discOf({182, 750, 1050}, {750, 1050}, {true, true}), // a silent pregap
    };
    for (TRipDisc disc : discs) {
        disc.Sessions = {1, 1, 2};
        TRipReport report(disc);
        for (const char* name : {"01.flac", "02.flac"})
            report.AddRippedTrack(name[1] - '0', name);
        const std::string cue = report.CueSheetText();
        TImageLayout layout = ParseCueSheet(
            cue, "/nowhere",
            [&](const fs::path& path, bool) {
                const int t = path.filename().string()[1] - '0';
                return TImageFileInfo{0, std::uint64_t(disc.TrackSectors(t)) * 2352};
            },
            "Rip.cue");
        ASSERT_EQ(layout.Tracks.size(), disc.IsAudio.size()) << cue;
        for (std::size_t i = 0; i < disc.IsAudio.size(); ++i) {
            EXPECT_EQ(layout.Tracks[i].Index01 + 150, disc.StartFrames[i]) << cue;
            EXPECT_EQ(layout.Tracks[i].Session, disc.Sessions[i]) << cue;
            EXPECT_EQ(layout.Tracks[i].Audio, disc.IsAudio[i]) << cue;
        }
    }
}
