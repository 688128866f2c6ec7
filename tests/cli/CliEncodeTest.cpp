// brindlewave-cli convert to MP3, Ogg Vorbis, FLAC and resampled WAV: the settings file
// decides the encoder options, the disc options become comments. Checked with FFmpeg,
// ogginfo, metaflac, vorbiscomment and sox.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using bwtest::RunCommand;
using bwtest::ShellQuote;

namespace {

std::string Q(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

class CliEncode : public ::testing::Test {
protected:
    void SetUp() override {
        In = Dir / "song.wav";
        auto r = RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(In) + " synth 3 sine 1000 vol 0.5");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }
    void Settings(const std::string& text) {
        auto file = Dir / "config/Vellamor/Brindlewave/options.ini";
        std::filesystem::create_directories(file.parent_path());
        bwtest::WriteFileText(file, text);
    }
    bwtest::CommandResult Convert(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + Q(Dir / "config") + " " + BW_CLI + " convert -o " +
                          Q(Dir / "out") + " " + args + " " + Q(In));
    }
    std::string Probe(const std::filesystem::path& file) {
        return RunCommand("ffprobe -v error -show_entries "
                          "stream=codec_name,sample_rate,channels,bit_rate -of compact=p=0 " +
                          Q(file))
            .Output;
    }

    bwtest::TempDir Dir;
    std::filesystem::path In;
};

TEST_F(CliEncode, Mp3BitrateComesFromTheSettings) {
    Settings("[Mp3Options]\nIsSelectVBR=0\nConstantBitRate=8\n");
    auto r = Convert("--to mp3");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    // The ID3v2 tag (ReplayGain) adds a line of tags to ffprobe's output.
    EXPECT_EQ(Probe(Dir / "out/song.mp3").substr(0, 59),
              "codec_name=mp3|sample_rate=44100|channels=2|bit_rate=320000");
}

