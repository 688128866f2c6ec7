// Tags written with WriteFileTags, read back by mutagen (a library we did not write) and by
// ReadFileTags, on files FFmpeg and the reference encoders make.
#include "FileTags.h"
#include "ToolOracles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <utility>

namespace {

using bw::TFileTags;
using bwtest::RunCommand;
using bwtest::ShellQuote;
using ::testing::HasSubstr;

// A tiny image whose bytes only have to survive the trip (the formats do not decode it).
std::vector<unsigned char> FakePng() {
    std::vector<unsigned char> Bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (int i = 0; i < 3000; ++i)
        Bytes.push_back(static_cast<unsigned char>(i * 7 + (i >> 8)));
    return Bytes;
}

TFileTags FullTags() {
    TFileTags Tags;
    Tags.Title = "Ünïcödé 東京";
    Tags.Artist = "Art/ist ß";
    Tags.Album = "Albüm";
    Tags.Year = "1999";
    Tags.Genre = "Jazz";
    Tags.Comment = "disc comment";
    Tags.TrackNumber = 3;
    Tags.TrackTotal = 12;
    Tags.MusicBrainzAlbumId = "6f2e0a5c-1c4d-4b9e-9a0f-0123456789ab";
    Tags.MusicBrainzDiscId = "xOf1q9X2vF.a2Zz_fGq9hJmY0Zk-";
    Tags.MusicBrainzTrackId = "0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0";
    Tags.TrackGain = -3.21;
    Tags.TrackPeak = 0.988525;
    Tags.AlbumGain = -4.5;
    Tags.AlbumPeak = 1.0;
    Tags.Isrc = "USRC17607839";
    Tags.CatalogNumber = "0123456789012";
    Tags.Cover = FakePng();
    Tags.CoverMimeType = "image/png";
    return Tags;
}

std::string Sha256(const std::vector<unsigned char>& Bytes, const bwtest::TempDir& Dir) {
    bwtest::WriteFileBytes(Dir / "cover.bin",
                           std::vector<std::uint8_t>(Bytes.begin(), Bytes.end()));
    return bwtest::Sha256(Dir / "cover.bin");
}

struct TFormatCase {
    const char* Extension;
    const char* FfmpegCodec; // what makes the file
    bool TrackTotal;         // the format keeps the track total
    bool Id3v2;
};

const TFormatCase Formats[] = {
    {"flac", "-c:a flac", true, false},     {"ogg", "-c:a libvorbis", true, false},
    {"opus", "-c:a libopus", true, false},  {"mp3", "-c:a libmp3lame", true, true},
    {"wv", "-c:a wavpack", true, false},    {"wma", "-c:a wmav2", true, false},
    {"m4a", "-c:a aac", true, false},       {"wav", "-c:a pcm_s16le", true, true},
    {"aiff", "-c:a pcm_s16be", true, true},
};

class FileTagsFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(FileTagsFormat, WrittenTagsReadBackByMutagenAndByReadFileTags) {
    const TFormatCase& Case = GetParam();
    bwtest::TempDir Dir;
    auto File = Dir / (std::string("t.") + Case.Extension);
    ASSERT_TRUE(bwtest::MustRun(
        "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -ar 48000 " +
        std::string(Case.FfmpegCodec) + " -map_metadata -1 " + ShellQuote(File.string())));

    TFileTags Tags = FullTags();
    bw::WriteFileTags(File, Tags);

