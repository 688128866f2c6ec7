#include "CdImage.h"
#include "CddbTestServer.h"
#include "TestSupport.h"
#include "ToolOracles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

// A copy of the front end in a scratch folder, so that its "cd.dat" is the test's own.
class CliCddb : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "bin");
        fs::copy_file(BW_CLI, Program);
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 33});
        Server.emplace(Dir / "fixtures");
    }
    bwtest::CommandResult Cli(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(Image->CuePath().string()) + " " +
                          ShellQuote(Program.string()) + " " + args);
    }
    std::string DiscId() const { return bwtest::CddbDiscIdOf(*Image); }
    // The MusicBrainz disc id as 'toc' reports it.
    std::string MusicBrainzDiscId() {
        auto toc = Cli("toc");
        const std::string label = "MusicBrainz disc id: ";
        auto at = toc.Output.find(label);
        if (at == std::string::npos) return {};
        return toc.Output.substr(at + label.size(), 28);
    }

    bwtest::TempDir Dir;
    fs::path Program = Dir / "bin" / "brindlewave-cli";
    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::CddbTestServer> Server;
};

std::string Medium(int position, const std::string& discId, const std::string& t1,
                   const std::string& t2, const std::string& t3) {
    return R"({"position":)" + std::to_string(position) +
           R"(,"format":"CD","track-count":3,"discs":[{"id":")" + discId +
           R"("}],"tracks":[{"position":1,"title":")" + t1 + R"("},{"position":2,"title":")" + t2 +
           R"("},{"position":3,"title":")" + t3 + R"("}]})";
}

} // namespace

TEST_F(CliCddb, ShowsAndSavesWhatTheServerKnows) {
    std::string id = DiscId();
    ASSERT_EQ(id.size(), 8u);
    Server->Put("query-" + id + ".txt", "200 blues " + id + " A / B\r\n");
    Server->Put(
        "read-blues-" + id + ".txt",
        "210 blues " + id +
            "\r\nDTITLE=Some Artist / Some Album\r\nDYEAR=1971\r\n"
            "DGENRE=Blues\r\nTTITLE0=Opening\r\nTTITLE1=Middle/Part\r\nTTITLE2=..\r\n.\r\n");
    auto shown = Cli("cddb --server " + Server->HostPort() + " --save");
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    EXPECT_EQ(shown.Output, "Artist: Some Artist\nAlbum:  Some Album\nYear:   1971\n"
                            "Genre:  Blues\n01  Opening\n02  Middle/Part\n03  ..\n");

    // The rip names its files after the saved titles; "/" makes no folder and ".." no name,
    // and nothing is written outside the output folder.
    auto rip = Cli("rip --format wav --tracks 1-3 --output " + ShellQuote((Dir / "out").string()));
    EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "Opening.wav")) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "Middle-Part.wav"));
    EXPECT_TRUE(fs::exists(Dir / "out" / "Track03.wav"));
    EXPECT_FALSE(fs::exists(Dir / "out" / "Middle"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 3);
    EXPECT_NE(bwtest::ReadFileText(Dir / "bin" / "cd.dat").find("CDGenre=18\n"), std::string::npos);
}