TEST_F(CliEncode, Mp3From8BitInputKeepsTheTone) {
    auto in8 = Dir / "eight.wav";
    auto r =
        RunCommand("sox -n -r 44100 -c 2 -b 8 -e unsigned " + Q(in8) + " synth 2 sine 440 vol 0.5");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    In = in8;
    r = Convert("--to mp3");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    auto stat = RunCommand("ffmpeg -v error -i " + Q(Dir / "out/eight.mp3") +
                           " -f wav - | sox -t wav - -n remix 1 stat 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(stat.Output, m, std::regex("Rough\\s+frequency:\\s+([0-9]+)")))
        << stat.Output;
    EXPECT_NEAR(std::stol(m[1]), 440, 10);
    ASSERT_TRUE(std::regex_search(stat.Output, m, std::regex("Maximum amplitude:\\s+([0-9.]+)")));
    EXPECT_NEAR(std::stod(m[1]), 0.5, 0.05);
}

TEST_F(CliEncode, OggBitrateModeAndDiscFields) {
    Settings("[OggOptions]\nIsUseCompress=0\nMaxBitRate=0\nNomalBitRate=8\nMinBitRate=4\n");
    auto r = Convert("--to ogg --artist 'Ärtist' --album Album --year 1997 --genre Jazz "
                     "--comment 'Live take'");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    auto file = Dir / "out/song.ogg";
    auto info = RunCommand("ogginfo " + Q(file));
    EXPECT_EQ(info.ExitCode, 0) << info.Output;
    EXPECT_NE(info.Output.find("Nominal bitrate: 128.000000 kb/s"), std::string::npos);
    EXPECT_NE(info.Output.find("Lower bitrate: 64.000000 kb/s"), std::string::npos);
    EXPECT_EQ(RunCommand("vorbiscomment -l " + Q(file)).Output,
              "ALBUM=Album\nARTIST=Ärtist\nCOMMENT=Live take\nDATE=1997\nGENRE=Jazz\n"
              "REPLAYGAIN_TRACK_GAIN=-11.99 dB\nREPLAYGAIN_TRACK_PEAK=0.500031\n");
}

TEST_F(CliEncode, FlacIsLosslessAndTagged) {
    Settings("[FLACOptions]\nCompression=8\n");
    auto r = Convert("--to flac --artist A --comment C");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    auto file = Dir / "out/song.flac";
    EXPECT_EQ(RunCommand("flac -t -s " + Q(file)).ExitCode, 0);
    EXPECT_EQ(
        RunCommand("metaflac --export-tags-to=- " + Q(file)).Output,
        "ARTIST=A\nCOMMENT=C\nREPLAYGAIN_TRACK_GAIN=-11.99 dB\nREPLAYGAIN_TRACK_PEAK=0.500031\n");
    auto a = RunCommand("ffmpeg -v error -i " + Q(file) + " -f s16le - | md5sum").Output;
    auto b = RunCommand("ffmpeg -v error -i " + Q(In) + " -f s16le - | md5sum").Output;
    EXPECT_EQ(a, b);
}

TEST_F(CliEncode, ResampleToHalfRateMono8Bit) {
    auto r = Convert("--to resample --rate 22050 --channels 1 --bits 8");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    auto file = Dir / "out/song.wav";
    EXPECT_EQ(Probe(file), "codec_name=pcm_u8|sample_rate=22050|channels=1|bit_rate=176400\n");
    auto stat = RunCommand("sox " + Q(file) + " -n stat 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(stat.Output, m, std::regex("Samples read:\\s+([0-9]+)")));
    EXPECT_EQ(std::stol(m[1]), 22050 * 3);
    ASSERT_TRUE(std::regex_search(stat.Output, m, std::regex("Rough\\s+frequency:\\s+([0-9]+)")));
    EXPECT_NEAR(std::stol(m[1]), 1000, 10);
}

// WAV files as sox and FFmpeg write them (24-bit and multichannel ones with the extensible
// header) convert bit-exactly: flac decodes our output to the bytes sox reads from the input.
// Outputs that cannot take more than two channels mix them down as FFmpeg does.
TEST_F(CliEncode, WavFilesFromOtherTools) {
    struct Case {
        std::string Make, To, Error;
    };
    std::vector<Case> cases = {
        {"sox -n -r 44100 -c 2 -b 24 IN synth 2 sine 440 vol 0.5", "flac", ""},
        {"sox -n -r 48000 -c 6 -b 16 IN synth 1 sine 300 vol 0.5", "flac", ""},
        {"ffmpeg -v error -f lavfi -i sine=f=500:d=1 -ac 6 -c:a pcm_s24le IN", "flac", ""},
        // Mixed down as FFmpeg mixes, the file's line saying so.
        {"sox -n -r 44100 -c 6 -b 24 IN synth 1 sine 300 sine 500 sine 700 sine 60 vol 0.5", "ape",
         ""},
        {"sox -n -r 44100 -c 6 -b 24 IN synth 1 sine 300 vol 0.5", "resample --channels 2",
         "Channel conversion takes mono or stereo input."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Make + " to " + c.To);
        bwtest::TempDir dir;
        In = dir / "in.wav";
        std::string make = c.Make;
        make.replace(make.find("IN"), 2, Q(In));
        auto made = RunCommand(make);
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        std::filesystem::remove_all(Dir / "out");
        auto r = Convert("--to " + c.To + (c.To.rfind("resample", 0) == 0 ? " --rate 22050" : ""));
        std::string ext = c.To == "flac" || c.To == "ape" ? c.To : "wav";
        auto out = Dir / "out" / ("in." + ext);
        if (!c.Error.empty()) {
            EXPECT_NE(r.ExitCode, 0);
            EXPECT_NE(r.Output.find(c.Error), std::string::npos) << r.Output;
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        if (c.To == "ape") {
            EXPECT_NE(r.Output.find("(downmixed 6 channels to stereo)"), std::string::npos);
            EXPECT_EQ(
                RunCommand("ffmpeg -v error -i " + Q(out) + " -f s24le - | md5sum").Output,
                RunCommand("ffmpeg -v error -i " + Q(In) + " -ac 2 -f s24le - | md5sum").Output);
            continue;
        }
        auto decoded = RunCommand("flac -d -s -c --force-raw-format --endian=little "
                                  "--sign=signed " +
                                  Q(out) + " | md5sum");
        auto source = RunCommand("sox " + Q(In) + " -t raw - | md5sum");
        EXPECT_EQ(decoded.Output, source.Output);
    }
}

TEST_F(CliEncode, BadResampleOptionsAreUsageErrors) {
    EXPECT_EQ(Convert("--to resample --rate 2000").ExitCode, 2);
    EXPECT_EQ(Convert("--to resample --channels 3").ExitCode, 2);
    EXPECT_EQ(Convert("--to resample --bits 12").ExitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(Dir / "out/song.wav"));
}

} // namespace
