// The main window's "Query CDDB..." through the real dialogs against a local CDDB server.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "CddbTestServer.h"
#include "Genres.h"
#include "MainWindowFixture.h"
#include "QueryCddb.h"
#include "StopQuery.h"

using namespace bw;

namespace {

class MainWindowCddb : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Image.emplace(bwtest::CdImage::Write(Dir.Path(), "disc", {200, 300, 400}));
        InsertDisc(*Image);
        Server.emplace(Dir / "fixtures");
    }
    std::string DiscId() const { return bwtest::CddbDiscIdOf(*Image); }

    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::CddbTestServer> Server;
};

} // namespace

TEST_F(MainWindowCddb, AFoundRecordFillsTheDiscFieldsAndTitles) {
    TfrmMain& w = StartWindow();
    Settings.CDDBServer = Server->HostPort();
    ASSERT_EQ(Rows(), 3);
    w.ID3comment->setText("cleared by a found record");
    const std::string id = DiscId();
    Server->Put("query-" + id + ".txt", "200 blues " + id + " X / Y\r\n");
    Server->Put("read-blues-" + id + ".txt",
                "210 blues " + id +
                    "\r\nDTITLE=Muddy Band / Delta Sessions\r\nDYEAR=1964\r\n"
                    "DGENRE=Blues\r\nTTITLE0=Walking\r\nTTITLE1=Rolling\r\nTTITLE2=Gone\r\n.\r\n");
    bwtest::WhenModal([](QWidget* modal) {
        static_cast<TfrmQueryCDDB*>(modal)->bQueryClick(); // closes both windows
    });
    w.aQueryCDDBExecute();
    EXPECT_EQ(w.ID3artist->text(), "Muddy Band");
    EXPECT_EQ(w.ID3album->text(), "Delta Sessions");
    EXPECT_EQ(w.ID3year->text(), "1964");
    EXPECT_EQ(w.ID3genre->currentText(), "Blues");
    EXPECT_EQ(w.ID3comment->text(), "");
    EXPECT_EQ(Cell(0, colTitle), "Walking");
    EXPECT_EQ(Cell(2, colTitle), "Gone");
    EXPECT_EQ(Row(0)->textAlignment(colTitle) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    // A genre in other letter case selects nothing.
    Server->Put("read-blues-" + id + ".txt",
                "210 blues " + id + "\r\nDTITLE=A / B\r\nDGENRE=blues\r\nTTITLE0=t\r\n.\r\n");
    bwtest::WhenModal([](QWidget* modal) { static_cast<TfrmQueryCDDB*>(modal)->bQueryClick(); });
    w.aQueryCDDBExecute();
    EXPECT_EQ(w.ID3genre->currentIndex(), -1);
    EXPECT_EQ(Cell(0, colTitle), "t");
    EXPECT_EQ(Cell(1, colTitle), "Rolling"); // rows the record has no title for keep theirs
}

TEST_F(MainWindowCddb, AFailedQueryLeavesTheFieldsAlone) {
    TfrmMain& w = StartWindow();
    Settings.CDDBServer = Server->HostPort();
    w.ID3artist->setText("Mine");
    Server->Put("status.txt", "500");
    bwtest::WhenModal([](QWidget* modal) {
        auto* dialog = static_cast<TfrmQueryCDDB*>(modal);
        dialog->bQueryClick();
        dialog->bCloseClick(); // a failure leaves the dialog open
    });
    w.aQueryCDDBExecute();
    EXPECT_EQ(w.ID3artist->text(), "Mine");
    EXPECT_EQ(Cell(0, colTitle), "Track01");
    EXPECT_NE(LastBox().toStdString().find("answered HTTP 500"), std::string::npos)
        << LastBox().toStdString();
}

namespace {

std::string MusicBrainzRelease(const std::string& discId) {
    return R"({"releases":[{"id":"r1","title":"Night Drive","date":"1986-02-01",)"
           R"("artist-credit":[{"name":"Ann","joinphrase":" & "},{"name":"Bo","joinphrase":""}],)"
           R"("genres":[{"name":"synth-pop"},{"name":"NEW WAVE"}],)"
           R"("media":[{"position":1,"format":"CD","track-count":3,"discs":[{"id":")" +
           discId +
           R"(","sectors":1050,"offsets":[150,350,650]}],)"
           R"("tracks":[{"position":1,"title":"Neon"},{"position":2,"title":"../x"},)"
           R"({"position":3,"title":"Tail\u0007lights"}]}]}]})";
}

} // namespace

TEST_F(MainWindowCddb, QueryMusicBrainzIsOfferedBesideCddb) {
    TfrmMain& w = StartWindow();
    EXPECT_EQ(w.aQueryMusicBrainz->text(), "Query &MusicBrainz...");
    EXPECT_EQ(w.aQueryMusicBrainz->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
    QList<QAction*> tools;
    for (QObject* owner : w.aQueryCDDB->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(owner)) tools = menu->actions();
    const qsizetype at = tools.indexOf(w.aQueryCDDB);
    ASSERT_GE(at, 0);
    EXPECT_EQ(tools.value(at + 1), w.aQueryMusicBrainz);
    EXPECT_EQ(w.tbMusicBrainz->toolTip(), "Query MusicBrainz");
    EXPECT_TRUE(w.aQueryMusicBrainz->isEnabled()); // the list has rows
    EXPECT_TRUE(w.tbMusicBrainz->isEnabled());
    w.ListView1->clear();
    w.UpdateActions();
    EXPECT_FALSE(w.tbMusicBrainz->isEnabled());
}

TEST_F(MainWindowCddb, AMusicBrainzReleaseFillsTheFieldsAndTitles) {
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 3);
    Settings.MusicBrainzServer = Server->MusicBrainzUrl();
    w.ID3comment->setText("kept");
    w.ID3genre->setCurrentIndex(GenreListIndexOf("Blues", false));

    // Nothing found: the stop window says so and waits for Close; the fields stay.
    bool told = false;
    bwtest::WhenModal([&](QWidget* modal) {
        auto* stop = qobject_cast<TfrmStopQuery*>(modal);
        ASSERT_NE(stop, nullptr);
        EXPECT_EQ(stop->windowTitle(), "Query MusicBrainz...");
        ASSERT_TRUE(bwtest::WaitUntil([&] { return stop->Panel1->isVisible(); }, 15000));
        told = stop->lNoMatch->text() == "No MusicBrainz entry for this disc." &&
               stop->bStop->text() == "Close";
        stop->bStop->click();
    });
    w.aQueryMusicBrainz->trigger();
    EXPECT_TRUE(told);
    EXPECT_EQ(Cell(0, colTitle), "Track01");
    EXPECT_EQ(w.ID3artist->text(), "");

    // Found by its TOC: the release fills what it has; hostile titles are plain text.
    Server->PutMusicBrainz("toc", 200, MusicBrainzRelease("another-disc-id"));
    w.aQueryMusicBrainz->trigger(); // the stop window closes by itself
    EXPECT_EQ(w.ID3artist->text(), "Ann & Bo");
    EXPECT_EQ(w.ID3album->text(), "Night Drive");
    EXPECT_EQ(w.ID3year->text(), "1986");
    EXPECT_EQ(w.ID3genre->currentText(), "New Wave"); // the first listed one, any case
    EXPECT_EQ(w.ID3comment->text(), "kept");
    EXPECT_EQ(Cell(0, colTitle), "Neon");
    EXPECT_EQ(Cell(1, colTitle), "../x");
    EXPECT_EQ(Cell(2, colTitle), "Tail lights");
}
