#include "CdImage.h"
#include "CddbTestServer.h"
#include "Global.h"
#include "QtTestApp.h"
#include "QueryCddb.h"
#include "StopQuery.h"
#include "TestSupport.h"
#include "UiShell.h"
#include "akrip32.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace bw;

namespace {

struct TRecordingView : TCddbFieldsView {
    std::vector<TCddbQueryResult> Applied;
    void ApplyCddbResult(const TCddbQueryResult& result) override { Applied.push_back(result); }
};

// Runs `step` on the stop window once it is shown modally, from inside its event loop.
void WhenStopWindowShows(std::function<void(TfrmStopQuery*)> step) {
    bwtest::WhenModal([step = std::move(step)](QWidget* modal) {
        auto* stop = qobject_cast<TfrmStopQuery*>(modal);
        ASSERT_NE(stop, nullptr);
        step(stop);
    });
}

using bwtest::WaitUntil;

class CddbDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        bwtest::QtApp();
        Image.emplace(bwtest::CdImage::Write(Dir.Path(), "disc", {300, 400}));
        Drives.emplace(*Image);
        TCDList list = ReadDriveList();
        ASSERT_EQ(list.Count, 1);
        const TGetCDHandle request = HandleRequestFor(list.Entries[0]);
        Handle = GetCDHandle(&request);
        Server.emplace(Dir / "fixtures");
        Settings = TAppSettings{};
        Settings.CDDBServer = Server->HostPort();
        Settings.CDDBScript = "/~cddb/cddb.cgi";
        Settings.Port = "80";
        DiscId = bwtest::CddbDiscIdOf(*Image);
    }
    void TearDown() override { CloseCDHandle(Handle); }

    std::unique_ptr<TfrmQueryCDDB> Dialog() {
        auto dialog = std::make_unique<TfrmQueryCDDB>(&View);
        dialog->FirstTrack = 1;
        dialog->LastTrack = 2;
        dialog->CDHandle = Handle;
        dialog->show();
        return dialog;
    }

    bwtest::TempDir Dir;
    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::ImageDrives> Drives;
    std::optional<bwtest::CddbTestServer> Server;
    int Handle = 0;
    std::string DiscId;
    TRecordingView View;
};

} // namespace

TEST_F(CddbDialogs, ShowsTheSettingsAndDefaultRestoresTheServerOnly) {
    Settings.UseProxy = true;
    Settings.ProxyAddress = "proxy.example";
    Settings.Port = "3128";
    Settings.CDDBScript = "/cgi-bin/cddb.cgi";
    auto dialog = Dialog();
    EXPECT_EQ(dialog->windowTitle(), "Query CDDB");
    EXPECT_EQ(dialog->cbServer->count(), 1); // the services that still answer
    EXPECT_EQ(dialog->cbServer->itemText(0), "gnudb.gnudb.org");
    EXPECT_EQ(dialog->cbServer->currentText().toStdString(), Server->HostPort()); // typed host kept
    EXPECT_EQ(dialog->eScript->text(), "/cgi-bin/cddb.cgi");
    EXPECT_TRUE(dialog->eAddress->isEnabled());
    EXPECT_EQ(dialog->ePort->text(), "3128");

    dialog->cbProxy->click();
    EXPECT_FALSE(dialog->eAddress->isEnabled());
    EXPECT_FALSE(dialog->ePort->isEnabled());

    dialog->bDefaultClick();
    EXPECT_EQ(dialog->cbServer->currentText(), "gnudb.gnudb.org");
    EXPECT_EQ(dialog->eScript->text(), "/~cddb/cddb.cgi");
    EXPECT_FALSE(dialog->cbProxy->isChecked());
    EXPECT_EQ(dialog->eAddress->text(), "proxy.example"); // proxy texts stay
    dialog->bCloseClick();
    EXPECT_EQ(Settings.CDDBServer, Server->HostPort()); // Close stores nothing
    EXPECT_TRUE(Settings.UseProxy);
    EXPECT_EQ(Settings.CDDBScript, "/cgi-bin/cddb.cgi");
}

TEST_F(CddbDialogs, QueryThatFindsTheDiscFillsTheFieldsAndClosesBoth) {
    Server->Put("query-" + DiscId + ".txt", "200 blues " + DiscId + " A / B\r\n");
    Server->Put("read-blues-" + DiscId + ".txt",
                "210 blues " + DiscId + "\r\nDTITLE=A / B\r\nTTITLE0=x\r\nTTITLE1=y\r\n.\r\n");
    auto dialog = Dialog();
    dialog->bQueryClick();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(View.Applied.size(), 1u);
    EXPECT_EQ(View.Applied[0].Artist, "A");
    EXPECT_EQ(View.Applied[0].TrackTitles, (std::vector<std::string>{"x", "y"}));
}

