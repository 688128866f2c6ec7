// Rips tagged in full: titles looked up in a stand-in MusicBrainz service, the cover served by
// a stand-in Cover Art Archive, tags read back by metaflac, vorbiscomment, ffprobe and mutagen,
// file names from a template.
#include "CdImage.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

const std::string ReleaseId = "6f2e0a5c-1c4d-4b9e-9a0f-0123456789ab";
const std::string Unicode = "Ünïcödé 東京";

class CliTags : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "bin");
        fs::create_directories(Config);
        fs::copy_file(BW_CLI, Dir / "bin" / "brindlewave-cli");
        // The APE encoder is loaded from beside the program.
        fs::copy_file(fs::path(BW_BINARY_DIR) / "libMACDll.so", Dir / "bin" / "libMACDll.so");
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {300, 200, 250});
        Server.emplace(Dir / "fixtures");
        Covers.emplace(Dir / "covers");
        auto made = RunCommand("ffmpeg -v error -f lavfi -i color=c=red:s=32x32 -frames:v 1 " +
                               ShellQuote((Dir / "front.jpg").string()));
        EXPECT_EQ(made.ExitCode, 0) << made.Output;
        Cover = bwtest::ReadFileBytes(Dir / "front.jpg");
    }
    bwtest::CommandResult Cli(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(Image->CuePath().string()) + " " +
                          ShellQuote((Dir / "bin" / "brindlewave-cli").string()) + " " + args);
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
        ASSERT_NE(at, std::string::npos) << toc.Output;
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
    std::string Sha256(const fs::path& file) {
        return RunCommand("sha256sum " + ShellQuote(file.string())).Output.substr(0, 64);
    }
    std::map<std::string, std::string> Mutagen(const fs::path& file) {
        auto dump = RunCommand("/usr/bin/python3 " +
                               ShellQuote(BW_SOURCE_DIR "/tests/support/tag_dump.py") + " " +
                               ShellQuote(file.string()));
        EXPECT_EQ(dump.ExitCode, 0) << dump.Output;
        std::map<std::string, std::string> fields;
        std::istringstream lines(dump.Output);
        for (std::string line; std::getline(lines, line);)
            if (auto eq = line.find('='); eq != std::string::npos)
                fields[line.substr(0, eq)] = line.substr(eq + 1);
        return fields;
    }

    bwtest::TempDir Dir;
    fs::path Config = Dir / "config" / "Vellamor" / "Brindlewave";
    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::CddbTestServer> Server;
    std::optional<bwtest::FileHttpServer> Covers;
    std::vector<std::uint8_t> Cover;
    std::string DiscId;
};

struct TFormatOracle {
    const char* Format;
    const char* Extension;
    const char* Oracle;   // a tool of the format's own that lists the tags, or empty
    const char* Expected; // what it must print for track 1
};

const TFormatOracle Formats[] = {
    {"flac", ".flac", "metaflac --export-tags-to=- ", "TITLE=Ünïcödé 東京\n"},
    {"ogg", ".ogg", "vorbiscomment -l ", "TITLE=Ünïcödé 東京\n"},
    {"mp3", ".mp3", "", ""},
    {"wma", ".wma", "", ""},
    {"ape", ".ape", "", ""},
};

