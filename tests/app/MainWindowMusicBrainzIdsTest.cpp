// A MusicBrainz lookup in the window remembers the release with the disc in "cd.dat", as
// `brindlewave-cli musicbrainz --save` does, so a later rip from the window carries the
// release's ids and its cover (local stand-ins for the web service and the Cover Art
// Archive; the tags read back with metaflac).
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gmock/gmock.h>

#include "CddbTestServer.h"
#include "ChooseRelease.h"
#include "CodecLibraries.h"
#include "EditTrackName.h"
#include "MainWindowFixture.h"
#include "QtMainThread.h"
#include "TestSupport.h"
#include "ToolOracles.h"

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
            R"("artist-credit":[{"name":"Ann"}],"media":[{"position":1,"format":"CD","track-count":2,)"
            R"("tracks":[{"position":1,"title":"Neon","recording":)"
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

namespace {

// A release of the web service's shape whose medium `position` of `media` holds the disc's
// two tracks (the other media have nine).
std::string ReleaseReply(const std::string& id, const std::string& title, const std::string& date,
                         int position, int media, const std::string& more = "") {
    std::string out = R"({"id":")" + id + R"(","title":")" + title + R"(","date":")" + date +
                      R"(","country":"GB",)" + more +
                      R"("artist-credit":[{"name":"Ann","joinphrase":""}],)"
                      R"("media":[)";
    for (int m = 1; m <= media; ++m) {
        const bool disc = m == position;
        out += (m > 1 ? "," : "") + std::string(R"({"position":)") + std::to_string(m) +
               R"(,"format":"CD","track-count":)" + (disc ? "2" : "9") + R"(,"tracks":[)" +
               (disc ? R"({"position":1,"title":")" + title +
                           R"( one","length":2667,"recording":{"id":"r1"}},)"
                           R"({"position":2,"title":")" +
                           title + R"( two","length":4000,"recording":{"id":"r2"}})"
                     : "") +
               "]}";
    }
    return out + "]}";
}

