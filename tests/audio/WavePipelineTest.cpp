// TWaveIn and TWaveOut in real runs: PCM copied bit for bit, peer ADPCM files read exactly,
// our IMA ADPCM files read by sox and FFmpeg, appending, unknown and short input sizes,
// stopped runs, and the header oddities the reader must cope with.
#include "AuTestComponents.h"
#include "TestSupport.h"
#include "WaveIn.h"
#include "WaveOut.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace bw;
using namespace bwtest;

namespace {

using TBytes = std::vector<std::uint8_t>;

// A source of given PCM that announces whatever size the test wants.
class TPcmSource : public TAuInput {
public:
    TPcmSource(TBytes data, int bits, int channels, int rate, std::int64_t announced)
        : FData(std::move(data)), FBits(bits), FChannels(channels), FRate(rate),
          FAnnounced(announced) {}
    ~TPcmSource() override { NotifyRemoval(); }
    int GetBitsPerSample() override { return FBits; }
    int GetChannels() override { return FChannels; }
    int GetSampleRate() override { return FRate; }

protected:
    void DoOpenRead() override {
        FRead = 0;
        FSize = FAnnounced;
        FPosition = 0;
        FBusy = true;
    }
    void DoCloseRead() override { FBusy = false; }
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override {
        int frame = FBits / 8 * FChannels;
        std::size_t n = std::min<std::size_t>(
            {static_cast<std::size_t>(Bytes), 3000u / frame * frame, FData.size() - FRead});
        Buffer = FData.data() + FRead;
        FRead += n;
        Bytes = static_cast<int>(n);
        FPosition += Bytes;
    }

private:
    TBytes FData;
    int FBits, FChannels, FRate;
    std::int64_t FAnnounced;
    std::size_t FRead = 0;
};

TBytes ReadAll(TAuInput& input) {
    TCollectOutput sink;
    sink.Block = 4096;
    sink.SetInput(&input);
    std::string error = RunOutput(sink);
    EXPECT_EQ(error, "");
    return sink.Data;
}

std::string Convert(const std::filesystem::path& in, const std::filesystem::path& out,
                    TWavType type = wtPCM, TFileOutputMode mode = foRewrite) {
    TWaveIn reader;
    reader.SetFileName(in);
    TWaveOut writer;
    writer.SetInput(&reader);
    writer.SetFileName(out);
    writer.SetWavType(type);
    writer.SetFileMode(mode);
    return RunOutput(writer);
}

std::uint32_t Le32At(const TBytes& b, std::size_t pos) {
    return b[pos] | b[pos + 1] << 8 | b[pos + 2] << 16 |
           static_cast<std::uint32_t>(b[pos + 3]) << 24;
}

void ExpectPcmSizesConsistent(const std::filesystem::path& path) {
    TBytes file = ReadFileBytes(path);
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(Le32At(file, 4), file.size() - 8);
    EXPECT_EQ(Le32At(file, 40), file.size() - 44);
}

TBytes S16Bytes(const std::vector<std::int16_t>& samples) {
    TBytes bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

} // namespace

TEST(WavePipeline, PcmOf8_16And24BitsIsCopiedBitForBit) {
    TempDir dir;
    for (int bits : {8, 16, 24}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::to_string(bits) + " bit, " + std::to_string(channels) + " ch");
            auto in = dir / "in.wav";
            auto out = dir / "out.wav";
            MakeSignal(in, 44100, channels, bits, 1.37);
            ASSERT_EQ(Convert(in, out), "");
            TBytes expected = DecodeRawPcm(in, bits);
            ASSERT_GT(expected.size(), 40000u);
            EXPECT_TRUE(DecodeRawPcm(out, bits) == expected);
            ExpectPcmSizesConsistent(out);
            EXPECT_EQ(ReadFileBytes(out).size(), expected.size() + 44);
        }
    }
}

