// The options dialog's settings of our own, driven through its controls and the dialog's OK
// and Cancel: the "Ripping" page (with "Find offset..." run against a local AccurateRip
// stand-in and an image drive that reads as a drive with read offset +667), the "Tags" page
// and the file name template; what they store is read back through "options.ini".
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AccurateRipStandIn.h"
#include "DriveOffsets.h"
#include "FileNamesGroup.h"
#include "OffsetFindWindow.h"
#include "OptionsDialogFixture.h"
#include "ReadingRows.h"
#include "RippingPage.h"
#include "TagsPage.h"

using namespace bw;
using testing::HasSubstr;

namespace {

class RippingPageTest : public bwtest::OptionsDialogTest {
protected:
    void SetUp() override {
        OptionsDialogTest::SetUp();
        Answer = TBoxAnswer::Yes;
    }
};

TEST(RippingPageServers, TextsThatCanAndCannotBeUsed) {
    struct Case {
        const char* Text;
        bool MusicBrainz, AccurateRip; // usable as that server
    };
    const Case cases[] = {
        {"", true, true},
        {"   ", true, true},
        {"https://musicbrainz.org", true, false},
        {"http://localhost:5000/", true, false},
        {"musicbrainz.example", true, true},
        {"www.accuraterip.com", true, true},
        {"127.0.0.1:8080", true, true},
        {"http://[::1]:8080", true, true},
        {"  mirror.lan:80  ", true, true},
        {"ftp://musicbrainz.org", false, false},
        {"https://", false, false},
        {"host:0", false, false},
        {"host:65536", false, false},
        {"host:port", false, false},
        {"two words", false, false},
        {"host/path", false, false},
        {"https://host/ws/2", false, false},
        {"host\n:80", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(MusicBrainzServerProblem(QString::fromUtf8(c.Text)).isEmpty(), c.MusicBrainz);
        EXPECT_EQ(AccurateRipServerProblem(QString::fromUtf8(c.Text)).isEmpty(), c.AccurateRip);
    }
}

TEST_F(RippingPageTest, ComesAfterTheOtherPagesAndShowsTheSettings) {
    Settings.WriteLog = true;
    Settings.ReadOffset = 667;
    Settings.AccurateRipServer = "127.0.0.1:9";
    Settings.MusicBrainzServer = "http://mirror.lan";
    TfrmOptions& d = Open();
    QTabWidget* tabs = d.PageControl1;
    ASSERT_EQ(tabs->count(), 9);
    EXPECT_EQ(tabs->tabText(7), "Ripping");
    EXPECT_EQ(tabs->widget(7), d.TabSheet7);
    EXPECT_EQ(tabs->currentIndex(), 0);
    TRippingPage& p = *d.TabSheet7;
    EXPECT_TRUE(p.ckWriteLog->isChecked());
    EXPECT_EQ(p.seReadOffset->value(), 667);
    EXPECT_EQ(p.seReadOffset->minimum(), -5880);
    EXPECT_EQ(p.seReadOffset->maximum(), 5880);
    EXPECT_EQ(p.editAccurateRipServer->text(), "127.0.0.1:9");
    EXPECT_EQ(p.editMusicBrainzServer->text(), "http://mirror.lan");
    if (const char* dir = std::getenv("BW_SCREENSHOT_DIR")) {
        tabs->setCurrentIndex(7);
        d.grab().save(QString::fromUtf8(dir) + "/options-ripping.png");
    }
}

// Each change is stored by OK alone, and reaches "options.ini" under its own section.
TEST_F(RippingPageTest, OkStoresCancelDiscards) {
    struct Case {
        const char* Name;
        bool Ok;
        const char* AccurateRip;
        const char* MusicBrainz;
        const char* Expected; // lines the saved file holds
    };
    const Case cases[] = {
        {"ok", true, " 127.0.0.1:8080 ", "http://localhost:5000",
         "[Rip]\nWriteLog=1\n|ReadOffset=-1164\n|[AccurateRip]\nServer=127.0.0.1:8080\n"
         "|[MusicBrainz]\nServer=http://localhost:5000\n"},
        {"emptied servers are the defaults", true, "", "  ",
         "WriteLog=1|ReadOffset=-1164|Server=www.accuraterip.com|"
         "Server=https://musicbrainz.org"},
        {"cancel", false, "127.0.0.1:8080", "http://localhost:5000",
         "WriteLog=0|ReadOffset=0\n|Server=www.accuraterip.com|Server=https://musicbrainz.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FreshSettings();
        TfrmOptions& d = Open();
        TRippingPage& p = *d.TabSheet7;
        p.ckWriteLog->click();
        p.seReadOffset->setValue(-1164);
        p.editAccurateRipServer->setText(QString::fromUtf8(c.AccurateRip));
        p.editMusicBrainzServer->setText(QString::fromUtf8(c.MusicBrainz));
        (c.Ok ? d.btOk : d.btCancel)->click();
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(d.result(), c.Ok ? QDialog::Accepted : QDialog::Rejected);
        LoadSaveOptions(false);
        Settings = TAppSettings{};
        LoadSaveOptions(true);
        const std::string text = bwtest::ReadFileText(OptionsPath());
        for (const QString& line : QString::fromUtf8(c.Expected).split('|'))
            EXPECT_THAT(text, HasSubstr(line.toStdString()));
        EXPECT_EQ(Settings.WriteLog, c.Ok);
        EXPECT_EQ(Settings.ReadOffset, c.Ok ? -1164 : 0);
    }
}

// A server that cannot be used keeps the dialog open on the page, its field focused, and
// stores nothing, not even the other pages' changes.
TEST_F(RippingPageTest, AServerThatCannotBeUsedStopsOk) {
    struct Case {
        const char* AccurateRip;
        const char* MusicBrainz;
        QString Box;
        bool AccurateRipFocused;
    };
    const Case cases[] = {
        {"ftp://host", "",
         "The AccurateRip server \"ftp://host\" is not a host name with an "
         "optional port (host:port).",
         true},
        {"", "gopher://host", "The MusicBrainz server must be an http:// or https:// address.",
         false},
        {"", "https://a b",
         "The MusicBrainz server \"https://a b\" is not a host name with an "
         "optional port (https://host:port).",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Box.toStdString());
        Boxes.clear();
        Settings = TAppSettings{};
        LoadSaveOptions(true);
        const std::string before = OptionsFileText();
        TfrmOptions& d = Open();
        d.PageControl1->setCurrentIndex(0);
        d.ckNormalize->setChecked(true);
        TRippingPage& p = *d.TabSheet7;
        p.ckWriteLog->setChecked(true);
        p.editAccurateRipServer->setText(QString::fromUtf8(c.AccurateRip));
        p.editMusicBrainzServer->setText(QString::fromUtf8(c.MusicBrainz));
        d.btOk->click();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0], c.Box);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet7);
        EXPECT_EQ(d.focusWidget(), c.AccurateRipFocused
                                       ? static_cast<QWidget*>(p.editAccurateRipServer)
                                       : static_cast<QWidget*>(p.editMusicBrainzServer));
        EXPECT_EQ(OptionsFileText(), before);
    }
}

