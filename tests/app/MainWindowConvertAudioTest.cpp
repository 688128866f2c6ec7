// Tools > Convert Audio Files...: files or a folder tree, converted into the main window's
// output format and folder through the conversion window, offscreen; outputs checked with
// FFmpeg.
#include "CodecLibraries.h"
#include "ConvertQuestion.h"
#include "EncodeWindow.h"
#include "Global.h"
#include "MainConvertAudio.h"
#include "MainWindowFixture.h"
#include "QtMainThread.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gmock/gmock.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;
using namespace bw;
using testing::HasSubstr;

namespace {

class ConvertAudioFilesTest : public MainWindowTest {
protected:
    void TearDown() override {
        ConvertSourceChooser() = Chooser;
        MainWindowTest::TearDown();
    }

    void MakeAudio(const std::string& command) {
        auto r = RunCommand(command);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }
    // FFmpeg's decoding of the file, summed by `tail` (md5sum) or counted (wc -c).
    std::string Decoded(const fs::path& file, const char* tail = "md5sum") {
        return RunCommand("ffmpeg -v error -i " + ShellQuote(file.string()) + " -f s16le - | " +
                          tail)
            .Output;
    }

    // Runs the entry; the conversion window is closed with its button once it is finished
    // and left open (that is, when it lists files it passed over).
    void RunEntry(TfrmMain& w) {
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* window = qobject_cast<TfrmEncodeProgress*>(QApplication::activeModalWidget());
            if (!window || window->bStop->text() != "Close") return;
            Skipped = window->mSkipped->toPlainText();
            window->bStop->click();
        });
        poll.start();
        QTimer::singleShot(60000, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        w.miConvertAudioFiles->trigger();
    }

    std::function<TConvertSourceKind(QWidget*)> Chooser = ConvertSourceChooser();
    TCodecLibraries Libraries;
    TQtMainThreadPump Pump;
    QString Skipped;
};

} // namespace

TEST_F(ConvertAudioFilesTest, AFolderTreeOrChosenFilesGoToTheWindowsFormatAndFolder) {
    TfrmMain& w = StartWindow();
    TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
    QStringList tools;
    for (QAction* menu : w.menuBar()->actions())
        if (menu->text() == "Tools")
            for (QAction* entry : menu->menu()->actions())
                tools << entry->text();
    EXPECT_TRUE(tools.contains("Convert Audio Files...")) << tools.join('|').toStdString();

    const fs::path src = Dir / "library";
    fs::create_directories(src / "A");
    fs::create_directories(src / "B" / "C");
    MakeAudio("sox -n -r 44100 -c 2 -b 16 " + ShellQuote((Dir / "s.wav").string()) +
              " synth 1.1 sine 440 gain -6");
    MakeAudio("flac -s -T 'TITLE=Ünïcödé 東京' -o " +
              ShellQuote((src / "A" / "one.flac").string()) + " " +
              ShellQuote((Dir / "s.wav").string()));
    MakeAudio("oggenc -Q -o " + ShellQuote((src / "B" / "C" / "two.ogg").string()) + " " +
              ShellQuote((Dir / "s.wav").string()));
    bwtest::WriteFileText(src / "B" / "notes.txt", "not audio\n");
    const fs::path out = Dir / "out";
    fs::create_directories(out);
    Settings.OutputFolder = out.string();
    w.cbOutputFormat->setCurrentIndex(4); // FLAC

    // Cancelled at the question: nothing is asked further.
    ConvertSourceChooser() = [](QWidget*) { return TConvertSourceKind::Cancel; };
    w.miConvertAudioFiles->trigger();
    EXPECT_TRUE(PickerTitles.empty());

    ConvertSourceChooser() = [](QWidget*) { return TConvertSourceKind::Folder; };
    FolderAnswer = QString::fromStdString(src.string());
    RunEntry(w);
    ASSERT_EQ(PickerTitles.size(), 1u);
    EXPECT_TRUE(Boxes.empty()) << LastBox().toStdString();
    EXPECT_THAT(Skipped.toStdString(), HasSubstr("notes.txt: not an audio file"));
    EXPECT_EQ(Decoded(out / "A" / "one.flac"), Decoded(src / "A" / "one.flac"));
    EXPECT_EQ(Decoded(out / "B" / "C" / "two.flac"), Decoded(src / "B" / "C" / "two.ogg"));
    // The report lists each file with what became of it.
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].Verdict, "2 files converted, 1 skipped");
    EXPECT_EQ(Reports[0].Rows.size(), 3u);
    EXPECT_THAT(
        RunCommand("metaflac --export-tags-to=- " + ShellQuote((out / "A" / "one.flac").string()))
            .Output,
        HasSubstr("TITLE=Ünïcödé 東京"));

    // Files: the window closes by itself when nothing was passed over.
    ConvertSourceChooser() = [](QWidget*) { return TConvertSourceKind::Files; };
    FilesAnswer = {QString::fromStdString((src / "A" / "one.flac").string())};
    w.cbOutputFormat->setCurrentIndex(0); // MP3
    Skipped.clear();
    RunEntry(w);
    ASSERT_EQ(FileRequests.size(), 1u);
    EXPECT_TRUE(Skipped.isEmpty());
    EXPECT_TRUE(Boxes.empty()) << LastBox().toStdString();
    EXPECT_EQ(Decoded(out / "one.mp3", "wc -c"), Decoded(Dir / "s.wav", "wc -c"));
}

// The question names the format and folder the files go to, and may change both.
TEST_F(ConvertAudioFilesTest, TheQuestionShowsAndChangesTheFormatAndFolder) {
    TfrmMain& w = StartWindow();
    Settings.OutputFormat = 4;
    Settings.OutputFolder = (Dir / "out").string();
    for (bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "files");
        TfrmConvertQuestion question(&w);
        EXPECT_EQ(question.cbOutputFormat->currentText(), OutputFormatLabels[4]);
        EXPECT_EQ(question.eOutputDir->text().toStdString(), (Dir / "out").string());
        question.cbOutputFormat->setCurrentIndex(2);
        FolderAnswer = QString::fromStdString((Dir / "ogg").string());
        question.bBrowse->click();
        (cancel ? question.bCancel : question.bFiles)->click();
        EXPECT_EQ(question.Choice(),
                  cancel ? TConvertSourceKind::Cancel : TConvertSourceKind::Files);
        EXPECT_EQ(Settings.OutputFormat, cancel ? 4 : 2);
        EXPECT_EQ(Settings.OutputFolder, (Dir / (cancel ? "out" : "ogg")).string());
    }
    // The main window shows what the question chose.
    ConvertSourceChooser() = [](QWidget*) {
        Settings.OutputFormat = 5;
        return TConvertSourceKind::Files;
    };
    w.miConvertAudioFiles->trigger(); // no files chosen: nothing more
    EXPECT_EQ(w.cbOutputFormat->currentIndex(), 5);
    EXPECT_EQ(w.eOutputDir->text().toStdString(), (Dir / "ogg").string());
}
