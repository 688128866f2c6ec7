// AccurateRip on the command line: `rip` prints each track's verdict and fails on an
// inaccurate one, `rip --log` writes the log and cue sheet, and `verify` checks files that
// other programs made. The database is a file server on 127.0.0.1.
#include "AccurateRipTestData.h"
#include "CdImage.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <optional>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

class CliVerify : public ::testing::Test {
protected:
    void SetUp() override {
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 33}, 5);
        std::vector<int> frames;
        for (int t = 1; t <= 3; ++t)
            frames.push_back(Image->TrackStartSector(t) + 150);
        frames.push_back(Image->TotalSectors() + 150);
        Id = bw::AccurateRipDiscId(frames, {true, true, true});
        for (int t = 1; t <= 3; ++t) {
            fs::path raw = Dir / ("t" + std::to_string(t) + ".raw");
            bwtest::WriteFileBytes(raw, Image->TrackBytes(t));
            fs::path wav = Dir / ("sox" + std::to_string(t) + ".wav");
            Run("sox -t raw -r 44100 -e signed -b 16 -c 2 " + ShellQuote(raw.string()) + " " +
                ShellQuote(wav.string()));
            Good.push_back({7, Oracle(wav, t)});
        }
    }
    void Run(const std::string& command) {
        auto r = RunCommand(command);
        ASSERT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
    }
    std::uint32_t Oracle(const fs::path& wav, int track) {
        auto r = RunCommand("accuraterip-checksum --accuraterip-v2 " + ShellQuote(wav.string()) +
                            " " + std::to_string(track) + " 3");
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return static_cast<std::uint32_t>(std::strtoul(r.Output.c_str(), nullptr, 16));
    }
    bwtest::CommandResult Cli(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_ACCURATERIP_SERVER=" + Server.HostPort() +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(Image->CuePath().string()) + " " +
                          BW_CLI + " " + args);
    }
    void Serve(const std::string& bytes) {
        Server.Put("accuraterip/" + bw::AccurateRipPath(Id), bytes);
    }

    bwtest::TempDir Dir, Root;
    bwtest::FileHttpServer Server{Root.Path()};
    std::optional<bwtest::CdImage> Image;
    bw::TAccurateRipDiscId Id;
    std::vector<std::pair<int, std::uint32_t>> Good;
};

} // namespace

