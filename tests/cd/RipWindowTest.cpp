// The rip window on an image drive, offscreen: shown modally as the main window shows it,
// closed by the job or by the user's Stop.
#include "RipFixture.h"

#include "AccurateRipTestData.h"
#include "AuComponents.h"
#include "CddbTestServer.h"
#include "CodecLibraries.h"
#include "QtMainThread.h"
#include "QtTestApp.h"
#include "RipWindow.h"
#include "UiShell.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace fs = std::filesystem;

namespace {

class RipWindow : public RipFixture {
protected:
    void SetUp() override {
        RipFixture::SetUp();
        bwtest::QtApp();
        bw::TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
        bw::UiShell().ShowBox = [this](QWidget*, bw::TBoxKind, const QString& text) {
            Boxes << text;
            return bw::TBoxAnswer::Ok;
        };
    }
    void TearDown() override {
        bw::ResetUiShell();
        RipFixture::TearDown();
    }

    QStringList Boxes;
    bw::TCodecLibraries Libraries;
    bw::TQtMainThreadPump Pump;
};

} // namespace

TEST_F(RipWindow, OneWavTrackClosesTheWindowWhenRipped) {
    InsertDisc({30, 20});
    bw::Settings.OutputFormat = 1;
    bw::TfrmCDRip window(nullptr, Handle, {"02Second"}, {});
    EXPECT_EQ(window.windowTitle(), "Brindlewave");
    EXPECT_EQ(window.lCurrentTrack->text(), "Second");
    EXPECT_EQ(window.lOutputFormat->text(), "WAV");
    EXPECT_EQ(window.lSelectedTracks->text(), "1");
    EXPECT_EQ(window.lCompleted->text(), "0");
    EXPECT_EQ(window.lProgressHint->text(), "Extracting...");
    EXPECT_EQ(window.ProgressBar1->format(), "Initializing...");
    QTimer::singleShot(20000, &window, [&] { window.reject(); }); // a hang fails, not blocks
    EXPECT_EQ(window.exec(), QDialog::Accepted);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(WavData("Second"), Image->TrackBytes(2));
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"Second.wav"});
}

TEST_F(RipWindow, StopWhileEncodingClosesAndStartsNoFurtherTrack) {
    InsertDisc({400, 20, 20});
    bw::Settings.OutputFormat = 4;
    bw::TfrmCDRip window(nullptr, Handle, {"01A", "02B", "03C"}, {});
    // The encoding shows once nothing is being read: A's, while B (read meanwhile) waits.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.lProgressHint->text() == "Encoding...") window.bStop->click();
    });
    poll.start(1);
    QTimer::singleShot(20000, &window, [&] { window.reject(); });
    EXPECT_EQ(window.exec(), QDialog::Rejected);
    EXPECT_EQ(window.ProgressBar1->format(), "Encoding...");
    auto noC = [&] {
        for (const auto& name : Listing(Output)) {
            EXPECT_NE(name.substr(0, 2), "C.") << name;
            EXPECT_NE(name, "B.flac");
        }
    };
    noC();
    // Nothing comes of the stopped job later.
    bwtest::WaitUntil([] { return false; }, 200);
    noC();
}

TEST_F(RipWindow, FailedReadIsABoxAndTheWindowWaitsForStop) {
    InsertDisc({20});
    bw::Settings.OutputFormat = 1;
    bw::TfrmCDRip window(nullptr, Handle, {"05Missing"}, {}); // the disc has one track
    bwtest::WaitUntil([&] { return !Boxes.isEmpty(); });
    EXPECT_EQ(Boxes, QStringList{"Error while reading TOC information!"});
    bwtest::WaitUntil([] { return false; }, 100);
    EXPECT_FALSE(window.Job().Finished());
    window.bStop->click();
    EXPECT_TRUE(Listing(Output).empty());
}

