// The ADPCM block coders against peers: files made by sox and FFmpeg decode exactly as the
// reference decoders do (sox for IMA, FFmpeg for Microsoft ADPCM); our IMA blocks decode
// the same in sox as in our decoder.
#include "ImaAdpcm.h"
#include "MsAdpcm.h"
#include "TestSupport.h"
#include "WaveHeader.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bw;
using namespace bwtest;

namespace {

// Decodes a whole ADPCM WAVE file block by block with our coders, up to its "fact" count.
std::vector<std::int16_t> DecodeWithOurCoders(const std::vector<std::uint8_t>& file) {
    TWaveHeaderInfo info = ScanWaveHeader(file, file.size());
    EXPECT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_TRUE(WaveFormatUsable(info, 16384));
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> block(16384 / 2);
    std::size_t end = std::min<std::size_t>(file.size(), info.DataStart + info.DataSize);
    for (std::size_t pos = info.DataStart; pos < end; pos += info.BlockAlign) {
        std::vector<std::uint8_t> bytes(info.BlockAlign, 0);
        std::copy(file.begin() + pos, file.begin() + std::min(end, pos + info.BlockAlign),
                  bytes.begin());
        std::size_t frames =
            info.FormatTag == WaveFormatImaAdpcm
                ? ImaDecodeBlock(bytes, info.Channels, block)
                : MsAdpcmDecodeBlock(bytes, info.Channels,
                                     std::span(info.Coefs.data(), info.CoefCount), block);
        EXPECT_GT(frames, 0u) << "block at " << pos;
        samples.insert(samples.end(), block.begin(), block.begin() + frames * info.Channels);
    }
    samples.resize(std::min<std::size_t>(samples.size(), info.FactFrames * info.Channels));
    return samples;
}

void ExpectSamePrefix(std::vector<std::int16_t> ours, std::vector<std::int16_t> oracle,
                      std::size_t expectedCount, const std::string& what) {
    ASSERT_EQ(ours.size(), expectedCount) << what;
    ASSERT_GE(oracle.size(), expectedCount) << what;
    oracle.resize(expectedCount);
    std::size_t firstDiff = 0;
    while (firstDiff < expectedCount && ours[firstDiff] == oracle[firstDiff])
        ++firstDiff;
    EXPECT_EQ(firstDiff, expectedCount)
        << what << ": first difference at sample " << firstDiff << ": "
        << (firstDiff < expectedCount
                ? std::to_string(ours[firstDiff]) + " vs " + std::to_string(oracle[firstDiff])
                : "");
}

struct TPeerFile {
    std::string Maker; // "sox" or "ffmpeg"
    int Channels;
    int SampleRate;
    int BlockSize; // for FFmpeg; sox picks its own from the rate
};

std::string Describe(const TPeerFile& f, const char* codec) {
    return std::string(codec) + " by " + f.Maker + ", " + std::to_string(f.Channels) + " ch, " +
           std::to_string(f.SampleRate) + " Hz, block " + std::to_string(f.BlockSize);
}

std::filesystem::path MakePeerFile(const TempDir& dir, const TPeerFile& f, bool ima) {
    auto source = dir / "source.wav";
    MakeSignal(source, f.SampleRate, f.Channels, 16, 1.9);
    auto out = dir / (std::string(ima ? "ima-" : "ms-") + f.Maker + ".wav");
    if (f.Maker == "sox")
        RunOrThrow("sox " + ShellQuote(source.string()) +
                   (ima ? " -e ima-adpcm " : " -e ms-adpcm ") + ShellQuote(out.string()));
    else
        RunOrThrow("ffmpeg -v error -y -i " + ShellQuote(source.string()) + " -c:a " +
                   (ima ? "adpcm_ima_wav" : "adpcm_ms") + " -block_size " +
                   std::to_string(f.BlockSize) + " " + ShellQuote(out.string()));
    return out;
}

const std::vector<TPeerFile> PeerFiles = {
    {"sox", 1, 8000, 0},        {"sox", 2, 8000, 0},        {"sox", 1, 44100, 0},
    {"sox", 2, 44100, 0},       {"ffmpeg", 1, 44100, 256},  {"ffmpeg", 2, 44100, 256},
    {"ffmpeg", 1, 22050, 1024}, {"ffmpeg", 2, 48000, 2048}, {"ffmpeg", 2, 44100, 512},
};

} // namespace

TEST(ImaAdpcm, PeerFilesDecodeExactlyAsSoxDecodesThem) {
    TempDir dir;
    for (const auto& peer : PeerFiles) {
        auto path = MakePeerFile(dir, peer, true);
        auto file = ReadFileBytes(path);
        TWaveHeaderInfo info = ScanWaveHeader(file, file.size());
        ASSERT_EQ(info.FormatTag, WaveFormatImaAdpcm);
        ExpectSamePrefix(DecodeWithOurCoders(file), DecodeS16(TOracle::Sox, path),
                         std::size_t{info.FactFrames} * peer.Channels, Describe(peer, "IMA"));
    }
}

