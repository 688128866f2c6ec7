// The WMA sink, checked with ffprobe and FFmpeg's decoder.
#include "WMAOut.h"
#include "CodecTestSupport.h"

#include "ApplyOptions.h"
#include "Global.h"

namespace bw {
namespace {

using namespace bwtest;

TEST(WMAOut, CodecAndFormatListsForTheOptionsDialog) {
    TWMAOut out;
    ASSERT_EQ(out.Codecs(),
              (std::vector<std::string>{"Windows Media Audio 2", "Windows Media Audio 1"}));
    EXPECT_EQ(out.Formats(0).at(29), "128 kbit/s, 44 kHz, stereo CBR");
    EXPECT_EQ(out.Formats(1).at(29), "128 kbit/s, 44 kHz, stereo CBR");
    EXPECT_TRUE(out.Formats(2).empty());
    EXPECT_TRUE(out.Formats(-1).empty());
    // The encoders have no VBR or lossless formats.
    out.VBR = true;
    EXPECT_TRUE(out.Formats(0).empty());
    out.VBR = false;
    out.Lossless = true;
    EXPECT_TRUE(out.Formats(0).empty());
    out.Lossless = false;
    EXPECT_FALSE(out.Formats(0).empty());
}

struct TEncodeCase {
    const char* Name;
    int CodecIndex; // -1: the search
    std::uint32_t FormatIndex;
    std::uint32_t DesiredBitrate;
    int Bits, Channels, Rate; // of the input
    const char* Codec;
    int OutRate, OutChannels, OutBitrate;
};

// ffprobe sees the chosen codec and format; FFmpeg decodes as many frames as went in, give
// or take the codec's frame and delay.
TEST(WMAOut, FilesCarryTheChosenFormatAndDecodeToTheInputLength) {
    const TEncodeCase cases[] = {
        {"default format", 0, 29, 0, 16, 2, 44100, "wmav2", 44100, 2, 128000},
        {"version 1", 1, 29, 0, 16, 2, 44100, "wmav1", 44100, 2, 128000},
        {"first format", 0, 0, 0, 16, 2, 44100, "wmav2", 48000, 2, 320000},
        {"search 256 is kbit/s", -1, 0, 256, 16, 2, 44100, "wmav2", 48000, 2, 256000},
        {"search 320000 is bit/s", -1, 0, 320000, 16, 2, 44100, "wmav2", 48000, 2, 320000},
        // The first format of the nearest bitrate and a rate at least as near wins.
        {"search mono", -1, 0, 64000, 16, 1, 22050, "wmav2", 44100, 1, 64000},
        {"8-bit mono to stereo", 0, 29, 0, 8, 1, 44100, "wmav2", 44100, 2, 128000},
        {"24-bit 48 kHz resampled", 0, 29, 0, 24, 2, 48000, "wmav2", 44100, 2, 128000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        auto file = dir / "out.wma";
        const std::size_t frames = c.Rate * 2 + 777;
        TPcmSource source(c.Bits, c.Channels, c.Rate, Music(c.Bits, c.Channels, c.Rate, frames),
                          3000 * c.Channels);
        TWMAOut out;
        out.CodecIndex = c.CodecIndex;
        out.FormatIndex = c.FormatIndex;
        out.DesiredBitrate = c.DesiredBitrate;
        out.SetFileName(file);
        ASSERT_EQ(RunOutput(out, source), "");
        EXPECT_EQ(ProbeAudio(file, "stream=codec_name,sample_rate,channels,bit_rate"),
                  std::string("codec_name=") + c.Codec + "\nsample_rate=" +
                      std::to_string(c.OutRate) + "\nchannels=" + std::to_string(c.OutChannels) +
                      "\nbit_rate=" + std::to_string(c.OutBitrate) + "\n");
        double expected = double(frames) * c.OutRate / c.Rate;
        double decoded = double(FFmpegDecode(file).size()) / 2 / c.OutChannels;
        // Nothing is lost; the last frame is completed with silence and one more follows.
        EXPECT_GE(decoded, expected);
        EXPECT_LE(decoded, expected + 2 * 2048 + 64);
    }
}

TEST(WMAOut, TagsBecomeAttributesOtherPlayersRead) {
    TempDir dir;
    auto file = dir / "tags.wma";
    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 44100));
    TWMAOut out;
    out.CodecIndex = 0;
    out.FormatIndex = 29;
    out.SetFileName(file);
    TId3v2Tags tags;
    tags.SetTitle("Título ☃");
    tags.SetArtist("Artist");
    tags.SetAlbum("Album");
    tags.SetYear("1999");
    tags.SetGenre("Rock");
    tags.SetTrack("7");
    tags.SetComment("(c) Someone");
    out.SetId3v2Tags(tags);
    ASSERT_EQ(RunOutput(out, source), "");
    std::string probed = RunCommand("ffprobe -v error -show_entries format_tags -of "
                                    "default=noprint_wrappers=1 " +
                                    Quoted(file))
                             .Output;
    for (const char* line :
         {"TAG:title=Título ☃", "TAG:artist=Artist", "TAG:album=Album", "TAG:WM/Year=1999",
          "TAG:genre=Rock", "TAG:track=7", "TAG:copyright=(c) Someone"})
        EXPECT_NE(probed.find(std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                            << probed;

    // An empty value writes no attribute.
    auto bare = dir / "bare.wma";
    tags.SetGenre("");
    tags.SetComment("");
    out.SetId3v2Tags(tags);
    out.SetFileName(bare);
    ASSERT_EQ(RunOutput(out, source), "");
    probed =
        RunCommand("ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " +
                   Quoted(bare))
            .Output;
    EXPECT_EQ(probed.find("genre"), std::string::npos) << probed;
    EXPECT_EQ(probed.find("copyright"), std::string::npos) << probed;
    EXPECT_NE(probed.find("TAG:artist=Artist"), std::string::npos) << probed;
}

TEST(WMAOut, BlocksOf80MillisecondsAdvanceTheTime) {
    TempDir dir;
    TWMAOut out;
    out.CodecIndex = 0;
    out.FormatIndex = 29;
    // 14112 bytes of 16-bit stereo at 44100 Hz are 80 ms: 800 000 units of 100 ns each.
    TPcmSource three(16, 2, 44100, Music(16, 2, 44100, 3 * 14112 / 4));
    out.SetFileName(dir / "three.wma");
    ASSERT_EQ(RunOutput(out, three), "");
    EXPECT_EQ(out.RunningTime(), 3 * 800000);
    // An empty input gives a complete file with nothing in it.
    TPcmSource empty(16, 2, 44100, {});
    out.SetFileName(dir / "empty.wma");
    ASSERT_EQ(RunOutput(out, empty), "");
    EXPECT_EQ(out.RunningTime(), 0);
    EXPECT_EQ(ProbeAudio(dir / "empty.wma", "stream=codec_name"), "codec_name=wmav2\n");
    EXPECT_TRUE(FFmpegDecode(dir / "empty.wma").empty());
}

TEST(WMAOut, RunsThatCannotGiveAGoodFileFailWithAMessage) {
    struct TCase {
        const char* Name;
        int CodecIndex;
        std::uint32_t FormatIndex;
        bool Vbr, Lossless;
        int Bits;
        const char* Message;
    } cases[] = {
        {"vbr by index", 0, 0, true, false, 16, "The WMA encoders have no VBR or lossless formats"},
        {"lossless by index", 0, 0, false, true, 16,
         "The WMA encoders have no VBR or lossless formats"},
        {"vbr search", -1, 0, true, false, 16, "Failed to init codec"},
        {"lossless search", -1, 0, false, true, 16, "Failed to init codec"},
        {"codec beyond the list", 2, 0, false, false, 16, "Failed to init codec"},
        {"format beyond the list", 0, 100000, false, false, 16, "Failed to init codec"},
        {"search for 8-bit input", -1, 0, false, false, 8, "Failed to init codec"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        TPcmSource source(c.Bits, 2, 44100, Music(c.Bits, 2, 44100, 4410));
        TWMAOut out;
        out.CodecIndex = c.CodecIndex;
        out.FormatIndex = c.FormatIndex;
        out.VBR = c.Vbr;
        out.Lossless = c.Lossless;
        out.DesiredBitrate = 128;
        out.SetFileName(dir / "out.wma");
        EXPECT_EQ(RunOutput(out, source), c.Message);
        EXPECT_FALSE(source.Busy());
    }
    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 4410));
    TWMAOut out;
    out.CodecIndex = 0;
    EXPECT_EQ(RunOutput(out, source), "File name is not assigned.");
    TempDir dir;
    out.SetFileName(dir / "no such folder" / "out.wma");
    EXPECT_EQ(RunOutput(out, source).rfind("Cannot create file", 0), 0u);
}

TEST(WMAOut, ApplyWMAOptionsCopiesCodecFormatAndVbr) {
    TAppSettings saved = Settings;
    Settings.CodecIndex = 1;
    Settings.FormatIndex = 12;
    Settings.WMAVBR = true;
    TWMAOut out;
    out.DesiredBitrate = 96;
    ApplyWMAOptions(out);
    EXPECT_EQ(out.CodecIndex, 1);
    EXPECT_EQ(out.FormatIndex, 12u);
    EXPECT_FALSE(out.VBR); // FFmpeg's encoders have no VBR formats: their CBR ones serve
    EXPECT_EQ(out.DesiredBitrate, 96u);
    EXPECT_FALSE(out.Lossless);
    Settings = saved;
}

} // namespace
} // namespace bw