TEST_F(RipWindow, ChecksTheRipWithAccurateRipWritesTheLogAndThenCloses) {
    InsertDisc({30, 20});
    bw::Settings.OutputFormat = 4;
    bw::Settings.WriteLog = true;
    // The database: track 1 as others ripped it, track 2 differently.
    bwtest::TempDir root;
    bwtest::FileHttpServer server(root.Path());
    std::vector<int> frames = {150, 150 + 30, 150 + 50};
    bw::TAccurateRipDiscId id = bw::AccurateRipDiscId(frames, {true, true});
    std::vector<std::pair<int, std::uint32_t>> sums;
    for (int t = 1; t <= 2; ++t) {
        const auto& bytes = Image->TrackBytes(t);
        bw::TAccurateRipChecksum sum(bytes.size() / 4, t == 1, t == 2);
        sum.Add(bytes.data(), bytes.size());
        sums.push_back({4, t == 1 ? sum.V2() : sum.V2() + 1});
    }
    server.Put("accuraterip/" + bw::AccurateRipPath(id), bwtest::DbarBytes(id, sums));
    const char* old = std::getenv("BRINDLEWAVE_ACCURATERIP_SERVER");
    const std::string restore = old ? old : "";
    setenv("BRINDLEWAVE_ACCURATERIP_SERVER", server.HostPort().c_str(), 1);

    bw::TfrmCDRip window(nullptr, Handle, {"01One", "02Two"}, {"Artist", "Album", "", -1, ""});
    QTimer::singleShot(20000, &window, [&] { window.reject(); });
    EXPECT_EQ(window.exec(), QDialog::Accepted);
    setenv("BRINDLEWAVE_ACCURATERIP_SERVER", restore.c_str(), 1);
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('|').toStdString();
    EXPECT_EQ(window.AccurateRipStatus(), "AccurateRip: 1 of 2 tracks accurate");
    const std::string log = bwtest::ReadFileText(Output / "Album.log");
    EXPECT_NE(log.find("File: One.flac\n  CRC32: "), std::string::npos) << log;
    EXPECT_NE(log.find("AccurateRip: accurate (v2, confidence 4)"), std::string::npos);
    EXPECT_NE(log.find("AccurateRip: not accurate"), std::string::npos);
    EXPECT_NE(bwtest::ReadFileText(Output / "Album.cue").find("FILE \"Two.flac\" WAVE"),
              std::string::npos);
}

// A secure rip with sectors that never read the same twice says so in one box at the end;
// the tracks are kept.
TEST_F(RipWindow, SuspiciousPositionsAreSaidAtTheEnd) {
    bwtest::FaultyDrives faults("unstable:40-41,flaky:5:1");
    InsertDisc({30, 100});
    bw::Settings.OutputFormat = 1;
    bw::Settings.ReadMode = 1;
    bw::TfrmCDRip window(nullptr, Handle, {"01A", "02B"}, {});
    QTimer::singleShot(20000, &window, [&] { window.reject(); });
    EXPECT_EQ(window.exec(), QDialog::Accepted);
    ASSERT_EQ(Boxes.size(), 1) << Boxes.join('|').toStdString();
    EXPECT_TRUE(Boxes[0].endsWith("\n02 B: 1 suspicious position: 00:00.10-00:00.12"))
        << Boxes[0].toStdString();
    EXPECT_EQ(WavData("A"), Image->TrackBytes(1));
    EXPECT_EQ(WavData("B").size(), Image->TrackBytes(2).size());
}

// Once nothing is left to read, the bar shows the encoder's progress.
TEST_F(RipWindow, TheLastTracksEncodingShowsItsProgress) {
    InsertDisc({20, 600});
    bw::Settings.OutputFormat = 4;
    bw::TfrmCDRip window(nullptr, Handle, {"01A", "02B"}, {});
    QTimer::singleShot(20000, &window, [&] { window.reject(); });
    EXPECT_EQ(window.exec(), QDialog::Accepted);
    EXPECT_EQ(window.ProgressBar1->format(), "Encoding...");
    EXPECT_EQ(window.lCurrentTrack->text(), "B");
    EXPECT_GT(window.ProgressBar1->value(), 0);
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A.flac", "B.flac"}));
}