TEST(MsAdpcm, PeerFilesDecodeExactlyAsFFmpegDecodesThem) {
    TempDir dir;
    for (const auto& peer : PeerFiles) {
        auto path = MakePeerFile(dir, peer, false);
        auto file = ReadFileBytes(path);
        TWaveHeaderInfo info = ScanWaveHeader(file, file.size());
        ASSERT_EQ(info.FormatTag, WaveFormatMsAdpcm);
        ExpectSamePrefix(DecodeWithOurCoders(file), DecodeS16(TOracle::FFmpeg, path),
                         std::size_t{info.FactFrames} * peer.Channels, Describe(peer, "MS"));
    }
}

TEST(ImaAdpcm, OurBlocksDecodeInSoxAsInOurDecoderAndFollowTheSignal) {
    TempDir dir;
    for (int channels : {1, 2}) {
        for (std::uint16_t blockSize : {256, 512, 2048}) {
            auto source = dir / "source.wav";
            MakeSignal(source, 44100, channels, 16, 1.1);
            auto pcm = DecodeS16(TOracle::Sox, source);
            std::size_t frames = pcm.size() / channels;
            std::size_t perBlock = ImaFramesPerBlock(blockSize, channels);
            ASSERT_EQ(perBlock, ImaWriterFramesPerBlock(channels, blockSize));
            std::size_t blocks = (frames + perBlock - 1) / perBlock;
            pcm.resize(blocks * perBlock * channels, 0);

            std::vector<std::uint8_t> data(blocks * blockSize);
            TImaEncoderState state;
            for (std::size_t b = 0; b < blocks; ++b)
                ASSERT_TRUE(ImaEncodeBlock(
                    std::span(pcm).subspan(b * perBlock * channels, perBlock * channels), channels,
                    std::span(data).subspan(b * blockSize, blockSize), state));
            auto header =
                MakeImaHeader(channels, 44100, blockSize, static_cast<std::uint32_t>(frames),
                              static_cast<std::uint32_t>(data.size()));
            std::vector<std::uint8_t> file(header.size() + data.size());
            std::copy(header.begin(), header.end(), file.begin());
            std::copy(data.begin(), data.end(), file.begin() + header.size());
            auto path = dir / "ours.wav";
            WriteFileBytes(path, file);

            std::string what = std::to_string(channels) + " ch, block " + std::to_string(blockSize);
            auto ours = DecodeWithOurCoders(file);
            ExpectSamePrefix(ours, DecodeS16(TOracle::Sox, path), frames * channels, what);

            // The codes must follow the signal, not merely agree between decoders.
            double signal = 0, noise = 0;
            for (std::size_t i = 0; i < ours.size(); ++i) {
                signal += double(pcm[i]) * pcm[i];
                noise += (double(pcm[i]) - ours[i]) * (double(pcm[i]) - ours[i]);
            }
            EXPECT_GT(10 * std::log10(signal / noise), 12.0) << what;

            // FFmpeg reads the file as well (its IMA decoder rounds differently).
            auto ffmpeg = DecodeS16(TOracle::FFmpeg, path);
            ASSERT_GE(ffmpeg.size(), frames * channels) << what;
            for (std::size_t i = 0; i < frames * channels; i += 97)
                ASSERT_NEAR(ffmpeg[i], ours[i], 600) << what << " sample " << i;
        }
    }
}

TEST(ImaAdpcm, BlockLayoutAndMalformedBlocks) {
    EXPECT_EQ(ImaFramesPerBlock(512, 1), 1017u);
    EXPECT_EQ(ImaFramesPerBlock(512, 2), 505u);
    EXPECT_EQ(ImaFramesPerBlock(0, 1), 0u);
    EXPECT_EQ(ImaFramesPerBlock(4, 1), 0u);
    EXPECT_EQ(ImaFramesPerBlock(8, 2), 0u);
    EXPECT_EQ(ImaFramesPerBlock(20, 2), 0u); // codes would not fill whole 4-byte groups
    EXPECT_EQ(ImaFramesPerBlock(512, 0), 0u);
    EXPECT_EQ(ImaFramesPerBlock(512, 3), 0u);

    std::vector<std::int16_t> out(2048);
    std::vector<std::uint8_t> block(256, 0x77);
    block[2] = 88;
    EXPECT_EQ(ImaDecodeBlock(block, 1, out), 505u);
    block[2] = 89; // step index beyond the table
    EXPECT_EQ(ImaDecodeBlock(block, 1, out), 0u);
    block[2] = 0;
    EXPECT_EQ(ImaDecodeBlock(block, 1, std::span(out).first(504)), 0u);
    EXPECT_EQ(ImaDecodeBlock(std::span(block).first(252), 2, out), 0u);

    std::vector<std::uint8_t> encoded(256);
    TImaEncoderState state;
    EXPECT_FALSE(ImaEncodeBlock(std::span(out).first(504), 1, encoded, state));
    EXPECT_TRUE(ImaEncodeBlock(std::span(out).first(505), 1, encoded, state));
}

