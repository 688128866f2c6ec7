// The sample-rate converter and the channel / depth converter. Frequencies are measured by
// sox, independently of our code.
#include "AuSampleRate.h"
#include "PcmSource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace bw {
namespace {

using bwtest::PullAll;
using bwtest::Tone;
using bwtest::TPcmSource;

class ResamplerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadSampleRateLibrary()); }
    void TearDown() override { UnloadSampleRateLibrary(); }
};

// sox's "Rough frequency" of the first channel of raw PCM.
double SoxFrequency(const std::vector<std::uint8_t>& pcm, int bits, int channels, int rate) {
    bwtest::TempDir dir;
    auto raw = dir / "tone.raw";
    bwtest::WriteFileBytes(raw, pcm);
    std::string encoding = bits == 8 ? "unsigned-integer" : "signed-integer";
    auto result =
        bwtest::RunCommand("sox -t raw -r " + std::to_string(rate) + " -e " + encoding + " -b " +
                           std::to_string(bits) + " -c " + std::to_string(channels) + " " +
                           bwtest::ShellQuote(raw.string()) + " -n remix 1 stat 2>&1");
    std::smatch m;
    std::regex re("Rough\\s+frequency:\\s+(-?[0-9]+)");
    if (result.ExitCode != 0 || !std::regex_search(result.Output, m, re)) {
        ADD_FAILURE() << "sox stat failed: " << result.Output;
        return -1;
    }
    return std::atof(m[1].str().c_str());
}

