// The MP3 sink, checked with ffprobe and ffmpeg.
#include "MP3Out.h"
#include "CodecTestSupport.h"

#include "FileShare.h"

#include <regex>
#include <set>

namespace bw {
namespace {

using namespace bwtest;

std::string Q(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

std::string Probe(const std::filesystem::path& file, const std::string& entries) {
    auto r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries " + entries +
                        " -of default=noprint_wrappers=1 " + Q(file));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.Output;
}

// Samples per channel that FFmpeg decodes.
std::size_t DecodedFrames(const std::filesystem::path& file, int channels) {
    auto raw = file.string() + ".raw";
    auto r = RunCommand("ffmpeg -v error -y -i " + Q(file) + " -f s16le " + ShellQuote(raw));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return ReadFileBytes(raw).size() / 2 / channels;
}

std::string Encode(TMP3Out& out, const std::filesystem::path& file, int channels, int rate,
                   std::size_t frames) {
    TPcmSource source(16, channels, rate, Music(16, channels, rate, frames), 4096 * channels);
    out.SetFileName(file);
    return RunOutput(out, source);
}

TEST(MP3Out, ConstantBitrateStereo) {
    TempDir dir;
    auto file = dir / "cbr.mp3";
    TMP3Out out;
    out.BitRate = TMP3BitRate::br192;
    const std::size_t frames = 44100 * 3 + 100;
    ASSERT_EQ(Encode(out, file, 2, 44100, frames), "");
    EXPECT_EQ(Probe(file, "stream=codec_name,sample_rate,channels,bit_rate"),
              "codec_name=mp3\nsample_rate=44100\nchannels=2\nbit_rate=192000\n");
    // The Info frame carries the encoder's delay and padding, so FFmpeg gives back exactly
    // the input's length.
    EXPECT_EQ(DecodedFrames(file, 2), frames);
    auto info = ReadFileBytes(file);
    EXPECT_NE(std::string(info.begin(), info.begin() + 64).find("Info"), std::string::npos);
    // The library's own tag stays empty: no ID3v1 block at the end.
    auto bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 128u);
    EXPECT_NE(std::string(bytes.end() - 128, bytes.end() - 125), "TAG");
}

TEST(MP3Out, VariableBitrateWithHeaderFrame) {
    TempDir dir;
    auto file = dir / "vbr.mp3";
    TMP3Out out;
    out.EnableVBR = true;
    out.WriteVBRHeader = true;
    out.VBRQuality = TMP3Quality::ql2;
    out.VBRMinBitrate = 32;
    out.VBRMaxBitrate = 320;
    ASSERT_EQ(Encode(out, file, 2, 44100, 44100 * 4), "");
    auto bytes = ReadFileBytes(file);
    std::string head(bytes.begin(), bytes.begin() + 200);
    EXPECT_NE(head.find("Xing"), std::string::npos);
    // Frames of many sizes: the bitrate varies.
    auto packets = RunCommand("ffprobe -v error -show_entries packet=size -of csv=p=0 " + Q(file));
    std::set<std::string> sizes;
    std::istringstream lines(packets.Output);
    for (std::string line; std::getline(lines, line);)
        sizes.insert(line);
    EXPECT_GT(sizes.size(), 3u);
    // FFmpeg reads the frame count from the header frame.
    auto duration = Probe(file, "stream=duration");
    EXPECT_NE(duration.find("duration=4.0"), std::string::npos) << duration;
}

TEST(MP3Out, MonoInputIsEncodedAsMonoMode) {
    TempDir dir;
    auto file = dir / "mono.mp3";
    TMP3Out out;
    out.Mode = TMP3Mode::JOINT_STEREO; // ignored for one channel
    const std::size_t frames = 44100 * 2;
    ASSERT_EQ(Encode(out, file, 1, 44100, frames), "");
    EXPECT_EQ(Probe(file, "stream=channels,bit_rate"), "channels=1\nbit_rate=128000\n");
    auto bytes = ReadFileBytes(file);
    // The channel-mode bits of the first frame header: 3 (single channel).
    std::size_t at = 0;
    while (at + 4 < bytes.size() && !(bytes[at] == 0xFF && (bytes[at + 1] & 0xE0) == 0xE0))
        ++at;
    ASSERT_LT(at + 4, bytes.size());
    EXPECT_EQ(bytes[at + 3] >> 6, 3);
    EXPECT_EQ(DecodedFrames(file, 1), frames);
}

TEST(MP3Out, LowInputRatesGo32kHz) {
    TempDir dir;
    auto file = dir / "low.mp3";
    TMP3Out out;
    out.SampleRate = TMP3SampleRate::sr48kHz; // overruled below 41000 Hz
    ASSERT_EQ(Encode(out, file, 2, 22050, 22050), "");
    EXPECT_EQ(Probe(file, "stream=sample_rate"), "sample_rate=32000\n");
}

// Low-rate input at a high bitrate: a block becomes several times as many 32 kHz frames,
// which must fit the output buffer. Input of more than two channels is refused by name.
TEST(MP3Out, LowRatesAtHighBitratesAndChannelCounts) {
    struct Case {
        int Channels, Rate;
        TMP3BitRate BitRate;
        const char* Error;
    };
    for (const Case& c :
         {Case{1, 8000, TMP3BitRate::br192, ""}, Case{1, 11025, TMP3BitRate::br320, ""},
          Case{2, 8000, TMP3BitRate::br320, ""},
          Case{6, 44100, TMP3BitRate::br128, "MP3 output takes mono or stereo input."}}) {
        SCOPED_TRACE(std::to_string(c.Channels) + " channels at " + std::to_string(c.Rate));
        TempDir dir;
        auto file = dir / "out.mp3";
        TMP3Out out;
        out.BitRate = c.BitRate;
        const std::size_t frames = std::size_t(c.Rate) * 3;
        ASSERT_EQ(Encode(out, file, c.Channels, c.Rate, frames), c.Error);
        if (*c.Error) continue;
        EXPECT_EQ(Probe(file, "stream=sample_rate"), "sample_rate=32000\n");
        // FFmpeg gives back the whole length at the output rate.
        EXPECT_NEAR(double(DecodedFrames(file, c.Channels)), frames * 32000.0 / c.Rate, 2);
    }
}

TEST(MP3Out, ParameterMapping) {
    TMP3Out out;
    auto p = out.MakeLameParams(2, 44100, 16, 4000);
    ASSERT_TRUE(p.NumSamples.has_value());
    EXPECT_EQ(*p.NumSamples, 1000u);
    EXPECT_EQ(p.OutSampleRate, 0);
    EXPECT_EQ(p.NumChannels, 2);
    EXPECT_EQ(p.BitRateKbps, 128);
    EXPECT_EQ(p.Quality, 5);
    EXPECT_EQ(p.Original, 1);
    EXPECT_FALSE(p.VBR);
    EXPECT_FALSE(out.MakeLameParams(2, 44100, 16, -1).NumSamples.has_value());
    out.SampleRate = TMP3SampleRate::sr48kHz;
    EXPECT_EQ(out.MakeLameParams(2, 44100, 16, 0).OutSampleRate, 48000);
    out.SampleRate = TMP3SampleRate::sr41kHz;
    EXPECT_EQ(out.MakeLameParams(2, 44100, 16, 0).OutSampleRate, 44100);
    EXPECT_EQ(out.MakeLameParams(2, 22050, 16, 0).OutSampleRate, 32000);
    EXPECT_EQ(out.MakeLameParams(1, 44100, 16, 0).Mode, 3);

    // CBR: the VBR header request is not passed, whatever WriteVBRHeader says.
    out.WriteVBRHeader = true;
    EXPECT_FALSE(out.MakeLameParams(2, 44100, 16, 0).WriteVbrTag);

    out.EnableVBR = true;
    out.VBRMinBitrate = 192;
    out.VBRMaxBitrate = 128;
    p = out.MakeLameParams(2, 44100, 16, 0);
    EXPECT_TRUE(p.VBR);
    EXPECT_TRUE(p.WriteVbrTag);
    EXPECT_EQ(p.VBRMinKbps, 128);
    EXPECT_EQ(p.VBRMaxKbps, 192);
    EXPECT_EQ(out.VBRMinBitrate, 128);
    EXPECT_EQ(out.VBRMaxBitrate, 192);
}

TEST(MP3Out, EmptyInputAndFailures) {
    TempDir dir;
    auto file = dir / "empty.mp3";
    TMP3Out out;
    ASSERT_EQ(Encode(out, file, 2, 44100, 0), "");
    EXPECT_TRUE(std::filesystem::exists(file));

    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 100));
    TMP3Out unnamed;
    EXPECT_EQ(RunOutput(unnamed, source), "File name is not assigned.");

    auto cut = dir / "cut.mp3";
    TFailingSource failing(Music(16, 2, 44100, 44100), 60000);
    out.SetFileName(cut);
    EXPECT_EQ(RunOutput(out, failing), "read error");
    EXPECT_FALSE(failing.Busy());
    EXPECT_FALSE(IsFileLocked(cut.string()));
}

TEST(MP3LibraryLoad, MissingLibraryRefusesTheOutput) {
    auto& binding = LameLibrary();
    ASSERT_FALSE(LameLoaded()); // no MP3 output alive
    binding.SetFileName("libmp3lame-absent.so.0");
    try {
        TMP3Out out;
        ADD_FAILURE() << "constructed without the library";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libmp3lame-absent.so.0 library could not be loaded.");
    }
    binding.SetFileName("libmp3lame.so.0");
    TMP3Out out;
    EXPECT_TRUE(LameLoaded());
}

} // namespace
} // namespace bw
