// A MusicBrainz lookup in the window remembers the release with the disc in "cd.dat", as
// `brindlewave-cli musicbrainz --save` does, so a later rip from the window carries the
// release's ids and its cover (local stand-ins for the web service and the Cover Art
// Archive; the tags read back with metaflac).
#include <QLineEdit>
#include <gmock/gmock.h>

#include "CddbTestServer.h"
#include "CodecLibraries.h"
#include "MainWindowFixture.h"
#include "QtMainThread.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace bw;
using testing::HasSubstr;

TEST_F(MainWindowTest, AMusicBrainzLookupGivesLaterRipsItsIdsAndCover) {
    const std::string release = "6f2e0a5c-1c4d-4b9e-9a0f-0123456789ab";
    const std::string recording = "00000001-4f50-6172-8394-a5b6c7d8e9f0";
    const std::string cover = "\xFF\xD8\xFF\xE0 a JPEG stand-in";
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {200, 300});
    InsertDisc(image);
    bwtest::CddbTestServer server(Dir / "fixtures");
    bwtest::FileHttpServer covers(Dir / "covers");
    covers.Put("release/" + release + "/front-500", cover);
    server.PutMusicBrainz(
        "toc", 200,
        R"({"releases":[{"id":")" + release +
            R"(","title":"Night Drive","date":"1986",)"
            R"("artist-credit":[{"name":"Ann"}],"media":[{"position":1,"format":"CD",)"
            R"("discs":[{"id":"x"}],"tracks":[{"position":1,"title":"Neon","recording":)"
            R"({"id":")" +
            recording + R"("}},{"position":2,"title":"Glow"}]}]}]})");
    const TCodecLibraries libraries; // FLAC, as the program loads it
    TQtMainThreadPump pump;          // the encoder's events reach the rip window
    TfrmMain& w = StartWindow();
    Settings.MusicBrainzServer = server.MusicBrainzUrl();
    Settings.CoverArtServer = "http://" + covers.HostPort();
    Settings.OutputFormat = 4; // FLAC
    struct Case {
        const char* Name;
        const char* TypedAlbum; // typed over the album found; nullptr: left as found
        bool Ids;
    };
    const Case cases[] = {{"as found", nullptr, true}, {"album typed over", "Mine", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        w.aQueryMusicBrainz->trigger(); // the stop window closes by itself
        ASSERT_EQ(w.ID3album->text(), "Night Drive");
        EXPECT_THAT(bwtest::ReadFileText(DiscCacheFilePath()),
                    HasSubstr("MusicBrainzAlbumId=" + release));
        if (c.TypedAlbum) w.ID3album->setText(c.TypedAlbum);
        const fs::path out = Dir / c.Name;
        fs::create_directories(out);
        Settings.OutputFolder = out.string();
        w.aRipExecute();
        const auto tags = bwtest::RunCommand("metaflac --export-tags-to=- " +
                                             bwtest::ShellQuote((out / "Neon.flac").string()));
        ASSERT_EQ(tags.ExitCode, 0) << tags.Output;
        for (const std::string& line :
             {"MUSICBRAINZ_ALBUMID=" + release, "MUSICBRAINZ_TRACKID=" + recording,
              std::string("MUSICBRAINZ_DISCID=")})
            EXPECT_EQ(tags.Output.find(line) != std::string::npos, c.Ids) << tags.Output;
        EXPECT_EQ(fs::exists(out / "cover.jpg"), c.Ids);
        if (c.Ids) {
            EXPECT_EQ(bwtest::ReadFileText(out / "cover.jpg"), cover);
        }
    }
}
