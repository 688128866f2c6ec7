// Copying the settings and the disc fields into the encoders.
#include "ApplyOptions.h"
#include "CodecTestSupport.h"
#include "FLACOut.h"
#include "Genres.h"
#include "Global.h"
#include "MP3Out.h"
#include "OpusOut.h"
#include "VorbisOut.h"
#include "WMAOut.h"

namespace bw {
namespace {

using B = TVorbisBitRate;

class ApplyOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { FSaved = Settings; }
    void TearDown() override { Settings = FSaved; }

private:
    TAppSettings FSaved;
};

TEST_F(ApplyOptionsTest, MP3) {
    TMP3Out out;
    Settings.Mp3CPU = 3;
    Settings.ConstantBitRate = 5;
    Settings.IsSelectVBR = true;
    Settings.IsVBRHead = true;
    Settings.StereoMode = 1;
    Settings.Mp3BitRate = 96;
    Settings.Mp3MaxBitRate = 256;
    Settings.VBRQuality = 2;
    ApplyMP3Options(out);
    EXPECT_EQ(out.Delay(), 1);
    EXPECT_EQ(out.BitRate, TMP3BitRate::br128);
    EXPECT_TRUE(out.EnableVBR);
    EXPECT_TRUE(out.WriteVBRHeader);
    EXPECT_EQ(out.Mode, TMP3Mode::JOINT_STEREO);
    EXPECT_EQ(out.VBRMinBitrate, 96);
    EXPECT_EQ(out.VBRMaxBitrate, 256);
    EXPECT_EQ(out.VBRQuality, TMP3Quality::ql2);

    Settings.Mp3CPU = 1;
    Settings.ConstantBitRate = 8;
    ApplyMP3Options(out);
    EXPECT_EQ(out.Delay(), 11);
    EXPECT_EQ(out.BitRate, TMP3BitRate::br320);

    // Out of range: bitrate and quality stay as they were.
    Settings.ConstantBitRate = 9;
    Settings.VBRQuality = 10;
    ApplyMP3Options(out);
    EXPECT_EQ(out.BitRate, TMP3BitRate::br320);
    EXPECT_EQ(out.VBRQuality, TMP3Quality::ql2);
    Settings.ConstantBitRate = -1;
    ApplyMP3Options(out);
    EXPECT_EQ(out.BitRate, TMP3BitRate::br320);
}

TEST_F(ApplyOptionsTest, VorbisQualityAndBitrateModes) {
    TVorbisOut out;
    Settings.IsUseCompress = true;
    Settings.CompressPosition = 55;
    ApplyVorbisOptions(out, {});
    EXPECT_FLOAT_EQ(out.Compression, 0.45f);
    EXPECT_TRUE(out.MakeSetup().QualityMode);
    Settings.CompressPosition = 30;
    ApplyVorbisOptions(out, {});
    EXPECT_FLOAT_EQ(out.Compression, 0.2f);
    Settings.CompressPosition = 100;
    ApplyVorbisOptions(out, {});
    EXPECT_FLOAT_EQ(out.Compression, 0.9f);

    // Maximum assigned while the nominal is still automatic: dropped, then raised by the
    // nominal assignment.
    Settings.IsUseCompress = false;
    Settings.OggMaxBitRate = 8;
    Settings.OggNomalBitRate = 8;
    Settings.OggMinBitRate = 0;
    ApplyVorbisOptions(out, {});
    EXPECT_EQ(out.DesiredNominalBitrate(), B::br128);
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::br128);
    EXPECT_EQ(out.MinimumBitrate(), B::brAutoSelect);
    EXPECT_FLOAT_EQ(out.Compression, 0.2f);
    auto setup = out.MakeSetup();
    EXPECT_EQ(setup.Maximum, 128000);
    EXPECT_EQ(setup.Minimum, 128000);

    // Now the nominal is set, a second apply takes the higher maximum.
    Settings.OggMaxBitRate = 14;
    Settings.OggMinBitRate = 1;
    ApplyVorbisOptions(out, {});
    EXPECT_EQ(out.DesiredMaximumBitrate(), B::br320);
    EXPECT_EQ(out.MinimumBitrate(), B::br45);

    // An index outside the list selects nothing.
    Settings.OggNomalBitRate = 15;
    ApplyVorbisOptions(out, {});
    EXPECT_EQ(out.DesiredNominalBitrate(), B::br128);
}