TEST(WavePipeline, PeerAdpcmFilesReadExactlyUpToTheirFactCount) {
    TempDir dir;
    struct TCase {
        std::string Make;
        TOracle Oracle;
        int Channels;
    };
    const TCase cases[] = {
        {"sox -e ima-adpcm", TOracle::Sox, 1},
        {"ffmpeg -c:a adpcm_ima_wav -block_size 1024", TOracle::Sox, 2},
        {"sox -e ms-adpcm", TOracle::FFmpeg, 2},
        {"ffmpeg -c:a adpcm_ms -block_size 512", TOracle::FFmpeg, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Make + ", " + std::to_string(c.Channels) + " ch");
        auto source = dir / "source.wav";
        auto adpcm = dir / "adpcm.wav";
        MakeSignal(source, 22050, c.Channels, 16, 2.1);
        bool sox = c.Make.rfind("sox", 0) == 0;
        std::string args = c.Make.substr(c.Make.find(' ') + 1);
        RunOrThrow(sox ? "sox " + ShellQuote(source.string()) + " " + args + " " +
                             ShellQuote(adpcm.string())
                       : "ffmpeg -v error -y -i " + ShellQuote(source.string()) + " " + args + " " +
                             ShellQuote(adpcm.string()));
        TWaveIn reader;
        reader.SetFileName(adpcm);
        ASSERT_TRUE(reader.Valid());
        EXPECT_EQ(reader.WavType(), c.Oracle == TOracle::Sox ? wtDVIADPCM : wtMSADPCM);
        EXPECT_EQ(reader.BitsPerSample(), 16);
        EXPECT_EQ(reader.Channels(), c.Channels);
        std::int64_t frames = reader.TotalSamples();
        TBytes ours = ReadAll(reader);
        auto oracle = DecodeS16(c.Oracle, adpcm);
        ASSERT_EQ(ours.size(), static_cast<std::size_t>(frames * c.Channels * 2));
        ASSERT_GE(oracle.size() * 2, ours.size());
        oracle.resize(ours.size() / 2);
        EXPECT_TRUE(ours == S16Bytes(oracle));
    }
}

TEST(WavePipeline, OurImaFilesDecodeInSoxAsInOurReaderAndFFmpegTakesThem) {
    TempDir dir;
    for (int channels : {1, 2}) {
        SCOPED_TRACE(std::to_string(channels) + " ch");
        auto in = dir / "in.wav";
        auto ima = dir / "ima.wav";
        MakeSignal(in, 44100, channels, 16, 1.4); // leaves about 300 frames to pad
        ASSERT_EQ(Convert(in, ima, wtDVIADPCM), "");
        std::size_t frames = DecodeRawPcm(in, 16).size() / 2 / channels;
        std::size_t perBlock = channels == 1 ? 1017 : 505;

        TBytes file = ReadFileBytes(ima);
        ASSERT_EQ(file.size(), 60 + (frames / perBlock + 1) * 512); // the last block padded
        EXPECT_EQ(Le32At(file, 4), file.size() - 8);
        EXPECT_EQ(Le32At(file, 48), frames); // fact: the frames that came in
        EXPECT_EQ(Le32At(file, 56), file.size() - 60);

        TWaveIn reader;
        reader.SetFileName(ima);
        ASSERT_TRUE(reader.Valid());
        TBytes ours = ReadAll(reader);
        ASSERT_EQ(ours.size(), frames * channels * 2);
        auto sox = DecodeS16(TOracle::Sox, ima);
        ASSERT_EQ(sox.size(), (frames / perBlock + 1) * perBlock * channels);
        // Past the input the block is silence: the decoder settles to near zero.
        ASSERT_GT(sox.size(), (frames + 200) * channels);
        for (std::size_t i = (frames + 100) * channels; i < sox.size(); ++i)
            ASSERT_LE(std::abs(sox[i]), 16) << i;
        sox.resize(frames * channels);
        EXPECT_TRUE(ours == S16Bytes(sox));
        auto ffmpeg = DecodeS16(TOracle::FFmpeg, ima);
        EXPECT_GE(ffmpeg.size(), frames * channels);
    }
}

TEST(WavePipeline, ImaInputEndingOnABlockBoundaryGetsOneMoreSilentBlock) {
    TempDir dir;
    auto out = dir / "ima.wav";
    const std::size_t frames = 505 * 3;
    TBytes pcm(frames * 4);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::uint8_t>(i * 7);
    TPcmSource source(pcm, 16, 2, 44100, static_cast<std::int64_t>(pcm.size()));
    TWaveOut writer;
    writer.SetInput(&source);
    writer.SetFileName(out);
    writer.SetWavType(wtDVIADPCM);
    ASSERT_EQ(RunOutput(writer), "");
    TBytes file = ReadFileBytes(out);
    EXPECT_EQ(file.size(), 60u + 4 * 512);
    EXPECT_EQ(Le32At(file, 48), frames);
    EXPECT_EQ(DecodeS16(TOracle::Sox, out).size(), 4 * 505 * 2u);
}

