// MPEG layer 3 data in WAVE files (format tag 85): the converter on its own, and TWaveIn
// reading such files made by FFmpeg, checked against FFmpeg's decoding of the same data.
#include "WaveConverter.h"
#include "AuStream.h"
#include "TestSupport.h"
#include "WaveIn.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace bw;
using namespace bwtest;

namespace {

using TBytes = std::vector<std::uint8_t>;

void Append(TBytes& out, const char* id, const TBytes& body) {
    out.insert(out.end(), id, id + 4);
    std::uint32_t n = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
}

// The 30-byte MPEG layer 3 format record FFmpeg and the Windows tools write.
TBytes Mp3FormatRecord(int channels, int rate) {
    TBytes f = {85, 0, static_cast<std::uint8_t>(channels), 0};
    for (int i = 0; i < 4; ++i)
        f.push_back(static_cast<std::uint8_t>(rate >> (8 * i)));
    for (std::uint8_t b :
         {0x80, 0x3E, 0, 0, 1, 0, 0, 0, 12, 0, 1, 0, 2, 0, 0, 0, 0x80, 4, 1, 0, 0x71, 5})
        f.push_back(b);
    return f;
}

TBytes WaveFile(const std::vector<std::pair<const char*, TBytes>>& chunks) {
    TBytes body = {'W', 'A', 'V', 'E'};
    for (const auto& [id, bytes] : chunks)
        Append(body, id, bytes);
    TBytes file;
    Append(file, "RIFF", body);
    return file;
}

struct Mp3Fixture : ::testing::Test {
    TempDir Dir;
    std::filesystem::path Wav = Dir / "in.wav";
    std::filesystem::path Mp3 = Dir / "raw.mp3";
    TBytes Frames;
    void SetUp() override {
        MakeSignal(Wav, 44100, 2, 16, 2.0);
        // Bare frames: no tag and no header frame, as they sit in a WAVE data chunk.
        RunOrThrow("lame --quiet -t -b 128 " + ShellQuote(Wav.string()) + " " +
                   ShellQuote(Mp3.string()));
        Frames = ReadFileBytes(Mp3);
    }
    // FFmpeg's decoding of the bare frames.
    TBytes FFmpegPcm() {
        RunOrThrow("ffmpeg -v error -y -f mp3 -i " + ShellQuote(Mp3.string()) + " -f s16le " +
                   ShellQuote((Dir / "ref.raw").string()));
        return ReadFileBytes(Dir / "ref.raw");
    }
};

TEST_F(Mp3Fixture, ConverterFindsChunksInAnyOrderAndDecodesLikeFFmpeg) {
    const TBytes reference = FFmpegPcm();
    ASSERT_GT(reference.size(), 100000u);
    const TBytes format = Mp3FormatRecord(2, 44100);
    const TBytes fact = {0x44, 0xAC, 1, 0};
    struct {
        const char* Name;
        TBytes File;
        bool Decodes;
    } cases[] = {
        {"fmt fact data", WaveFile({{"fmt ", format}, {"fact", fact}, {"data", Frames}}), true},
        {"data before fmt",
         WaveFile({{"data", Frames}, {"LIST", TBytes(7, 'x')}, {"fmt ", format}}), true},
        {"empty data", WaveFile({{"fmt ", format}, {"data", {}}}), false},
        {"no data", WaveFile({{"fmt ", format}}), false},
        {"not RIFF", TBytes(100, 'R'), false},
        {"short fmt",
         WaveFile({{"fmt ", TBytes(format.begin(), format.begin() + 4)}, {"data", Frames}}), false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream stream(c.File);
        TWaveConverter converter;
        converter.LoadWaveFile(stream);
        bool ok =
            converter.SuggestFormat() == WaveConvertOk && converter.ConvertData() == WaveConvertOk;
        ASSERT_EQ(ok, c.Decodes);
        if (!ok) continue;
        EXPECT_EQ(converter.CurrentFormat, converter.NewFormat);
        EXPECT_EQ(converter.DecodedBytes(), std::int64_t(reference.size()));
        TMemoryStream saved;
        ASSERT_EQ(converter.SaveWaveFile(saved), WaveConvertOk);
        auto path = Dir / "saved.wav";
        WriteFileBytes(path, saved.Bytes());
        EXPECT_EQ(DecodeRawPcm(path, 16), reference);
    }
}

// Files FFmpeg writes: TWaveIn reads them as wtACM and hands out FFmpeg's own decoding.
TEST_F(Mp3Fixture, WaveInReadsFFmpegsMp3WaveFiles) {
    struct {
        const char* Name;
        const char* Options;
        int Channels, Rate;
    } cases[] = {
        {"stereo 44.1 kHz", "-b:a 128k", 2, 44100},
        {"mono 22.05 kHz", "-ac 1 -ar 22050 -b:a 48k", 1, 22050},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto file = Dir / "mp3.wav";
        RunOrThrow("ffmpeg -v error -y -i " + ShellQuote(Wav.string()) + " -c:a libmp3lame " +
                   c.Options + " " + ShellQuote(file.string()));
        TWaveIn in;
        in.SetFileName(file);
        ASSERT_TRUE(in.Valid());
        EXPECT_EQ(in.WavType(), wtACM);
        EXPECT_EQ(in.Channels(), c.Channels);
        EXPECT_EQ(in.SampleRate(), c.Rate);
        EXPECT_EQ(in.BitsPerSample(), 16);
        TBytes ours;
        in.OpenRead();
        for (;;) {
            std::uint8_t* buffer = nullptr;
            int bytes = 7000;
            in.PullData(buffer, bytes);
            if (bytes == 0) break;
            ours.insert(ours.end(), buffer, buffer + bytes);
        }
        in.CloseRead();
        EXPECT_EQ(std::int64_t(ours.size()), in.Size());
        EXPECT_TRUE(ours == DecodeRawPcm(file, 16));
        // A run from a later frame, a seek on within it and one back decode the same bytes.
        const TBytes reference = DecodeRawPcm(file, 16);
        const int frame = c.Channels * 2;
        in.SetStartSample(30000);
        in.OpenRead();
        TBytes piece(4000);
        for (int at : {1000, 0}) {
            ASSERT_TRUE(in.Seek(at));
            ASSERT_EQ(in.PullInto(piece.data(), 4000), 4000);
            EXPECT_TRUE(
                std::equal(piece.begin(), piece.end(), reference.begin() + (30000 + at) * frame));
        }
        in.CloseRead();
        // The file is free again once closed, and reads the same a second time.
        in.SetFileName(file);
        EXPECT_EQ(in.WavType(), wtACM);
    }
}

TEST_F(Mp3Fixture, DamagedMp3WaveFilesAreInvalidOrShortButNeverCrash) {
    const TBytes good =
        WaveFile({{"fmt ", Mp3FormatRecord(2, 44100)}, {"fact", {0, 0, 1, 0}}, {"data", Frames}});
    std::vector<std::pair<const char*, TBytes>> cases;
    cases.push_back({"cut in the header", TBytes(good.begin(), good.begin() + 50)});
    cases.push_back({"cut in the data", TBytes(good.begin(), good.begin() + good.size() / 2)});
    TBytes noise = good;
    for (std::size_t i = 100; i < noise.size(); i += 97)
        noise[i] ^= 0x5A;
    cases.push_back({"bytes changed", noise});
    TBytes garbage(good.begin(), good.begin() + 90);
    for (int i = 0; i < 20000; ++i)
        garbage.push_back(static_cast<std::uint8_t>(i * 7919 >> 3));
    cases.push_back({"garbage data", garbage});
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        TMemoryStream stream(bytes);
        TWaveIn in;
        in.SetStream(&stream);
        if (!in.Valid()) continue;
        EXPECT_EQ(in.WavType(), wtACM);
        in.OpenRead();
        std::int64_t total = 0;
        for (;;) {
            std::uint8_t* buffer = nullptr;
            int bytes = 16384;
            in.PullData(buffer, bytes);
            if (bytes == 0) break;
            total += bytes;
        }
        in.CloseRead();
        EXPECT_EQ(total, in.Size());
    }
}

} // namespace

