// Playback, tray, options and About driven from the main window's own commands, with the
// null audio output standing in for the sound card and image drives for CD drives.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "About.h"
#include "MainWindowFixture.h"
#include "OptionSet.h"
#include "StalledSoundServer.h"

namespace fs = std::filesystem;
using namespace bw;

namespace {

using Bytes = std::vector<std::uint8_t>;

class MainWindowPlayTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Four tracks of distinct lengths, none a multiple of the player's read size.
        Image = std::make_unique<bwtest::CdImage>(
            bwtest::CdImage::Write(Dir.Path(), "play", {31, 44, 27, 53}, 3));
        InsertDisc(*Image);
    }

    void TearDown() override {
        // Stopped plays end on threads of their own, which use the sink until then.
        if (Window) {
            Window->MediaPlayer1->Stop();
            Sink.Release();
            EXPECT_TRUE(bwtest::WaitUntil([&] { return Window->MediaPlayer1->ThreadsEnded(); }));
        }
        MainWindowTest::TearDown();
    }

    TfrmMain& Start() {
        TfrmMain& w = StartWindow();
        w.MediaPlayer1->SetOutputFactory(Sink.Factory());
        return w;
    }

    // The bytes of one track as they lie in the image's data file.
    Bytes TrackInImage(int track) const {
        const Bytes bin = bwtest::ReadFileBytes(Image->BinPath());
        const auto from = std::size_t(Image->TrackStartSector(track)) * 2352;
        return Bytes(bin.begin() + from, bin.begin() + from + Image->TrackSectors(track) * 2352);
    }

    void Select(int row) { Window->ListView1->setCurrentItem(Row(row)); }
    bool Idle() const { return !Window->IsPlaying && !Window->aStop->isEnabled(); }

    std::unique_ptr<bwtest::CdImage> Image;
    TNullAudioSink Sink;
};

TEST_F(MainWindowPlayTest, EachTrackPlaysExactlyItsBytesAndTheLastRunsToTheEndOfTheDisc) {
    TfrmMain& w = Start();
    ASSERT_EQ(Rows(), 4);
    const QString saved = QString::fromStdString(w.SavedStatusText);
    EXPECT_EQ(saved, "IMAGE   play.cue");
    for (int row : {3, 0, 2}) {
        SCOPED_TRACE(row);
        Select(row);
        Sink.Hold();
        w.aPlay->trigger();
        EXPECT_EQ(w.StatusText(), "Play " + Cell(row, colTitle));
        EXPECT_TRUE(w.IsPlaying && !w.IsPaused);
        EXPECT_TRUE(w.aPause->isEnabled() && w.aStop->isEnabled());
        Sink.Release();
        // The completion notice returns the window to idle with the saved status text.
        ASSERT_TRUE(bwtest::WaitUntil([&] { return Idle(); }));
        EXPECT_EQ(w.StatusText(), saved);
        EXPECT_FALSE(w.aPause->isEnabled());
        EXPECT_TRUE(Sink.LastRecording() == TrackInImage(row + 1));
    }
    EXPECT_EQ(Sink.Recordings(), 3u);
}

TEST_F(MainWindowPlayTest, PlayRestartsOnAnotherTrackAndResumesWhenPaused) {
    TfrmMain& w = Start();
    Sink.Hold();
    Select(0);
    w.aPlay->trigger();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Sink.WriteWaiting(); }));

    // Play on another track while one plays: a new play from that track.
    Select(1);
    w.tbPlay->click();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Sink.Recordings() == 2 && Sink.WriteWaiting(); }));
    EXPECT_EQ(w.StatusText(), "Play " + Cell(1, colTitle));

    // Paused, then Play with another row selected: the paused track resumes.
    w.aPause->trigger();
    EXPECT_TRUE(w.IsPaused && w.IsPlaying);
    EXPECT_FALSE(w.aPause->isEnabled());
    EXPECT_TRUE(w.aStop->isEnabled());
    EXPECT_EQ(w.MediaPlayer1->Mode(), TPlayerMode::Paused);
    Select(3);
    w.aPlay->trigger();
    EXPECT_TRUE(w.IsPlaying && !w.IsPaused);
    EXPECT_EQ(w.MediaPlayer1->Mode(), TPlayerMode::Playing);
    Sink.Release();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Idle(); }));
    EXPECT_EQ(Sink.Recordings(), 2u); // resumed, not started again
    EXPECT_TRUE(Sink.Recording(1) == TrackInImage(2));
    EXPECT_LT(Sink.Recording(0).size(), TrackInImage(1).size()); // cut short by the restart
}

TEST_F(MainWindowPlayTest, AFailedPlaySaysWhyInTheStatusBar) {
    TfrmMain& w = Start();
    struct Case {
        const char* Name;
        std::function<void()> Break;
        QString Says;
    };
    const Case cases[] = {
        {"no sound server",
         [&] {
             w.MediaPlayer1->SetOutputFactory([]() -> std::unique_ptr<TAudioOutput> {
                 throw EAudioOutputError("Cannot connect to the sound server: Connection refused");
             });
         },
         "Cannot play: Cannot connect to the sound server: Connection refused"},
        {"the disc has left", [&] { fs::rename(Image->CuePath(), Dir / "away.cue"); },
         "Cannot play: No audio disc in the drive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Break();
        Select(1);
        w.aPlay->trigger();
        ASSERT_TRUE(bwtest::WaitUntil([&] { return Idle(); }));
        EXPECT_EQ(w.StatusText(), c.Says);
        EXPECT_FALSE(w.aPause->isEnabled());
        EXPECT_TRUE(Boxes.empty());
        w.MediaPlayer1->SetOutputFactory(Sink.Factory());
    }
}

TEST_F(MainWindowPlayTest, StopAndClosingNeverWaitForAStalledSoundServer) {
    TfrmMain& w = Start();
    // Like the PulseAudio client, a write to a stalled server cannot be interrupted.
    bwtest::TStalledServer server(bwtest::TStalledServer::TWhere::Write);
    w.MediaPlayer1->SetOutputFactory(server.Factory());
    Select(0);
    w.aPlay->trigger();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return server.Stalling(); }));
    auto start = std::chrono::steady_clock::now();
    w.tbStop->click();
    EXPECT_TRUE(Idle());
    w.aPlay->trigger(); // plays again beside the held one
    CloseWindow();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    server.LetGo();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the held threads end
}