TEST(WavePipeline, ReaderCopesWithHeaderOddities) {
    TempDir dir;
    auto plain = dir / "plain.wav";
    MakeSignal(plain, 8000, 2, 16, 0.5);
    TBytes original = ReadFileBytes(plain);
    ASSERT_EQ(original.size(), 44u + 16000);
    TBytes samples(original.begin() + 44, original.end());
    auto check = [&](const TBytes& file, bool valid, const char* what) {
        SCOPED_TRACE(what);
        auto path = dir / "odd.wav";
        WriteFileBytes(path, file);
        TWaveIn reader;
        reader.SetFileName(path);
        EXPECT_EQ(reader.Valid(), valid);
        TBytes got = ReadAll(reader);
        if (valid) {
            EXPECT_EQ(reader.WavType(), wtPCM);
            EXPECT_TRUE(got == samples);
        } else {
            EXPECT_TRUE(got.empty());
        }
    };
    TBytes header(original.begin(), original.begin() + 36);
    TBytes dataChunk(original.begin() + 36, original.end());

    TBytes junk(500, 'R');
    junk.insert(junk.end(), original.begin(), original.end());
    check(junk, true, "junk before RIFF");

    TBytes lower = original;
    for (std::size_t pos : {0, 8, 12, 36})
        for (std::size_t i = 0; i < 4; ++i)
            lower[pos + i] = std::tolower(lower[pos + i]);
    check(lower, true, "lower-case ids");

    TBytes list = header;
    const char listChunk[] = "LIST\x03\0\0\0abc\0";
    list.insert(list.end(), listChunk, listChunk + 12);
    list.insert(list.end(), dataChunk.begin(), dataChunk.end());
    check(list, true, "an odd-sized chunk before the data");

    TBytes trailing = original;
    const char tail[] = "id3 \x08\0\0\0TAGTAGTA";
    trailing.insert(trailing.end(), tail, tail + 16);
    check(trailing, true, "a chunk after the data is not audio");

    TBytes far = header;
    TBytes filler = {'J', 'U', 'N', 'K', 0x00, 0x20, 0, 0}; // 8192 bytes
    far.insert(far.end(), filler.begin(), filler.end());
    far.resize(far.size() + 8192, 0);
    far.insert(far.end(), dataChunk.begin(), dataChunk.end());
    check(far, false, "data after 8192 bytes");

    TBytes truncated(original.begin(), original.begin() + 44 + 8000);
    samples.resize(8000);
    check(truncated, true, "data size beyond the end of the file");

    TBytes nothing(4000, 0);
    check(nothing, false, "no WAVE at all");
}

TEST(WavePipeline, AdpcmWithoutFactAndDamagedBlocks) {
    TempDir dir;
    auto source = dir / "source.wav";
    auto ms = dir / "ms.wav";
    MakeSignal(source, 8000, 1, 16, 1.0);
    RunOrThrow("sox " + ShellQuote(source.string()) + " -e ms-adpcm " + ShellQuote(ms.string()));
    TBytes file = ReadFileBytes(ms);
    std::size_t fact = 0;
    while (std::memcmp(&file[fact], "fact", 4) != 0)
        ++fact;
    std::size_t data = fact;
    while (std::memcmp(&file[data], "data", 4) != 0)
        ++data;

    TBytes noFact = file;
    std::memcpy(&noFact[fact], "LIST", 4); // the fact chunk becomes an unknown one
    WriteFileBytes(ms, noFact);
    TWaveIn reader;
    reader.SetFileName(ms);
    EXPECT_FALSE(reader.Valid());
    EXPECT_EQ(reader.WavType(), wtUnsupported);
    reader.SetFileName("");

    // A predictor index beyond the coefficient table in the third block ends the run with
    // an error rather than a silently shortened file.
    TBytes damaged = file;
    damaged[data + 8 + 2 * 256] = 7;
    WriteFileBytes(ms, damaged);
    reader.SetFileName(ms);
    ASSERT_TRUE(reader.Valid());
    TCollectOutput sink;
    sink.SetInput(&reader);
    EXPECT_NE(RunOutput(sink), "");
    EXPECT_EQ(sink.Data.size(), 2u * 500 * 2);
}

