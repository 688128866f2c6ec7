// The Opus sink, judged by opusinfo, FFmpeg's decoder and mutagen's reading of the tags.
#include "OpusOut.h"
#include "CodecTestSupport.h"

#include "FileShare.h"
#include "FullStream.h"
#include "Global.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstdlib>
#include <regex>

namespace bw {
namespace {

using namespace bwtest;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

// opusinfo's report; any complaint fails the test.
std::string OpusInfo(const std::filesystem::path& file) {
    auto r = RunCommand("opusinfo " + Quoted(file));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_THAT(r.Output, Not(AnyOf(HasSubstr("WARNING"), HasSubstr("ERROR"))));
    return r.Output;
}

// The input's samples as floats, interleaved.
std::vector<double> Samples(const std::vector<std::uint8_t>& pcm, int bits) {
    std::vector<double> out;
    for (std::size_t i = 0; i + bits / 8 <= pcm.size(); i += bits / 8) {
        if (bits == 8) out.push_back((pcm[i] - 128) / 128.0);
        if (bits == 16) out.push_back(std::int16_t(pcm[i] | pcm[i + 1] << 8) / 32768.0);
        if (bits == 24) {
            const int v = pcm[i] | pcm[i + 1] << 8 | pcm[i + 2] << 16;
            out.push_back(((v ^ 0x800000) - 0x800000) / 8388608.0);
        }
    }
    return out;
}

// The normalised correlation of two signals over their common length.
double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

std::string Encode(TOpusOut& out, const std::filesystem::path& file,
                   const std::vector<std::uint8_t>& pcm, int bits, int channels, int rate) {
    // Pulls of an odd size split samples and frames between pulls.
    TPcmSource source(bits, channels, rate, pcm, 1001);
    out.SetFileName(file);
    return RunOutput(out, source);
}

TEST(OpusOut, AnyRateAndWidthDecodesToTheInputLengthAndSignal) {
    TempDir dir;
    struct {
        int Rate, Channels, Bits;
        std::size_t Frames;
    } cases[] = {{44100, 2, 16, 44100 * 2 + 333},
                 {22050, 1, 16, 30011},
                 {44100, 2, 8, 40000},
                 {44100, 2, 24, 25001},
                 {48000, 1, 24, 48000},
                 {96000, 2, 16, 50000},
                 {8000, 1, 8, 9000}};
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.Rate) + " Hz " + std::to_string(c.Bits) +
                                 " bit " + std::to_string(c.Channels) + " ch";
        SCOPED_TRACE(name);
        const auto file = dir / (name + ".opus");
        const auto pcm = Music(c.Bits, c.Channels, c.Rate, c.Frames);
        TOpusOut out;
        ASSERT_EQ(Encode(out, file, pcm, c.Bits, c.Channels, c.Rate), "");
        OpusInfo(file);
        EXPECT_EQ(ProbeAudio(file, "stream=codec_name,channels"),
                  "codec_name=opus\nchannels=" + std::to_string(c.Channels) + "\n");
        // Decoded at 48 kHz, its length is the input's within one 20 ms frame.
        const auto decoded = FFmpegDecode(file);
        const double expected = double(c.Frames) * 48000 / c.Rate;
        const double got = double(decoded.size()) / 2 / c.Channels;
        EXPECT_NEAR(got, expected, 960.0);
        // Back at the input's rate, it is the input's signal (not noise from a wrong reading
        // of the samples).
        const auto back = FFmpegDecode(file, "-ar " + std::to_string(c.Rate));
        EXPECT_GT(Correlation(Samples(pcm, c.Bits), Samples(back, 16)), 0.9);
    }
}

TEST(OpusOut, TagsReachMutagenWholeAndAreClearedAfterTheRun) {
    // Debian's mutagen, whichever python3 comes first on the path.
    if (std::system("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") != 0)
        GTEST_SKIP() << "mutagen";
    TempDir dir;
    const auto file = dir / "tags.opus";
    TOpusOut out;
    TVorbisTags& tags = out.Comments();
    tags.SetTitle("Ünïcödé 東京");
    tags.SetArtist("Ärtist = ☃");
    tags.SetAlbum("Album\nwith a line break");
    tags.SetDate("1999");
    tags.SetGenre("Jazz");
    tags.SetTrack("7");
    ASSERT_EQ(Encode(out, file, Music(16, 2, 44100, 20000), 16, 2, 44100), "");
    OpusInfo(file);
    auto r =
        RunCommand("/usr/bin/python3 -c 'import sys, mutagen.oggopus; f = mutagen.oggopus.OggOpus("
                   "sys.argv[1]); [print(k + \"=\" + repr(v)) for k, v in sorted(f.tags)]' " +
                   Quoted(file));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "ALBUM='Album\\nwith a line break'\n"
                        "ARTIST='Ärtist = ☃'\n"
                        "DATE='1999'\n"
                        "GENRE='Jazz'\n"
                        "TITLE='Ünïcödé 東京'\n"
                        "TRACKNUMBER='7'\n");
    EXPECT_TRUE(out.Comments().Title().empty());
}

// opusinfo's average bitrate of the audio packets in kbit/s.
double AverageBitrate(const std::string& info) {
    std::smatch m;
    if (!std::regex_search(info, m, std::regex(R"(w/o overhead: ([0-9.]+) kbit/s)"))) return -1;
    return std::stod(m[1]);
}

