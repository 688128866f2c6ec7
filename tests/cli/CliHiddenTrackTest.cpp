// Hidden track one audio: audio before track 1's index 1 is listed by `toc` as track 0, rips
// with `--tracks 0` to the image's bytes, is not checked by AccurateRip, and leaves the disc
// ids as they were; a silent pregap is no track.
#include "CdImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

TEST(CliHiddenTrack, PregapAudioRipsAsTrackZero) {
    if (!bwtest::HaveTool("flac")) GTEST_SKIP() << "no flac";
    bwtest::TempDir dir;
    const auto pregap = bwtest::GeneratedAudio(100, 3);
    std::string ids[2];
    for (bool audio : {true, false}) {
        SCOPED_TRACE(audio ? "audio in the pregap" : "silent pregap");
        fs::path disc = dir / (audio ? "audio" : "silent");
        fs::create_directories(disc);
        auto bin = audio ? pregap : std::vector<std::uint8_t>(pregap.size(), 0);
        for (auto seed : {4u, 5u}) {
            auto track = bwtest::GeneratedAudio(150, seed);
            bin.insert(bin.end(), track.begin(), track.end());
        }
        bwtest::WriteFileBytes(disc / "disc.bin", bin);
        bwtest::WriteFileText(disc / "disc.cue",
                              "FILE \"disc.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
                              "    INDEX 00 00:00:00\r\n    INDEX 01 00:01:25\r\n"
                              "  TRACK 02 AUDIO\r\n    INDEX 01 00:03:25\r\n");
        auto cli = [&](const fs::path& image, const std::string& args) {
            return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((dir / "config").string()) +
                              " BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 BRINDLEWAVE_CD_IMAGES=" +
                              ShellQuote(image.string()) + " " + BW_CLI + " " + args + " 2>&1");
        };
        auto toc = cli(disc / "disc.cue", "toc");
        ASSERT_EQ(toc.ExitCode, 0) << toc.Output;
        const bool listed = toc.Output.find("    0  00:02:00  00:01       100  Hidden Track\n") !=
                            std::string::npos;
        EXPECT_EQ(listed, audio) << toc.Output;
        // The TOC's tracks and the ids are the disc's, whatever its pregap holds.
        ids[audio] = toc.Output.substr(toc.Output.find("    1  00:03:25"));
        auto rip =
            cli(disc / "disc.cue", "rip --tracks 0-1 --log --format flac --template '%t %n' -o " +
                                       ShellQuote((disc / "out").string()));
        if (!audio) {
            EXPECT_NE(rip.ExitCode, 0);
            EXPECT_NE(rip.Output.find("track 0: the disc has no hidden track"), std::string::npos)
                << rip.Output;
            continue;
        }
        ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
        auto decode =
            RunCommand("flac -d -s -f --force-raw-format --endian=little --sign=signed -o " +
                       ShellQuote((disc / "hidden.raw").string()) + " " +
                       ShellQuote((disc / "out" / "00 Hidden Track.flac").string()));
        ASSERT_EQ(decode.ExitCode, 0) << decode.Output;
        EXPECT_TRUE(bwtest::ReadFileBytes(disc / "hidden.raw") == pregap);
        const std::string log = bwtest::ReadFileText(disc / "out" / "Rip.log");
        EXPECT_NE(log.find("not checked: the hidden track is not in the AccurateRip database"),
                  std::string::npos)
            << log;
        // The cue sheet puts track 1's index 0 into the hidden track's file: it opens again
        // as the same disc, hidden track included.
        auto again = cli(disc / "out" / "Rip.cue", "toc");
        EXPECT_NE(again.Output.find("    0  00:02:00  00:01       100  Hidden Track\n"
                                    "    1  00:03:25"),
                  std::string::npos)
            << again.Output << bwtest::ReadFileText(disc / "out" / "Rip.cue");
    }
    EXPECT_EQ(ids[0], ids[1]);
}
