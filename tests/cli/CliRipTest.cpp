#include "CdImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

// Runs a copy of the front end placed in a scratch folder, so that the disc cache
// "cd.dat" beside the program is the test's own, with its own settings and image drive.
class CliRip : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "bin");
        fs::copy_file(BW_CLI, Program);
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 33});
    }
    bwtest::CommandResult Cli(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(Image->CuePath().string()) + " " +
                          ShellQuote(Program.string()) + " " + args);
    }
    std::string DiscKey() {
        auto toc = Cli("toc");
        auto at = toc.Output.find("Disc key: ");
        if (at == std::string::npos) return {};
        return toc.Output.substr(at + 10, toc.Output.find('\n', at) - at - 10);
    }
    std::vector<std::uint8_t> Data(const fs::path& wav) {
        auto bytes = bwtest::ReadFileBytes(wav);
        return {bytes.begin() + 44, bytes.end()};
    }

    bwtest::TempDir Dir;
    fs::path Program = Dir / "bin" / "brindlewave-cli";
    std::optional<bwtest::CdImage> Image;
};

} // namespace

TEST_F(CliRip, DrivesAndTocDescribeTheImage) {
    auto drives = Cli("drives");
    ASSERT_EQ(drives.ExitCode, 0) << drives.Output;
    EXPECT_NE(drives.Output.find("IMAGE   disc.cue"), std::string::npos) << drives.Output;
    EXPECT_NE(drives.Output.find(Image->CuePath().string()), std::string::npos);

    auto toc = Cli("toc");
    ASSERT_EQ(toc.ExitCode, 0) << toc.Output;
    EXPECT_NE(toc.Output.find("First track: 1\nLast track: 3\n"), std::string::npos) << toc.Output;
    EXPECT_NE(toc.Output.find("    1  00:02:00  00:00        40\n"), std::string::npos)
        << toc.Output;
    EXPECT_NE(toc.Output.find("    2  00:02:40  00:00        25\n"), std::string::npos);
    EXPECT_NE(toc.Output.find("    3  00:02:65  00:01        33\n"), std::string::npos);
    EXPECT_NE(toc.Output.find("Lead-out: 00:03:23\n"), std::string::npos);
    EXPECT_FALSE(DiscKey().empty());

    auto none = Cli("toc --drive 5");
    EXPECT_NE(none.ExitCode, 0);
    EXPECT_NE(none.Output.find("there is no drive 5"), std::string::npos) << none.Output;
}

TEST_F(CliRip, RipsListedTracksUnderTheirRememberedTitles) {
    bwtest::WriteFileText(Dir / "bin" / "cd.dat",
                          "[" + DiscKey() + "]\nCDTrackNumber=3\n1=Opening\n2=\n3=Finale\n");
    auto rip = Cli("rip --tracks 3,1-2 --output " + ShellQuote((Dir / "out").string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(Data(Dir / "out" / "Opening.wav") == Image->TrackBytes(1));
    EXPECT_TRUE(Data(Dir / "out" / "Track02.wav") == Image->TrackBytes(2));
    EXPECT_TRUE(Data(Dir / "out" / "Finale.wav") == Image->TrackBytes(3));
    EXPECT_NE(rip.Output.find("03 Finale: "), std::string::npos) << rip.Output;
    EXPECT_EQ(rip.Output.find("%"), std::string::npos) << "no progress line without a terminal";
}

TEST_F(CliRip, OutputAndNormalizationDefaultToTheSettings) {
    fs::create_directories(Dir / "config" / "Vellamor" / "Brindlewave");
    bwtest::WriteFileText(Dir / "config" / "Vellamor" / "Brindlewave" / "options.ini",
                          "[CommonOptions]\nOutputFolder=" + (Dir / "music").string() +
                              "\nIsNormalize=1\nNormalizePercent=100\n");
    ASSERT_EQ(Cli("rip -t 2").ExitCode, 0);
    EXPECT_TRUE(Data(Dir / "music" / "Track02.wav") == Image->TrackBytes(2));

    auto half = Cli("rip -t 2 --normalize 50");
    ASSERT_EQ(half.ExitCode, 0) << half.Output;
    auto data = Data(Dir / "music" / "Track02.wav");
    const auto& original = Image->TrackBytes(2);
    ASSERT_EQ(data.size(), original.size());
    auto sample = [](const std::vector<std::uint8_t>& b, std::size_t i) {
        return static_cast<std::int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    };
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_LE(std::abs(sample(data, i) * 2 - sample(original, i)), 1) << i;
}

TEST_F(CliRip, FailedTracksAreNamedAndTheRestStillRipped) {
    bwtest::WriteFileText(Dir / "bin" / "cd.dat",
                          "[" + DiscKey() + "]\nCDTrackNumber=3\n1=../escape\n");
    auto rip = Cli("rip --tracks 1-2,7 -o " + ShellQuote((Dir / "out").string()));
    EXPECT_EQ(rip.ExitCode, 1);
    EXPECT_NE(rip.Output.find("track 1: cannot create"), std::string::npos) << rip.Output;
    EXPECT_NE(rip.Output.find("track 7: the disc has tracks 1 to 3 only"), std::string::npos);
    EXPECT_NE(rip.Output.find("2 of 3 tracks failed"), std::string::npos);
    EXPECT_TRUE(Data(Dir / "out" / "Track02.wav") == Image->TrackBytes(2));
    EXPECT_FALSE(fs::exists(Dir / "escape.wav"));

    EXPECT_EQ(Cli("rip --tracks 0").ExitCode, 1);
    EXPECT_EQ(Cli("rip --tracks 2-1").ExitCode, 1);
    EXPECT_EQ(Cli("rip --tracks 1,,2").ExitCode, 1);
    EXPECT_EQ(Cli("rip").ExitCode, 1);
}

TEST_F(CliRip, NoDriveIsReportedNotACrash) {
    auto none = RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                           " BRINDLEWAVE_CD_IMAGES= " + ShellQuote(Program.string()) + " drives");
    EXPECT_EQ(none.ExitCode, 0);
}