TEST_F(CliTags, EveryFormatCarriesTheTagsTheCoverAndTheIdsOfTheRelease) {
    Settings("http://" + Covers->HostPort());
    Covers->Put("release/" + ReleaseId + "/front-500", std::string(Cover.begin(), Cover.end()));
    LookUpAndSave();
    const std::string coverSha = Sha256(Dir / "front.jpg");
    for (const TFormatOracle& format : Formats) {
        SCOPED_TRACE(format.Format);
        const fs::path out = Dir / "out" / format.Format;
        auto rip = Cli("rip --format " + std::string(format.Format) + " --output " +
                       ShellQuote(out.string()));
        ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
        const fs::path first = out / (Unicode + format.Extension);
        ASSERT_TRUE(fs::exists(first)) << rip.Output;
        // The titles with "/" and ".." are named, not refused.
        EXPECT_TRUE(fs::exists(out / (std::string("Two-Halves") + format.Extension)));
        EXPECT_TRUE(fs::exists(out / (std::string("Track03") + format.Extension)));
        EXPECT_EQ(bwtest::ReadFileBytes(out / "cover.jpg"), Cover);

        if (*format.Oracle) {
            auto listed = RunCommand(format.Oracle + ShellQuote(first.string()));
            EXPECT_NE(listed.Output.find(format.Expected), std::string::npos) << listed.Output;
            for (const char* line : {"ARTIST=Bänd\n", "ALBUM=Albüm\n", "DATE=1999\n",
                                     "GENRE=Jazz\n", "TRACKNUMBER=1\n", "TRACKTOTAL=3\n",
                                     "MUSICBRAINZ_ALBUMID=6f2e0a5c-1c4d-4b9e-9a0f-0123456789ab\n"})
                EXPECT_NE(listed.Output.find(line), std::string::npos) << line << listed.Output;
        }
        // FFmpeg shows Ogg's comments as the stream's tags, the others as the file's.
        auto probe =
            RunCommand("ffprobe -v error -show_entries format_tags=title:stream_tags=title "
                       "-of default=nw=1:nk=1 " +
                       ShellQuote(first.string()));
        EXPECT_EQ(probe.Output, Unicode + "\n");

        auto tags = Mutagen(first);
        EXPECT_EQ(tags["title"], Unicode);
        EXPECT_EQ(tags["artist"], "Bänd");
        EXPECT_EQ(tags["album"], "Albüm");
        EXPECT_EQ(tags["track"], "1");
        EXPECT_EQ(tags["total"], "3");
        EXPECT_EQ(tags["mb_album"], ReleaseId);
        EXPECT_EQ(tags["mb_disc"], DiscId);
        EXPECT_EQ(tags["mb_track"], "00000001-4f50-6172-8394-a5b6c7d8e9f0");
        EXPECT_EQ(tags["cover"], coverSha + " image/jpeg");
        EXPECT_NE(tags["rg_track_gain"].find(" dB"), std::string::npos);
        EXPECT_NE(tags["rg_album_gain"].find(" dB"), std::string::npos);
        if (std::string(format.Format) == "mp3") {
            // The ID3v1.1 block stays at the end, in Latin-1.
            auto bytes = bwtest::ReadFileBytes(first);
            std::string block(bytes.end() - 128, bytes.end());
            EXPECT_EQ(block.substr(0, 3), "TAG");
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
    struct {
        const char* Name;
        std::string Server;
        const char* Message;
    } const cases[] = {
        {"404", "http://" + Covers->HostPort(), "has no front cover for this release"},
        {"no answer", "http://127.0.0.1:1", "the cover server did not answer"},
    };
    LookUpAndSave();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Settings(c.Server);
        const fs::path out = Dir / "out" / c.Name;
        auto rip = Cli("rip --format flac --output " + ShellQuote(out.string()));
        EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
        EXPECT_NE(rip.Output.find(c.Message), std::string::npos) << rip.Output;
        EXPECT_TRUE(fs::exists(out / (Unicode + ".flac")));
        EXPECT_FALSE(fs::exists(out / "cover.jpg"));
        auto listed = RunCommand("metaflac --export-tags-to=- " +
                                 ShellQuote((out / (Unicode + ".flac")).string()));
        EXPECT_NE(listed.Output.find("MUSICBRAINZ_ALBUMID=" + ReleaseId), std::string::npos);
    }
}

TEST_F(CliTags, TemplateMakesArtistAndAlbumFoldersInsideTheOutputFolder) {
    Settings("http://127.0.0.1:1");
    LookUpAndSave("../../escape", "..");
    const fs::path out = Dir / "out";
    auto rip =
        Cli("rip --format wav --log --template '%A/%d/%t %n' --output " + ShellQuote(out.string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    const fs::path album = out / "Bänd" / "Albüm";
    EXPECT_TRUE(fs::exists(album / ("01 " + Unicode + ".wav")));
    EXPECT_TRUE(fs::exists(album / "02 ..-..-escape.wav"));
    EXPECT_TRUE(fs::exists(album / "03 Track03.wav"));
    EXPECT_TRUE(fs::exists(album / "Albüm.log")) << rip.Output;
    EXPECT_TRUE(fs::exists(album / "Albüm.cue"));
    // Nothing outside the output folder, nothing else inside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    EXPECT_FALSE(fs::exists(Dir / "escape.wav"));
    // The audio is the disc's, tags or not.
    auto decoded = RunCommand("ffmpeg -v error -i " +
                              ShellQuote((album / ("01 " + Unicode + ".wav")).string()) +
                              " -f s16le - | sha256sum");
    bwtest::WriteFileBytes(Dir / "t1.raw", Image->TrackBytes(1));
    EXPECT_EQ(decoded.Output.substr(0, 64), Sha256(Dir / "t1.raw"));
}

} // namespace