TEST_F(MainWindowPlayTest, TrayCommandsLeaveAnImageDriveAndItsPlaybackAlone) {
    TfrmMain& w = Start();
    Sink.Hold();
    Select(2);
    w.aPlay->trigger();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Sink.WriteWaiting(); }));
    w.miEject->trigger();
    w.miCloseCD->trigger();
    QTest::qWait(100);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Rows(), 4);
    EXPECT_TRUE(w.IsPlaying);
    EXPECT_TRUE(fs::exists(Image->CuePath()));

    w.aStop->trigger();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(w.MediaPlayer1->Mode(), TPlayerMode::NotOpen);
    Sink.Release();
}

TEST_F(MainWindowPlayTest, OptionsReachTheWindowOnOkAndNothingOnCancel) {
    bwtest::CdImage second = bwtest::CdImage::Write(Dir.Path(), "other", {90, 20}, 9);
    setenv("BRINDLEWAVE_CD_IMAGES",
           (Image->CuePath().string() + ":" + second.CuePath().string()).c_str(), 1);
    TfrmMain& w = Start();
    ASSERT_EQ(Rows(), 4);
    const fs::path out = Dir / "elsewhere";
    fs::create_directories(out);

    // Cancel: nothing reaches the settings or the window.
    bwtest::WhenModal([&](QWidget* modal) {
        auto* d = qobject_cast<TfrmOptions*>(modal);
        ASSERT_NE(d, nullptr);
        d->editOutputDir->setText(QString::fromStdString(out.string()));
        d->cbCDList->setCurrentIndex(1);
        d->btCancel->click();
    });
    w.aOptions->trigger();
    EXPECT_NE(Settings.OutputFolder, out.string());
    EXPECT_EQ(Rows(), 4);

    // OK with another drive, format and folder.
    bwtest::WhenModal([&](QWidget* modal) {
        auto* d = qobject_cast<TfrmOptions*>(modal);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->PageControl1->currentIndex(), 0);
        d->editOutputDir->setText(QString::fromStdString(out.string()));
        d->cbOutputFormat->setCurrentIndex(4);
        d->cbCDList->setCurrentIndex(1);
        d->btOk->click();
    });
    w.tbOptions->click();
    WaitForDisc();
    EXPECT_EQ(Settings.CDIndex, 1);
    EXPECT_EQ(Rows(), 2); // the other drive's disc
    EXPECT_EQ(w.StatusText(), "IMAGE   other.cue");
    EXPECT_EQ(w.SavedStatusText, "IMAGE   other.cue");
    EXPECT_EQ(w.cbOutputFormat->currentIndex(), 4);
    EXPECT_EQ(w.eOutputDir->text(), QString::fromStdString(out.string()));
    EXPECT_TRUE(Boxes.empty());

    // Playback now follows the chosen drive.
    Select(1);
    w.aPlay->trigger();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Idle(); }));
    const Bytes bin = bwtest::ReadFileBytes(second.BinPath());
    EXPECT_TRUE(Sink.LastRecording() == Bytes(bin.begin() + 90 * 2352, bin.end()));
}

// Ten plays stopped while the drive becomes ready give their handles back at once: the disc
// watcher, looking when the image is rewritten unchanged, still opens the drive and keeps the
// list (a full table once made it take the disc for removed).
TEST_F(MainWindowPlayTest, StoppedPlaysLeaveTheDriveToTheWatcher) {
    TfrmMain& w = Start();
    ASSERT_EQ(Rows(), 4);
    {
        bwtest::FaultyDrives slow("notready:8");
        for (int i = 0; i < 10; ++i) {
            Select(i % 4);
            w.aPlayExecute();
            QTest::qWait(20);
            w.aStopExecute();
        }
    }
    EXPECT_TRUE(bwtest::WaitUntil([&] { return w.MediaPlayer1->ThreadsEnded(); }, 1000));
    bwtest::WriteFileBytes(Image->CuePath(), bwtest::ReadFileBytes(Image->CuePath()));
    QTest::qWait(2500); // a look, and the second look a removal would need
    EXPECT_EQ(Rows(), 4);
}

TEST_F(MainWindowPlayTest, AboutIsModalAndNamesTheProgram) {
    TfrmMain& w = Start();
    QString caption, program;
    bwtest::WhenModal([&](QWidget* modal) {
        caption = modal->windowTitle();
        auto* about = qobject_cast<TfrmAbout*>(modal);
        ASSERT_NE(about, nullptr);
        program = about->lProgram->text();
        about->btOk->click();
    });
    w.miAbout->trigger();
    EXPECT_EQ(caption, "About");
    EXPECT_TRUE(program.contains("Brindlewave"));
}

} // namespace