TEST(OpusOut, BitrateModeAndComplexityReachTheLibrary) {
    TempDir dir;
    const auto pcm = Music(16, 2, 48000, 48000 * 4);
    struct {
        int Bitrate;
        TOpusMode Mode;
        int Complexity;
        double Low, High; // the average bitrate opusinfo reports
    } cases[] = {{64, TOpusMode::omCBR, 10, 63, 65},
                 {256, TOpusMode::omCBR, 10, 254, 258},
                 {6, TOpusMode::omCBR, 10, 5, 9},
                 {512, TOpusMode::omCBR, 0, 480, 520},
                 {96, TOpusMode::omConstrainedVBR, 5, 80, 105},
                 {128, TOpusMode::omVBR, 10, 90, 180}};
    std::vector<std::vector<std::uint8_t>> files;
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.Bitrate) + " kbps mode " +
                                 std::to_string(int(c.Mode)) + " complexity " +
                                 std::to_string(c.Complexity);
        SCOPED_TRACE(name);
        const auto file = dir / (name + ".opus");
        TOpusOut out;
        out.Bitrate = c.Bitrate;
        out.Mode = c.Mode;
        out.Complexity = c.Complexity;
        ASSERT_EQ(Encode(out, file, pcm, 16, 2, 48000), "");
        const std::string info = OpusInfo(file);
        const double average = AverageBitrate(info);
        EXPECT_GE(average, c.Low) << info;
        EXPECT_LE(average, c.High) << info;
        EXPECT_EQ(info.find("(hard-CBR)") != std::string::npos, c.Mode == TOpusMode::omCBR);
    }
    // Complexity changes what the encoder does at one bitrate (the files differ anyway, in
    // their random stream serials: the decoded audio tells).
    for (int complexity : {0, 10}) {
        TOpusOut out;
        out.Complexity = complexity;
        ASSERT_EQ(Encode(out, dir / "c.opus", pcm, 16, 2, 48000), "");
        files.push_back(FFmpegDecode(dir / "c.opus"));
    }
    EXPECT_NE(files[0], files[1]);
}

TEST(OpusOut, FailuresNameTheCauseAndLeaveNothingOpen) {
    TempDir dir;
    struct {
        const char* Name;
        int Bitrate, Complexity, Mode, Channels;
        std::filesystem::path File;
        std::string Error;
    } cases[] = {
        {"bitrate too low", 5, 10, 0, 2, dir / "a.opus",
         "Opus encoder setup with the requested bitrate failed. Choose 6 to 512 kbit/s."},
        {"bitrate too high", 513, 10, 0, 2, dir / "a.opus",
         "Opus encoder setup with the requested bitrate failed. Choose 6 to 512 kbit/s."},
        {"complexity 11", 128, 11, 0, 2, dir / "a.opus",
         "Opus encoder setup with the requested complexity failed. Choose 0 to 10."},
        {"complexity -1", 128, -1, 0, 2, dir / "a.opus",
         "Opus encoder setup with the requested complexity failed. Choose 0 to 10."},
        {"unknown mode", 128, 10, 3, 2, dir / "a.opus",
         "Opus encoder setup with the requested mode failed."},
        {"nine channels", 128, 10, 0, 9, dir / "b.opus",
         "Opus encoder setup failed: unsupported channel count."},
        {"missing folder", 128, 10, 0, 2, dir / "none" / "a.opus", "Cannot create file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TOpusOut out;
        out.Bitrate = c.Bitrate;
        out.Complexity = c.Complexity;
        out.Mode = static_cast<TOpusMode>(c.Mode);
        TPcmSource source(16, c.Channels, 44100, Music(16, c.Channels, 44100, 30000));
        out.SetFileName(c.File);
        EXPECT_EQ(RunOutput(out, source).substr(0, c.Error.size()), c.Error);
        EXPECT_FALSE(source.Busy());
        EXPECT_FALSE(out.Busy());
        EXPECT_FALSE(IsFileLocked(c.File.string()));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.opus")); // settings are checked first

    // A disk that fills halfway: the stream's own message.
    TFullStream full(20000);
    TOpusOut onFull;
    onFull.SetStream(&full);
    TPcmSource long_(16, 2, 44100, Music(16, 2, 44100, 44100 * 3));
    EXPECT_EQ(RunOutput(onFull, long_).substr(0, 15), "Cannot write to");
    EXPECT_FALSE(long_.Busy());

    // A read failure halfway, then a normal run of the same output.
    const auto file = dir / "cut.opus";
    TOpusOut out;
    TFailingSource failing(Music(16, 2, 44100, 44100), 50000);
    out.SetFileName(file);
    EXPECT_EQ(RunOutput(out, failing), "read error");
    EXPECT_FALSE(failing.Busy());
    EXPECT_FALSE(IsFileLocked(file.string()));
    TPcmSource good(16, 2, 44100, Music(16, 2, 44100, 3000));
    EXPECT_EQ(RunOutput(out, good), "");
    OpusInfo(file);
}

TEST(OpusLibraryLoad, MissingLibraryRefusesTheOutput) {
    auto& binding = OpusEncLibrary();
    binding.Unload();
    binding.SetFileName("libopusenc-absent.so.0");
    binding.Load();
    try {
        TOpusOut out;
        ADD_FAILURE() << "constructed without the library";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libopusenc-absent.so.0 library could not be loaded.");
    }
    binding.SetFileName("libopusenc.so.0");
    EXPECT_TRUE(binding.Load());
}

} // namespace
} // namespace bw
