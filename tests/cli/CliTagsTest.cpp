// Rips tagged in full: titles looked up in a stand-in MusicBrainz service, the cover served by
// a stand-in Cover Art Archive, tags read back by metaflac, vorbiscomment, ffprobe and mutagen,
// file names from a template.
#include "CdImage.h"
#include "CddbTestServer.h"
#include "CliTestSupport.h"
#include "FfmpegLoudness.h"

#include <map>

namespace {

const std::string ReleaseId = "6f2e0a5c-1c4d-4b9e-9a0f-0123456789ab";
const std::string Unicode = "Ünïcödé 東京";

class CliTags : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Config);
        Cli.Program = ProgramCopy(Dir.Path());
        // The APE encoder is loaded from beside the program.
        fs::copy_file(fs::path(BW_BINARY_DIR) / "libMACDll.so", Dir / "bin" / "libMACDll.so");
        // Track 1 at a quarter of full scale: its peak is not the album's.
        auto quiet = bwtest::GeneratedAudio(300, 1000);
        for (std::size_t i = 0; i < quiet.size(); i += 2) {
            auto sample = static_cast<std::int16_t>(quiet[i] | quiet[i + 1] << 8) / 4;
            quiet[i] = static_cast<std::uint8_t>(sample);
            quiet[i + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
        Image = bwtest::CdImage::WriteAudio(
            Dir.Path(), "disc",
            {quiet, bwtest::GeneratedAudio(200, 1001), bwtest::GeneratedAudio(250, 1002)});
        Cli.Images = Image->CuePath();
        Server.emplace(Dir / "fixtures");
        Covers.emplace(Dir / "covers");
        bwtest::MustRun("ffmpeg -v error -f lavfi -i color=c=red:s=32x32 -frames:v 1 " +
                        Q(Dir / "front.jpg"));
        Cover = bwtest::ReadFileBytes(Dir / "front.jpg");
    }
    void Settings(const std::string& coverServer) {
        bwtest::WriteFileText(Config / "options.ini",
                              "[Tags]\nCoverArtServer=" + coverServer + "\n");
    }
    // Looks the disc up in the stand-in service and saves the release.
    void LookUpAndSave(const std::string& t2 = "Two/Halves", const std::string& t3 = "..") {
        auto toc = Cli("toc");
        const std::string label = "MusicBrainz disc id: ";
        auto at = toc.Output.find(label);
        ASSERT_THAT(toc.Output, HasSubstr(label));
        DiscId = toc.Output.substr(at + label.size(), 28);
        auto track = [](int n, const std::string& title) {
            return R"({"position":)" + std::to_string(n) + R"(,"title":")" + title +
                   R"(","recording":{"id":"0000000)" + std::to_string(n) +
                   R"(-4f50-6172-8394-a5b6c7d8e9f0"}})";
        };
        Server->PutMusicBrainz(
            DiscId, 200,
            R"({"id":")" + DiscId + R"(","releases":[{"id":")" + ReleaseId +
                R"(","title":"Albüm","date":"1999","artist-credit":[{"name":"Bänd"}],)"
                R"("genres":[{"name":"jazz"}],"media":[{"position":1,"format":"CD","discs":[{"id":")" +
                DiscId + R"("}],"tracks":[)" + track(1, Unicode) + "," + track(2, t2) + "," +
                track(3, t3) + "]}]}]}");
        auto saved = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --save");
        ASSERT_EQ(saved.ExitCode, 0) << saved.Output;
    }

    bwtest::TempDir Dir;
    fs::path Config = Dir / "config" / "Vellamor" / "Brindlewave";
    TCliRun Cli{Dir / "config"};
    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::CddbTestServer> Server;
    std::optional<bwtest::FileHttpServer> Covers;
    std::vector<std::uint8_t> Cover;
    std::string DiscId;
};

struct TFormatOracle {
    const char* Format;
    const char* Oracle; // a tool of the format's own that lists the tags, or empty
};
const TFormatOracle Formats[] = {
    {"flac", "metaflac --export-tags-to=- "},
    {"ogg", "vorbiscomment -l "},
    {"mp3", ""},
    {"wma", ""},
    {"ape", ""},
};

