// The conversion window and the resample dialog, offscreen, driven through their buttons
// and answered boxes; outputs checked with sox and FFmpeg.
#include "AuComponents.h"
#include "CodecLibraries.h"
#include "EncodeWindow.h"
#include "Global.h"
#include "JobProgressPanel.h"
#include "QtMainThread.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "UiShell.h"
#include "WavResample.h"
#include "WaveOut.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

class ConvertWindows : public ::testing::Test {
protected:
    void SetUp() override {
        bwtest::QtApp();
        bw::Settings = bw::TAppSettings{};
        bw::Settings.OutputFolder = (Dir / "out").string();
        bw::Settings.FLACCompression = 5;
        fs::create_directories(Dir / "out");
        bw::TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
        bw::UiShell().ShowBox = [this](QWidget*, bw::TBoxKind kind, const QString& text) {
            Boxes << text;
            return kind == bw::TBoxKind::Question ? Answer : bw::TBoxAnswer::Ok;
        };
    }
    void TearDown() override { bw::ResetUiShell(); }

    fs::path Sox(const std::string& name, const std::string& format, double seconds) {
        const fs::path path = Dir / name;
        auto r = RunCommand("sox -n " + format + " " + ShellQuote(path.string()) + " synth " +
                            std::to_string(seconds) + " sine 440 vol 0.5");
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return path;
    }
    // Runs the window modally as the main window does; a hang fails instead of blocking.
    int Exec(QDialog& window) {
        QTimer::singleShot(30000, &window, [&] { window.reject(); });
        return window.exec();
    }
    static std::string Soxi(const fs::path& path) {
        return RunCommand("soxi " + ShellQuote(path.string())).Output;
    }

    bwtest::TempDir Dir;
    QStringList Boxes;
    bw::TBoxAnswer Answer = bw::TBoxAnswer::No;
    bw::TCodecLibraries Libraries;
    bw::TQtMainThreadPump Pump;
};

} // namespace

TEST_F(ConvertWindows, OneFileIsConvertedAndTheWindowClosesItself) {
    const fs::path in = Sox("tone.wav", "-r 44100 -c 2 -b 16", 1.5);
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())}, {});
    window.ConverterType = bw::ctWavToFlac;
    EXPECT_EQ(window.lSelectedTracks->text(), "1");
    EXPECT_EQ(window.lProgressHint->text(), "Encoding...");
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(window.lInputFileName->text(), "tone.wav");
    EXPECT_EQ(window.lOutputFileName->text(), "tone.flac");
    const auto raw = RunCommand("flac -s -d -c --force-raw-format --endian=little --sign=signed " +
                                ShellQuote((Dir / "out" / "tone.flac").string()));
    const auto source = RunCommand("sox " + ShellQuote(in.string()) + " -t raw -");
    EXPECT_TRUE(raw.ExitCode == 0 && raw.Output == source.Output);
}

// Opus from a 22,050 Hz mono file, with the main window's disc fields as OpusTags.
TEST_F(ConvertWindows, WavToOpusResamplesAndTags) {
    const fs::path in = Sox("voice.wav", "-r 22050 -c 1 -b 16", 1.2);
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())},
                                  {"Ünïcödé 東京", "Album", "2024", "Jazz", ""});
    window.ConverterType = bw::ctWavToOpus;
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(window.lOutputFileName->text(), "voice.opus");
    const auto info = RunCommand("opusinfo " + ShellQuote((Dir / "out" / "voice.opus").string()));
    EXPECT_EQ(info.ExitCode, 0) << info.Output;
    for (const char* line : {"ARTIST=Ünïcödé 東京\n", "GENRE=Jazz\n", "Channels: 1\n",
                             "Original sample rate: 22050 Hz\n", "Playback length: 0m:01.1"})
        EXPECT_NE(info.Output.find(line), std::string::npos) << line << info.Output;
}