std::vector<std::int16_t> AsShorts(const std::vector<std::uint8_t>& b) {
    std::vector<std::int16_t> s(b.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(b[2 * i] | b[2 * i + 1] << 8);
    return s;
}

TEST_F(ResamplerTest, SameRatePassesThroughBitExact) {
    auto data = Tone(16, 2, 44100, 440, 50000);
    TPcmSource source(16, 2, 44100, data, 3000);
    TResampler resampler;
    resampler.SetInput(&source);
    resampler.SetOutSampleRate(44100);
    resampler.OpenRead();
    EXPECT_EQ(resampler.Size(), std::int64_t(data.size()));
    EXPECT_EQ(PullAll(resampler), data);
    resampler.CloseRead();
}

TEST_F(ResamplerTest, HalvingTheRateKeepsTheToneAndGivesHalfTheSize) {
    const std::size_t frames = 44100 * 3 + 7; // odd frame count: the size is whole frames
    auto data = Tone(16, 2, 44100, 1000, frames);
    TPcmSource source(16, 2, 44100, data, 4410);
    TResampler resampler;
    resampler.SetInput(&source);
    resampler.SetOutSampleRate(22050);
    EXPECT_EQ(resampler.GetSampleRate(), 22050);
    EXPECT_EQ(resampler.GetBitsPerSample(), 16);
    EXPECT_EQ(resampler.GetChannels(), 2);
    resampler.OpenRead();
    std::int64_t expected = std::llrint(double(data.size()) / 2);
    expected -= expected % 4;
    EXPECT_EQ(resampler.Size(), expected);
    auto out = PullAll(resampler, 4096);
    resampler.CloseRead();
    EXPECT_EQ(std::int64_t(out.size()), expected);
    double hz = SoxFrequency(out, 16, 2, 22050);
    EXPECT_NEAR(hz, 1000, 10);
    // The level is kept too (a 0.5 full-scale sine).
    auto s = AsShorts(out);
    int peak = 0;
    for (std::size_t i = 4000; i + 4000 < s.size(); ++i)
        peak = std::max(peak, std::abs(int(s[i])));
    EXPECT_NEAR(peak, 16384, 400);
    // The tone runs to the end: the library gives out what it holds once told the input is
    // over, rather than the last frames being padded with silence.
    int tail = 0;
    for (std::size_t i = s.size() - 200; i < s.size(); ++i)
        tail = std::max(tail, std::abs(int(s[i])));
    EXPECT_GT(tail, 12000);
}

TEST_F(ResamplerTest, Input24BitGives16BitAtTwoThirdsOfTheScaledSize) {
    auto data = Tone(24, 2, 48000, 1500, 48000 * 2);
    TPcmSource source(24, 2, 48000, data, 6 * 700); // sources hand out whole frames
    TResampler resampler;
    resampler.SetInput(&source);
    resampler.SetQuality(TResamplerQuality::rqMedium);
    resampler.SetOutSampleRate(44100);
    EXPECT_EQ(resampler.GetBitsPerSample(), 16);
    resampler.OpenRead();
    std::int64_t scaled = std::llrint(double(data.size()) * 44100 / 48000);
    std::int64_t expected = std::llrint(double(scaled) * 2 / 3);
    expected -= expected % 4;
    EXPECT_EQ(resampler.Size(), expected);
    auto out = PullAll(resampler);
    resampler.CloseRead();
    EXPECT_EQ(std::int64_t(out.size()), expected);
    EXPECT_NEAR(SoxFrequency(out, 16, 2, 44100), 1500, 15);

    // 24-bit at the same rate passes through as 24-bit.
    resampler.SetOutSampleRate(48000);
    EXPECT_EQ(resampler.GetBitsPerSample(), 24);
}

TEST_F(ResamplerTest, EightBitMonoStaysEightBit) {
    auto data = Tone(8, 1, 22050, 500, 22050 * 2);
    TPcmSource source(8, 1, 22050, data, 1000);
    TResampler resampler;
    resampler.SetInput(&source);
    resampler.SetQuality(TResamplerQuality::rqFastest);
    resampler.SetOutSampleRate(44100);
    EXPECT_EQ(resampler.GetBitsPerSample(), 8);
    resampler.OpenRead();
    EXPECT_EQ(resampler.Size(), std::int64_t(data.size() * 2));
    auto out = PullAll(resampler);
    resampler.CloseRead();
    EXPECT_EQ(out.size(), data.size() * 2);
    EXPECT_NEAR(SoxFrequency(out, 8, 1, 44100), 500, 10);
}

TEST_F(ResamplerTest, FullScaleOvershootIsClippedNotWrapped) {
    // A full-scale square wave rings past full scale when filtered.
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 44100; ++i) {
        std::int16_t v = (i / 200) % 2 ? -32768 : 32767;
        data.push_back(v & 0xFF);
        data.push_back((v >> 8) & 0xFF);
    }
    TPcmSource source(16, 1, 44100, data);
    TResampler resampler;
    resampler.SetInput(&source);
    resampler.SetOutSampleRate(32000);
    resampler.OpenRead();
    auto s = AsShorts(PullAll(resampler));
    resampler.CloseRead();
    int clipped = 0, spikes = 0;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == 32767 || s[i] == -32768) ++clipped;
        // A wrapped peak is a lone sample of the opposite sign inside a plateau.
        bool high = s[i - 1] > 30000 && s[i + 1] > 30000,
             low = s[i - 1] < -30000 && s[i + 1] < -30000;
        if ((high && s[i] < 0) || (low && s[i] > 0)) ++spikes;
    }
    EXPECT_GT(clipped, 0);
    EXPECT_EQ(spikes, 0);

    const float values[] = {1.0f, 1.5f, -1.0f, -1.2f, 0.5f, -0.5f, 0.99999f};
    std::int16_t out[7];
    FloatToShortClamped(values, out, 7);
    EXPECT_EQ(std::vector<std::int16_t>(out, out + 7),
              (std::vector<std::int16_t>{32767, 32767, -32768, -32768, 16384, -16384, 32767}));
}