// Frames at another rate than the header's in the data (damage, or a splice) are skipped:
// what comes before them is FFmpeg's decoding, nothing is resampled in, and the length
// counted at open is what is read.
TEST_F(Mp3Fixture, FramesAtAnotherRateAreSkipped) {
    MakeSignal(Dir / "low.wav", 22050, 2, 16, 0.05);
    RunOrThrow("lame --quiet -t -b 64 " + ShellQuote((Dir / "low.wav").string()) + " " +
               ShellQuote((Dir / "low.mp3").string()));
    TBytes data = Frames;
    const TBytes low = ReadFileBytes(Dir / "low.mp3");
    data.insert(data.end(), low.begin(), low.end());
    data.insert(data.end(), Frames.begin(), Frames.end());
    TMemoryStream stream(
        WaveFile({{"fmt ", Mp3FormatRecord(2, 44100)}, {"fact", {0, 0, 1, 0}}, {"data", data}}));
    TWaveIn in;
    in.SetStream(&stream);
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.SampleRate(), 44100);
    TBytes ours(static_cast<std::size_t>(in.Size()) + 1);
    in.OpenRead();
    bool end = false;
    EXPECT_EQ(in.PullExactly(ours.data(), static_cast<int>(ours.size()), end), in.Size());
    in.CloseRead();
    const TBytes reference = FFmpegPcm();
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), ours.begin()));
    // The decoder may lose part of the frame after the splice, never more.
    EXPECT_LE(in.Size(), std::int64_t(2 * reference.size()));
    EXPECT_GE(in.Size(), std::int64_t(2 * reference.size() - 1152 * 4));
}