TEST(FileNameTemplate, TemplatesThatCanAndCannotBeStored) {
    const std::pair<const char*, const char*> cases[] = {
        {"%n", ""},
        {"%A/%d/%t %n", ""},
        {"%A/%d/%D-%t %n", ""},
        {"%A/%d/%t %a - %n", ""},
        {"%y - %g/%t", ""},
        {"100%% %n", ""},
        {"", "is empty"},
        {"   ", "is empty"},
        {"%A/%d", "same name"},
        {"%%t", "same name"},
        {"%n/", "empty folder or file name"},
        {"%A//%n", "empty folder or file name"},
        {"/%A/%n", "must not begin with"},
        {"../%n", "\".\" or \"..\""},
        {"%x %n", "\"%x\", which is no placeholder"},
        {"%n %", "\"%\", which is no placeholder"},
        {"%n\t", "control character"},
    };
    for (const auto& [text, problem] : cases) {
        SCOPED_TRACE(text);
        const QString said = FileNameTemplateProblem(QString::fromUtf8(text));
        EXPECT_EQ(said.isEmpty(), *problem == 0) << said.toStdString();
        EXPECT_TRUE(said.contains(QString::fromUtf8(problem))) << said.toStdString();
    }
}

// A refused template keeps the dialog open on the Output page and stores nothing; an
// accepted one is stored with the Tags page, whose Default shows a new installation's values.
TEST_F(RippingPageTest, TemplateAndTagsPage) {
    Settings.ReplayGain = false;
    Settings.CoverArtServer = "http://127.0.0.1:9";
    const std::string before = OptionsFileText();
    TfrmOptions& d = Open();
    EXPECT_EQ(d.FileNames->editFileNameTemplate->text(), "%n");
    EXPECT_EQ(d.FileNames->lExample->text(), "Example: Opening Song");
    EXPECT_FALSE(d.TagsPage->ckReplayGain->isChecked());
    d.TagsPage->ckSaveCover->setChecked(false);
    d.PageControl1->setCurrentIndex(8);
    d.FileNames->editFileNameTemplate->setText("%A/%d");
    d.btOk->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_THAT(Boxes[0].toStdString(), HasSubstr("gives every track the same name"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet1);
    EXPECT_EQ(d.focusWidget(), d.FileNames->editFileNameTemplate);
    EXPECT_EQ(OptionsFileText(), before);

    d.FileNames->editFileNameTemplate->setText("%A/%d/%D-%t %a - %n");
    EXPECT_EQ(d.FileNames->lExample->text(),
              "Example: The Band/First Album/2-01 The Guest - Opening Song");
    d.FileNames->editFileNameTemplate->setText("%A/%d/%t %n");
    EXPECT_EQ(d.FileNames->lExample->text(), "Example: The Band/First Album/01 Opening Song");
    d.TagsPage->bTagsDefault->click();
    EXPECT_TRUE(d.TagsPage->ckReplayGain->isChecked() && d.TagsPage->ckSaveCover->isChecked());
    EXPECT_EQ(d.TagsPage->editCoverArtServer->text(), "");
    d.TagsPage->ckEmbedCover->setChecked(false);
    d.btOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_THAT(OptionsFileText(), HasSubstr("FileNameTemplate=%A/%d/%t %n\n"));
    EXPECT_THAT(OptionsFileText(), HasSubstr("[Tags]\nCoverArtServer=https://coverartarchive.org\n"
                                             "EmbedCover=0\nSaveCover=1\nReplayGain=1\n"));
}

// "Find offset..." finds the drive's offset, or says why none was found; Stop ends the
// search at once, even while the server keeps the lookup waiting.
TEST_F(RippingPageTest, FindOffsetOfTheChosenDrive) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    bwtest::TempDir root, none;
    bwtest::FileHttpServer server{root.Path()}, empty{none.Path()};
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {60, 45, 50}, 9);
    bwtest::PutAccurateRipEntry(server, image, Dir.Path(), 3);
    const int silent = socket(AF_INET, SOCK_STREAM, 0); // listens, never answers
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), size), 0);
    listen(silent, 4);
    getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
    setenv("BRINDLEWAVE_CD_IMAGES", image.CuePath().c_str(), 1);
    setenv("BRINDLEWAVE_CD_FAULTS", "offset:667", 1);
    struct Case {
        std::string Server;
        bool Stop;
        const char* Box; // empty: none
    };
    const Case cases[] = {
        {"127.0.0.1:1", false,
         "No read offset found for IMAGE disc.cue: the database could not be reached"},
        {empty.HostPort(), false,
         "No read offset found for IMAGE disc.cue: the disc is not in the AccurateRip database"},
        {"127.0.0.1:" + std::to_string(ntohs(address.sin_port)), true, ""},
        {server.HostPort(), false, "The read offset of IMAGE disc.cue is 667 samples (2 track(s)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Server);
        setenv("BRINDLEWAVE_ACCURATERIP_SERVER", c.Server.c_str(), 1);
        Boxes.clear();
        TfrmOptions& d = Open();
        QElapsedTimer stopping;
        if (c.Stop)
            bwtest::WhenModal([&](QWidget* modal) {
                QTest::qWait(300);
                stopping.start();
                qobject_cast<TfrmFindOffset*>(modal)->bStop->click();
            });
        d.TabSheet7->btFindOffset->click();
        if (c.Stop) {
            EXPECT_LT(stopping.elapsed(), 1000);
        }
        EXPECT_EQ(Boxes.empty() ? QString() : Boxes[0].left(int(strlen(c.Box))), c.Box);
        const bool kept = c.Server == server.HostPort();
        EXPECT_EQ(d.TabSheet7->lDriveOffset->text(),
                  kept ? "IMAGE disc.cue: 667 samples, its own"
                       : "IMAGE disc.cue has no read offset of its own: the one above is used.");
    }
    EXPECT_EQ(StoredDriveOffset("IMAGE disc.cue"), 667);
    close(silent);
}

} // namespace

