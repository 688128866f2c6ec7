// The window stays usable while its drive takes its time: the disc is read off the window's
// thread, on image drives that answer "becoming ready" for a while after each open.
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <filesystem>

#include "CdFaults.h"
#include "DetachedWorkers.h"
#include "ImageDriveHelpers.h"
#include "MainWindowFixture.h"
#include "MediaWatcher.h"
#include "OffsetFindWindow.h"
#include "RipWindow.h"
#include "ripthread.h"

#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <gmock/gmock.h>

namespace fs = std::filesystem;
using namespace bw;

namespace {

class MainWindowDiscReadTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        SetNotReadyTimeScale(1);
        unsetenv("BRINDLEWAVE_CD_FAULTS");
        // Workers let go of (a stopped rip in its slow read, a probe) end before the next test.
        EXPECT_TRUE(WaitForAllDetached(std::chrono::seconds(20)));
    }
    // Two image drives: a (two tracks) and b (four).
    void InsertTwoDiscs() {
        fs::create_directories(Dir / "a");
        fs::create_directories(Dir / "b");
        A = bwtest::CdImage::Write(Dir / "a", "disc", {100, 140}, 1);
        B = bwtest::CdImage::Write(Dir / "b", "disc", {90, 90, 90, 90}, 2);
        setenv("BRINDLEWAVE_CD_IMAGES",
               (A->CuePath().string() + ":" + B->CuePath().string()).c_str(), 1);
    }
    // Gets the disc watcher of the window's drive to look (its image file rewritten
    // unchanged) while the drive takes `seconds` to become ready; the drives opened later
    // are ready at once.
    void ProbeSlowly(const bwtest::CdImage& image, const char* faults) {
        setenv("BRINDLEWAVE_CD_FAULTS", faults, 1);
        bwtest::WriteFileBytes(image.CuePath(), bwtest::ReadFileBytes(image.CuePath()));
        QTest::qWait(300); // the look has opened its handle and waits for the drive
        unsetenv("BRINDLEWAVE_CD_FAULTS");
    }
    // Rips as the main window does, into a folder of its own, as WAV.
    void RipToWav() {
        fs::create_directories(Dir / "out");
        Settings.OutputFolder = (Dir / "out").string();
        Settings.OutputFormat = 1;
    }
    std::optional<bwtest::CdImage> A, B;
    // Shows the window without waiting for its read; true once a timer fired meanwhile.
    bool ShowAndTick() {
        Window = std::make_unique<TfrmMain>();
        Window->show();
        bool fired = false;
        QTimer::singleShot(20, [&] { fired = true; });
        return bwtest::WaitUntil([&] { return fired; }, 1000) && Window->DiscReadRunning();
    }
};

} // namespace

TEST_F(MainWindowDiscReadTest, ADriveBecomingReadyLeavesTheWindowResponsive) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "slow", {100, 140, 180});
    InsertDisc(image);
    setenv("BRINDLEWAVE_CD_FAULTS", "notready:15", 1);
    SetNotReadyTimeScale(0.1); // 1.5 s
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(ShowAndTick());
    TfrmMain& w = *Window;
    EXPECT_TRUE(w.lReading->isVisible());
    EXPECT_EQ(w.lReading->text(), "Reading the disc...");
    EXPECT_EQ(Rows(), 0);
    for (QAction* a : {w.aRip, w.aPlay, w.aQueryCDDB, w.aQueryMusicBrainz})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    // Commands reached another way say why they wait.
    w.aRipExecute();
    w.aQueryMusicBrainzExecute();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text,
              "The disc is still being read. Please wait until its tracks are listed.");
    QMenu* file = w.menuBar()->actions()[0]->menu();
    file->popup(w.mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(file->isVisible());
    file->close();
    EXPECT_LT(clock.elapsed(), 1400) << "the window waited for the drive";

    WaitForDisc();
    EXPECT_GE(clock.elapsed(), 1400) << "the drive was ready before its time";
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(!w.lReading->isVisible() && w.aRip->isEnabled());
    EXPECT_EQ(w.StatusText(), "IMAGE   slow.cue");
}

// The fault's own seconds, unscaled; a drive changed while the first is still becoming ready
// drops that read, and the window closes without waiting for a read under way.
TEST_F(MainWindowDiscReadTest, ADriveChangedWhileReadingDropsTheStaleReadAndCloseDoesNotWait) {
    InsertTwoDiscs();
    setenv("BRINDLEWAVE_CD_FAULTS", "notready:1", 1);
    ASSERT_TRUE(ShowAndTick());
    Window->ChangeDrive(1);
    WaitForDisc();
    EXPECT_EQ(Rows(), 4);

    Window->ChangeDrive(0);
    ASSERT_TRUE(Window->DiscReadRunning());
    QElapsedTimer clock;
    clock.start();
    CloseWindow();
    EXPECT_LT(clock.elapsed(), 700);
}