TEST_F(CliVerify, RipPrintsVerdictsAndWritesTheLog) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    Serve(bwtest::DbarBytes(Id, Good));
    fs::path out = Dir / "out";
    // A drive's read offset does not apply to an image, which holds the disc's samples.
    fs::create_directories(Dir / "config/Vellamor/Brindlewave");
    bwtest::WriteFileText(Dir / "config/Vellamor/Brindlewave/options.ini",
                          "[AccurateRip]\nReadOffset=6\n");
    auto rip = Cli("rip --tracks 1-3 --log --format flac -o " + ShellQuote(out.string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_NE(rip.Output.find("01 Track01.flac: accurate (v2, confidence 7)"), std::string::npos)
        << rip.Output;
    EXPECT_NE(rip.Output.find("AccurateRip: 3 of 3 tracks accurate"), std::string::npos);

    std::string log = bwtest::ReadFileText(out / "Rip.log");
    EXPECT_NE(log.find("AccurateRip disc id: " + bw::AccurateRipIdText(Id)), std::string::npos)
        << log;
    EXPECT_NE(log.find("Read offset: 0 samples"), std::string::npos);
    EXPECT_NE(log.find("      2   00:00:40  00:00:25            40          64  audio"),
              std::string::npos)
        << log;
    for (int t = 1; t <= 3; ++t) {
        // The CRC32 of the image's own bytes for the track, by Python's zlib.
        fs::path raw = Dir / ("t" + std::to_string(t) + ".raw");
        auto crc = RunCommand("python3 -c \"import zlib,sys; print('%08X' % "
                              "zlib.crc32(open(sys.argv[1],'rb').read()))\" " +
                              ShellQuote(raw.string()));
        ASSERT_EQ(crc.ExitCode, 0);
        std::string n = std::to_string(t);
        EXPECT_NE(log.find("Track 0" + n + "\n  File: Track0" + n +
                           ".flac\n  CRC32: " + crc.Output.substr(0, 8) + "\n"),
                  std::string::npos)
            << log;
    }
    std::string cue = bwtest::ReadFileText(out / "Rip.cue");
    EXPECT_EQ(cue, "FILE \"Track01.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Track01\"\n"
                   "    INDEX 01 00:00:00\n"
                   "FILE \"Track02.flac\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Track02\"\n"
                   "    INDEX 01 00:00:00\n"
                   "FILE \"Track03.flac\" WAVE\n  TRACK 03 AUDIO\n    TITLE \"Track03\"\n"
                   "    INDEX 01 00:00:00\n");

    // A database that disagrees on track 2: said, and the command fails.
    auto bad = Good;
    bad[1].second ^= 0x100;
    Serve(bwtest::DbarBytes(Id, bad));
    auto again = Cli("rip --tracks 2 --format wav -o " + ShellQuote(out.string()));
    EXPECT_EQ(again.ExitCode, 1) << again.Output;
    // Our checksums beside the database's best, as the log has them.
    char detail[128];
    std::snprintf(detail, sizeof detail,
                  "v2 %08X; the database's best match: %08X, confidence 7)\n", Good[1].second,
                  bad[1].second);
    EXPECT_NE(again.Output.find("02 Track02.wav: not accurate (ours: v1 "), std::string::npos)
        << again.Output;
    EXPECT_NE(again.Output.find(detail), std::string::npos) << detail << again.Output;
}

TEST_F(CliVerify, VerifiesFilesOfOtherPrograms) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    std::string files;
    for (int t = 1; t <= 3; ++t) {
        fs::path wav = Dir / ("sox" + std::to_string(t) + ".wav");
        fs::path flac = Dir / ("ff" + std::to_string(t) + ".flac");
        Run("ffmpeg -v error -y -i " + ShellQuote(wav.string()) + " " + ShellQuote(flac.string()));
        files += " " + ShellQuote((t == 2 ? flac : wav).string());
    }
    // Track 3 with one sample changed in the middle.
    fs::path damaged = Dir / "damaged.wav";
    auto bytes = bwtest::ReadFileBytes(Dir / "sox3.wav");
    bytes[bytes.size() / 2] ^= 1;
    bwtest::WriteFileBytes(damaged, bytes);
    std::string soxFiles = ShellQuote((Dir / "sox1.wav").string()) + " " +
                           ShellQuote((Dir / "sox2.wav").string()) + " ";
    // A rip named by title, tagged by FFmpeg: the shell gives it in alphabetical order.
    const char* titles[] = {"Zebra", "Apple", "Mango"};
    std::string byTitle, cueSheet;
    for (int t = 1; t <= 3; ++t) {
        const fs::path named = Dir / (std::string(titles[t - 1]) + ".flac");
        Run("ffmpeg -v error -y -i " +
            ShellQuote((Dir / ("sox" + std::to_string(t) + ".wav")).string()) +
            " -metadata track=" + std::to_string(t) + " " + ShellQuote(named.string()));
        cueSheet += "FILE \"" + std::string(titles[t - 1]) + ".wav\" WAVE\r\n  TRACK 0" +
                    std::to_string(t) + " AUDIO\r\n    INDEX 01 00:00:00\r\n";
        fs::copy_file(Dir / ("sox" + std::to_string(t) + ".wav"),
                      Dir / (std::string(titles[t - 1]) + ".wav"));
    }
    for (const char* title : {"Apple", "Mango", "Zebra"})
        byTitle += " " + ShellQuote((Dir / (std::string(title) + ".flac")).string());
    bwtest::WriteFileText(Dir / "rip.cue", cueSheet);
    fs::copy_file(Dir / "Mango.flac", Dir / "Mango 2.flac");
    const auto given = [&](const char* name) { return (Dir / name).string(); };
    const std::string untaggedByTitle = ShellQuote(given("Apple.wav")) + " " +
                                        ShellQuote(given("Mango.wav")) + " " +
                                        ShellQuote(given("Zebra.wav"));

    struct Case {
        const char* Name;
        std::optional<std::string> Database; // none: 404
        std::string Args;
        int Exit;
        std::vector<std::string> Says;
    };
    const Case cases[] = {
        {"sox WAV and FFmpeg FLAC files",
         bwtest::DbarBytes(Id, Good),
         files,
         0,
         {"01 " + given("sox1.wav") + ": accurate (v2, confidence 7)",
          "02 " + given("ff2.flac") + ": accurate", "AccurateRip: 3 of 3 tracks accurate"}},
        {"a damaged file",
         bwtest::DbarBytes(Id, Good),
         soxFiles + ShellQuote(damaged.string()),
         1,
         {"03 " + damaged.string() + ": not accurate", "AccurateRip: 2 of 3 tracks accurate"}},
        {"a disc nobody submitted",
         std::nullopt,
         files,
         0,
         {"01 " + given("sox1.wav") + ": not in database", "AccurateRip: 0 of 3 tracks accurate"}},
        {"files from track 2 on",
         bwtest::DbarBytes(Id, Good),
         "--first-track 2 " + ShellQuote((Dir / "sox2.wav").string()),
         0,
         {"02 " + given("sox2.wav") + ": accurate", "AccurateRip: 1 of 1 tracks accurate"}},
        {"a file in the wrong place",
         bwtest::DbarBytes(Id, Good),
         ShellQuote((Dir / "sox2.wav").string()),
         1,
         {"01 " + given("sox2.wav") + ": not checked: the file's length is not the track's"}},
        {"more files than tracks",
         bwtest::DbarBytes(Id, Good),
         files + files,
         1,
         {"more files than audio tracks: " + given("sox1.wav") + " would be track 4"}},
        {"a file that is not there",
         bwtest::DbarBytes(Id, Good),
         "/nonexistent.wav",
         1,
         {"01 /nonexistent.wav: not checked: cannot open /nonexistent.wav"}},
        {"a file of another format names those it takes",
         bwtest::DbarBytes(Id, Good),
         ShellQuote(Image->CuePath().string()),
         1,
         {"disc.cue is neither a WAV nor a FLAC file (16-bit stereo 44.1 kHz WAV and FLAC "
          "files can be checked)"}},
        {"a rip named by title, by its tags",
         bwtest::DbarBytes(Id, Good),
         byTitle,
         0,
         {"01 " + given("Zebra.flac") + ": accurate", "02 " + given("Apple.flac") + ": accurate",
          "03 " + given("Mango.flac") + ": accurate", "AccurateRip: 3 of 3 tracks accurate"}},
        {"untagged files named by title, by the cue sheet",
         bwtest::DbarBytes(Id, Good),
         "--cue " + ShellQuote(given("rip.cue")) + " " + untaggedByTitle,
         0,
         {"01 " + given("Zebra.wav") + ": accurate", "AccurateRip: 3 of 3 tracks accurate"}},
        {"the files the cue sheet names",
         bwtest::DbarBytes(Id, Good),
         "--cue " + ShellQuote(given("rip.cue")),
         0,
         {"03 " + given("Mango.wav") + ": accurate", "AccurateRip: 3 of 3 tracks accurate"}},
        {"two files of one track, and a track without a file",
         bwtest::DbarBytes(Id, Good),
         ShellQuote(given("Zebra.flac")) + " " + ShellQuote(given("Mango.flac")) + " " +
             ShellQuote(given("Mango 2.flac")),
         1,
         {given("Mango 2.flac") + " is track 3 by its TRACKNUMBER tag, as is " +
              given("Mango.flac"),
          "no file for track 2", "01 " + given("Zebra.flac") + ": accurate",
          "AccurateRip: 2 of 2 tracks accurate"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove(Root / ("accuraterip/" + bw::AccurateRipPath(Id)));
        if (c.Database) Serve(*c.Database);
        auto r = Cli("verify " + c.Args);
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Output;
        for (const auto& text : c.Says)
            EXPECT_NE(r.Output.find(text), std::string::npos) << text << "\n" << r.Output;
        // Standard output and error on one pipe, as on a terminal: each verdict once, on its
        // track's line and not again as an error line.
        EXPECT_EQ(r.Output.find("verify: track "), std::string::npos) << r.Output;
    }
}

// The cue sheet of a rip opens again as an image drive whatever the format ripped to: the
// same table of contents, and ripped again to WAV the disc's bytes. Lossy rips are refused.
TEST_F(CliVerify, CueSheetOfARipGivesTheDiscsTableOfContents) {
    // A disc with a one-second gap before track 1 and a pregap inside track 2.
    auto audio = bwtest::GeneratedAudio(120, 9);
    bwtest::WriteFileBytes(Dir / "gaps.bin", audio);
    bwtest::WriteFileText(Dir / "gaps.cue", "FILE \"gaps.bin\" BINARY\n"
                                            "  TRACK 01 AUDIO\n    PREGAP 00:01:00\n"
                                            "    INDEX 01 00:00:00\n"
                                            "  TRACK 02 AUDIO\n    INDEX 00 00:00:40\n"
                                            "    INDEX 01 00:00:50\n"
                                            "  TRACK 03 AUDIO\n    INDEX 01 00:01:10\n");
    auto cli = [&](const fs::path& image, const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_ACCURATERIP_SERVER=" + Server.HostPort() +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(image.string()) + " " + BW_CLI +
                          " " + args);
    };
    // The table of contents and disc ids; the CD-Text differs (the rip's titles).
    auto tocOf = [](const std::string& text) {
        const auto from = text.find("First track"), to = text.find("CD-Text");
        return text.substr(from, to == std::string::npos ? to : to - from);
    };
    auto original = cli(Dir / "gaps.cue", "toc");
    ASSERT_EQ(original.ExitCode, 0) << original.Output;
    EXPECT_NE(original.Output.find("    2  00:03:50"), std::string::npos) << original.Output;

    struct Case {
        const char* Format;
        const char* Refused; // empty: the cue sheet opens
    };
    const Case cases[] = {{"wav", ""},
                          {"flac", ""},
                          {"ape", ""},
                          {"mp3", "holds lossy audio (MP3)"},
                          {"ogg", "holds lossy audio (VORBIS)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        const fs::path out = Dir / (std::string("out-") + c.Format);
        auto rip = cli(Dir / "gaps.cue", std::string("rip --log --format ") + c.Format + " -o " +
                                             ShellQuote(out.string()));
        ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
        const std::string cue = bwtest::ReadFileText(out / "Rip.cue");
        EXPECT_NE(cue.find("PREGAP 00:01:00"), std::string::npos);
        EXPECT_NE(cue.find(std::string("FILE \"Track02.") + c.Format + "\""), std::string::npos)
            << cue;

        auto reopened = cli(out / "Rip.cue", "toc");
        if (*c.Refused) {
            EXPECT_EQ(reopened.ExitCode, 1);
            EXPECT_NE(reopened.Output.find(c.Refused), std::string::npos) << reopened.Output;
            continue;
        }
        ASSERT_EQ(reopened.ExitCode, 0) << reopened.Output;
        EXPECT_EQ(tocOf(reopened.Output), tocOf(original.Output));
        // Ripped again to WAV from the rip's own cue sheet: the disc's audio, in order.
        const fs::path again = Dir / (std::string("again-") + c.Format);
        auto second = cli(out / "Rip.cue", "rip --format wav -o " + ShellQuote(again.string()));
        ASSERT_EQ(second.ExitCode, 0) << second.Output;
        std::vector<std::uint8_t> joined;
        for (int t = 1; t <= 3; ++t) {
            auto bytes = bwtest::ReadFileBytes(again / ("Track0" + std::to_string(t) + ".wav"));
            joined.insert(joined.end(), bytes.begin() + 44, bytes.end());
        }
        EXPECT_TRUE(joined == audio);
    }
}

// --quiet prints failures only: a rip that went well prints nothing at all.
TEST_F(CliVerify, QuietPrintsFailuresOnly) {
    Serve(bwtest::DbarBytes(Id, Good));
    const std::string out = ShellQuote((Dir / "quiet").string());
    for (const std::string& args : {"-q rip --log --format wav -o " + out,
                                    "rip --quiet --log --format flac --force -o " + out}) {
        SCOPED_TRACE(args);
        auto r = Cli(args);
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_EQ(r.Output, "");
    }
    EXPECT_TRUE(fs::exists(Dir / "quiet" / "Rip.log"));
    EXPECT_TRUE(fs::exists(Dir / "quiet" / "Track03.flac"));
    auto failed = Cli("-q verify " + ShellQuote((Dir / "sox2.wav").string()));
    EXPECT_EQ(failed.ExitCode, 1);
    EXPECT_EQ(failed.Output, "brindlewave-cli: verify: track 1 (" + (Dir / "sox2.wav").string() +
                                 "): not checked: the file's length is not the track's\n");
}