// The reading mode and its limits: shown, enabled only for secure reading, stored by OK.
TEST_F(RippingPageTest, ReadingModeAndItsLimits) {
    struct Case {
        int StoredMode, ShownIndex;
        int ChooseIndex, Rereads, Retries;
        const char* Expected;
    };
    const Case cases[] = {
        {0, 0, 1, 7, 0, "ReadMode=1\nMaxRereads=7\nMaxRetries=0\n"},
        {1, 1, 0, 20, 5, "ReadMode=0\nMaxRereads=20\nMaxRetries=5\n"},
        {5, 0, 1, 1000, 100, "ReadMode=1\nMaxRereads=1000\nMaxRetries=100\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.StoredMode);
        FreshSettings();
        Settings.ReadMode = c.StoredMode;
        TfrmOptions& d = Open();
        TReadingRows& rows = d.ReadingRows;
        EXPECT_EQ(rows.cbReadMode->currentIndex(), c.ShownIndex);
        EXPECT_EQ(rows.seMaxRereads->isEnabled(), c.ShownIndex == 1);
        EXPECT_EQ(rows.seMaxRereads->value(), 20);
        EXPECT_EQ(rows.seMaxRetries->value(), 5);
        rows.cbReadMode->setCurrentIndex(c.ChooseIndex);
        EXPECT_EQ(rows.seMaxRetries->isEnabled(), c.ChooseIndex == 1);
        rows.seMaxRereads->setValue(c.Rereads);
        rows.seMaxRetries->setValue(c.Retries);
        d.btOk->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        LoadSaveOptions(false);
        const std::string text = bwtest::ReadFileText(OptionsPath());
        EXPECT_THAT(text, HasSubstr(c.Expected));
    }
}