TEST_F(ResamplerTest, RateSetterAndFailures) {
    TResampler resampler;
    resampler.SetOutSampleRate(2000);
    EXPECT_EQ(resampler.OutSampleRate(), 44100u);
    resampler.SetOutSampleRate(2001);
    EXPECT_EQ(resampler.OutSampleRate(), 2001u);
    resampler.SetOutSampleRate(1000000);
    EXPECT_EQ(resampler.OutSampleRate(), 44100u);
    resampler.SetOutSampleRate(999999);
    EXPECT_EQ(resampler.OutSampleRate(), 999999u);

    try {
        resampler.GetBitsPerSample();
        ADD_FAILURE() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Input not assigned");
    }

    // A ratio the library refuses ends the stream at once and leaves the filter reusable.
    TPcmSource source(16, 2, 1000, Tone(16, 2, 1000, 100, 1000));
    resampler.SetInput(&source);
    resampler.OpenRead();
    EXPECT_TRUE(resampler.EndOfStream());
    EXPECT_FALSE(resampler.Busy());
    EXPECT_FALSE(source.Busy());
    source.SetRate(44100);
    resampler.SetOutSampleRate(22050);
    resampler.OpenRead();
    EXPECT_FALSE(resampler.EndOfStream());
    EXPECT_EQ(PullAll(resampler).size(), 2000u);
    resampler.CloseRead();
}

TEST(ResamplerLibrary, MissingLibraryRefusesConstruction) {
    auto& binding = SampleRateLibrary();
    binding.SetFileName("libsamplerate-gone.so.0");
    EXPECT_FALSE(binding.Load());
    try {
        TResampler resampler;
        ADD_FAILURE() << "constructed without the library";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libsamplerate-gone.so.0 library could not be loaded.");
    }
    binding.SetFileName("libsamplerate.so.0");
}

// ---- TAudioConverter ----

std::vector<std::uint8_t> Convert(TAudioConverter& converter, TPcmSource& source,
                                  int request = 777) {
    converter.SetInput(&source);
    converter.OpenRead();
    auto out = PullAll(converter, request);
    converter.CloseRead();
    return out;
}

std::vector<std::uint8_t> Le16(std::initializer_list<int> values) {
    std::vector<std::uint8_t> b;
    for (int v : values) {
        b.push_back(v & 0xFF);
        b.push_back((v >> 8) & 0xFF);
    }
    return b;
}

TEST(AudioConverter, AllZeroPassesThroughInTheInputsBuffer) {
    auto data = Tone(16, 2, 44100, 440, 30001);
    TPcmSource source(16, 2, 44100, data, 5000);
    TAudioConverter converter;
    converter.SetInput(&source);
    EXPECT_EQ(converter.GetBitsPerSample(), 16);
    EXPECT_EQ(converter.GetChannels(), 2);
    EXPECT_EQ(converter.GetSampleRate(), 44100);
    converter.OpenRead();
    EXPECT_EQ(converter.Size(), std::int64_t(data.size()));
    EXPECT_EQ(PullAll(converter, 100000), data);
    converter.CloseRead();
}

TEST(AudioConverter, MonoToStereoModes) {
    TPcmSource source(16, 1, 8000, Le16({1000, -2000, 32767}));
    TAudioConverter converter;
    converter.SetOutChannels(2);
    converter.SetMode(TMSConverterMode::msmMonoToLeft);
    EXPECT_EQ(Convert(converter, source), Le16({0, 1000, 0, -2000, 0, 32767}));
    converter.SetMode(TMSConverterMode::msmMonoToRight);
    EXPECT_EQ(Convert(converter, source), Le16({1000, 0, -2000, 0, 32767, 0}));
    converter.SetMode(TMSConverterMode::msmMonoToBoth);
    EXPECT_EQ(Convert(converter, source), Le16({1000, 1000, -2000, -2000, 32767, 32767}));
}