TEST(WavePipeline, AppendingKeepsTheFormatAndFixesBothSizes) {
    TempDir dir;
    auto first = dir / "first.wav";
    auto second = dir / "second.wav";
    auto out = dir / "out.wav";
    MakeSignal(first, 22050, 2, 16, 0.7);
    MakeSignal(second, 22050, 2, 16, 0.4);
    ASSERT_EQ(Convert(first, out), "");
    ASSERT_EQ(Convert(second, out, wtPCM, foAppend), "");
    TBytes expected = DecodeRawPcm(first, 16);
    TBytes more = DecodeRawPcm(second, 16);
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_TRUE(DecodeRawPcm(out, 16) == expected);
    ExpectPcmSizesConsistent(out);

    // IMA ADPCM: the earlier blocks stay, the new ones follow, fact counts both.
    auto ima = dir / "ima.wav";
    ASSERT_EQ(Convert(first, ima, wtDVIADPCM), "");
    std::size_t firstFrames = DecodeRawPcm(first, 16).size() / 4;
    std::size_t secondFrames = more.size() / 4;
    std::size_t firstBlocks = firstFrames / 505 + 1;
    ASSERT_EQ(Convert(second, ima, wtPCM, foAppend), ""); // the file decides the type
    TBytes file = ReadFileBytes(ima);
    EXPECT_EQ(file.size(), 60 + (firstBlocks + secondFrames / 505 + 1) * 512);
    EXPECT_EQ(Le32At(file, 4), file.size() - 8);
    EXPECT_EQ(Le32At(file, 56), file.size() - 60);
    EXPECT_EQ(Le32At(file, 48), firstBlocks * 505 + secondFrames);
    TWaveIn reader;
    reader.SetFileName(ima);
    TBytes ours = ReadAll(reader);
    auto sox = DecodeS16(TOracle::Sox, ima);
    sox.resize(ours.size() / 2);
    EXPECT_TRUE(ours == S16Bytes(sox));

    // Refusals leave the file as it was.
    TBytes before = ReadFileBytes(out);
    auto mono = dir / "mono.wav";
    MakeSignal(mono, 22050, 1, 16, 0.2);
    EXPECT_EQ(Convert(mono, out, wtPCM, foAppend), "Cannot append data in different audio format.");
    auto eight = dir / "eight.wav";
    MakeSignal(eight, 22050, 2, 8, 0.2);
    EXPECT_EQ(Convert(eight, ima, wtPCM, foAppend), "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_EQ(Convert(eight, dir / "new-ima.wav", wtDVIADPCM),
              "Cannot encode 8 bit sound into ADPCM.");
    auto text = dir / "text.wav";
    WriteFileText(text, std::string(300, 'x'));
    EXPECT_EQ(Convert(first, text, wtPCM, foAppend), "Cannot append data to this .wav file.");
    EXPECT_TRUE(ReadFileBytes(out) == before);
    EXPECT_EQ(ReadFileText(text), std::string(300, 'x'));

    // Appending to a missing file makes a new one.
    ASSERT_EQ(Convert(first, dir / "fresh.wav", wtPCM, foAppend), "");
    ExpectPcmSizesConsistent(dir / "fresh.wav");
}

