// brindlewave-cli convert, run as a user would: outputs checked with FFmpeg and sox.
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::ReadFileBytes;
using bwtest::RunCommand;
using bwtest::ShellQuote;

namespace {

std::string Q(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

std::string Cli(const bwtest::TempDir& dir, const std::string& args) {
    return "XDG_CONFIG_HOME=" + Q(dir / "config") + " " + BW_CLI + " convert " + args;
}

void MakeWav(const std::filesystem::path& path, int channels, double seconds) {
    auto r = RunCommand("sox -n -r 44100 -c " + std::to_string(channels) + " -b 16 " + Q(path) +
                        " synth " + std::to_string(seconds) + " sine 300-900 vol 0.4");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
}

std::vector<std::uint8_t> Samples(const std::filesystem::path& path) {
    auto raw = path;
    raw += ".raw";
    auto r = RunCommand("ffmpeg -v error -y -i " + Q(path) + " -f s16le " + Q(raw));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return ReadFileBytes(raw);
}

} // namespace

TEST(CliConvert, ConvertsValidInputsAndReportsTheOthersByName) {
    bwtest::TempDir dir;
    auto in = dir / "in";
    auto out = dir / "out";
    std::filesystem::create_directories(in);
    MakeWav(in / "one.wav", 2, 1.2);
    MakeWav(in / "two.wav", 1, 0.7);
    bwtest::WriteFileText(in / "notes.wav", "not audio at all");
    auto r = RunCommand(Cli(dir, "--to wav --output " + Q(out) + " " + Q(in / "one.wav") + " " +
                                     Q(in / "notes.wav") + " " + Q(in / "gone.wav") + " " +
                                     Q(in / "two.wav")));
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_NE(r.Output.find((in / "notes.wav").string()), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find((in / "gone.wav").string()), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("/one.wav:"), std::string::npos) << r.Output;
    // Only the two outputs: no partial files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 2);
    EXPECT_TRUE(Samples(out / "one.wav") == Samples(in / "one.wav"));
    EXPECT_TRUE(Samples(out / "two.wav") == Samples(in / "two.wav"));

    auto ima =
        RunCommand(Cli(dir, "--to ima-adpcm -o " + Q(dir / "ima") + " " + Q(in / "one.wav")));
    ASSERT_EQ(ima.ExitCode, 0) << ima.Output;
    auto soxed = RunCommand("sox " + Q(dir / "ima/one.wav") + " -n stat 2>&1");
    EXPECT_EQ(soxed.ExitCode, 0) << soxed.Output;
    EXPECT_NE(soxed.Output.find("Samples read:            106050"), std::string::npos)
        << soxed.Output; // 52920 frames, rounded up to 105 whole blocks of 505, x 2
}

TEST(CliConvert, ReplacesOnlyWithForceAndNeverItsOwnInput) {
    bwtest::TempDir dir;
    auto in = dir / "song.wav";
    MakeWav(in, 2, 0.5);
    auto before = ReadFileBytes(in);
    auto out = dir / "out";
    std::filesystem::create_directories(out);
    bwtest::WriteFileText(out / "song.wav", "older");

    auto skipped = RunCommand(Cli(dir, "--to wav -o " + Q(out) + " " + Q(in)));
    EXPECT_EQ(skipped.ExitCode, 1);
    EXPECT_NE(skipped.Output.find("exists"), std::string::npos) << skipped.Output;
    EXPECT_EQ(bwtest::ReadFileText(out / "song.wav"), "older");

    auto forced = RunCommand(Cli(dir, "--force --to wav -o " + Q(out) + " " + Q(in)));
    EXPECT_EQ(forced.ExitCode, 0) << forced.Output;
    EXPECT_TRUE(Samples(out / "song.wav") == Samples(in));

    for (const char* folder : {".", ""}) {
        auto self = RunCommand("cd " + Q(dir.Path()) + " && " +
                               Cli(dir, "--force --to wav -o " + Q(dir / folder) + " song.wav"));
        EXPECT_EQ(self.ExitCode, 1);
        EXPECT_NE(self.Output.find("replace the input itself"), std::string::npos) << self.Output;
        EXPECT_TRUE(ReadFileBytes(in) == before);
    }

    // The same name twice in one run: the second would overwrite the first's output.
    std::filesystem::create_directories(dir / "b");
    MakeWav(dir / "b/song.wav", 1, 0.3);
    auto twice = RunCommand(Cli(dir, "--force --to wav -o " + Q(dir / "twice") + " " + Q(in) + " " +
                                         Q(dir / "b/song.wav")));
    EXPECT_EQ(twice.ExitCode, 1);
    EXPECT_TRUE(Samples(dir / "twice/song.wav") == Samples(in));
}

TEST(CliConvert, DefaultsToTheSettingsOutputFolder) {
    bwtest::TempDir dir;
    auto in = dir / "track.wav";
    MakeWav(in, 2, 0.4);
    auto settings = dir / "config/Vellamor/Brindlewave/options.ini";
    std::filesystem::create_directories(settings.parent_path());
    bwtest::WriteFileText(settings,
                          "[CommonOptions]\nOutputFolder=" + (dir / "music").string() + "\n");
    auto r = RunCommand(Cli(dir, "--to ima-adpcm " + Q(in)));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("track.wav -> " + (dir / "music/track.wav").string()),
              std::string::npos)
        << r.Output;
    EXPECT_TRUE(std::filesystem::exists(dir / "music/track.wav"));
}

