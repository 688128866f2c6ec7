// The window stays usable while its drive takes its time: the disc is read off the window's
// thread, on image drives that answer "becoming ready" for a while after each open.
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <filesystem>

#include "CdFaults.h"
#include "MainWindowFixture.h"

namespace fs = std::filesystem;
using namespace bw;

namespace {

class MainWindowDiscReadTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        SetNotReadyTimeScale(1);
        unsetenv("BRINDLEWAVE_CD_FAULTS");
    }
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
    fs::create_directories(Dir / "a");
    fs::create_directories(Dir / "b");
    auto a = bwtest::CdImage::Write(Dir / "a", "disc", {100, 140}, 1);
    auto b = bwtest::CdImage::Write(Dir / "b", "disc", {90, 90, 90, 90}, 2);
    setenv("BRINDLEWAVE_CD_IMAGES", (a.CuePath().string() + ":" + b.CuePath().string()).c_str(), 1);
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
