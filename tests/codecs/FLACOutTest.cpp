// The FLAC sink, checked with flac and metaflac.
#include "FLACOut.h"
#include "CodecTestSupport.h"

#include "FileShare.h"

namespace bw {
namespace {

using namespace bwtest;

std::string Q(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

// Decodes with flac to raw little-endian samples (unsigned for 8-bit, as our PCM is).
std::vector<std::uint8_t> FlacDecode(const std::filesystem::path& file, int bits) {
    auto raw = file.string() + ".raw";
    auto r = RunCommand("flac -s -f -d --force-raw-format --endian=little --sign=" +
                        std::string(bits == 8 ? "unsigned" : "signed") + " -o " + ShellQuote(raw) +
                        " " + Q(file));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return ReadFileBytes(raw);
}

struct TFormat {
    int Bits, Channels;
};

class FLACRoundTrip : public ::testing::TestWithParam<TFormat> {};

TEST_P(FLACRoundTrip, FlacAcceptsAndDecodesBitExact) {
    const auto [bits, channels] = GetParam();
    TempDir dir;
    auto file = dir / "out.flac";
    auto pcm = Music(bits, channels, 44100, 44100 + 1234, bits * channels);
    TPcmSource source(bits, channels, 44100, pcm, 4096 * channels * bits / 8);
    TFLACOut out;
    out.SetFileName(file);
    out.SetCompressionLevel(5);
    ASSERT_EQ(RunOutput(out, source), "");
    auto test = RunCommand("flac -t -s " + Q(file));
    EXPECT_EQ(test.ExitCode, 0) << test.Output;
    EXPECT_EQ(FlacDecode(file, bits), pcm);
    auto info = RunCommand("metaflac --show-bps --show-channels --show-sample-rate "
                           "--show-total-samples " +
                           Q(file));
    EXPECT_EQ(info.Output, std::to_string(bits) + "\n" + std::to_string(channels) + "\n44100\n" +
                               std::to_string(44100 + 1234) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Widths, FLACRoundTrip,
                         ::testing::Values(TFormat{8, 1}, TFormat{8, 2}, TFormat{16, 1},
                                           TFormat{16, 2}, TFormat{24, 1}, TFormat{24, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.Bits) + "bit" +
                                    std::to_string(info.param.Channels) + "ch";
                         });

TEST(FLACOut, CommentBlockReplacedWithOursInFixedOrder) {
    TempDir dir;
    auto file = dir / "tags.flac";
    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 10000));
    TFLACOut out;
    out.SetFileName(file);
    TVorbisTags tags;
    tags.SetTrack("7");
    tags.SetGenre("Rock");
    tags.SetDate("1999");
    tags.SetAlbum("Albüm ☃");
    tags.SetArtist("Ärtist");
    tags.SetTitle("Tïtle");
    out.SetTags(tags);
    ASSERT_EQ(RunOutput(out, source), "");
    auto list = RunCommand("metaflac --list --block-type=VORBIS_COMMENT " + Q(file));
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    EXPECT_NE(list.Output.find("vendor string: VENDOR=Hacked"), std::string::npos) << list.Output;
    EXPECT_NE(list.Output.find("comments: 6\n"
                               "    comment[0]: title=Tïtle\n"
                               "    comment[1]: artist=Ärtist\n"
                               "    comment[2]: album=Albüm ☃\n"
                               "    comment[3]: date=1999\n"
                               "    comment[4]: genre=Rock\n"
                               "    comment[5]: tracknumber=7\n"),
              std::string::npos)
        << list.Output;
    // The library's comment block was the last metadata block; ours is followed by 8 KiB of
    // padding, which takes that bit, so that tags added later fit in place.
    auto bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 42u);
    EXPECT_EQ(bytes[42], 0x04);
    const std::size_t padding = 46 + (bytes[43] << 16 | bytes[44] << 8 | bytes[45]);
    ASSERT_GT(bytes.size(), padding + 4);
    EXPECT_EQ(std::vector<int>(bytes.begin() + padding, bytes.begin() + padding + 4),
              (std::vector<int>{0x81, 0, 0x20, 0}));
    EXPECT_EQ(RunCommand("flac -t -s " + Q(file)).ExitCode, 0);
}

TEST(FLACOut, OnlyArtistAndTitleGiveTwoCommentsTitleFirst) {
    TempDir dir;
    auto file = dir / "two.flac";
    TPcmSource source(16, 1, 22050, Music(16, 1, 22050, 5000));
    TFLACOut out;
    out.SetFileName(file);
    out.Tags().SetArtist("A");
    out.Tags().SetTitle("T");
    ASSERT_EQ(RunOutput(out, source), "");
    auto list = RunCommand("metaflac --export-tags-to=- " + Q(file));
    EXPECT_EQ(list.Output, "title=T\nartist=A\n");
}

TEST(FLACOut, PartialLastBlockIsEncoded) {
    // 4608 x 2 x 2 + 100 bytes: blocks of 4608, 4608 and 25 frames.
    TempDir dir;
    auto file = dir / "partial.flac";
    auto pcm = Music(16, 2, 44100, 4608 * 2 + 25);
    ASSERT_EQ(pcm.size(), 4608u * 2 * 2 * 2 + 100);
    TPcmSource source(16, 2, 44100, pcm, 1000);
    TFLACOut out;
    out.SetFileName(file);
    ASSERT_EQ(RunOutput(out, source), "");
    EXPECT_EQ(RunCommand("metaflac --show-total-samples --show-min-blocksize "
                         "--show-max-blocksize " +
                         Q(file))
                  .Output,
              "9241\n4608\n4608\n");
    EXPECT_EQ(FlacDecode(file, 16), pcm);
}

TEST(FLACOut, PropertySettersWithSideEffects) {
    TFLACOut out;
    EXPECT_EQ(out.CompressionLevel(), -1);
    out.SetCompressionLevel(12);
    EXPECT_EQ(out.CompressionLevel(), 8);
    out.SetCompressionLevel(-5);
    EXPECT_EQ(out.CompressionLevel(), -5);

    out.EnableMidSideStereo = false;
    out.SetEnableLooseMidSideStereo(true);
    EXPECT_TRUE(out.EnableMidSideStereo);
    EXPECT_TRUE(out.EnableLooseMidSideStereo());
    out.EnableMidSideStereo = false;
    out.SetBestModelSearch(true);
    EXPECT_TRUE(out.BestModelSearch());
    EXPECT_TRUE(out.EnableMidSideStereo);
    EXPECT_FALSE(out.EnableLooseMidSideStereo());
    out.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foRewrite);
}