TEST(ImaAdpcm, SamplesStaySymmetricAtFullScale) {
    // Header predictor at the edge, every code pushing further out.
    std::vector<std::uint8_t> block(36, 0);
    std::vector<std::int16_t> out(128);
    block[0] = 0x01, block[1] = 0x80, block[2] = 60; // -32767
    std::fill(block.begin() + 4, block.end(), 0xFF);
    ASSERT_EQ(ImaDecodeBlock(block, 1, out), 65u);
    for (std::size_t i = 0; i < 65; ++i)
        ASSERT_EQ(out[i], -32767) << i;
    block[0] = 0xFF, block[1] = 0x7F;
    std::fill(block.begin() + 4, block.end(), 0x77);
    ASSERT_EQ(ImaDecodeBlock(block, 1, out), 65u);
    for (std::size_t i = 0; i < 65; ++i)
        ASSERT_EQ(out[i], 32767) << i;
}

TEST(MsAdpcm, BlockLayoutAndMalformedBlocks) {
    const TMsAdpcmCoef coefs[7] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                   {240, 0}, {460, -208}, {392, -232}};
    EXPECT_EQ(MsAdpcmFramesPerBlock(256, 1), 500u);
    EXPECT_EQ(MsAdpcmFramesPerBlock(2048, 2), 2036u);
    EXPECT_EQ(MsAdpcmFramesPerBlock(6, 1), 0u);
    EXPECT_EQ(MsAdpcmFramesPerBlock(256, 3), 0u);

    std::vector<std::int16_t> out(1024);
    std::vector<std::uint8_t> block(256, 0x1F);
    block[0] = 6;
    EXPECT_EQ(MsAdpcmDecodeBlock(block, 1, coefs, out), 500u);
    block[0] = 7; // predictor index beyond the table
    EXPECT_EQ(MsAdpcmDecodeBlock(block, 1, coefs, out), 0u);
    block[0] = 0;
    EXPECT_EQ(MsAdpcmDecodeBlock(block, 1, std::span(coefs, 0), out), 0u);
    EXPECT_EQ(MsAdpcmDecodeBlock(block, 1, coefs, std::span(out).first(499)), 0u);
    EXPECT_EQ(MsAdpcmDecodeBlock(std::span(block).first(13), 2, coefs, out), 0u);
}

TEST(MsAdpcm, HostileCoefficientsAndDeltasStayInRange) {
    // Extreme coefficients and a growing delta must clamp, not overflow.
    const TMsAdpcmCoef coefs[1] = {{32767, 32767}};
    std::vector<std::uint8_t> block(512, 0x77);
    block[0] = 0;
    block[1] = 0xFF, block[2] = 0x7F; // delta 32767
    block[3] = 0xFF, block[4] = 0x7F;
    block[5] = 0x00, block[6] = 0x80;
    std::vector<std::int16_t> out(1024);
    ASSERT_EQ(MsAdpcmDecodeBlock(block, 1, coefs, out), 1012u);
    EXPECT_EQ(out[0], -32768);
    EXPECT_EQ(out[1], 32767);
    EXPECT_EQ(out[1011], 32767);
}

TEST(ImaAdpcm, FullScaleDiffersFromSoxOnlyByTheSymmetricClamp) {
    // Our decoder keeps samples within -32767..32767; sox lets them reach -32768. After such
    // a clamp the two predictors are one apart until the next block header, never more.
    TempDir dir;
    std::vector<std::uint8_t> data(2 * 256);
    for (std::size_t b = 0; b < 2; ++b) {
        std::uint8_t* block = &data[b * 256];
        block[0] = 0x30, block[1] = 0x8A, block[2] = 50; // -30160, a large step
        std::fill(block + 4, block + 40, 0xFF);          // down, far past full scale
        std::fill(block + 40, block + 120, 0x17);        // up and down again
        for (std::size_t i = 120; i < 256; ++i)
            block[i] = static_cast<std::uint8_t>(i * 37);
    }
    auto header = MakeImaHeader(1, 8000, 256, 2 * 505, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> file(header.size() + data.size());
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(data.begin(), data.end(), file.begin() + header.size());
    auto path = dir / "edge.wav";
    WriteFileBytes(path, file);

    auto ours = DecodeWithOurCoders(file);
    auto sox = DecodeS16(TOracle::Sox, path);
    ASSERT_EQ(ours.size(), 2 * 505u);
    ASSERT_EQ(sox.size(), ours.size());
    int clamped = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_LE(std::abs(ours[i] - sox[i]), 1) << i;
        ASSERT_GE(ours[i], -32767) << i;
        clamped += sox[i] == -32768;
    }
    EXPECT_GT(clamped, 0);
}