TEST_F(CliCddb, ControlCharactersFromTheServerBecomeBlanks) {
    // An escape sequence would recolour or rewrite the terminal; a bell, a tab or a NUL would
    // end up in cd.dat and in file names.
    std::string id = DiscId();
    Server->Put("query-" + id + ".txt", "200 blues " + id + " A\x1b]0;owned\x07 / B\r\n");
    Server->Put("read-blues-" + id + ".txt",
                "210 blues " + id +
                    "\r\nDTITLE=Some\x1b[2JArtist / Al\tbum\r\nDYEAR=19\x08"
                    "71\r\n"
                    "DGENRE=Bl\x7fues\r\nTTITLE0=Open\x1b[31ming\r\nTTITLE1=Mid\x07"
                    "dle\r\n"
                    "TTITLE2=Last\r\n.\r\n");
    auto shown = Cli("cddb --server " + Server->HostPort() + " --save");
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    // "Bl ues" is no genre of the list: shown empty.
    EXPECT_EQ(shown.Output, "Artist: Some [2JArtist\nAlbum:  Al bum\nYear:   19 71\n"
                            "Genre:  \n01  Open [31ming\n02  Mid dle\n03  Last\n");
    const std::string saved = bwtest::ReadFileText(Dir / "bin" / "cd.dat");
    for (char c : saved)
        EXPECT_TRUE(c == '\n' || c == '\r' || static_cast<unsigned char>(c) >= 0x20)
            << "control character " << int(c) << " in cd.dat";
    auto rip = Cli("rip --format wav --tracks 1 --output " + ShellQuote((Dir / "out").string()));
    EXPECT_TRUE(fs::exists(Dir / "out" / "Open [31ming.wav")) << rip.Output;
}

TEST_F(CliCddb, ReportsNoMatchFailuresAndUsesTheProxy) {
    std::string id = DiscId();
    auto none = Cli("cddb --server " + Server->HostPort());
    EXPECT_NE(none.ExitCode, 0);
    EXPECT_NE(none.Output.find("no match found"), std::string::npos) << none.Output;

    fs::remove(Dir / "fixtures" / "requests.log");
    auto proxied = Cli("cddb --server cddb.invalid --proxy " + Server->HostPort());
    EXPECT_NE(proxied.ExitCode, 0); // still no match, but through the proxy
    EXPECT_EQ(
        Server->Requests().rfind("http://cddb.invalid/~cddb/cddb.cgi?cmd=cddb+query+" + id, 0), 0u);

    Server->Put("status.txt", "500");
    auto failed = Cli("cddb --server " + Server->HostPort());
    EXPECT_NE(failed.ExitCode, 0);
    EXPECT_NE(failed.Output.find("cddb: The CDDB server " + Server->HostPort() +
                                 " could not be asked: the server answered HTTP 500."),
              std::string::npos)
        << failed.Output;
    EXPECT_FALSE(fs::exists(Dir / "bin" / "cd.dat"));
    EXPECT_NE(Cli("cddb --drive 3").ExitCode, 0);
}

