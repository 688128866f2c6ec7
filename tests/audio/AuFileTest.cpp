// File streams and the file source base: sharing modes as locks, lazy opening, ranges,
// seeking, looping, streams that cannot seek, and failures that must be reported.
#include "AuFileOut.h"
#include "AuTaggedFile.h"
#include "AuTestComponents.h"
#include "FullStream.h"
#include "TestSupport.h"
#include "WaveIn.h"
#include "WaveOut.h"
#include "WaveTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>

using namespace bw;
using namespace bwtest;

namespace {

using TBytes = std::vector<std::uint8_t>;

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EAuException& e) {
        return e.what();
    }
    return "";
}

// Pulls everything a started source gives, in requests of `request` bytes.
TBytes Drain(TAuInput& input, int request = 4096, std::size_t limit = 1 << 26) {
    TBytes all;
    std::vector<std::uint8_t> buffer(request);
    while (all.size() < limit) {
        int n = input.PullInto(buffer.data(), request);
        if (n == 0) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + n);
    }
    return all;
}

TBytes Ramp16(std::size_t frames, int channels) {
    TBytes pcm(frames * channels * 2);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        auto v = static_cast<std::uint16_t>(i * 3);
        pcm[2 * i] = v & 0xFF, pcm[2 * i + 1] = v >> 8;
    }
    return pcm;
}

TBytes PcmFile(const TBytes& pcm, int channels, int bits = 16) {
    auto header = MakePcmHeader(channels, 8000, bits, static_cast<std::uint32_t>(pcm.size()));
    TBytes file(header.size() + pcm.size());
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(pcm.begin(), pcm.end(), file.begin() + header.size());
    return file;
}

class TPlainFileOut : public TAuFileOut {
public:
    ~TPlainFileOut() override { Shutdown(); }

protected:
    void PrepareOutput() override {}
    bool OutputBlock(bool) override { return false; }
    void FinishOutput() override {}
};

} // namespace

TEST(AuFileStream, ModesBecomeLocksAndFailuresNameTheFile) {
    TempDir dir;
    auto path = dir / "a.wav";
    EXPECT_EQ(ErrorOf([&] { TAuFileStream s(path, fmOpenRead | fmShareDenyWrite); }),
              "Cannot open file " + path.string());
    WriteFileText(path, "keep me");

    {
        // Readers share; a writer that wants the file alone is refused and changes nothing.
        TAuFileStream reader1(path, fmOpenRead | fmShareDenyWrite);
        TAuFileStream reader2(path, fmOpenRead | fmShareDenyWrite);
        EXPECT_TRUE(IsFileLocked(path));
        EXPECT_EQ(ErrorOf([&] { TAuFileStream s(path, fmCreate); }),
                  "Cannot create file " + path.string());
        EXPECT_EQ(ErrorOf([&] { TAuFileStream s(path, fmOpenReadWrite | fmShareExclusive); }),
                  "Cannot open file " + path.string());
        char text[8] = {};
        EXPECT_EQ(reader1.Read(text, 7), 7);
        EXPECT_STREQ(text, "keep me");
    }
    EXPECT_FALSE(IsFileLocked(path));
    {
        TAuFileStream writer(path, fmCreate);
        EXPECT_EQ(writer.Size(), 0);
        writer.WriteBuffer("new", 3);
        EXPECT_EQ(ErrorOf([&] { TAuFileStream s(path, fmOpenRead | fmShareDenyWrite); }),
                  "Cannot open file " + path.string());
    }
    EXPECT_EQ(ReadFileText(path), "new");
    EXPECT_EQ(ErrorOf([&] { TAuFileStream s(dir / "no/such/dir.wav", fmCreate); }),
              "Cannot create file " + (dir / "no/such/dir.wav").string());
}

TEST(AuFileIn, OpensLazilyAndClosesOnANewName) {
    TempDir dir;
    auto path = dir / "a.wav";
    WriteFileBytes(path, PcmFile(Ramp16(1000, 2), 2));
    TWaveIn reader;
    std::uint8_t* data = nullptr;
    int bytes = 100;
    EXPECT_EQ(ErrorOf([&] { reader.PullData(data, bytes); }), "The Stream is not opened");
    EXPECT_FALSE(reader.Valid()); // neither name nor stream
    reader.OpenRead();
    EXPECT_TRUE(reader.EndOfStream());
    reader.CloseRead();

    reader.SetFileName(path);
    EXPECT_FALSE(IsFileLocked(path));
    EXPECT_EQ(reader.BitsPerSample(), 16); // opens the file
    EXPECT_TRUE(IsFileLocked(path));
    EXPECT_EQ(reader.Channels(), 2);
    EXPECT_EQ(reader.SampleRate(), 8000);
    EXPECT_EQ(reader.TotalSamples(), 1000);
    EXPECT_EQ(reader.TotalTime(), 0); // 0.125 s
    reader.SetFileName("");
    EXPECT_FALSE(IsFileLocked(path));

    auto empty = dir / "empty.wav";
    WriteFileBytes(empty, PcmFile({}, 2));
    reader.SetFileName(empty);
    EXPECT_TRUE(reader.Valid());
    EXPECT_EQ(reader.TotalSamples(), -1);

    reader.SetFileName(dir / "missing.wav");
    EXPECT_EQ(ErrorOf([&] { reader.BitsPerSample(); }),
              "Cannot open file " + (dir / "missing.wav").string());
    // In a run the missing file is just an empty input.
    TCollectOutput sink;
    sink.SetInput(&reader);
    EXPECT_EQ(RunOutput(sink), "");
    EXPECT_TRUE(sink.Data.empty());
}

