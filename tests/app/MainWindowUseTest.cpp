// What a new user meets in the main window: the list and the disc fields use the window's
// width, each tool button has an icon of its own, a broken image says why in the status bar,
// nothing to open a page or folder is said in a box, and a start without a display ends
// with one line. With BW_SCREENSHOT_DIR set, the window is saved as pictures there.
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QToolButton>

#include "DriveFaults.h"
#include "MainWindowFixture.h"

using namespace bw;
namespace fs = std::filesystem;

namespace {

void Screenshot(QWidget& widget, const char* name) {
    if (const char* dir = std::getenv("BW_SCREENSHOT_DIR"))
        widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

QImage IconImage(const QToolButton* button) {
    return button->icon().pixmap(32, 32).toImage();
}

} // namespace

TEST_F(MainWindowTest, ListAndDiscFieldsUseTheWindowsWidth) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 33});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Rows() == 3; }));
    w.ID3artist->setText(QStringLiteral("The Demo Ensemble"));
    w.ID3album->setText(QStringLiteral("Generated Tones, Vol. 2"));
    w.ID3year->setText(QStringLiteral("2026"));
    w.ID3comment->setText(QStringLiteral("Ripped from a CD image"));
    struct Case {
        const char* Name;
        int Width, Height;
    };
    for (const Case& c : {Case{"main-default", 678, 542}, Case{"main-wide", 1280, 720}}) {
        SCOPED_TRACE(c.Name);
        w.resize(c.Width, c.Height);
        QCoreApplication::processEvents();
        const int group = w.gbDisc->width();
        // The title column takes what the others leave: no empty band at the right.
        const QHeaderView* header = w.ListView1->header();
        EXPECT_EQ(header->length(), w.ListView1->viewport()->width());
        EXPECT_EQ(w.ListView1->columnWidth(colNumber), 90);
        EXPECT_EQ(w.ListView1->columnWidth(colStart), 100);
        EXPECT_EQ(w.ListView1->columnWidth(colLength), 100);
        EXPECT_GE(w.ListView1->columnWidth(colTitle), 230 * c.Width / 678 - 40);
        // Artist, album and comment share the row; the year shows four digits.
        EXPECT_EQ(w.ID3artist->width(), w.ID3album->width());
        EXPECT_LE(std::abs(w.ID3comment->width() - w.ID3artist->width()), 3);
        EXPECT_GE(w.ID3year->width(), w.ID3year->fontMetrics().horizontalAdvance("2026") + 8);
        EXPECT_EQ(w.ID3comment->geometry().right() + 1, group - 5 - 70); // the cover at the right
        EXPECT_EQ(w.lAlbum->x(), w.ID3artist->geometry().right() + 7);
        EXPECT_EQ(w.ID3artist->x(), w.lArtist->geometry().right() + 2);
        Screenshot(w, c.Name);
    }
    // Wide, the fields show whole texts.
    EXPECT_GE(w.ID3album->width(),
              w.ID3album->fontMetrics().horizontalAdvance(w.ID3album->text()) + 8);
    // Every tool button has an icon of its own.
    const std::vector<QToolButton*> buttons = {w.tbRip,     w.tbConvert, w.tbCDDB,  w.tbMusicBrainz,
                                               w.tbFolder,  w.tbPlay,    w.tbPause, w.tbStop,
                                               w.tbOptions, w.tbHelp,    w.tbHome,  w.tbExit};
    for (std::size_t i = 0; i < buttons.size(); ++i)
        for (std::size_t j = i + 1; j < buttons.size(); ++j)
            EXPECT_NE(IconImage(buttons[i]), IconImage(buttons[j]))
                << buttons[i]->text().toStdString() << " and " << buttons[j]->text().toStdString();
}