TEST_F(CliTags, EveryFormatCarriesTheTagsTheCoverAndTheIdsOfTheRelease) {
    Settings("http://" + Covers->HostPort());
    Covers->Put("release/" + ReleaseId + "/front-500", std::string(Cover.begin(), Cover.end()));
    LookUpAndSave();
    const std::string coverSha = bwtest::Sha256(Dir / "front.jpg");
    // FFmpeg's sample peaks of the disc's audio: track 1's, and the album's.
    bwtest::WriteFileBytes(Dir / "t1.raw", Image->TrackBytes(1));
    auto album = Image->TrackBytes(1);
    for (int t = 2; t <= 3; ++t)
        album.insert(album.end(), Image->TrackBytes(t).begin(), Image->TrackBytes(t).end());
    bwtest::WriteFileBytes(Dir / "album.raw", album);
    const std::string raw = "-f s16le -ar 44100 -ac 2 -i ";
    const double trackPeak = bwtest::FfmpegLoudnessAndPeak(raw + Q(Dir / "t1.raw")).second;
    const double albumPeak = bwtest::FfmpegLoudnessAndPeak(raw + Q(Dir / "album.raw")).second;
    for (const TFormatOracle& format : Formats) {
        SCOPED_TRACE(format.Format);
        const std::string extension = std::string(".") + format.Format;
        const fs::path out = Dir / "out" / format.Format;
        auto rip = Cli("rip --format " + std::string(format.Format) + " --output " + Q(out));
        ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
        const fs::path first = out / (Unicode + extension);
        ASSERT_TRUE(fs::exists(first)) << rip.Output;
        // The titles with "/" and ".." are named, not refused.
        EXPECT_TRUE(fs::exists(out / ("Two-Halves" + extension)));
        EXPECT_TRUE(fs::exists(out / ("Track03" + extension)));
        EXPECT_EQ(bwtest::ReadFileBytes(out / "cover.jpg"), Cover);

        if (*format.Oracle) {
            auto listed = RunCommand(format.Oracle + Q(first));
            for (const std::string& line : std::vector<std::string>{
                     "TITLE=" + Unicode + "\n", "ARTIST=Bänd\n", "ALBUM=Albüm\n", "DATE=1999\n",
                     "GENRE=Jazz\n", "TRACKNUMBER=1\n", "TRACKTOTAL=3\n",
                     "MUSICBRAINZ_ALBUMID=" + ReleaseId + "\n"})
                EXPECT_THAT(listed.Output, HasSubstr(line));
        }
        // FFmpeg shows Ogg's comments as the stream's tags, the others as the file's.
        EXPECT_EQ(
            bwtest::FFprobe(first, "format_tags=title:stream_tags=title", "default=nw=1:nk=1"),
            Unicode + "\n");

        auto tags = bwtest::MutagenTags(first);
        const std::map<std::string, std::string> expected = {
            {"title", Unicode},
            {"artist", "Bänd"},
            {"album", "Albüm"},
            {"track", "1"},
            {"total", "3"},
            {"mb_album", ReleaseId},
            {"mb_disc", DiscId},
            {"cover", coverSha + " image/jpeg"},
            {"mb_track", "00000001-4f50-6172-8394-a5b6c7d8e9f0"}};
        for (const auto& [field, value] : expected)
            EXPECT_EQ(tags[field], value) << field;
        for (const char* gain : {"rg_track_gain", "rg_album_gain"})
            EXPECT_THAT(tags[gain], HasSubstr(" dB")) << gain;
        // FFmpeg prints its peaks to 0.1 dB (0.6 %).
        EXPECT_NEAR(std::atof(tags["rg_track_peak"].c_str()), trackPeak, trackPeak * 0.007);
        EXPECT_NEAR(std::atof(tags["rg_album_peak"].c_str()), albumPeak, albumPeak * 0.007);
        if (extension == ".mp3") {
            // The ID3v1.1 block stays at the end, in Latin-1.
            auto bytes = bwtest::ReadFileBytes(first);
            EXPECT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG");
            EXPECT_EQ(tags["id3version"], "2.4");
        }
    }
    // The cover was fetched once a rip.
    std::string requests = Covers->Requests();
    std::size_t fetches = 0;
    for (std::size_t at = 0; (at = requests.find("front-500", at)) != std::string::npos; ++at)
        ++fetches;
    EXPECT_EQ(fetches, std::size(Formats));
}

TEST_F(CliTags, ACoverThatCannotBeFetchedIsReportedAndTheRipFinishes) {
    bwtest::MustRun("ffmpeg -v error -f lavfi -i color=c=red:s=32x32 -frames:v 1 " +
                    Q(Dir / "front.gif"));
    const auto gif = bwtest::ReadFileBytes(Dir / "front.gif");
    struct {
        const char* Name;
        std::string Server;
        const char* Message;
        std::string Body = {}; // served with status 200
    } const cases[] = {
        {"404", "http://" + Covers->HostPort(), "has no front cover for this release"},
        {"no answer", "http://127.0.0.1:1", "the cover server did not answer"},
        {"GIF", "http://" + Covers->HostPort(), "not a JPEG or PNG image",
         std::string(gif.begin(), gif.end())},
        {"HTML", "http://" + Covers->HostPort(), "not a JPEG or PNG image",
         "<!DOCTYPE html><html><body>Service unavailable</body></html>"},
    };
    LookUpAndSave();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Settings(c.Server);
        if (!c.Body.empty()) Covers->Put("release/" + ReleaseId + "/front-500", c.Body);
        const fs::path out = Dir / "out" / c.Name;
        auto rip = Cli("rip --format flac --output " + Q(out));
        EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
        EXPECT_THAT(rip.Output, HasSubstr(c.Message));
        EXPECT_TRUE(fs::exists(out / (Unicode + ".flac")));
        EXPECT_FALSE(fs::exists(out / "cover.jpg"));
        EXPECT_THAT(
            RunCommand("metaflac --export-tags-to=- " + Q(out / (Unicode + ".flac"))).Output,
            HasSubstr("MUSICBRAINZ_ALBUMID=" + ReleaseId));
        EXPECT_EQ(bwtest::MutagenTags(out / (Unicode + ".flac")).count("cover"), 0u);
    }
}

TEST_F(CliTags, TemplateMakesArtistAndAlbumFoldersInsideTheOutputFolder) {
    Settings("http://127.0.0.1:1");
    LookUpAndSave("../../escape", "..");
    const fs::path out = Dir / "out";
    auto rip = Cli("rip --format wav --log --template '%A/%d/%t %n' --output " + Q(out));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    const fs::path album = out / "Bänd" / "Albüm";
    for (const std::string& name :
         std::vector<std::string>{"01 " + Unicode + ".wav", "02 ..-..-escape.wav", "03 Track03.wav",
                                  "Albüm.log", "Albüm.cue"})
        EXPECT_TRUE(fs::exists(album / name)) << name << "\n" << rip.Output;
    // Nothing outside the output folder, nothing else inside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    EXPECT_FALSE(fs::exists(Dir / "escape.wav"));
    // The audio is the disc's, tags or not.
    EXPECT_TRUE(bwtest::FFmpegPcm(album / ("01 " + Unicode + ".wav"), "s16le", Dir / "t1.raw") ==
                Image->TrackBytes(1));
}

} // namespace