    auto Fields = bwtest::MutagenTags(File);
    std::map<std::string, std::string> Expected = {
        {"title", Tags.Title},
        {"artist", Tags.Artist},
        {"album", Tags.Album},
        {"date", Tags.Year},
        {"genre", Tags.Genre},
        {"comment", Tags.Comment},
        {"track", "3"},
        {"total", "12"},
        {"cover", Sha256(Tags.Cover, Dir) + " image/png"},
    };
    if (std::string(Case.Extension) != "m4a") { // MP4 atoms have no such fields
        Expected.insert({{"mb_album", Tags.MusicBrainzAlbumId},
                         {"mb_disc", Tags.MusicBrainzDiscId},
                         {"mb_track", Tags.MusicBrainzTrackId},
                         {"rg_track_gain", "-3.21 dB"},
                         {"rg_track_peak", "0.988525"},
                         {"rg_album_gain", "-4.50 dB"},
                         {"rg_album_peak", "1.000000"},
                         {"isrc", Tags.Isrc},
                         {"catalog", Tags.CatalogNumber}});
    }
    const bool Opus = std::string(Case.Extension) == "opus";
    if (Opus) {
        // R128 gains in 1/256 dB against -23 LUFS instead; no ReplayGain keys, no peaks.
        for (const char* Key : {"rg_track_gain", "rg_track_peak", "rg_album_gain", "rg_album_peak"})
            Expected[Key] = "";
        Expected["r128_track_gain"] = "-2102";
        Expected["r128_album_gain"] = "-2432";
    }
    if (Case.Id3v2) Expected["id3version"] = "2.4";
    for (const auto& [Key, Value] : Expected)
        EXPECT_EQ(Fields[Key], Value) << Case.Extension << " " << Key;

    TFileTags Read = bw::ReadFileTags(File);
    if (std::string(Case.Extension) == "m4a") {
        EXPECT_EQ(Read.Title, Tags.Title);
        EXPECT_EQ(Read.Cover, Tags.Cover);
        EXPECT_EQ(Read.TrackTotal, 12);
    } else {
        TFileTags Stored = Tags;
        if (Opus) {
            Stored.TrackGain = -2102 / 256.0 + 5;
            Stored.AlbumGain = -2432 / 256.0 + 5;
            Stored.TrackPeak = Stored.AlbumPeak = std::nullopt;
        }
        EXPECT_EQ(Read, Stored) << Case.Extension;
    }