// A file cut short after it was counted (another program truncating it) is an error, not
// output that silently ends early.
TEST_F(Mp3Fixture, AFileCutShortAfterCountingIsAnError) {
    auto file = Dir / "mp3.wav";
    RunOrThrow("ffmpeg -v error -y -i " + ShellQuote(Wav.string()) + " -c:a libmp3lame " +
               ShellQuote(file.string()));
    TWaveIn in;
    in.SetFileName(file);
    ASSERT_TRUE(in.Valid());
    std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
    in.OpenRead();
    EXPECT_THROW(
        for (;;) {
            std::uint8_t* buffer = nullptr;
            int bytes = 7000;
            in.PullData(buffer, bytes);
            if (bytes == 0) break;
        },
        EAuException);
    in.CloseRead();
}

// Audio at another rate than the header's, with a chance sync word at the header's rate in
// its ID3v2 tag, is refused rather than cut down to that one frame.
TEST_F(Mp3Fixture, AudioMostlyAtAnotherRateIsRefused) {
    MakeSignal(Dir / "m22.wav", 22050, 1, 16, 3.0);
    // At 24 kbit/s lame resamples 22,050 Hz mono to 16,000 Hz.
    RunOrThrow("lame --quiet -b 24 --tt Title --ta Artist " +
               ShellQuote((Dir / "m22.wav").string()) + " " +
               ShellQuote((Dir / "m16.mp3").string()));
    TMemoryStream stream(WaveFile({{"fmt ", Mp3FormatRecord(1, 22050)},
                                   {"fact", {0, 0, 1, 0}},
                                   {"data", ReadFileBytes(Dir / "m16.mp3")}}));
    TWaveIn in;
    in.SetStream(&stream);
    std::string why;
    try {
        EXPECT_FALSE(in.Valid());
    } catch (const EAuException& e) {
        why = e.what();
    }
    EXPECT_NE(why.find("its header says 22050 Hz but its audio is 16000 Hz"), std::string::npos)
        << why;
}