TEST(FLACOut, DetailedModeLowersThePrecisionFor24Bit) {
    TempDir dir;
    auto file = dir / "detailed.flac";
    auto pcm = Music(24, 2, 48000, 20000);
    TPcmSource source(24, 2, 48000, pcm);
    TFLACOut out;
    out.SetFileName(file);
    out.SetCompressionLevel(-5);
    out.MaxLPCOrder = 8;
    out.QLPCoeffPrecision = 15;
    out.MaxResidualPartitionOrder = 4;
    ASSERT_EQ(RunOutput(out, source), "");
    EXPECT_EQ(out.QLPCoeffPrecision, 7);
    EXPECT_EQ(FlacDecode(file, 24), pcm);
}

TEST(FLACOut, FailuresNameTheCauseAndReleaseTheRun) {
    TempDir dir;
    TFLACOut out;
    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 1000));
    EXPECT_EQ(RunOutput(out, source), "File name is not assigned.");

    out.SetFileName(dir / "missing-folder" / "x.flac");
    EXPECT_NE(RunOutput(out, source).find("Cannot create file"), std::string::npos);

    // A read failure halfway: the file is closed and the input is closed, so both can be
    // used again at once.
    auto file = dir / "cut.flac";
    TFailingSource failing(Music(16, 2, 44100, 44100), 50000);
    out.SetFileName(file);
    EXPECT_EQ(RunOutput(out, failing), "read error");
    EXPECT_FALSE(failing.Busy());
    EXPECT_FALSE(IsFileLocked(file.string()));
    EXPECT_FALSE(out.Busy());

    // And the output runs again normally afterwards.
    TPcmSource good(16, 2, 44100, Music(16, 2, 44100, 3000));
    EXPECT_EQ(RunOutput(out, good), "");
    EXPECT_EQ(RunCommand("flac -t -s " + Q(file)).ExitCode, 0);
}

// A stream that reports every position 5 GiB further on, as if the FLAC data followed a
// large file's first 5 GiB; seeks below that base fail.
class TFarStream : public TStream {
public:
    static constexpr std::int64_t Base = std::int64_t(5) << 30;
    std::int64_t Read(void* buffer, std::int64_t count) override {
        return FInner.Read(buffer, count);
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        return FInner.Write(buffer, count);
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        if (origin == TSeekOrigin::soBeginning) {
            if (offset < Base) return -1;
            offset -= Base;
        }
        const std::int64_t inner = FInner.Seek(offset, origin);
        return inner < 0 ? -1 : inner + Base;
    }
    const std::vector<std::uint8_t>& Bytes() const { return FInner.Bytes(); }

private:
    TMemoryStream FInner;
};

TEST(FLACOut, SeeksBackPastFourGigabytes) {
    // The library seeks back to the stream information at the end; with a 32-bit offset that
    // seek would miss and the header would stay incomplete.
    TempDir dir;
    auto pcm = Music(16, 2, 44100, 30000);
    TPcmSource source(16, 2, 44100, pcm);
    TFarStream stream;
    TFLACOut out;
    out.SetStream(&stream);
    ASSERT_EQ(RunOutput(out, source), "");
    auto file = dir / "far.flac";
    WriteFileBytes(file, stream.Bytes());
    EXPECT_EQ(RunCommand("flac -t -s " + Q(file)).ExitCode, 0);
    EXPECT_EQ(RunCommand("metaflac --show-total-samples " + Q(file)).Output, "30000\n");
    EXPECT_EQ(FlacDecode(file, 16), pcm);
}

TEST(FLACLibraryLoad, MissingLibraryRefusesTheOutput) {
    auto& binding = FLACLibrary();
    binding.Unload();
    binding.SetFileName("libFLAC-absent.so.12");
    binding.Load();
    try {
        TFLACOut out;
        ADD_FAILURE() << "constructed without the library";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libFLAC-absent.so.12 library could not be loaded.");
    }
    binding.SetFileName("libFLAC.so.12");
    EXPECT_TRUE(binding.Load());
}

} // namespace
} // namespace bw