    // Writing again with fewer fields removes the others and the cover.
    TFileTags Fewer;
    Fewer.Title = "Only";
    bw::WriteFileTags(File, Fewer);
    TFileTags Again = bw::ReadFileTags(File);
    EXPECT_EQ(Again.Title, "Only") << Case.Extension;
    EXPECT_TRUE(Again.Artist.empty()) << Case.Extension;
    EXPECT_TRUE(Again.Cover.empty()) << Case.Extension;
    EXPECT_FALSE(Again.TrackGain) << Case.Extension;
    EXPECT_EQ(Again.TrackNumber, 0) << Case.Extension;
}

INSTANTIATE_TEST_SUITE_P(Formats, FileTagsFormat, ::testing::ValuesIn(Formats),
                         [](const auto& Info) { return std::string(Info.param.Extension); });

TEST(FileTags, Id3v1BlockAtTheEndStaysByteForByte) {
    bwtest::TempDir Dir;
    auto File = Dir / "v1.mp3";
    ASSERT_TRUE(bwtest::MustRun("ffmpeg -v error -f lavfi -i sine=duration=1 -f wav - | lame "
                                "--quiet --id3v1-only --tt Old --tn 4 - " +
                                ShellQuote(File.string())));
    auto Before = bwtest::ReadFileBytes(File);
    ASSERT_GT(Before.size(), 128u);
    std::vector<std::uint8_t> Block(Before.end() - 128, Before.end());
    ASSERT_EQ(std::string(Block.begin(), Block.begin() + 3), "TAG");

    bw::WriteFileTags(File, FullTags());
    auto After = bwtest::ReadFileBytes(File);
    EXPECT_EQ(std::vector<std::uint8_t>(After.end() - 128, After.end()), Block);
    EXPECT_EQ(std::string(After.begin(), After.begin() + 3), "ID3");
    EXPECT_EQ(After[3], 4); // ID3v2.4
}

TEST(FileTags, FailuresNameTheFileAndTheReason) {
    bwtest::TempDir Dir;
    bwtest::WriteFileText(Dir / "notes.flac", "this is not audio at all");
    struct {
        std::filesystem::path File;
        const char* Reason;
    } const Cases[] = {
        {Dir / "missing.flac", "does not exist"},
        {Dir / "notes.flac", "not an audio format"},
    };
    for (const auto& Case : Cases) {
        for (bool Write : {false, true}) {
            try {
                if (Write)
                    bw::WriteFileTags(Case.File, FullTags());
                else
                    bw::ReadFileTags(Case.File);
                ADD_FAILURE() << Case.File << " raised nothing";
            } catch (const bw::EFileTags& Error) {
                EXPECT_THAT(Error.what(), HasSubstr(Case.File.filename().string()));
                EXPECT_THAT(Error.what(), HasSubstr(Case.Reason));
            }
        }
    }
}

// R128 gains as other taggers leave them in Opus files: only a 16-bit decimal counts, and
// ReplayGain keys there (which Opus players ignore) are not taken for gains.
TEST(FileTags, OpusGainsWrittenByOtherTaggers) {
    bwtest::TempDir Dir;
    const std::string File = ShellQuote((Dir / "o.opus").string());
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=1 " + File).ExitCode, 0);
    const std::tuple<const char*, const char*, std::optional<double>> Cases[] = {
        {"R128_TRACK_GAIN", "-2102", -2102 / 256.0 + 5},
        {"R128_TRACK_GAIN", "+512", 7.0},
        {"R128_TRACK_GAIN", "12x", std::nullopt},
        {"R128_TRACK_GAIN", "40000", std::nullopt},
        {"REPLAYGAIN_TRACK_GAIN", "-3.00 dB", std::nullopt}};
    for (const auto& [Key, Value, Gain] : Cases) {
        RunCommand("/usr/bin/python3 -c 'import sys, mutagen; f = mutagen.File(sys.argv[1]); "
                   "f.tags.clear(); f.tags[sys.argv[2]] = sys.argv[3]; f.save()' " +
                   File + " " + Key + " " + ShellQuote(Value));
        EXPECT_EQ(bw::ReadFileTags(Dir / "o.opus").TrackGain, Gain) << Key << "=" << Value;
    }
}

TEST(FileTags, ReplayGainTexts) {
    struct {
        const char* Text;
        std::optional<double> Value;
    } const Cases[] = {
        {"-3.21 dB", -3.21},     {"+2.00 dB", 2.0},     {"1.5", 1.5},
        {"  -0.50 db", -0.5},    {"", std::nullopt},    {"loud", std::nullopt},
        {"3 dBx", std::nullopt}, {"nan", std::nullopt},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(bw::ParseReplayGain(Case.Text), Case.Value) << Case.Text;
    EXPECT_EQ(bw::FormatReplayGain(-3.214), "-3.21 dB");
    EXPECT_EQ(bw::FormatReplayGain(0.5), "0.50 dB");
    EXPECT_EQ(bw::FormatReplayPeak(0.98852512), "0.988525");
    // R128 gains: round(256 x (ReplayGain - 5 dB)), within 16 bits.
    const std::pair<double, int> R128[] = {{-3.21, -2102},       {5.0, 0},       {0.0, -1280},
                                           {5.0 + 0.5 / 256, 1}, {200.0, 32767}, {-200.0, -32768}};
    for (const auto& [Gain, Value] : R128)
        EXPECT_EQ(bw::R128Gain(Gain), Value) << Gain;
    EXPECT_EQ(bw::ImageMimeType({0xFF, 0xD8, 0xFF, 0xE0}), "image/jpeg");
    EXPECT_EQ(bw::ImageMimeType(FakePng()), "image/png");
    EXPECT_EQ(bw::ImageMimeType({'<', 'h'}), "");
}

} // namespace