std::string PngBytes(int edge) {
    QImage image(edge, edge, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

} // namespace

TEST_F(MainWindowTest, SeveralReleasesAreChosenFromWithCoversAndTheChoiceIsRemembered) {
    const std::string ids[] = {"11111111-0000-4000-8000-000000000001",
                               "22222222-0000-4000-8000-000000000002",
                               "33333333-0000-4000-8000-000000000003"};
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {200, 300});
    InsertDisc(image);
    bwtest::CddbTestServer server(Dir / "fixtures");
    bwtest::FileHttpServer covers(Dir / "covers");
    const std::string png = PngBytes(300);
    // Only the second release has a cover; the third's "thumbnail" is no image.
    covers.Put("release/" + ids[1] + "/front-250", png);
    covers.Put("release/" + ids[1] + "/front-500", png);
    covers.Put("release/" + ids[2] + "/front-250", "<html>not an image</html>");
    server.PutMusicBrainz("toc", 200,
                          R"({"releases":[)" + ReleaseReply(ids[0], "First", "1990", 1, 1) + "," +
                              ReleaseReply(ids[1], "Second", "1991-05", 1, 1) + "," +
                              ReleaseReply(ids[2], "Boxed", "2001", 2, 5,
                                           R"("barcode":"5012345678900","label-info":)"
                                           R"([{"catalog-number":"BOX 1",)"
                                           R"("label":{"name":"Crate"}}],)") +
                              "]}");
    TfrmMain* w = &StartWindow();
    Settings.MusicBrainzServer = server.MusicBrainzUrl();
    Settings.CoverArtServer = "http://" + covers.HostPort();
    // A title the user typed: the lookup asks before replacing it, and "No" keeps it.
    bwtest::WhenModalOf<TfrmEditTrackName>([](TfrmEditTrackName* dialog) {
        dialog->eName->setText(QStringLiteral("My own"));
        dialog->aOK->trigger();
    });
    w->ListView1->setCurrentItem(Row(0));
    w->aEditTrackName->trigger();
    ASSERT_EQ(Cell(0, colTitle), "My own");

    bwtest::WhenModalOf<TfrmChooseRelease>([&](TfrmChooseRelease* chooser) {
        QTreeWidget* list = chooser->lvReleases;
        ASSERT_EQ(list->topLevelItemCount(), 3);
        EXPECT_EQ(chooser->Chosen(), 0); // nothing remembered: the first that matches
        EXPECT_EQ(list->topLevelItem(1)->text(rcDate), "1991-05");
        EXPECT_EQ(list->topLevelItem(2)->text(rcFormat), "CD 2 of 5");
        EXPECT_EQ(list->topLevelItem(2)->text(rcTracks), "2");
        EXPECT_EQ(list->topLevelItem(2)->text(rcLabel), "Crate / BOX 1");
        EXPECT_EQ(list->topLevelItem(2)->text(rcBarcode), "5012345678900");
        // The thumbnails come while the list is already usable.
        EXPECT_TRUE(bwtest::WaitUntil([&] {
            return chooser->HasThumbnail(1) && !list->topLevelItem(2)->toolTip(rcCover).isEmpty();
        }));
        EXPECT_FALSE(chooser->HasThumbnail(0));
        EXPECT_FALSE(chooser->HasThumbnail(2));
        EXPECT_THAT(list->topLevelItem(0)->toolTip(rcCover).toStdString(),
                    HasSubstr("no front cover"));
        list->setCurrentItem(list->topLevelItem(1));
        chooser->btOk->click();
    });
    w->aQueryMusicBrainz->trigger();
    EXPECT_EQ(w->ID3album->text(), "Second");
    ASSERT_FALSE(Boxes.empty());
    EXPECT_EQ(LastBox(), "Replace the titles you typed with those of Second?");
    EXPECT_EQ(Cell(0, colTitle), "My own");
    EXPECT_EQ(Cell(1, colTitle), "Second two");
    EXPECT_THAT(bwtest::ReadFileText(DiscCacheFilePath()),
                HasSubstr("MusicBrainzAlbumId=" + ids[1]));
    // The release's cover comes beside the disc fields.
    ASSERT_TRUE(bwtest::WaitUntil([&] { return !w->Cover().Bytes.empty(); }));
    EXPECT_EQ(w->Cover().MimeType, "image/png");
    EXPECT_FALSE(w->imCover->pixmap().isNull());

    // After a restart the second comes selected; Cancel changes nothing.
    CloseWindow();
    Settings = TAppSettings{};
    w = &StartWindow();
    Settings.MusicBrainzServer = server.MusicBrainzUrl();
    Settings.CoverArtServer = "http://" + covers.HostPort();
    w->ID3album->setText(QStringLiteral("Kept"));
    bwtest::WhenModalOf<TfrmChooseRelease>([](TfrmChooseRelease* chooser) {
        EXPECT_EQ(chooser->Chosen(), 1);
        chooser->btCancel->click();
    });
    w->aQueryMusicBrainz->trigger();
    EXPECT_EQ(w->ID3album->text(), "Kept");
}

TEST_F(MainWindowTest, ACoverChosenByHandGoesIntoTheFilesAndStaysWithTheDisc) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {200});
    InsertDisc(image);
    const TCodecLibraries libraries;
    TQtMainThreadPump pump;
    const fs::path png = Dir / "front.png", text = Dir / "notes.txt";
    bwtest::WriteFileText(png, PngBytes(40));
    bwtest::WriteFileText(text, "not an image");
    TfrmMain* w = &StartWindow();
    FilesAnswer = {QString::fromStdString(text.string())};
    w->bChooseCover->click();
    EXPECT_THAT(LastBox().toStdString(), HasSubstr("is not a JPEG or PNG image"));
    EXPECT_TRUE(w->Cover().Bytes.empty());
    FilesAnswer = {QString::fromStdString(png.string())};
    w->bChooseCover->click();
    EXPECT_EQ(w->Cover().MimeType, "image/png");

    CloseWindow();
    Settings = TAppSettings{};
    w = &StartWindow();
    EXPECT_EQ(w->Cover().MimeType, "image/png"); // remembered with the disc
    Settings.OutputFormat = 4;                   // FLAC
    Settings.OutputFolder = (Dir / "out").string();
    fs::create_directories(Dir / "out");
    w->aRipExecute();
    EXPECT_EQ(bwtest::ReadFileText(Dir / "out" / "cover.png"), PngBytes(40));
    EXPECT_EQ(bwtest::MutagenTags(Dir / "out" / "Track01.flac")["cover"],
              bwtest::Sha256(png) + " image/png");
}
