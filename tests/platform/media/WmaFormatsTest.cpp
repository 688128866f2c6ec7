// The WMA codec and format lists, and the format search over them.
#include "WmaFormats.h"

#include <gtest/gtest.h>

#include <set>

namespace bw::media {
namespace {

TEST(WmaFormats, CodecsBestFirstWithTheDefaultFormatAt29) {
    const auto& codecs = WmaCodecs();
    ASSERT_EQ(codecs.size(), 2u);
    EXPECT_EQ(codecs[0].Name, "Windows Media Audio 2");
    EXPECT_EQ(codecs[0].Encoder, "wmav2");
    EXPECT_EQ(codecs[1].Name, "Windows Media Audio 1");
    for (const auto& codec : codecs) {
        SCOPED_TRACE(codec.Name);
        ASSERT_GT(codec.Formats.size(), 29u);
        EXPECT_EQ(codec.Formats[0].Description, "320 kbit/s, 48 kHz, stereo CBR");
        const TWmaFormat& standard = codec.Formats[29];
        EXPECT_EQ(standard.Description, "128 kbit/s, 44 kHz, stereo CBR");
        EXPECT_EQ(standard.Bitrate, 128000);
        EXPECT_EQ(standard.SampleRate, 44100);
        EXPECT_EQ(standard.Channels, 2);
        EXPECT_EQ(codec.Formats.back().Description, "24 kbit/s, 8 kHz, mono CBR");
        EXPECT_FALSE(codec.HasVbrFormats);
        // Sample rate falls, stereo before mono, bitrate falls; no entry twice.
        std::set<std::string> seen;
        for (std::size_t i = 0; i < codec.Formats.size(); ++i) {
            const auto& f = codec.Formats[i];
            EXPECT_TRUE(seen.insert(f.Description).second) << f.Description;
            EXPECT_EQ(f.Description, WmaFormatDescription(f.Bitrate, f.SampleRate, f.Channels));
            EXPECT_LE(f.Bitrate, 6 * f.SampleRate * f.Channels) << f.Description;
            EXPECT_FALSE(f.Lossless);
            if (i == 0) continue;
            const auto& p = codec.Formats[i - 1];
            auto key = [](const TWmaFormat& x) {
                return std::tuple(-x.SampleRate, -x.Channels, -x.Bitrate);
            };
            EXPECT_LT(key(p), key(f)) << p.Description << " before " << f.Description;
        }
    }
}

TEST(WmaFormats, Descriptions) {
    EXPECT_EQ(WmaFormatDescription(128000, 44100, 2), "128 kbit/s, 44 kHz, stereo CBR");
    EXPECT_EQ(WmaFormatDescription(32000, 22050, 1), "32 kbit/s, 22 kHz, mono CBR");
    EXPECT_EQ(WmaFormatDescription(48000, 11025, 1), "48 kbit/s, 11 kHz, mono CBR");
}

// A hand-made list, so that the search's rules are checked one by one.
std::vector<TWmaCodec> TestCodecs() {
    auto f = [](int kbps, int rate, int channels, int quality = 0, bool lossless = false,
                int bits = 16) {
        TWmaFormat format;
        format.Bitrate = kbps * 1000;
        format.SampleRate = rate;
        format.Channels = channels;
        format.VbrQuality = quality;
        format.Lossless = lossless;
        format.BitsPerSample = bits;
        return format;
    };
    TWmaCodec cbr{"cbr",
                  "wmav2",
                  false,
                  {f(320, 48000, 2), f(128, 48000, 2), f(128, 44100, 1), f(128, 44100, 2),
                   f(96, 44100, 2), f(128, 32000, 2)}};
    TWmaCodec vbr{"vbr",
                  "x",
                  true,
                  {f(0, 44100, 1, 50), f(0, 44100, 1, 90), f(0, 44100, 2, 75),
                   f(0, 44100, 2, 98, true, 24), f(0, 48000, 2, 98, true)}};
    return {cbr, vbr};
}

struct TSearchCase {
    const char* Name;
    TPcmFormat Wanted;
    std::int64_t Target;
    bool Lossless, Vbr;
    int Codec, Format; // -1: nothing found
};

TEST(WmaFormats, FindCodecFormat) {
    const TSearchCase cases[] = {
        // Nearest bitrate with the input's channels and bits; the same bitrate at a nearer
        // rate later in the list does not replace it (its bitrate is not strictly nearer).
        {"cbr nearest", {2, 44100, 16}, 128000, false, false, 0, 1},
        {"cbr mono input", {1, 44100, 16}, 128000, false, false, 0, 2},
        {"cbr above every format", {2, 44100, 16}, 1000000, false, false, 0, 0},
        {"cbr 96k", {2, 44100, 16}, 100000, false, false, 0, 4},
        {"cbr 8-bit input finds nothing", {2, 44100, 8}, 128000, false, false, -1, -1},
        {"cbr 6 channels finds nothing", {6, 44100, 16}, 128000, false, false, -1, -1},
        // VBR: only codecs with VBR formats; the quality nearest the target, and for the
        // first format with the wanted channels and bits.
        {"vbr quality 75 stereo", {2, 44100, 16}, 75, false, true, 1, 2},
        // Once a quality has matched, the flag stays set for later formats of other
        // qualities, so the first stereo format after it is taken.
        {"vbr match carries over", {2, 44100, 16}, 90, false, true, 1, 2},
        {"vbr quality 90 mono", {1, 44100, 16}, 90, false, true, 1, 1},
        {"lossless stereo 16", {2, 48000, 16}, 0, true, false, 1, 4},
        {"lossless falls back to the first", {1, 44100, 16}, 0, true, false, 1, 3},
    };
    auto codecs = TestCodecs();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto found = FindCodecFormat(codecs, c.Wanted, c.Target, c.Lossless, c.Vbr);
        if (c.Codec < 0) {
            EXPECT_FALSE(found);
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(found->Codec, c.Codec);
        EXPECT_EQ(found->Format, c.Format);
    }
    // The real lists: no VBR or lossless format anywhere.
    EXPECT_FALSE(FindCodecFormat(WmaCodecs(), {2, 44100, 16}, 0, true, false));
    EXPECT_FALSE(FindCodecFormat(WmaCodecs(), {2, 44100, 16}, 90, false, true));
    // The first format of the exact bitrate wins: a later one at a nearer rate is not
    // strictly nearer in bitrate.
    auto standard = FindCodecFormat(WmaCodecs(), {2, 44100, 16}, 128000, false, false);
    ASSERT_TRUE(standard);
    EXPECT_EQ(WmaCodecs()[standard->Codec].Formats[standard->Format].Description,
              "128 kbit/s, 48 kHz, stereo CBR");
}

} // namespace
} // namespace bw::media
