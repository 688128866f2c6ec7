// The Ogg Vorbis sink, checked with ogginfo, oggdec and vorbiscomment.
#include "VorbisOut.h"
#include "CodecTestSupport.h"

#include "FileShare.h"

#include <regex>

namespace bw {
namespace {

using namespace bwtest;
using B = TVorbisBitRate;

std::string Q(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

std::string OggInfo(const std::filesystem::path& file) {
    auto r = RunCommand("ogginfo " + Q(file));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output.find("WARNING"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("ERROR"), std::string::npos) << r.Output;
    return r.Output;
}

std::string Encode(TVorbisOut& out, const std::filesystem::path& file, int bits, int channels,
                   std::size_t frames, int rate = 44100) {
    TPcmSource source(bits, channels, rate, Music(bits, channels, rate, frames),
                      4096 * channels * bits / 8);
    out.SetFileName(file);
    return RunOutput(out, source);
}

TEST(VorbisOut, DecodesToTheInputLength) {
    TempDir dir;
    struct {
        int Bits, Channels;
        std::size_t Frames;
    } cases[] = {{16, 2, 44100 * 2 + 333}, {8, 1, 30000}, {24, 2, 20001}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bits) + " bit " + std::to_string(c.Channels) + " ch");
        auto file = dir / ("out" + std::to_string(c.Bits) + ".ogg");
        TVorbisOut out;
        ASSERT_EQ(Encode(out, file, c.Bits, c.Channels, c.Frames), "");
        OggInfo(file);
        auto raw = file.string() + ".raw";
        auto dec = RunCommand("oggdec -Q -R -b 16 -o " + ShellQuote(raw) + " " + Q(file));
        ASSERT_EQ(dec.ExitCode, 0) << dec.Output;
        EXPECT_EQ(ReadFileBytes(raw).size(), c.Frames * c.Channels * 2);
    }
}

TEST(VorbisOut, CommentsInStoreOrderAsUtf8AndClearedAfterTheRun) {
    TempDir dir;
    auto file = dir / "tags.ogg";
    TVorbisOut out;
    out.Comments().SetTitle("Tïtle");
    out.Comments().SetTrack("3");
    out.Comments().SetArtist("Ärtist ☃");
    out.Comments().SetAlbum("Album");
    out.Comments().SetGenre("");
    ASSERT_EQ(Encode(out, file, 16, 2, 10000), "");
    auto list = RunCommand("vorbiscomment -l " + Q(file));
    EXPECT_EQ(list.Output, "album=Album\nartist=Ärtist ☃\ntitle=Tïtle\ntracknumber=3\n");
    EXPECT_EQ(out.Comments().Artist(), "");

    // Only artist and title: two comments, artist first. After Clear: none.
    out.Comments().SetTitle("T");
    out.Comments().SetArtist("A");
    ASSERT_EQ(Encode(out, file, 16, 2, 10000), "");
    EXPECT_EQ(RunCommand("vorbiscomment -l " + Q(file)).Output, "artist=A\ntitle=T\n");
    out.Comments().Clear();
    ASSERT_EQ(Encode(out, file, 16, 2, 10000), "");
    EXPECT_EQ(RunCommand("vorbiscomment -l " + Q(file)).Output, "");
}

TEST(VorbisOut, BitrateSettersKeepTheirOrder) {
    TVorbisOut out;
    out.SetDesiredMaximumBitrate(B::br192); // ignored while the nominal is automatic
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::brAutoSelect);
    out.SetDesiredNominalBitrate(B::br128);
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::br128);
    EXPECT_EQ(out.MinimumBitrate(), B::brAutoSelect);
    auto setup = out.MakeSetup();
    EXPECT_FALSE(setup.QualityMode);
    EXPECT_EQ(setup.Maximum, 128000);
    EXPECT_EQ(setup.Nominal, 128000);
    EXPECT_EQ(setup.Minimum, 128000);
    out.SetMinimumBitrate(B::br160); // above the nominal: ignored
    EXPECT_EQ(out.MinimumBitrate(), B::brAutoSelect);
    out.SetMinimumBitrate(B::br56);
    out.SetDesiredMaximumBitrate(B::br96); // below the nominal: ignored
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::br128);
    out.SetDesiredMaximumBitrate(B::brAutoSelect);
    EXPECT_EQ(out.MakeSetup().Maximum, -1);
    EXPECT_EQ(out.MakeSetup().Minimum, 56000);
    out.SetDesiredNominalBitrate(B::br48); // pulls the minimum down
    EXPECT_EQ(out.MinimumBitrate(), B::br48);
    out.SetDesiredNominalBitrate(B::brAutoSelect);
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::brAutoSelect);
    EXPECT_EQ(out.MinimumBitrate(), B::brAutoSelect);
    EXPECT_TRUE(out.MakeSetup().QualityMode);
    EXPECT_FLOAT_EQ(out.MakeSetup().Quality, 0.2f);
}