TEST_F(MainWindowTest, ABrokenImageSaysWhyInTheStatusBar) {
    struct Case {
        const char* Name;
        std::string Cue;
        std::string Says;
    };
    const Case cases[] = {
        {"missing data file", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n",
         "Data file not found: "},
        {"line that cannot be read",
         "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDX 01 00:00:00\n",
         "bad.cue, line 3 cannot be read:     INDX 01 00:00:00"},
        {"a data file that is no audio",
         "FILE \"disc.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
         "disc.mp3 is not a WAV file, nor an audio file that can be decoded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        bwtest::WriteFileText(Dir / "disc.mp3", "not audio");
        bwtest::WriteFileBytes(Dir / "d.bin", std::vector<std::uint8_t>(2352 * 10, 0));
        bwtest::WriteFileText(Dir / "bad.cue", c.Cue);
        setenv("BRINDLEWAVE_CD_IMAGES", (Dir / "bad.cue").c_str(), 1);
        TfrmMain& w = StartWindow();
        QCoreApplication::processEvents();
        EXPECT_EQ(Rows(), 0);
        // The drive's name, or once the window is active the fixed text; then the reason.
        const QString status = w.StatusPanel->text();
        EXPECT_TRUE(status.startsWith("IMAGE   bad.cue ") ||
                    status.startsWith(StatusNoAudioDisc + " "))
            << status.toStdString();
        EXPECT_TRUE(status.contains(QString::fromStdString(c.Says))) << status.toStdString();
        // Refresh says it too, after the fixed text.
        w.miRefresh->trigger();
        WaitForDisc();
        EXPECT_TRUE(w.StatusPanel->text().startsWith(StatusNoAudioDisc + " "));
        EXPECT_TRUE(w.StatusPanel->text().contains(QString::fromStdString(c.Says)));
        if (std::string(c.Name) == "line that cannot be read") {
            w.resize(900, 400);
            QCoreApplication::processEvents();
            Screenshot(w, "broken-image-status");
        }
        CloseWindow();
    }
}

TEST_F(MainWindowTest, NothingToOpenAPageOrFolderIsSaid) {
    fs::create_directories(Dir / "out");
    TfrmMain& w = StartWindow();
    Settings.OutputFolder = (Dir / "out").string();
    UiShell().OpenUrl = [this](const QUrl& url) {
        OpenedUrls.push_back(url);
        return false;
    };
    for (QToolButton* button : {w.tbHelp, w.tbHome, w.tbFolder}) {
        SCOPED_TRACE(button->text().toStdString());
        Boxes.clear();
        button->click();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Kind, TBoxKind::Error);
        const QUrl url = OpenedUrls.back();
        EXPECT_EQ(Boxes[0].Text, "No program on this desktop opens " +
                                     (url.isLocalFile() ? url.toLocalFile() : url.toString()) +
                                     ". Open it in a file manager or web browser of your choice.");
    }
    EXPECT_TRUE(OpenedUrls[2].toLocalFile().endsWith("/out"));
}

TEST(MainWindowStart, WithoutADisplayOneLineAndStatus1) {
    bwtest::TempDir dir;
    struct Case {
        const char* Name;
        QStringList Unset;
        QStringList Set;
        const char* Says;
    };
    const Case cases[] = {
        {"no display named",
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
         {},
         "no display is set (DISPLAY and WAYLAND_DISPLAY are empty)"},
        {"a display that is not there",
         {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
         {"DISPLAY=:97"},
         "the display ':97' cannot be reached"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : c.Unset)
            env.remove(name);
        for (const QString& pair : c.Set)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.Path().string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.Path().string()));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(BW_BINARY_DIR "/brindlewave"), {});
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        const QString said = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(said, QString("brindlewave: cannot open a window: ") + c.Says +
                            ". Start it in a desktop session or under xvfb-run, or use "
                            "brindlewave-cli.\n");
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
}

// A rip ends with its report (a desktop notice only when the user is away); with
// "Eject the disc when the rip has finished" the drive's tray opens once the files are closed.
TEST_F(MainWindowTest, RipEndsWithAReportANoticeAndOnRequestTheTrayOpen) {
    bwtest::FaultyDrives tray("tray");
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return Rows() == 2; }));
    const fs::path out = Dir / "out";
    fs::create_directories(out);
    Settings.OutputFolder = out.string();
    Settings.OutputFormat = 1;
    for (bool eject : {false, true}) {
        SCOPED_TRACE(eject ? "eject" : "stay");
        Settings.EjectWhenRipped = eject;
        fs::remove_all(out);
        fs::create_directories(out);
        w.aRipExecute();
        ASSERT_EQ(Reports.size(), eject ? 2u : 1u);
        const TJobSummary& report = Reports.back();
        // The tests' database is a closed port.
        EXPECT_EQ(report.Verdict, "2 tracks ripped, not verified by AccurateRip");
        ASSERT_EQ(report.Rows.size(), 2u);
        EXPECT_EQ(report.Rows[1].Cells[1], Cell(1, colTitle).toStdString() + ".wav");
        // The tray moves on a thread of its own.
        EXPECT_EQ(bwtest::WaitUntil([&] { return SimulatedTrayOpen(image.CuePath()); }, 500),
                  eject);
    }
    // The rip window was in front as the rip ended: the user saw it, no notice is sent (the
    // session-bus test sends one when the user is away).
    EXPECT_TRUE(Notices.isEmpty()) << Notices.join('|').toStdString();
    SetSimulatedTrayOpen(image.CuePath(), false);
}