// A WAV file of no samples at 48 kHz: libopusenc must not be drained (it aborts), and the
// file written straight under its name goes again.
TEST_F(ConvertWindows, ASourceWithoutAudioIsReportedAndLeavesNoFile) {
    const fs::path in = Dir / "silent.wav";
    ASSERT_EQ(
        RunCommand("sox -n -r 48000 -c 2 -b 16 " + ShellQuote(in.string()) + " trim 0 0").ExitCode,
        0);
    for (const auto& [type, name] :
         {std::pair{bw::ctWavToOpus, "silent.opus"}, std::pair{bw::ctWavToFlac, "silent.flac"}}) {
        SCOPED_TRACE(name);
        Boxes.clear();
        bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())}, {});
        window.ConverterType = type;
        EXPECT_EQ(Exec(window), QDialog::Accepted);
        EXPECT_EQ(Boxes, QStringList{QString::fromStdString(in.string()) + ": has no audio"});
        EXPECT_FALSE(fs::exists(Dir / "out" / name));
    }
}

// A WAV file only FFmpeg decodes goes to FFmpeg, and converts to its samples.
TEST_F(ConvertWindows, ALawWavConvertsThroughFFmpeg) {
    const fs::path in = Sox("tone.wav", "-r 8000 -c 1 -e a-law", 0.7);
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())}, {});
    window.ConverterType = bw::ctWavToFlac;
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(RunCommand("ffmpeg -v error -i " + ShellQuote((Dir / "out" / "tone.flac").string()) +
                         " -f s16le - | md5sum")
                  .Output,
              RunCommand("ffmpeg -v error -i " + ShellQuote(in.string()) + " -f s16le - | md5sum")
                  .Output);
}

// MP3 holds two channels: a 5.1 file is mixed down, and the window says so and stays up.
TEST_F(ConvertWindows, AMixDownToStereoIsListed) {
    const fs::path in = Sox("surround.wav", "-r 44100 -c 6 -b 16", 0.5);
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())}, {});
    window.ConverterType = bw::ctWavToMp3;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.bStop->text() == "Close") window.bStop->click();
    });
    poll.start();
    Exec(window);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(window.mSkipped->toPlainText(),
              QString::fromStdString(in.string()) + ": downmixed 6 channels to stereo");
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=channels -of csv=p=0 " +
                         ShellQuote((Dir / "out" / "surround.mp3").string()))
                  .Output.substr(0, 2),
              "2,");
}

TEST_F(ConvertWindows, DecliningEveryOverwriteConvertsNothing) {
    const fs::path a = Sox("a.wav", "-r 44100 -c 2 -b 16", 0.3);
    fs::create_directories(Dir / "b");
    const fs::path b = Sox("b/a.wav", "-r 44100 -c 1 -b 16", 0.3); // same output name
    bwtest::WriteFileText(Dir / "out" / "a.ogg", "mine");
    bw::TfrmEncodeProgress window(
        nullptr, {QString::fromStdString(a.string()), QString::fromStdString(b.string())}, {});
    window.ConverterType = bw::ctWavToOgg;
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    const QString question =
        QString::fromStdString((Dir / "out" / "a.ogg").string()) + " has existed, overite it?";
    EXPECT_EQ(Boxes, (QStringList{question, question}));
    EXPECT_EQ(bwtest::ReadFileText(Dir / "out" / "a.ogg"), "mine");
    // Completed counts what was converted: nothing.
    EXPECT_EQ(window.lCompleted->text(), "0");
    EXPECT_EQ(window.Summary().Verdict, "0 files converted, 2 skipped");
}

