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
        // The APE encoder ships beside the program.
        fs::copy_file(fs::path(BW_CLI).parent_path() / "libMACDll.so", Dir / "bin/libMACDll.so");
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
    // The data chunk: the tags come after it.
    std::vector<std::uint8_t> Data(const fs::path& wav) {
        auto bytes = bwtest::ReadFileBytes(wav);
        if (bytes.size() < 44) return {};
        std::size_t size =
            bytes[40] | bytes[41] << 8 | bytes[42] << 16 | std::size_t{bytes[43]} << 24;
        return {bytes.begin() + 44, bytes.begin() + 44 + std::min(size, bytes.size() - 44)};
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
    auto rip = Cli("rip -f wav --tracks 3,1-2 --output " + ShellQuote((Dir / "out").string()));
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
                              "\nIsNormalize=1\nNormalizePercent=100\nOutputFormat=1\n");
    ASSERT_EQ(Cli("rip -t 2").ExitCode, 0);
    EXPECT_TRUE(Data(Dir / "music" / "Track02.wav") == Image->TrackBytes(2));

    auto half = Cli("rip -t 2 --normalize 50 --force");
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
    auto rip = Cli("rip --format wav --tracks 1-2,7 -o " + ShellQuote((Dir / "out").string()));
    EXPECT_EQ(rip.ExitCode, 1);
    // A "/" in a title becomes "-": the track is ripped inside the output folder.
    EXPECT_TRUE(Data(Dir / "out" / "..-escape.wav") == Image->TrackBytes(1)) << rip.Output;
    EXPECT_NE(rip.Output.find("track 7: the disc has tracks 1 to 3 only"), std::string::npos);
    EXPECT_NE(rip.Output.find("1 of 3 tracks failed"), std::string::npos);
    EXPECT_TRUE(Data(Dir / "out" / "Track02.wav") == Image->TrackBytes(2));
    EXPECT_FALSE(fs::exists(Dir / "escape.wav"));

    // Wrong command lines.
    EXPECT_EQ(Cli("rip --tracks 100").ExitCode, 2);
    EXPECT_EQ(Cli("rip --tracks 2-1").ExitCode, 2);
    EXPECT_EQ(Cli("rip --tracks 1,,2").ExitCode, 2);
    EXPECT_EQ(Cli("rip --format aiff").ExitCode, 2);
}

TEST_F(CliRip, NoDriveIsReportedNotACrash) {
    auto none = RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                           " BRINDLEWAVE_CD_IMAGES= " + ShellQuote(Program.string()) + " drives");
    EXPECT_EQ(none.ExitCode, 0);
    // Without a disc the rip stops before it makes the output folder.
    auto rip = RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_CD_IMAGES= " + ShellQuote(Program.string()) + " rip -o " +
                          ShellQuote((Dir / "new").string()));
    EXPECT_EQ(rip.ExitCode, 1);
    EXPECT_FALSE(fs::exists(Dir / "new"));
}