TEST(AuFileIn, RangesSeeksAndLoopsDeliverTheFramesAsked) {
    TempDir dir;
    auto pcmPath = dir / "pcm.wav";
    auto imaPath = dir / "ima.wav";
    auto source = dir / "source.wav";
    MakeSignal(source, 22050, 2, 16, 0.6);
    ASSERT_EQ(ErrorOf([&] {
                  TWaveIn in;
                  in.SetFileName(source);
                  TWaveOut out;
                  out.SetInput(&in);
                  out.SetFileName(imaPath);
                  out.SetWavType(wtDVIADPCM);
                  if (RunOutput(out) != "") throw EAuException("conversion failed");
              }),
              "");
    std::filesystem::copy_file(source, pcmPath);

    for (auto path : {pcmPath, imaPath}) {
        SCOPED_TRACE(path.filename().string());
        TWaveIn reader;
        reader.SetFileName(path);
        reader.OpenRead();
        TBytes whole = Drain(reader, 1000);
        reader.CloseRead();
        ASSERT_EQ(whole.size(), static_cast<std::size_t>(reader.TotalSamples() * 4));

        // A range of frames, also across ADPCM block boundaries.
        reader.SetStartSample(1000);
        reader.SetEndSample(1999);
        reader.OpenRead();
        EXPECT_EQ(reader.Size(), 4000);
        TBytes range = Drain(reader, 4096);
        reader.CloseRead();
        EXPECT_TRUE(range == TBytes(whole.begin() + 4000, whole.begin() + 8000));
        EXPECT_EQ(reader.StartSample(), 0); // per-run options are reset
        EXPECT_EQ(reader.EndSample(), -1);

        // Seek while idle sets the next run's start; while busy it moves within the run.
        EXPECT_TRUE(reader.Seek(5000));
        reader.OpenRead();
        TBytes tail = Drain(reader, 4096);
        EXPECT_EQ(tail.size(), whole.size() - 20000);
        EXPECT_TRUE(tail == TBytes(whole.begin() + 20000, whole.end()));
        EXPECT_TRUE(reader.Seek(777));
        EXPECT_EQ(reader.Position(), 777 * 4);
        TBytes again = Drain(reader, 4096);
        EXPECT_TRUE(again == TBytes(whole.begin() + (5000 + 777) * 4, whole.end()));
        reader.CloseRead();
        EXPECT_FALSE(reader.Seek(reader.TotalSamples() + 1));

        // Loop starts over at the range start, for ever.
        reader.SetLoop(true);
        reader.SetStartSample(100);
        reader.OpenRead();
        TBytes looped = Drain(reader, 4096, whole.size() * 3);
        reader.CloseRead();
        reader.SetLoop(false);
        std::size_t lap = whole.size() - 400;
        ASSERT_GE(looped.size(), 2 * lap + 100);
        EXPECT_TRUE(TBytes(looped.begin(), looped.begin() + lap) ==
                    TBytes(whole.begin() + 400, whole.end()));
        EXPECT_TRUE(TBytes(looped.begin() + lap, looped.begin() + 2 * lap) ==
                    TBytes(whole.begin() + 400, whole.end()));
    }
}

TEST(AuFileIn, StreamsThatCannotSeekAreReadToo) {
    TempDir dir;
    auto source = dir / "source.wav";
    MakeSignal(source, 8000, 2, 16, 0.7);
    TBytes file = ReadFileBytes(source);
    TBytes junk(77, 'x');
    junk.insert(junk.end(), file.begin(), file.end());

    TMemoryStream memory(junk);
    TForwardOnlyStream pipe(memory);
    TWaveIn reader;
    reader.SetSeekable(false);
    reader.SetStream(&pipe);
    ASSERT_TRUE(reader.StreamAssigned());
    EXPECT_EQ(reader.Channels(), 2);
    reader.OpenRead();
    TBytes got = Drain(reader, 999);
    reader.CloseRead();
    EXPECT_TRUE(got == TBytes(file.begin() + 44, file.end()));
}

TEST(AuFileOut, OnlyWritersThatAppendKeepTheAppendMode) {
    TPlainFileOut plain;
    plain.SetFileMode(foAppend);
    EXPECT_EQ(plain.FileMode(), foRewrite);
}

TEST(AuFileOut, AWriteFailureEndsTheRunWithAnError) {
    TMemoryStream memory(PcmFile(Ramp16(20000, 2), 2));
    TWaveIn reader;
    reader.SetStream(&memory);
    TFullStream full(30000);
    TWaveOut writer;
    writer.SetInput(&reader);
    writer.SetStream(&full);
    EXPECT_EQ(RunOutput(writer), "Cannot write to stream");
    EXPECT_FALSE(reader.Busy()); // the input was closed all the same
}

TEST(AuTaggedFile, OwnTheirTagStoresAndCopyIntoThem) {
    struct TTaggedOut : TAuTaggedFileOut {
        ~TTaggedOut() override { Shutdown(); }
        void PrepareOutput() override {}
        bool OutputBlock(bool) override { return false; }
        void FinishOutput() override {}
    } out;
    TId3v2Tags given;
    given.SetValue(given.KeyAt(0), std::string("value"));
    TId3v2Tags* owned = &out.Id3v2Tags();
    out.SetId3v2Tags(given);
    EXPECT_EQ(&out.Id3v2Tags(), owned);
    EXPECT_EQ(out.Id3v2Tags().ValueAsString(given.KeyAt(0)), "value");
    given.SetValue(given.KeyAt(0), std::string("changed"));
    EXPECT_EQ(out.Id3v2Tags().ValueAsString(given.KeyAt(0)), "value");
    EXPECT_GT(out.Id3v1Tags().TagCount(), 0);
    EXPECT_GT(out.APEv2Tags().TagCount(), 0);
}