TEST(WavePipeline, UnknownAndShortInputSizes) {
    TempDir dir;
    TBytes pcm(40000);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::uint8_t>(i * 13 + 1);

    for (TWavType type : {wtPCM, wtDVIADPCM}) {
        SCOPED_TRACE(type == wtPCM ? "PCM" : "IMA");
        auto out = dir / "unknown.wav";
        TPcmSource source(pcm, 16, 2, 44100, -1);
        TWaveOut writer;
        writer.SetInput(&source);
        writer.SetFileName(out);
        writer.SetWavType(type);
        ASSERT_EQ(RunOutput(writer), "");
        TBytes file = ReadFileBytes(out);
        EXPECT_EQ(Le32At(file, 4), file.size() - 8);
        TWaveIn reader;
        reader.SetFileName(out);
        EXPECT_EQ(reader.TotalSamples(), 10000);
        if (type == wtPCM) {
            EXPECT_TRUE(ReadAll(reader) == pcm);
        }
    }

    // Fewer bytes than announced: padded with silence to the announced length.
    for (int bits : {8, 16}) {
        auto out = dir / "short.wav";
        TPcmSource source(TBytes(pcm.begin(), pcm.begin() + 30000), bits, 2, 44100, 40000);
        TWaveOut writer;
        writer.SetInput(&source);
        writer.SetFileName(out);
        ASSERT_EQ(RunOutput(writer), "");
        TBytes file = ReadFileBytes(out);
        ASSERT_EQ(file.size(), 44u + 40000);
        ExpectPcmSizesConsistent(out);
        EXPECT_TRUE(std::equal(file.begin() + 44, file.begin() + 44 + 30000, pcm.begin()));
        std::uint8_t silence = bits == 8 ? 0x80 : 0;
        EXPECT_TRUE(std::all_of(file.begin() + 44 + 30000, file.end(), [&](std::uint8_t b) {
            return b == silence;
        })) << bits;
    }

    // More than announced: the header follows what was written.
    auto out = dir / "long.wav";
    TPcmSource source(pcm, 16, 2, 44100, 1000);
    TWaveOut writer;
    writer.SetInput(&source);
    writer.SetFileName(out);
    ASSERT_EQ(RunOutput(writer), "");
    ExpectPcmSizesConsistent(out);
    EXPECT_EQ(ReadFileBytes(out).size(), 44u + 40000);
}

TEST(WavePipeline, AStoppedRunLeavesCorrectSizes) {
    TempDir dir;
    auto in = dir / "in.wav";
    MakeSignal(in, 44100, 2, 16, 6.0);
    for (TWavType type : {wtPCM, wtDVIADPCM}) {
        auto out = dir / "stopped.wav";
        TWaveIn reader;
        reader.SetFileName(in);
        TWaveOut writer;
        writer.SetInput(&reader);
        writer.SetFileName(out);
        writer.SetWavType(type);
        writer.SetDelay(20);
        writer.SetOnProgress([](TAuOutput* sender) {
            if (sender->Progress() >= 3) sender->Stop(true);
        });
        ASSERT_EQ(RunOutput(writer), "");
        TBytes file = ReadFileBytes(out);
        EXPECT_LT(file.size(), 6 * 44100 * 4 / 4u);
        EXPECT_EQ(Le32At(file, 4), file.size() - 8);
        if (type == wtPCM) {
            ExpectPcmSizesConsistent(out);
        } else {
            EXPECT_EQ(Le32At(file, 56), file.size() - 60);
            EXPECT_EQ(DecodeS16(TOracle::FFmpeg, out).size() / 2 / 505, (file.size() - 60) / 512);
        }
    }
}

TEST(WavePipeline, WriterSettersKeepOnlyValidValues) {
    TWaveOut writer;
    writer.SetWavType(wtMSADPCM);
    EXPECT_EQ(writer.WavType(), wtPCM);
    writer.SetWavType(wtDVIADPCM);
    EXPECT_EQ(writer.WavType(), wtDVIADPCM);
    writer.SetBlockSize(510);
    EXPECT_EQ(writer.BlockSize(), 512);
    writer.SetBlockSize(0);
    EXPECT_EQ(writer.BlockSize(), 512);
    writer.SetBlockSize(1024);
    EXPECT_EQ(writer.BlockSize(), 1024);
    writer.SetFileMode(foAppend);
    EXPECT_EQ(writer.FileMode(), foAppend);

    EXPECT_THROW(writer.Start(), EAuException); // no input
    TPcmSource source(TBytes(400), 16, 2, 44100, 400);
    writer.SetInput(&source);
    EXPECT_EQ(RunOutput(writer), "File name is not assigned.");

    // Stereo codes come in 4-byte groups per channel: a block must hold whole pairs of them.
    TempDir dir;
    writer.SetFileName(dir / "odd.wav");
    writer.SetBlockSize(516);
    EXPECT_EQ(RunOutput(writer), "The ADPCM block size does not suit the channel count.");
    TPcmSource surround(TBytes(1200), 16, 6, 44100, 1200);
    writer.SetInput(&surround);
    writer.SetBlockSize(512);
    EXPECT_EQ(RunOutput(writer), "Cannot encode more than 2 channels into ADPCM.");
    EXPECT_FALSE(surround.Busy()); // closed again by the refusal
}