TEST_F(ConvertWindows, FailedConversionIsReportedAndTheNextFileConverted) {
    const fs::path bad = Dir / "bad.wav";
    bwtest::WriteFileText(bad, "RIFF....WAVEjunk");
    const fs::path good = Sox("good.wav", "-r 22050 -c 1 -b 16", 0.5);
    bw::TfrmEncodeProgress window(
        nullptr, {QString::fromStdString(bad.string()), QString::fromStdString(good.string())}, {});
    window.ConverterType = bw::ctWavToApe;
    fs::create_directory(Dir / "out" / "good.ape"); // no file can be written under this name
    Answer = bw::TBoxAnswer::Yes; // would "replace" it, but a folder is refused before asking
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    ASSERT_EQ(Boxes.size(), 2) << Boxes.join('|').toStdString();
    EXPECT_TRUE(Boxes[0].startsWith(QString::fromStdString(bad.string()) + ": "));
    EXPECT_TRUE(
        Boxes[1].startsWith(QString::fromStdString(good.string()) + ": Cannot create file "))
        << Boxes[1].toStdString();
    EXPECT_TRUE(Boxes[1].endsWith("good.ape: it is a folder, not a file"))
        << Boxes[1].toStdString();

    Boxes.clear();
    bw::TfrmEncodeProgress mp3(
        nullptr, {QString::fromStdString(bad.string()), QString::fromStdString(good.string())}, {});
    mp3.ConverterType = bw::ctWavToMp3;
    EXPECT_EQ(Exec(mp3), QDialog::Accepted);
    ASSERT_EQ(Boxes.size(), 1) << Boxes.join('|').toStdString();
    EXPECT_TRUE(Boxes[0].startsWith(QString::fromStdString(bad.string()) + ": "));
    const auto probe = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                  ShellQuote((Dir / "out" / "good.mp3").string()));
    ASSERT_EQ(probe.ExitCode, 0) << probe.Output;
    EXPECT_NEAR(std::stod(probe.Output), 0.5, 0.1);
    // The report: the failed file and why, the converted one; the whole list's bar is full.
    const bw::TJobSummary summary = mp3.Summary();
    EXPECT_EQ(summary.Verdict, "1 file converted, 1 failed");
    ASSERT_EQ(summary.Rows.size(), 2u);
    EXPECT_TRUE(summary.Rows[0].Problem);
    EXPECT_EQ(summary.Rows[0].Cells[2].rfind("failed: ", 0), 0u) << summary.Rows[0].Cells[2];
    EXPECT_EQ(summary.Rows[1].Cells,
              (std::vector<std::string>{"good.wav", "good.mp3", "converted"}));
    EXPECT_EQ(mp3.lCompleted->text(), "1");
    EXPECT_EQ(mp3.lSkipped->text(), "1");
    EXPECT_EQ(mp3.pOverall->ProgressBarAll->value(), 1000);
}

// WMA to MP3: the MP3 carries an ID3v1.1 block made from the WMA's attributes; a file whose
// conversion was declined gets none.
TEST_F(ConvertWindows, WmaToMp3TagsEachFinishedMp3FromTheWmaAttributes) {
    const fs::path wav = Sox("src.wav", "-r 44100 -c 2 -b 16", 1);
    const fs::path wma = Dir / "song.wma";
    auto made = RunCommand("ffmpeg -v error -i " + ShellQuote(wav.string()) +
                           " -c:a wmav2 -b:a 128k -metadata title='Night Train' -metadata "
                           "artist='The Band' -metadata album=Roads -metadata date=1987 "
                           "-metadata genre=blues -metadata track=7/12 " +
                           ShellQuote(wma.string()));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(wma.string())}, {});
    window.ConverterType = bw::ctWmaToMp3;
    EXPECT_EQ(Exec(window), QDialog::Accepted);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    const fs::path mp3 = Dir / "out" / "song.mp3";
    const auto bytes = bwtest::ReadFileBytes(mp3);
    ASSERT_GT(bytes.size(), 128u);
    const std::string block(bytes.end() - 128, bytes.end());
    EXPECT_EQ(block.substr(0, 3), "TAG");
    EXPECT_EQ(block.substr(3, 11), "Night Train");
    EXPECT_EQ(block.substr(33, 8), "The Band");
    EXPECT_EQ(block.substr(93, 4), "1987");
    EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(block[125])), 0); // ID3v1.1 marker
    EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(block[126])), 7);
    EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(block[127])), 0); // Blues is code 0
    const auto probe = RunCommand("ffprobe -v error -show_entries format_tags=title,track -of "
                                  "default=nw=1 " +
                                  ShellQuote(mp3.string()));
    EXPECT_NE(probe.Output.find("title=Night Train"), std::string::npos) << probe.Output;

    // Declined: the existing file keeps its bytes, no block is added.
    const auto before = bwtest::ReadFileBytes(mp3);
    bw::TfrmEncodeProgress again(nullptr, {QString::fromStdString(wma.string())}, {});
    again.ConverterType = bw::ctWmaToMp3;
    EXPECT_EQ(Exec(again), QDialog::Accepted);
    EXPECT_TRUE(bwtest::ReadFileBytes(mp3) == before);
}

