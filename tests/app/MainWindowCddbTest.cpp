// The main window's "Query CDDB..." through the real dialogs against a local CDDB server.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "CddbTestServer.h"
#include "MainWindowFixture.h"
#include "QueryCddb.h"

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