TEST_F(CddbDialogs, StopWindowStartsWaiting) {
    TfrmStopQuery stop(&View);
    EXPECT_EQ(stop.bStop->text(), "Stop");
    EXPECT_EQ(stop.lHint->text(), "Query CDDB, please waiting...");
    EXPECT_FALSE(stop.Panel1->isVisibleTo(&stop));
    EXPECT_FALSE(stop.QueryThread); // the query starts when the window shows
}

TEST_F(CddbDialogs, NoMatchShowsTheHintAndKeepsTheDialogOpen) {
    bool sawPanel = false;
    WhenStopWindowShows([&](TfrmStopQuery* stop) {
        EXPECT_EQ(stop->windowTitle(), "Query CDDB...");
        WaitUntil([stop] { return stop->Panel1->isVisible(); });
        sawPanel = stop->Panel1->isVisible() && !stop->lHint->isVisible();
        EXPECT_EQ(stop->bStop->text(), "Close");
        EXPECT_TRUE(stop->lNoMatch->text().startsWith("No match found,perhaps:\n1.No information"));
        stop->bStop->click();
    });
    auto dialog = Dialog();
    dialog->bQueryClick();
    EXPECT_TRUE(sawPanel);
    EXPECT_TRUE(dialog->isVisible()); // left open for another try
    EXPECT_TRUE(View.Applied.empty());
}

// A failed query is an error box naming the server and its answer; the CDDB dialog stays
// open for another try and the fields are left as they were.
TEST_F(CddbDialogs, FailedQueryShowsWhyAndLeavesTheFieldsAlone) {
    std::vector<std::pair<TBoxKind, QString>> boxes;
    UiShell().ShowBox = [&](QWidget*, TBoxKind kind, const QString& text) {
        boxes.emplace_back(kind, text);
        return TBoxAnswer::Ok;
    };
    const std::string server = Server->HostPort();
    struct Failure {
        std::function<void()> Arrange;
        std::string Box;
    };
    std::vector<Failure> failures = {
        {[&] { Server->Put("query-" + DiscId + ".txt", "500 Unknown developer email\r\n"); },
         "The CDDB server " + server + " refused the query: \"500 Unknown developer email\""},
        {[&] { Server->Put("status.txt", "503"); },
         "The CDDB server " + server + " could not be asked: the server answered HTTP 503."},
        // A match whose record cannot be fetched is no success either.
        {[&] {
             std::filesystem::remove(Dir / "fixtures" / "status.txt");
             Server->Put("query-" + DiscId + ".txt", "200 rock " + DiscId + " A / B\r\n");
         },
         "The CDDB server " + server +
             " refused the query: \"401 Specified CDDB entry not found.\""},
        {[&] { Server.reset(); },
         "The CDDB server " + server +
             " could not be asked: the connection was refused or the server is unreachable."},
    };
    auto dialog = Dialog();
    for (const auto& f : failures) {
        SCOPED_TRACE(f.Box);
        boxes.clear();
        f.Arrange();
        dialog->bQueryClick();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].first, TBoxKind::Error);
        EXPECT_EQ(boxes[0].second.toStdString(), f.Box);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(View.Applied.empty());
    }
    ResetUiShell();
}

TEST_F(CddbDialogs, StopDuringASlowReplyReturnsAtOnceAndNothingArrivesLater) {
    Server->Put("delay.txt", "2");
    Server->Put("query-" + DiscId + ".txt", "200 blues " + DiscId + " A / B\r\n");
    QElapsedTimer clock;
    WhenStopWindowShows([&](TfrmStopQuery* stop) {
        clock.start();
        stop->bStop->click();
    });
    auto dialog = Dialog();
    dialog->bQueryClick();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(dialog->isVisible());
    // Let the server answer; nothing may reach the fields.
    QTest::qWait(3000);
    EXPECT_TRUE(View.Applied.empty());
}

TEST_F(CddbDialogs, QueryStoresTheControlsInTheSettings) {
    auto dialog = Dialog();
    dialog->cbProxy->click();
    dialog->eAddress->setText("127.0.0.1");
    dialog->ePort->setText(QString::number(Server->Port()));
    dialog->cbServer->setEditText("cddb.invalid");
    WhenStopWindowShows([](TfrmStopQuery* stop) {
        WaitUntil([stop] { return stop->Panel1->isVisible(); });
        stop->bStop->click();
    });
    dialog->bQueryClick(); // no match, through the proxy
    EXPECT_EQ(Server->Requests().rfind("http://cddb.invalid/", 0), 0u);
    EXPECT_EQ(Settings.CDDBServer, "cddb.invalid");
    EXPECT_TRUE(Settings.UseProxy);
    EXPECT_EQ(Settings.ProxyAddress, "127.0.0.1");
    EXPECT_EQ(Settings.Port, std::to_string(Server->Port()));
}
