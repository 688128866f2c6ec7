// Hidden track one audio: `toc` lists it as track 0, `rip --tracks 0` gives the image's bytes,
// AccurateRip does not check it, the rip's cue sheet opens as the same disc, and the disc
// ids are those of the same TOC with a silent pregap (which is no track).
#include "CdImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

TEST(CliHiddenTrack, PregapAudioRipsAsTrackZero) {
    if (!bwtest::HaveTool("flac")) GTEST_SKIP() << "no flac";
    bwtest::TempDir dir;
    const auto pregap = bwtest::GeneratedAudio(100, 3), rest = bwtest::GeneratedAudio(300, 4);
    const std::string row0 = "    0  00:02:00  00:01       100  Hidden Track\n    1  00:03:25";
    auto cli = [&](const std::string& image, const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((dir / "config").string()) +
                          " BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 BRINDLEWAVE_CD_IMAGES=" +
                          ShellQuote((dir / image).string()) + " " + BW_CLI + " " + args + " 2>&1");
    };
    std::string tocs[2];
    for (int audio : {0, 1}) {
        auto bin = audio ? pregap : std::vector<std::uint8_t>(pregap.size(), 0);
        bin.insert(bin.end(), rest.begin(), rest.end());
        bwtest::WriteFileBytes(dir / "disc.bin", bin);
        bwtest::WriteFileText(dir / "disc.cue", "FILE \"disc.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
                                                "    INDEX 00 00:00:00\r\n    INDEX 01 00:01:25\r\n"
                                                "  TRACK 02 AUDIO\r\n    INDEX 01 00:03:25\r\n");
        tocs[audio] = cli("disc.cue", "toc").Output;
        EXPECT_EQ(tocs[audio].find(row0) != std::string::npos, audio == 1) << tocs[audio];
        auto rip = cli("disc.cue", "rip --force -t 0-1 -l -f flac --template '%t %n' -o " +
                                       ShellQuote((dir / "out").string()));
        EXPECT_EQ(rip.ExitCode, audio ? 0 : 1) << rip.Output;
    }
    EXPECT_EQ(tocs[0],
              tocs[1].substr(0, tocs[1].find("    0 ")) + tocs[1].substr(tocs[1].find("    1 ")));
    auto decode = RunCommand("flac -d -s -f --force-raw-format --endian=little --sign=signed -o " +
                             ShellQuote((dir / "hidden.raw").string()) + " " +
                             ShellQuote((dir / "out" / "00 Hidden Track.flac").string()));
    EXPECT_TRUE(decode.ExitCode == 0 && bwtest::ReadFileBytes(dir / "hidden.raw") == pregap);
    EXPECT_NE(bwtest::ReadFileText(dir / "out" / "Rip.log")
                  .find("not checked: the hidden track is not in the AccurateRip database"),
              std::string::npos);
    EXPECT_NE(cli("out/Rip.cue", "toc").Output.find(row0), std::string::npos);
    // The hidden track alone is only track 1's pregap: a log, but no cue sheet of no track.
    auto alone = cli("disc.cue", "rip -t 0 -l -f wav -o " + ShellQuote((dir / "alone").string()));
    EXPECT_EQ(alone.ExitCode, 0) << alone.Output;
    EXPECT_TRUE(fs::exists(dir / "alone" / "Rip.log"));
    EXPECT_FALSE(fs::exists(dir / "alone" / "Rip.cue"));
}