// Only mono and stereo turn into each other; other counts pass only when kept.
TEST(AudioConverter, ChannelCountsBeyondStereo) {
    auto six = Tone(24, 6, 44100, 440, 1000);
    TPcmSource source(24, 6, 44100, six, 4000);
    TAudioConverter converter;
    converter.SetInput(&source);
    for (int outChannels : {1, 2}) {
        converter.SetOutChannels(outChannels);
        converter.OpenRead(); // a source never fails to open; its first pull does
        try {
            PullAll(converter);
            ADD_FAILURE() << "6 to " << outChannels << " channels was accepted";
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), "Channel conversion takes mono or stereo input.");
        }
        converter.CloseRead();
    }
    converter.SetOutChannels(0);
    converter.SetOutBitsPerSample(16);
    converter.OpenRead();
    EXPECT_EQ(PullAll(converter).size(), 1000u * 6 * 2);
    converter.CloseRead();
}

TEST(AudioConverter, StereoToMonoAndDepths) {
    TPcmSource stereo16(16, 2, 8000, Le16({-3, 0, 100, 101, -32768, -32768}));
    TAudioConverter converter;
    converter.SetOutChannels(1);
    EXPECT_EQ(Convert(converter, stereo16), Le16({-1, 100, -32768})); // towards zero

    // Shrinking conversions work in the input's own buffer, so each run gets a fresh source.
    TPcmSource stereo16b(16, 2, 8000, Le16({-3, 0, 100, 101, -32768, -32768}));
    converter.SetOutBitsPerSample(8); // stereo 16 -> mono 8: sample / 256 + 128
    EXPECT_EQ(Convert(converter, stereo16b), (std::vector<std::uint8_t>{127, 128, 0}));

    TPcmSource mono8(8, 1, 8000, {0, 128, 255});
    TAudioConverter widen;
    widen.SetOutBitsPerSample(16);
    EXPECT_EQ(Convert(widen, mono8), Le16({-32768, 0, 32512}));
    widen.SetOutBitsPerSample(24);
    EXPECT_EQ(Convert(widen, mono8),
              (std::vector<std::uint8_t>{0, 0x00, 0x80, 0, 0, 0, 0, 0x00, 0x7F}));

    // 24-bit stereo -> 16-bit mono: average in 24 bits, then the two high bytes.
    TPcmSource stereo24(24, 2, 8000,
                        {0x00, 0x10, 0x00, 0x00, 0x30, 0x00,   // 4096, 12288
                         0xFF, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF}); // -1, -3
    TAudioConverter narrow;
    narrow.SetOutChannels(1);
    narrow.SetOutBitsPerSample(16);
    narrow.SetInput(&stereo24);
    narrow.OpenRead();
    EXPECT_EQ(narrow.Size(), 4);
    auto out = PullAll(narrow);
    narrow.CloseRead();
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x20, 0x00, 0xFF, 0xFF})); // 8192>>8, -2>>8
}

TEST(AudioConverter, LastChunkIsHandedOutInFullWithSmallRequests) {
    // Mono to stereo uses its own buffer; the input ends inside the last chunk.
    auto data = Tone(16, 1, 44100, 300, 20000);
    TPcmSource source(16, 1, 44100, data, 999);
    TAudioConverter converter;
    converter.SetOutChannels(2);
    converter.SetInput(&source);
    converter.OpenRead();
    EXPECT_EQ(converter.Size(), std::int64_t(data.size() * 2));
    auto out = PullAll(converter, 1000);
    converter.CloseRead();
    ASSERT_EQ(out.size(), data.size() * 2);
    for (std::size_t i = 0; i < data.size(); i += 2) {
        ASSERT_EQ(out[2 * i], data[i]);
        ASSERT_EQ(out[2 * i + 3], data[i + 1]);
    }
}

TEST(AudioConverter, ReadingUnopenedFails) {
    TPcmSource source(16, 2, 44100, Le16({1, 2}));
    TAudioConverter converter;
    converter.SetInput(&source);
    std::uint8_t* p = nullptr;
    int n = 4;
    EXPECT_THROW(converter.PullData(p, n), EAuException);
    TAudioConverter orphan;
    orphan.OpenRead();
    EXPECT_TRUE(orphan.EndOfStream());
    EXPECT_EQ(orphan.GetBitsPerSample(), 0);
}

} // namespace
} // namespace bw