TEST_F(CliCddb, MusicBrainzListsReleasesAndSavesTheChosenOne) {
    const std::string id = MusicBrainzDiscId();
    ASSERT_EQ(id.size(), 28u);
    Server->PutMusicBrainz(
        id, 200,
        R"({"id":")" + id +
            R"(","releases":[)"
            R"({"id":"a","title":"Set","date":"2004","country":"XE","artist-credit":[{"name":"Band"}],)"
            R"("genres":[{"name":"rock"}],"media":[)" +
            Medium(1, "elsewhere", "x", "y", "z") + "," + Medium(2, id, "Opening", "../x", "..") +
            R"(]},{"id":"b","title":"Single","date":"2005-01-01","artist-credit":[{"name":"Band"}],)"
            R"("media":[)" +
            Medium(1, id, "Uno", "Dos", "Tres") +
            R"(]},{"id":"c","title":"Elsewhere","artist-credit":[{"name":"Band"}],"media":[)"
            R"({"position":1,"track-count":2,"tracks":[{"position":1,"title":"Far"},)"
            R"({"position":2,"title":"Away"}]}]},)"
            R"({"id":"d","title":"Undated","artist-credit":[{"name":"Band"}],"media":[)"
            R"({"position":1,"track-count":3,"discs":[{"id":")" +
            id +
            R"("}],"tracks":[{"title":"No position"},{"position":3,"title":"Drei"},)"
            R"({"position":2,"title":null},{"position":1,"title":"Eins"}]}]}]})");
    auto shown = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --save");
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    EXPECT_EQ(shown.Output, "Disc id: " + id +
                                "\n* 1  Band - Set (2004, XE, CD 2/2)\n"
                                "  2  Band - Single (2005-01-01, CD 1/1)\n"
                                "  3  Band - Elsewhere (medium 1/1)\n"
                                "  4  Band - Undated (medium 1/1)\n\n"
                                "Artist: Band\nAlbum:  Set\nYear:   2004\nGenre:  Rock\n"
                                "01  Opening\n02  ../x\n03  ..\n");

    // The rip names its files after the saved titles; "/" and ".." in them make neither
    // folders nor names outside the output folder.
    auto rip =
        Cli("rip --tracks 1-3 --format wav --output " + ShellQuote((Dir / "out" / "in").string()));
    EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "in" / "Opening.wav")) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "in" / "..-x.wav")) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "in" / "Track03.wav")) << rip.Output;
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out" / "in"), {}), 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 1);
    EXPECT_FALSE(fs::exists(Dir / "out" / "x.wav"));

    // Another release by number gives its own data only: no genre where it has none, no
    // year where it has no date, no title where a track's is null, and a track without a
    // position loses only itself.
    auto second = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --release 2 --save");
    ASSERT_EQ(second.ExitCode, 0) << second.Output;
    // The release saved before is marked in the listing.
    EXPECT_THAT(second.Output,
                testing::HasSubstr("\n  1  Band - Set (2004, XE, CD 2/2)  [remembered]\n"));
    EXPECT_NE(second.Output.find("Album:  Single\nYear:   2005\nGenre:  \n01  Uno\n"),
              std::string::npos)
        << second.Output;
    // A release whose media do not hold the disc gives its first medium's titles when the user
    // names it, and says so.
    auto third = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --release 3");
    EXPECT_EQ(third.ExitCode, 0) << third.Output;
    EXPECT_THAT(third.Output, testing::HasSubstr("titles are its first medium's"));
    EXPECT_NE(third.Output.find("Album:  Elsewhere\nYear:   \nGenre:  \n01  Far\n02  "
                                "Away\n03  Track03\n"),
              std::string::npos)
        << third.Output;
    auto fourth = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --release 4 --save");
    ASSERT_EQ(fourth.ExitCode, 0) << fourth.Output;
    EXPECT_NE(fourth.Output.find("Album:  Undated\nYear:   \nGenre:  \n01  Eins\n02  Track02\n"
                                 "03  Drei\n"),
              std::string::npos)
        << fourth.Output;
    const std::string saved = bwtest::ReadFileText(Dir / "bin" / "cd.dat");
    EXPECT_NE(saved.find("CDYear=\nCDGenre=-1\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Uno"), std::string::npos) << saved;
    auto fifth = Cli("musicbrainz --server " + Server->MusicBrainzUrl() + " --release 5");
    EXPECT_NE(fifth.ExitCode, 0);
    EXPECT_NE(fifth.Output.find("there is no release 5 (releases 1 to 4)"), std::string::npos);
}

TEST_F(CliCddb, MusicBrainzSaysWhyNothingCameBack) {
    auto none = Cli("musicbrainz --server " + Server->MusicBrainzUrl());
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_EQ(none.Output, "brindlewave-cli: musicbrainz: No MusicBrainz entry for this disc.\n");
    EXPECT_EQ(Server->MusicBrainzRequests().size(), 2u); // by disc id, then by TOC

    Server->PutMusicBrainz(MusicBrainzDiscId(), 500,
                           "<html><body>Internal Server Error</body></html>",
                           "Content-Type: text/html");
    auto refused = Cli("musicbrainz --server " + Server->MusicBrainzUrl());
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(
        refused.Output,
        "brindlewave-cli: musicbrainz: MusicBrainz answered HTTP 500: Internal Server Error\n");
    EXPECT_FALSE(fs::exists(Dir / "bin" / "cd.dat"));
}