TEST(VorbisOut, BitrateAndQualityModeReachTheLibrary) {
    TempDir dir;
    auto file = dir / "rate.ogg";
    TVorbisOut out;
    out.SetDesiredNominalBitrate(B::br128);
    ASSERT_EQ(Encode(out, file, 16, 2, 20000), "");
    auto info = OggInfo(file);
    EXPECT_NE(info.find("Nominal bitrate: 128.000000 kb/s"), std::string::npos) << info;
    EXPECT_NE(info.find("Upper bitrate: 128.000000 kb/s"), std::string::npos) << info;
    EXPECT_NE(info.find("Lower bitrate: 128.000000 kb/s"), std::string::npos) << info;

    out.SetMinimumBitrate(B::br56);
    ASSERT_EQ(Encode(out, file, 16, 2, 20000), "");
    info = OggInfo(file);
    EXPECT_NE(info.find("Lower bitrate: 56.000000 kb/s"), std::string::npos) << info;

    // Quality mode: no upper or lower limit; quality 0.9 gives a far higher nominal rate.
    out.SetDesiredNominalBitrate(B::brAutoSelect);
    out.Compression = 0.9f;
    ASSERT_EQ(Encode(out, file, 16, 2, 20000), "");
    info = OggInfo(file);
    EXPECT_NE(info.find("Upper bitrate not set"), std::string::npos) << info;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex("Nominal bitrate: ([0-9.]+) kb/s")));
    EXPECT_GT(std::stod(m[1]), 250.0);

    // A bitrate the library cannot give for this format is refused with the message.
    out.SetDesiredNominalBitrate(B::br24);
    TempDir other;
    EXPECT_EQ(Encode(out, other / "low.ogg", 16, 2, 1000, 48000),
              "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
    EXPECT_FALSE(IsFileLocked((other / "low.ogg").string()));
}

TEST(VorbisOut, AppendingAddsASecondCompleteStream) {
    TempDir dir;
    auto file = dir / "chain.ogg";
    TVorbisOut out;
    out.Serial = 11;
    ASSERT_EQ(Encode(out, file, 16, 2, 15000), "");
    auto first = ReadFileBytes(file);
    out.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foAppend);
    out.Serial = 12;
    ASSERT_EQ(Encode(out, file, 16, 2, 15000), "");
    auto both = ReadFileBytes(file);
    ASSERT_GT(both.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), both.begin()));
    auto info = OggInfo(file);
    EXPECT_NE(info.find("serial: 0000000b"), std::string::npos) << info;
    EXPECT_NE(info.find("serial: 0000000c"), std::string::npos) << info;
    EXPECT_NE(info.find("Logical stream 2 ended"), std::string::npos) << info;

    // Appending to a missing file creates it.
    auto fresh = dir / "fresh.ogg";
    ASSERT_EQ(Encode(out, fresh, 16, 1, 5000), "");
    OggInfo(fresh);
}

TEST(VorbisOut, EmptyInputGivesHeadersAndTheEndOfStream) {
    TempDir dir;
    auto file = dir / "empty.ogg";
    TVorbisOut out;
    ASSERT_EQ(Encode(out, file, 16, 2, 0), "");
    auto r = RunCommand("ogginfo " + Q(file));
    EXPECT_NE(r.Output.find("Logical stream 1 ended"), std::string::npos) << r.Output;
}

TEST(VorbisOut, FailedRunReleasesFileAndInput) {
    TempDir dir;
    auto file = dir / "cut.ogg";
    TVorbisOut out;
    TFailingSource failing(Music(16, 2, 44100, 44100), 100000);
    out.SetFileName(file);
    EXPECT_EQ(RunOutput(out, failing), "read error");
    EXPECT_FALSE(failing.Busy());
    EXPECT_FALSE(IsFileLocked(file.string()));
    TVorbisOut unnamed;
    TPcmSource source(16, 2, 44100, Music(16, 2, 44100, 100));
    EXPECT_EQ(RunOutput(unnamed, source), "File name is not assigned.");
}

TEST(VorbisLibraryLoad, FirstMissingLibraryIsNamed) {
    auto& enc = VorbisEncLibrary();
    enc.Unload();
    enc.SetFileName("libvorbisenc-absent.so.2");
    enc.Load();
    try {
        TVorbisOut out;
        ADD_FAILURE() << "constructed without libvorbisenc";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libvorbisenc-absent.so.2 library could not be loaded.");
    }
    auto& ogg = OggLibrary();
    ogg.Unload();
    ogg.SetFileName("libogg-absent.so.0");
    ogg.Load();
    try {
        TVorbisOut out;
        ADD_FAILURE() << "constructed without libogg";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libogg-absent.so.0 library could not be loaded.");
    }
    ogg.SetFileName("libogg.so.0");
    enc.SetFileName("libvorbisenc.so.2");
    EXPECT_TRUE(ogg.Load());
    EXPECT_TRUE(enc.Load());
}

} // namespace
} // namespace bw