TEST_F(ConvertWindows, StopDuringOggConversionLeavesThePartialFile) {
    const fs::path in = Sox("long.wav", "-r 44100 -c 2 -b 16", 120);
    bw::TfrmEncodeProgress window(nullptr, {QString::fromStdString(in.string())}, {});
    window.ConverterType = bw::ctWavToOgg;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.ProgressBar1->value() > 0) window.bStop->click();
    });
    poll.start(1);
    EXPECT_EQ(Exec(window), QDialog::Rejected);
    EXPECT_TRUE(fs::exists(Dir / "out" / "long.ogg"));
    EXPECT_LT(window.ProgressBar1->value(), 100);
    EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(ConvertWindows, ResampleDialogStartsFromMono8Bit22050) {
    const fs::path in = Sox("in.wav", "-r 44100 -c 2 -b 16", 1);
    bw::TfrmWavResample dialog;
    QString saveAs = QString::fromStdString((Dir / "OUT.WAV").string());
    dialog.OpenDialog = [&](QWidget*) { return QString::fromStdString(in.string()); };
    dialog.SaveDialog = [&](QWidget*) { return saveAs; };
    EXPECT_EQ(dialog.windowTitle(), "Wave Converter");

    dialog.Button3->click(); // no output yet
    EXPECT_EQ(Boxes, QStringList{"The output file name is not set!"});

    dialog.Button1->click();
    EXPECT_EQ(dialog.Label5->text(), "in.wav");
    EXPECT_EQ(dialog.Label6->text(), "2");
    EXPECT_EQ(dialog.Label7->text(), "44100");
    EXPECT_EQ(dialog.Label8->text(), "16");
    EXPECT_EQ(dialog.Label15->text(), "Raw PCM");
    dialog.Button2->click();
    EXPECT_EQ(dialog.SelectedOutput(),
              static_cast<bw::TAuFileOut*>(&dialog.WaveOut1())); // ".WAV" is a WAV file too
    EXPECT_EQ(dialog.Label10->text(), "OUT.WAV");

    Boxes.clear();
    dialog.Edit1->setText("fast");
    dialog.Button3->click();
    EXPECT_EQ(Boxes, QStringList{"'fast' is not a valid integer value"});
    EXPECT_TRUE(dialog.Button3->isEnabled());
    EXPECT_FALSE(fs::exists(Dir / "OUT.WAV"));

    dialog.Edit1->setText("22050");
    dialog.Button3->click();
    EXPECT_EQ(dialog.windowTitle(), "Converting...");
    ASSERT_TRUE(bwtest::WaitUntil([&] { return dialog.Button3->isEnabled(); }));
    EXPECT_EQ(dialog.windowTitle(), "Success!");
    const std::string info = Soxi(Dir / "OUT.WAV");
    EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 22050"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 8-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("Unsigned Integer PCM"), std::string::npos) << info;

    // IMA ADPCM takes 16-bit samples only: the caption says why the run failed.
    dialog.ComboBox1->setCurrentIndex(1);
    dialog.Button3->click();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return dialog.Button3->isEnabled(); }));
    EXPECT_EQ(dialog.windowTitle(), "Cannot encode 8 bit sound into ADPCM.");

    // Any other name is a WMA file.
    saveAs = QString::fromStdString((Dir / "out.wma").string());
    dialog.Button2->click();
    ASSERT_NE(dialog.SelectedOutput(), static_cast<bw::TAuFileOut*>(&dialog.WaveOut1()));
    dialog.SpinEdit1->setValue(2);
    dialog.SpinEdit3->setValue(16);
    dialog.Edit1->setText("44100");
    dialog.Button3->click();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return dialog.Button3->isEnabled(); }));
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Success!");
    const auto probe = RunCommand("ffprobe -v error -show_entries stream=codec_name,channels -of "
                                  "csv=p=0 " +
                                  ShellQuote((Dir / "out.wma").string()));
    EXPECT_EQ(probe.Output.substr(0, 3), "wma") << probe.Output;
}