// A whole-disc rip in each format: every file decodes, by a tool of its own, to the bytes of
// its track in the image (lossless formats) or to its length (lossy ones), and no WAV stays.
TEST_F(CliRip, WholeDiscInEveryFormatDecodesToTheImage) {
    struct Case {
        const char* Format;
        const char* Tool;
        const char* Decode; // shell command: %in -> raw 16-bit stereo samples on stdout
        bool Exact;
    };
    const Case cases[] = {
        {"wav", "sox", "sox %in -t raw -", true},
        {"flac", "flac", "flac -s -d -c --force-raw-format --endian=little --sign=signed %in",
         true},
        {"ogg", "oggdec", "oggdec -Q -R -o - %in", false},
        {"mp3", "ffmpeg", "ffmpeg -v error -i %in -f s16le -", false},
        {"wma", "ffmpeg", "ffmpeg -v error -i %in -f s16le -", false},
        {"ape", "ffmpeg", "ffmpeg -v error -err_detect crccheck+explode -i %in -f s16le -", true},
        {"opus", "opusinfo", "ffmpeg -v error -i %in -ar 44100 -f s16le -", false},
    };
    bwtest::WriteFileText(Dir / "bin" / "cd.dat",
                          "[" + DiscKey() +
                              "]\nCDArtist=Band\nCDTrackNumber=3\n1=Same\n2=Same\n"
                              "3=Other\n");
    for (const auto& c : cases) {
        if (!bwtest::HaveTool(c.Tool)) continue;
        const fs::path out = Dir / c.Format;
        auto rip = Cli(std::string("rip --format ") + c.Format + " -o " + ShellQuote(out.string()));
        ASSERT_EQ(rip.ExitCode, 0) << c.Format << rip.Output;
        EXPECT_NE(rip.Output.find("02 Same: written as 'Same (2)'"), std::string::npos)
            << rip.Output;
        const std::string ext = std::string(".") + c.Format;
        const std::vector<fs::path> files = {out / ("Same" + ext), out / ("Same (2)" + ext),
                                             out / ("Other" + ext)};
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(out))
            count += entry.path().extension() == ".wav" && ext != ".wav" ? 100 : 1;
        EXPECT_EQ(count, 3u) << c.Format << ": exactly the encoded files, no WAV";
        if (ext == ".mp3") {
            // The ID3v1.1 tag: the remembered disc fields and the track's own number.
            auto tags = RunCommand("ffprobe -v error -show_entries format_tags=artist,track,title "
                                   "-of default=nw=1 " +
                                   ShellQuote(files[1].string()));
            EXPECT_NE(tags.Output.find("artist=Band"), std::string::npos) << tags.Output;
            EXPECT_NE(tags.Output.find("track=2"), std::string::npos) << tags.Output;
            EXPECT_NE(tags.Output.find("title=Same\n"), std::string::npos) << tags.Output;
        }
        if (ext == ".opus") {
            // OpusTags: the remembered disc fields, the track's title and number.
            auto info = RunCommand("opusinfo " + ShellQuote(files[1].string()));
            EXPECT_EQ(info.ExitCode, 0) << info.Output;
            for (const char* tag : {"ARTIST=Band\n", "TITLE=Same\n", "TRACKNUMBER=2\n"})
                EXPECT_NE(info.Output.find(tag), std::string::npos) << info.Output;
        }
        for (int track = 1; track <= 3; ++track) {
            std::string command = c.Decode;
            command.replace(command.find("%in"), 3, ShellQuote(files[track - 1].string()));
            const auto decoded = RunCommand(command + " 2>/dev/null");
            ASSERT_EQ(decoded.ExitCode, 0) << command;
            const auto& bytes = Image->TrackBytes(track);
            if (c.Exact) {
                EXPECT_TRUE(decoded.Output == std::string(bytes.begin(), bytes.end()))
                    << c.Format << " track " << track;
            } else if (std::string(c.Format) == "ogg") {
                EXPECT_EQ(decoded.Output.size(), bytes.size()) << c.Format << " track " << track;
            } else if (std::string(c.Format) == "opus") {
                // Back at 44.1 kHz: the track's length within one 20 ms frame.
                EXPECT_NEAR(double(decoded.Output.size()), double(bytes.size()), 4 * 882) << track;
            } else if (std::string(c.Format) == "wma") {
                // WMA frames (2048 samples) round the length.
                EXPECT_NEAR(double(decoded.Output.size()), double(bytes.size()), 4 * 2 * 2048)
                    << track;
            } else {
                // MP3 frames round the length up, by less than one frame plus the padding.
                EXPECT_GE(decoded.Output.size(), bytes.size()) << track;
                EXPECT_LE(decoded.Output.size(), bytes.size() + 4 * 2 * 1152) << track;
            }
        }
    }
}

TEST_F(CliRip, KeepWavLeavesTheRippedWavBesideTheEncodedFile) {
    auto rip = Cli("rip --format ogg --keep-wav -t 3 -o " + ShellQuote((Dir / "keep").string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "keep" / "Track03.ogg"));
    EXPECT_TRUE(Data(Dir / "keep" / "Track03.wav") == Image->TrackBytes(3));
}

TEST_F(CliRip, FirstTrackOtherThanOneRipsTheTrackAsked) {
    // A disc whose numbering starts at 3, as a later disc of a set may.
    const std::string cue = bwtest::ReadFileText(Image->CuePath());
    std::string renumbered = cue;
    for (const char* from : {"TRACK 03", "TRACK 02", "TRACK 01"}) {
        auto at = renumbered.find(from);
        ASSERT_NE(at, std::string::npos) << cue;
        renumbered[at + 7] = static_cast<char>(renumbered[at + 7] + 2);
    }
    bwtest::WriteFileText(Image->CuePath(), renumbered);
    auto rip = Cli("rip -f wav -t 4 -o " + ShellQuote((Dir / "out").string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(Data(Dir / "out" / "Track04.wav") == Image->TrackBytes(2));
}

// An image whose data file is missing names it; one whose data file ends inside the last
// track is listed with a warning, and ripping that track fails instead of writing it short.
TEST_F(CliRip, DamagedImagesAreExplained) {
    fs::rename(Image->BinPath(), Dir / "elsewhere.bin");
    auto missing = Cli("toc");
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Output.find("Data file not found: " + Image->BinPath().string()),
              std::string::npos)
        << missing.Output;

    fs::rename(Dir / "elsewhere.bin", Image->BinPath());
    fs::resize_file(Image->BinPath(), fs::file_size(Image->BinPath()) - 1000);
    auto toc = Cli("toc");
    EXPECT_EQ(toc.ExitCode, 0) << toc.Output;
    EXPECT_NE(toc.Output.find("warning: disc.bin ends 1 sector(s) before the end of track 3"),
              std::string::npos)
        << toc.Output;
    auto rip = Cli("rip --tracks 3 -o " + ShellQuote((Dir / "out").string()));
    EXPECT_EQ(rip.ExitCode, 1) << rip.Output;
}