TEST_F(CliCddb, TocShowsTheCdTextThatRipNamesFilesAfter) {
    // The image's cue sheet rewritten with CD-Text, as rippers write it.
    std::string cue = "PERFORMER \"Disc Artist\"\nTITLE \"Disc Title\"\nFILE \"disc.bin\" BINARY\n";
    const char* titles[] = {"Alpha", "../Beta", "Gamma"};
    for (int t = 1; t <= 3; ++t) {
        cue += "  TRACK 0" + std::to_string(t) + " AUDIO\n    TITLE \"" + titles[t - 1] + "\"\n" +
               (t == 3 ? "    PERFORMER \"Guest\"\n" : "") + "    INDEX 01 " +
               bwtest::Msf(Image->TrackStartSector(t)) + "\n";
    }
    bwtest::WriteFileText(Image->CuePath(), cue);
    auto toc = Cli("toc");
    ASSERT_EQ(toc.ExitCode, 0) << toc.Output;
    EXPECT_NE(toc.Output.find("CD-Text title: Disc Title\nCD-Text performer: Disc Artist\n"
                              "CD-Text track 01: Alpha\nCD-Text track 02: ../Beta\n"
                              "CD-Text track 03: Gamma / Guest\n"),
              std::string::npos)
        << toc.Output;

    // A disc the cache does not know is ripped under its CD-Text titles; a "/" or ".." in
    // one leads nowhere outside the output folder.
    auto rip = Cli("rip --tracks 1-3 --format wav --output " + ShellQuote((Dir / "out").string()));
    EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "Alpha.wav")) << rip.Output;
    EXPECT_TRUE(fs::exists(Dir / "out" / "Gamma.wav"));
    EXPECT_FALSE(fs::exists(Dir / "Beta.wav"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 3);

    // A track's own PERFORMER is its artist, in the tags and in the rip's cue sheet; the
    // disc's performer becomes the album artist beside it.
    auto flac =
        Cli("rip --tracks 1-3 --format flac --log --output " + ShellQuote((Dir / "flac").string()));
    ASSERT_EQ(flac.ExitCode, 0) << flac.Output;
    auto guest = bwtest::MutagenTags(Dir / "flac" / "Gamma.flac");
    EXPECT_EQ(guest["artist"], "Guest");
    EXPECT_EQ(guest["albumartist"], "Disc Artist");
    EXPECT_EQ(bwtest::MutagenTags(Dir / "flac" / "Alpha.flac")["artist"], "Disc Artist");
    std::string sheet;
    for (const auto& entry : fs::directory_iterator(Dir / "flac"))
        if (entry.path().extension() == ".cue") sheet = bwtest::ReadFileText(entry.path());
    EXPECT_NE(sheet.find("TITLE \"Gamma\"\n    PERFORMER \"Guest\"\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("TITLE \"Alpha\"\n    PERFORMER \"Disc Artist\"\n"), std::string::npos);
}

TEST_F(CliCddb, VariousArtistsRecordsGiveTrackArtists) {
    const std::string id = DiscId();
    Server->Put("query-" + id + ".txt", "200 misc " + id + " Various / Hits\r\n");
    Server->Put("read-misc-" + id + ".txt",
                "210 misc " + id +
                    "\r\nDTITLE=Various / Hits\r\nDYEAR=1999\r\nTTITLE0=Ann / Song A\r\n"
                    "TTITLE1=Bo Band / Song / B\r\nTTITLE2=Plain\r\n.\r\n");
    auto shown = Cli("cddb --server " + Server->HostPort() + " --save");
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    EXPECT_NE(shown.Output.find("01  Song A\n02  Song / B\n03  Plain\n"), std::string::npos)
        << shown.Output;
    auto rip = Cli("rip --tracks 1-3 --format flac --template '%t %a - %n' --output " +
                   ShellQuote((Dir / "out").string()));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    auto first = bwtest::MutagenTags(Dir / "out" / "01 Ann - Song A.flac");
    EXPECT_EQ(first["artist"], "Ann");
    EXPECT_EQ(first["albumartist"], "Various");
    EXPECT_EQ(bwtest::MutagenTags(Dir / "out" / "02 Bo Band - Song - B.flac")["artist"], "Bo Band");
    EXPECT_EQ(bwtest::MutagenTags(Dir / "out" / "03 Various - Plain.flac")["artist"], "Various");
}