TEST_F(ConvertWindows, ResampleBitsAreOnly8Or16Or24) {
    bw::TfrmWavResample dialog;
    const std::pair<int, int> typed[] = {{8, 8},   {9, 8},   {12, 16}, {16, 16},
                                         {19, 16}, {20, 24}, {23, 24}, {24, 24}};
    for (const auto& [value, shown] : typed) {
        dialog.SpinEdit3->setValue(16 == value ? 8 : 16); // a change each time
        dialog.SpinEdit3->setValue(value);
        EXPECT_EQ(dialog.SpinEdit3->value(), shown) << value;
    }
}

TEST_F(ConvertWindows, ResampleCloseButtonEndsARunningConversion) {
    const fs::path in = Sox("long.wav", "-r 44100 -c 2 -b 16", 120);
    bw::TfrmWavResample dialog;
    dialog.OpenDialog = [&](QWidget*) { return QString::fromStdString(in.string()); };
    dialog.SaveDialog = [&](QWidget*) { return QString::fromStdString((Dir / "r.wav").string()); };
    dialog.Button1->click();
    dialog.Button2->click();
    dialog.Button3->click();
    ASSERT_FALSE(dialog.Button3->isEnabled());
    // The files cannot change under the running conversion.
    EXPECT_FALSE(dialog.Button1->isEnabled());
    EXPECT_FALSE(dialog.Button2->isEnabled());
    dialog.Button4->click();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return dialog.Button3->isEnabled(); }));
    EXPECT_TRUE(dialog.Button1->isEnabled());
    EXPECT_TRUE(dialog.Button2->isEnabled());
    EXPECT_EQ(dialog.windowTitle(), "Success!");
    EXPECT_LT(fs::file_size(Dir / "r.wav"), 120u * 22050u); // ended early
}

// An MP3 WAV whose header names 10^9 Hz cannot be decoded: the dialog says why and keeps
// showing what it showed.
TEST_F(ConvertWindows, ResampleDialogSaysWhyAnInputCannotBeDecoded) {
    const fs::path in = Dir / "mp3.wav";
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=duration=2 -c:a libmp3lame -f wav " +
                         ShellQuote(in.string()))
                  .ExitCode,
              0);
    std::vector<std::uint8_t> bytes = bwtest::ReadFileBytes(in);
    bytes[24] = 0x00, bytes[25] = 0xCA, bytes[26] = 0x9A, bytes[27] = 0x3B; // 10^9
    bwtest::WriteFileBytes(in, bytes);
    bw::TfrmWavResample dialog;
    dialog.OpenDialog = [&](QWidget*) { return QString::fromStdString(in.string()); };
    dialog.Button1->click();
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].contains("its header says 1000000000 Hz but its audio is 44100 Hz"))
        << Boxes[0].toStdString();
    EXPECT_EQ(dialog.Label5->text(), dialog.Label6->text()); // both still empty
}