// While a play has the drive, a refresh waits and runs once the play ends.
TEST_F(MainWindowDiscReadTest, NothingReadsTheDriveWhileItPlays) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {100, 140});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    w.IsPlaying = true; // as a running play sets it
    w.UpdateActions();
    fs::remove(image.CuePath());
    w.miRefreshClick();
    EXPECT_FALSE(w.DiscReadRunning());
    QTest::qWait(100);
    EXPECT_EQ(Rows(), 2);
    w.aStopExecute();
    WaitForDisc();
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(w.StatusText().startsWith(StatusNoAudioDisc)) << w.StatusText().toStdString();
}

// A drive spinning up (every handle opened from now on waits 3 s) holds neither the rip
// window's making nor its showing: the window rips the listed disc through its own handle.
TEST_F(MainWindowDiscReadTest, RipNeverWaitsOnTheWindowsThreadForADriveBecomingReady) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 30});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    RipToWav();
    setenv("BRINDLEWAVE_CD_FAULTS", "notready:3", 1);
    bwtest::TimerGaps gaps;
    w.aRipExecute(); // rips both tracks and closes
    EXPECT_LT(gaps.Longest(), 100);
    EXPECT_TRUE(bwtest::ReadFileBytes(Dir / "out" / "Track02.wav").size() > 30 * 2352);
}

// Rip, Stop, Rip again on a drive whose every read takes seconds (a scratch): the second rip
// waits for the first off the window's thread, and its window says so.
TEST_F(MainWindowDiscReadTest, ASecondRipWaitsForTheStoppedOneAndSaysSo) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 30});
    InsertDisc(image);
    setenv("BRINDLEWAVE_CD_FAULTS", "speed:0.02", 1); // a 10-sector read takes 6.7 s
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    RipToWav();
    bwtest::WhenModal([](QWidget* modal) {
        QTimer::singleShot(300, modal, [modal] { static_cast<TfrmCDRip*>(modal)->bStop->click(); });
    });
    w.aRipExecute();
    QString hint;
    bwtest::WhenModal([&](QWidget* modal) {
        auto* rip = static_cast<TfrmCDRip*>(modal);
        bwtest::WaitUntil([&] { return rip->lProgressHint->text().startsWith("Waiting"); }, 3000);
        hint = rip->lProgressHint->text();
        rip->bStop->click();
    });
    bwtest::TimerGaps gaps;
    w.aRipExecute();
    EXPECT_LT(gaps.Longest(), 100);
    EXPECT_EQ(hint, "Waiting for the stopped rip to let go of the drive...");
    EXPECT_GT(DetachedRunning(StoppedRipKind), 0) << "the first rip's read ended already";
}

// Closing, and a change of drive, cut a look of the disc watcher short rather than wait for
// a drive becoming ready.
TEST_F(MainWindowDiscReadTest, ClosingAndChangingTheDriveNeverWaitForAProbe) {
    InsertTwoDiscs();
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    ProbeSlowly(*A, "notready:3");
    bwtest::TimerGaps gaps;
    QElapsedTimer clock;
    clock.start();
    w.ChangeDrive(1);
    EXPECT_LT(clock.elapsed(), 200);
    WaitForDisc();
    EXPECT_EQ(Rows(), 4);
    EXPECT_LT(gaps.Longest(), 100);

    ProbeSlowly(*B, "notready:3");
    clock.restart();
    CloseWindow();
    EXPECT_LT(clock.elapsed(), 200);
}

// The search for the read offset finds every handle taken: it says so, and the window's
// handle (which it once closed to make room) stays the window's.
TEST_F(MainWindowDiscReadTest, FindOffsetWithAFullTableLeavesTheWindowsHandleAlone) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {100, 140});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    std::vector<int> others;
    while (const int handle = bwtest::OpenLastDrive())
        others.push_back(handle);
    ASSERT_EQ(others.size(), std::size_t(CDMaxHandles - 1));
    EXPECT_FALSE(FindAndKeepDriveOffset(&w, ReadDriveList().Entries[0]));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_THAT(Boxes[0].Text.toStdString(), testing::HasSubstr("every drive handle is in use"));
    TTOC toc;
    EXPECT_EQ(ReadTOC(w.CDHandle, &toc), 1);
    for (int handle : others)
        EXPECT_EQ(CloseCDHandle(handle), 1);
    w.miRefreshClick();
    WaitForDisc();
    EXPECT_EQ(Rows(), 2);
    Boxes.clear();
    CloseWindow();
    EXPECT_TRUE(Boxes.empty()) << LastBox().toStdString();
}

// A removal of drive a, held while a dialog was open, is dropped once the dialog changed the
// drive: drive b's list stays.
TEST_F(MainWindowDiscReadTest, AHeldRemovalOfTheOldDriveLeavesTheNewDrivesList) {
    InsertTwoDiscs();
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    QDialog dialog(&w);
    dialog.setModal(true);
    dialog.show();
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME, w.DriveSerial());
    w.ChangeDrive(1);
    WaitForDisc();
    ASSERT_EQ(Rows(), 4);
    dialog.close();
    QTest::qWait(300); // the held changes are applied once no modal window is left
    EXPECT_EQ(Rows(), 4);
    // A removal of the drive now shown, held the same way, still applies.
    dialog.show();
    w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME, w.DriveSerial());
    dialog.close();
    EXPECT_TRUE(bwtest::WaitUntil([&] { return Rows() == 0; }, 1000));
}
