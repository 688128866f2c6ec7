// The options dialog's settings beyond the Parts: the file name template on the Output page,
// the Tags page with its Default button, and "Find offset..." run against a local AccurateRip
// stand-in with an image drive that reads as a drive with read offset +667.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AccurateRipStandIn.h"
#include "AppFixture.h"
#include "DriveOffsets.h"
#include "FileNamesGroup.h"
#include "OffsetFindWindow.h"
#include "OptionSet.h"
#include "QtTestApp.h"
#include "RippingPage.h"
#include "TagsPage.h"
#include "UiShell.h"

using namespace bw;

namespace {

class OptionsOwnSettings : public AppFolders {
protected:
    void SetUp() override {
        AppFolders::SetUp();
        bwtest::QtApp();
        UiShell().ShowBox = [this](QWidget*, TBoxKind, const QString& text) {
            Boxes.push_back(text);
            return TBoxAnswer::Yes;
        };
        LoadSaveOptions(true);
        std::filesystem::create_directories(Settings.OutputFolder);
    }
    void TearDown() override {
        Dialog.reset();
        ResetUiShell();
        for (const char* name :
             {"BRINDLEWAVE_CD_IMAGES", "BRINDLEWAVE_CD_FAULTS", "BRINDLEWAVE_ACCURATERIP_SERVER"})
            unsetenv(name);
        AppFolders::TearDown();
    }
    TfrmOptions& Open() {
        Dialog = std::make_unique<TfrmOptions>();
        Dialog->show();
        return *Dialog;
    }
    std::unique_ptr<TfrmOptions> Dialog;
    std::vector<QString> Boxes;
};

TEST(FileNameTemplate, TemplatesThatCanAndCannotBeStored) {
    const std::pair<const char*, const char*> cases[] = {
        {"%n", ""},
        {"%A/%d/%t %n", ""},
        {"%y - %g/%t", ""},
        {"100%% %n", ""},
        {"", "is empty"},
        {"   ", "is empty"},
        {"%A/%d", "same name"},
        {"%A - %d", "same name"},
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
TEST_F(OptionsOwnSettings, TemplateAndTagsPage) {
    Settings.ReplayGain = false;
    Settings.CoverArtServer = "http://127.0.0.1:9";
    const std::string before = OptionsFileText();
    TfrmOptions& d = Open();
    EXPECT_EQ(d.PageControl1->tabText(8), "Tags");
    EXPECT_EQ(d.FileNames->editFileNameTemplate->text(), "%n");
    EXPECT_EQ(d.FileNames->lExample->text(), "Example: Opening Song");
    EXPECT_FALSE(d.TagsPage->ckReplayGain->isChecked());
    d.TagsPage->ckSaveCover->setChecked(false);
    d.PageControl1->setCurrentIndex(8);
    d.FileNames->editFileNameTemplate->setText("%A/%d");
    d.btOk->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].contains("gives every track the same name")) << Boxes[0].toStdString();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet1);
    EXPECT_EQ(d.focusWidget(), d.FileNames->editFileNameTemplate);
    EXPECT_EQ(OptionsFileText(), before);

    d.FileNames->editFileNameTemplate->setText("%A/%d/%t %n");
    EXPECT_EQ(d.FileNames->lExample->text(), "Example: The Band/First Album/01 Opening Song");
    d.TagsPage->bTagsDefault->click();
    EXPECT_TRUE(d.TagsPage->ckReplayGain->isChecked() && d.TagsPage->ckSaveCover->isChecked());
    EXPECT_EQ(d.TagsPage->editCoverArtServer->text(), "");
    d.TagsPage->ckEmbedCover->setChecked(false);
    d.btOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_NE(OptionsFileText().find("FileNameTemplate=%A/%d/%t %n\n"), std::string::npos);
    EXPECT_NE(OptionsFileText().find("[Tags]\nCoverArtServer=https://coverartarchive.org\n"
                                     "EmbedCover=0\nSaveCover=1\nReplayGain=1\n"),
              std::string::npos)
        << OptionsFileText();
}

// "Find offset..." finds the drive's offset, or says why none was found; Stop ends the
// search at once, even while the server keeps the lookup waiting.
TEST_F(OptionsOwnSettings, FindOffsetOfTheChosenDrive) {
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
        const char* Shown;
    };
    const Case cases[] = {
        {"127.0.0.1:1", false,
         "No read offset found for IMAGE disc.cue: the database could not be reached",
         "no read offset of its own"},
        {empty.HostPort(), false,
         "No read offset found for IMAGE disc.cue: the disc is not in the AccurateRip database",
         "no read offset of its own"},
        {"127.0.0.1:" + std::to_string(ntohs(address.sin_port)), true, "",
         "no read offset of its own"},
        {server.HostPort(), false, "The read offset of IMAGE disc.cue is 667 samples (2 track(s)",
         "IMAGE disc.cue: 667 samples, its own"},
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
        EXPECT_TRUE(d.TabSheet7->lDriveOffset->text().contains(c.Shown))
            << d.TabSheet7->lDriveOffset->text().toStdString();
    }
    EXPECT_EQ(StoredDriveOffset("IMAGE disc.cue"), 667);
    close(silent);
}

} // namespace