TEST(CliConvert, UsageErrors) {
    bwtest::TempDir dir;
    EXPECT_EQ(RunCommand(Cli(dir, "x.wav")).ExitCode, 2);
    EXPECT_EQ(RunCommand(Cli(dir, "--to aiff x.wav")).ExitCode, 2);
    EXPECT_EQ(RunCommand(Cli(dir, "--to wav")).ExitCode, 2);
    auto help = RunCommand(Cli(dir, "--help"));
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Output.find("ima-adpcm"), std::string::npos);
}

// Several files at once: the same files, bytes and exit status as one after another; every
// message names its file; the temporary file is a name of its own, so a file that happens to
// be called "<output>.part" survives.
TEST(CliConvert, JobsSideBySideMatchOneAfterAnother) {
    bwtest::TempDir dir;
    std::string inputs;
    for (const char* name : {"a", "b", "c", "d"}) {
        MakeWav(dir / (std::string(name) + ".wav"), 2, 0.6);
        inputs += " " + Q(dir / (std::string(name) + ".wav"));
    }
    bwtest::WriteFileText(dir / "bad.wav", "RIFF but no more");
    inputs += " " + Q(dir / "bad.wav");
    std::filesystem::create_directories(dir / "j3");
    bwtest::WriteFileText(dir / "j3" / "b.flac.part", "someone else's");

    for (const char* jobs : {"1", "3"}) {
        const auto out = dir / (std::string("j") + jobs);
        auto r = RunCommand(
            Cli(dir, std::string("--jobs ") + jobs + " --to flac -o " + Q(out) + inputs));
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        EXPECT_NE(r.Output.find((dir / "bad.wav").string() + ": "), std::string::npos) << r.Output;
        EXPECT_NE(r.Output.find("1 of 5 files failed"), std::string::npos) << r.Output;
        for (const char* name : {"a", "b", "c", "d"}) {
            const auto flac = out / (std::string(name) + ".flac");
            EXPECT_TRUE(ReadFileBytes(flac) == ReadFileBytes(dir / "j1" / flac.filename())) << flac;
            EXPECT_TRUE(Samples(flac) == Samples(dir / (std::string(name) + ".wav"))) << flac;
        }
    }
    EXPECT_EQ(bwtest::ReadFileText(dir / "j3" / "b.flac.part"), "someone else's");
    int kept = 0; // the four outputs and the stranger's file; ".raw" files are the decodes
    for (const auto& entry : std::filesystem::directory_iterator(dir / "j3"))
        kept += entry.path().extension() != ".raw";
    EXPECT_EQ(kept, 5);
}

// Opus from the shapes other programs write: sox's 22,050 Hz mono, FFmpeg's 8-bit and
// sox's 24-bit WAV; the disc fields become OpusTags.
TEST(CliConvert, OpusFromEveryRateAndWidth) {
    if (!bwtest::HaveTool("opusinfo")) GTEST_SKIP() << "opusinfo";
    bwtest::TempDir dir;
    struct {
        const char* Name;
        std::string Make; // %out: the WAV to write
        int Rate, Channels;
        double Seconds;
    } cases[] = {
        {"mono22k", "sox -n -r 22050 -c 1 -b 16 %out synth 1.3 sine 300-900 vol 0.4", 22050, 1,
         1.3},
        {"eight", "ffmpeg -v error -f lavfi -i sine=f=440:r=44100:d=1.1 -ac 2 -c:a pcm_u8 %out",
         44100, 2, 1.1},
        {"deep", "sox -n -r 44100 -c 2 -b 24 %out synth 0.9 sine 200 vol 0.4", 44100, 2, 0.9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto wav = dir / (std::string(c.Name) + ".wav");
        std::string make = c.Make;
        make.replace(make.find("%out"), 4, Q(wav));
        ASSERT_EQ(RunCommand(make).ExitCode, 0) << make;
        auto r = RunCommand(Cli(dir, "--to opus --artist 'Ünïcödé 東京' --year 2024 -o " +
                                         Q(dir / "out") + " " + Q(wav)));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const auto opus = dir / "out" / (std::string(c.Name) + ".opus");
        auto info = RunCommand("opusinfo " + Q(opus));
        EXPECT_EQ(info.ExitCode, 0) << info.Output;
        EXPECT_EQ(info.Output.find("WARNING"), std::string::npos) << info.Output;
        EXPECT_NE(info.Output.find("Channels: " + std::to_string(c.Channels)), std::string::npos)
            << info.Output;
        EXPECT_NE(info.Output.find("Original sample rate: " + std::to_string(c.Rate)),
                  std::string::npos)
            << info.Output;
        EXPECT_NE(info.Output.find("ARTIST=Ünïcödé 東京"), std::string::npos) << info.Output;
        // 48 kHz samples: the input's length within one 20 ms frame.
        const double frames = double(Samples(opus).size()) / 2 / c.Channels;
        EXPECT_NEAR(frames, c.Seconds * 48000, 960);
    }
}