TEST_F(ApplyOptionsTest, DiscFieldsBecomeComments) {
    TVorbisOut vorbis;
    TFLACOut flac;
    vorbis.Comments().SetTrack("9"); // cleared first
    TDiscTagFields disc{"Ärtist", "Album", "2001", "Jazz", "A comment"};
    ApplyVorbisOptions(vorbis, disc);
    EXPECT_EQ(vorbis.Comments().Artist(), "Ärtist");
    EXPECT_EQ(vorbis.Comments().Album(), "Album");
    EXPECT_EQ(vorbis.Comments().Date(), "2001");
    EXPECT_EQ(vorbis.Comments().Genre(), "Jazz");
    EXPECT_EQ(vorbis.Comments().Title(), "A comment");
    EXPECT_EQ(vorbis.Comments().Track(), "");

    Settings.FLACCompression = 12;
    ApplyFLACOptions(flac, disc);
    EXPECT_EQ(flac.CompressionLevel(), 8);
    EXPECT_EQ(FLACCommentsOf(flac.Tags()),
              (std::vector<std::string>{"title=A comment", "artist=Ärtist", "album=Album",
                                        "date=2001", "genre=Jazz"}));

    // Empty fields: no comment at all.
    Settings.FLACCompression = 5;
    ApplyFLACOptions(flac, {});
    ApplyVorbisOptions(vorbis, {});
    EXPECT_EQ(flac.CompressionLevel(), 5);
    EXPECT_TRUE(FLACCommentsOf(flac.Tags()).empty());
    EXPECT_TRUE(VorbisCommentsOf(vorbis.Comments()).empty());
}

TEST_F(ApplyOptionsTest, OpusSettingsAsStoredAndTheDiscFieldsAsOpusTags) {
    TOpusOut out;
    out.Comments().SetTrack("9"); // cleared first
    Settings.OpusBitrate = 96;
    Settings.OpusMode = 2;
    Settings.OpusComplexity = 4;
    ApplyOpusOptions(out, {"Ärtist", "Album", "2001", "Jazz", "A comment"});
    EXPECT_EQ(out.Bitrate, 96);
    EXPECT_EQ(out.Mode, TOpusMode::omCBR);
    EXPECT_EQ(out.Complexity, 4);
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(OpusCommentsOf(out.Comments()), (std::vector<P>{{"ALBUM", "Album"},
                                                              {"ARTIST", "Ärtist"},
                                                              {"COMMENT", "A comment"},
                                                              {"DATE", "2001"},
                                                              {"GENRE", "Jazz"}}));
    // Out of range values are kept for the run to refuse by name.
    Settings.OpusBitrate = 999;
    ApplyOpusOptions(out, {});
    EXPECT_EQ(out.Bitrate, 999);
    EXPECT_TRUE(OpusCommentsOf(out.Comments()).empty());
}

TEST_F(ApplyOptionsTest, WmaVbrWithoutVbrFormatsFallsBackToCbr) {
    // FFmpeg's WMA encoders have constant-bitrate formats only.
    for (bool vbr : {false, true}) {
        SCOPED_TRACE(vbr);
        TWMAOut out;
        if (out.Codecs().empty()) GTEST_SKIP() << "no WMA encoder";
        Settings.WMAVBR = vbr;
        Settings.CodecIndex = 0;
        Settings.FormatIndex = 29;
        ApplyWMAOptions(out);
        EXPECT_FALSE(out.VBR);
        EXPECT_EQ(out.FormatIndex, 29u);
        EXPECT_FALSE(out.Formats(out.CodecIndex).empty());
    }
}

TEST(DiscTagFields, GenreIndexBecomesTheShownName) {
    TDiscFields fields{"Artist", "Album", "1980", 0, "Comment", ""};
    EXPECT_EQ(DiscTagFieldsOf(fields).Genre, "");
    fields.GenreIndex = 1;
    auto disc = DiscTagFieldsOf(fields);
    EXPECT_EQ(disc.Genre, std::string(GenreListEntries[1]));
    EXPECT_FALSE(disc.Genre.empty());
    EXPECT_EQ(disc.Artist, "Artist");
    EXPECT_EQ(disc.Album, "Album");
    EXPECT_EQ(disc.Year, "1980");
    EXPECT_EQ(disc.Comment, "Comment");
    fields.GenreIndex = -1;
    EXPECT_EQ(DiscTagFieldsOf(fields).Genre, "");
    fields.GenreIndex = GenreListCount;
    EXPECT_EQ(DiscTagFieldsOf(fields).Genre, "");
}

} // namespace
} // namespace bw
