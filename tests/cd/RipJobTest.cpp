// The rip job on an image drive, driven as the rip window drives it: every posted message
// handed back on the main thread, the encoders' events pumped through the hand-over queue.
#include "RipFixture.h"

#include "AuComponents.h"
#include "CodecLibraries.h"
#include "FileShare.h"
#include "MainThread.h"
#include "RipProgress.h"
#include "RipReport.h"
#include "ToolOracles.h"
#include "id3.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <thread>
#include <unistd.h>

using bwtest::RunCommand;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

class CodecEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        bw::TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
        FLibraries = std::make_unique<bw::TCodecLibraries>();
    }
    void TearDown() override { FLibraries.reset(); }

private:
    std::unique_ptr<bw::TCodecLibraries> FLibraries;
};
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new CodecEnvironment);

// Records what the job shows.
struct TRecordingView : bw::TRipJobView {
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void SetProgressHint(const std::string& text) override { Hints.push_back(text); }
    void SetProgressCaption(const std::string&) override {}
    void SetProgress(int percent) override {
        if (OnProgress) OnProgress(percent);
    }
    void SetCurrentTrack(const std::string& title) override { Tracks.push_back(title); }
    void SetCompleted(int) override {}
    void JobFinished() override { Finished = true; }
    void TrackDone(const bw::TRipEntry& entry, const fs::path& output,
                   const std::string& error) override {
        Done.push_back(entry.FileStem +
                       (error.empty() ? " -> " + output.filename().string() : " failed"));
        if (OnTrackDone) OnTrackDone(entry);
    }
    bool AskOverwrite(const fs::path& output) override {
        Asked.push_back(output.filename().string());
        return Replace;
    }

    std::vector<std::string> Errors, Hints, Tracks, Done, Asked;
    bool Replace = false;
    bool Finished = false;
    std::function<void(int)> OnProgress;
    std::function<void(const bw::TRipEntry&)> OnTrackDone;
};

// The job's own messages: queued, and the pump woken for each.
struct TJobQueue : bw::TMessageQueue {
    void PostMessage(bw::TPostedMessage message) override {
        bw::TMessageQueue::PostMessage(std::move(message));
        bw::NotifyMainThread();
    }
};

class RipJob : public RipFixture {
protected:
    void SetUp() override {
        RipFixture::SetUp();
        bw::Settings.NormalizePercent = 100;
    }
    // Runs the job to its end (or until `stop` says so, then stops it as the window's Stop).
    void Run(const std::vector<std::string>& selection, int format,
             const std::function<bool()>& stop = {}) {
        bw::Settings.OutputFormat = format;
        bw::TRipJob job(Handle, bw::RipEntriesOf(selection), Disc, Queue, View);
        job.SetWaitMilliseconds(0);
        job.OnTrackRipped = OnRipped;
        if (Report) job.SetReport(Report);
        job.Begin();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!job.Finished() && std::chrono::steady_clock::now() < deadline) {
            bw::PumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(5));
            for (auto& message : Queue.TakeAll())
                job.HandleMessage(message);
            if (stop && stop()) {
                job.Stop();
                break;
            }
        }
        Failures = job.Failures();
    }

    bw::TDiscFields Disc{"Artist", "Album", "1999", 17, "Comment", ""};
    TJobQueue Queue;
    TRecordingView View;
    bw::TRipReport* Report = nullptr; // told of every track when set
    std::function<void(const bw::TRipEntry&, const fs::path&)> OnRipped;
    int Failures = 0;
};

} // namespace

TEST_F(RipJob, OneWavTrackEndsOnItsFinishedMessage) {
    InsertDisc({25, 12});
    Run({"02Only"}, 1);
    EXPECT_TRUE(View.Finished);
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"Only.wav"});
    EXPECT_EQ(WavData("Only"), Image->TrackBytes(2));
    EXPECT_EQ(View.Done, std::vector<std::string>{"Only -> Only.wav"});
}

TEST_F(RipJob, Mp3TracksLoseTheirWavAndCarryTheEntryNumber) {
    if (!bwtest::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    InsertDisc({40, 30, 20});
    Run({"01First", "03Third"}, 0);
    ASSERT_TRUE(View.Errors.empty()) << View.Errors[0];
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"First.mp3", "Third.mp3"}));
    const auto probe =
        bwtest::FFprobe(Output / "Third.mp3", "format_tags=track,title,artist,album,genre");
    for (const char* tag : {"track=3", "title=Third", "artist=Artist", "genre="})
        EXPECT_THAT(probe, HasSubstr(tag));
}

TEST_F(RipJob, WmaTracksUseTheSettingsCodecAndFormat) {
    InsertDisc({40});
    bw::Settings.CodecIndex = 1;
    bw::Settings.FormatIndex = 29; // 128 kbit/s, 44 kHz, stereo
    bw::Settings.WMAVBR = false;
    Run({"01Only"}, 3);
    ASSERT_TRUE(View.Errors.empty()) << View.Errors[0];
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"Only.wma"});
    EXPECT_EQ(bwtest::FFprobe(Output / "Only.wma", "stream=codec_name,bit_rate"),
              "codec_name=wmav1\nbit_rate=128000\n");
    // FFmpeg's decoding (which must succeed) holds at least the track's samples.
    EXPECT_GE(bwtest::FFmpegPcm(Output / "Only.wma", "s16le", Output / "Only.raw").size(),
              Image->TrackBytes(1).size());
}

TEST_F(RipJob, WavHeldByAnotherProgramStaysAndTheJobGoesOn) {
    InsertDisc({20, 20});
    bw::TFileHandle held;
    // Once track 1's WAV is complete another program reads it, and still holds it when
    // the encoder is done with it.
    OnRipped = [&](const bw::TRipEntry&, const fs::path& wav) {
        if (!held.IsOpen()) held = bw::OpenShared(wav, O_RDONLY, bw::TShareMode::DenyWrite);
    };
    Run({"01One", "02Two"}, 4);
    ASSERT_TRUE(held.IsOpen());
    // The WAV was the job's own part file: it goes, and the reader keeps reading it.
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"One.flac", "Two.flac"}));
    std::vector<std::uint8_t> data(Image->TrackBytes(1).size());
    EXPECT_EQ(::pread(held.Fd(), data.data(), data.size(), 44), static_cast<ssize_t>(data.size()));
    EXPECT_EQ(data, Image->TrackBytes(1));
    EXPECT_TRUE(View.Finished);
}

TEST_F(RipJob, StopWhileEncodingStartsNoFurtherTrack) {
    // Reading B while A is encoded, Stop ends both: no C, and B is never encoded.
    InsertDisc({300, 20, 20});
    Run({"01A", "02B", "03C"}, 2, [&] { return View.Tracks.size() >= 2; });
    EXPECT_FALSE(View.Finished);
    for (const auto& name : Listing(Output)) {
        EXPECT_NE(name.substr(0, 2), "C.") << name;
        EXPECT_NE(name, "B.ogg");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // nothing starts later
    EXPECT_FALSE(fs::exists(Output / "C.wav"));
    // No file cut short is left under any name, once the stopped read has ended (B's WAV
    // may be opened by the read after Stop took the job's part files away).
    auto parts = [&] {
        auto names = Listing(Output);
        return std::count_if(names.begin(), names.end(), [](const std::string& name) {
            return name.find(".part") != std::string::npos;
        });
    };
    for (int i = 0; i < 250 && parts() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(parts(), 0) << testing::PrintToString(Listing(Output));
}

TEST_F(RipJob, TrackTwoIsReadWhileTrackOneIsEncoded) {
    // A drive at 20x reads each track in about 0.3 s, far longer than its encoding.
    bwtest::FaultyDrives faults("speed:20");
    InsertDisc({400, 400, 30});
    std::vector<std::string> readWhenDone;
    View.OnTrackDone = [&](const bw::TRipEntry&) { readWhenDone.push_back(View.Tracks.back()); };
    Run({"01A", "02B", "03C"}, 4);
    EXPECT_TRUE(View.Finished);
    EXPECT_TRUE(View.Errors.empty());
    // A was done while B was read, B while C was; C last, each in order.
    EXPECT_EQ(View.Done, (std::vector<std::string>{"A -> A.flac", "B -> B.flac", "C -> C.flac"}));
    EXPECT_EQ(readWhenDone[0], "B");
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A.flac", "B.flac", "C.flac"}));
    for (int t = 1; t <= 3 && bwtest::HaveTool("flac"); ++t) {
        const std::string name(1, char('A' + t - 1)), raw = (Dir / (name + ".raw")).string();
        ASSERT_TRUE(bwtest::MustRun(
            "flac -s -d -f --force-raw-format --endian=little --sign=signed "
            "-o " +
            ShellQuote(raw) + " " + ShellQuote((Output / (name + ".flac")).string())));
        EXPECT_EQ(bwtest::ReadFileBytes(raw), Image->TrackBytes(t)) << name;
    }
}

TEST_F(RipJob, ReadErrorOnTrackTwoOfThreeIsReportedAndTrackThreeStillEncoded) {
    // Track 2's sector 12 never reads: track 3 is read while track 1 may still be
    // encoded, so the scratch is a fault of that sector alone.
    bwtest::FaultyDrives faults("error:32:100");
    InsertDisc({20, 30, 20});
    Run({"01A", "02B", "03C"}, 2);
    // Where in the track, to the frame: the block is read again a sector at a time.
    EXPECT_EQ(View.Errors, std::vector<std::string>{"Error while reading CD information! Track "
                                                    "02: the audio at 00:00.12 cannot be read."});
    EXPECT_EQ(Failures, 1);
    // Track 2 leaves nothing: no Ogg file, and no WAV cut short by the read error.
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A.ogg", "C.ogg"}));
    if (bwtest::HaveTool("ogginfo")) {
        EXPECT_EQ(RunCommand("ogginfo " + ShellQuote((Output / "C.ogg").string())).ExitCode, 0);
    }
}

TEST_F(RipJob, FailedEncodeIsReportedTheWavKeptAndTheJobGoesOn) {
    InsertDisc({20, 20});
    fs::create_directory(Output / "A.flac"); // no file can be written under this name
    View.Replace = true;                     // even when the user says to replace it
    Run({"01A", "02B"}, 4);
    EXPECT_EQ(View.Asked, std::vector<std::string>{"A.flac"});
    ASSERT_EQ(View.Errors.size(), 1u);
    EXPECT_THAT(View.Errors[0], HasSubstr((Output / "A.flac").string()));
    EXPECT_TRUE(fs::is_directory(Output / "A.flac")); // not ours: it stays
    EXPECT_EQ(WavData("A"), Image->TrackBytes(1));
    EXPECT_TRUE(fs::exists(Output / "B.flac"));
    EXPECT_FALSE(fs::exists(WavPath("B")));
    EXPECT_EQ(Failures, 1);
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A.flac", "A.wav", "B.flac"}));
}

TEST_F(RipJob, FilesOfAnEarlierRipAreReplacedOnlyWhenTheUserSaysSo) {
    InsertDisc({20, 20});
    struct Case {
        int Format;
        bool Replace;
        const char* Existing; // the earlier file, of the name track 1 gets
    };
    for (const Case& c : {Case{1, false, "A.wav"}, Case{1, true, "A.wav"}, Case{4, false, "A.flac"},
                          Case{4, true, "A.flac"}}) {
        SCOPED_TRACE(std::string(c.Existing) + (c.Replace ? " replaced" : " kept"));
        fs::remove_all(Output);
        fs::create_directories(Output);
        bwtest::WriteFileText(Output / c.Existing, "an earlier rip");
        View = TRecordingView{};
        View.Replace = c.Replace;
        Run({"01A", "02B"}, c.Format);
        EXPECT_EQ(View.Asked, std::vector<std::string>{c.Existing});
        EXPECT_EQ(Failures, c.Replace ? 0 : 1);
        EXPECT_EQ(bwtest::ReadFileText(Output / c.Existing) == "an earlier rip", !c.Replace);
        EXPECT_TRUE(View.Finished);
        const std::string ext = c.Format == 1 ? ".wav" : ".flac";
        EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A" + ext, "B" + ext}));
    }
}

TEST_F(RipJob, TracksWithTheSameTitleGetNumberedFiles) {
    InsertDisc({10, 11, 12, 13});
    Run({"01Song", "02Song", "03Song (2)", "04../up"}, 1);
    // A "/" in a title becomes "-": no folder, nothing outside the output folder.
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"..-up.wav", "Song (2) (2).wav",
                                                         "Song (2).wav", "Song.wav"}));
    EXPECT_EQ(WavData("Song (2)"), Image->TrackBytes(2));
    EXPECT_EQ(WavData("Song (2) (2)"), Image->TrackBytes(3));
    EXPECT_EQ(WavData("..-up"), Image->TrackBytes(4));
    EXPECT_TRUE(View.Errors.empty());
    EXPECT_FALSE(fs::exists(Dir / "up.wav"));
}

TEST(RipEntries, SelectionEntriesAndFileStems) {
    struct Case {
        std::vector<std::string> Selection;
        std::vector<std::string> Stems;
    };
    const Case cases[] = {
        {{"03Intro"}, {"Intro"}},         {{"01A", "02a", "03A"}, {"A", "a", "A (2)"}},
        {{"01", "02"}, {"", ""}}, // empty titles cannot be names; the rip refuses them
        {{"01..", "02.."}, {"..", ".."}}, {{"x1Bad", "1", "05Five"}, {"Five"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> stems;
        for (const auto& entry : bw::RipEntriesOf(c.Selection))
            stems.push_back(entry.FileStem);
        EXPECT_EQ(stems, c.Stems) << c.Selection[0];
    }
    EXPECT_EQ(bw::RipEntriesOf({"12Twelve"})[0].Entry, 12);
}

TEST_F(RipJob, ReportHearsOfEveryTrackWithTheWavsChecksumsAndTheFinalFile) {
    bwtest::FaultyDrives faults("error:33:100"); // track 2's sector 3, every time
    InsertDisc({30, 30, 20});
    bw::TTOC toc;
    ASSERT_EQ(bw::ReadTOC(Handle, &toc), 1);
    bw::TRipReport report(bw::TRipDisc::FromTOC(toc));
    Report = &report;
    Run({"01A", "02B", "03C"}, 4);
    ASSERT_EQ(report.Tracks().size(), 3u);
    for (int t : {1, 3}) {
        SCOPED_TRACE(t);
        const auto& track = report.Tracks()[t - 1];
        EXPECT_TRUE(track.Ripped);
        EXPECT_EQ(track.File.filename(), t == 1 ? "A.flac" : "C.flac");
        const auto& bytes = Image->TrackBytes(t);
        bw::TAccurateRipChecksum expected(bytes.size() / 4, t == 1, t == 3);
        expected.Add(bytes.data(), bytes.size());
        EXPECT_EQ(track.Sums.V2, expected.V2());
        EXPECT_EQ(track.Sums.Samples, bytes.size() / 4);
    }
    EXPECT_FALSE(report.Tracks()[1].Ripped);
    EXPECT_EQ(report.Tracks()[1].Error, "Error while reading CD information! Track 02: the audio "
                                        "at 00:00.03 cannot be read.");
    const std::string cue = report.CueSheetText();
    EXPECT_THAT(cue, HasSubstr("FILE \"A.flac\" WAVE"));
    EXPECT_THAT(cue, Not(HasSubstr("B.")));
    EXPECT_THAT(report.LogText("now"), HasSubstr("Track 02\n  Not ripped: Error while reading CD"));
}

// A disc that goes away mid-rip ends the job with a message; the tracks not reached are named
// as failed and no encoded file appears for them.
TEST_F(RipJob, DiscTakenOutMidRipEndsTheJob) {
    {
        bwtest::FaultyDrives faults("eject:35"); // for the drive opened now only
        InsertDisc({20, 30, 20});
    }
    Run({"01A", "02B", "03C"}, 4);
    EXPECT_TRUE(View.Finished);
    EXPECT_EQ(Failures, 2);
    ASSERT_EQ(View.Errors.size(), 2u);
    EXPECT_EQ(View.Errors[0], "Error while reading CD information! Track 02: the disc was taken "
                              "out of the drive.");
    EXPECT_EQ(View.Errors[1], "The disc was taken out of the drive; the rip ends.");
    for (const auto& name : Listing(Output))
        EXPECT_TRUE(name == "A.flac" || name == "B.wav") << name;
}

// Stop returns at once while the drive is stuck in a read: the thread is let go, not waited
// for, and what it posts later is dropped.
TEST_F(RipJob, StopDoesNotWaitForAStuckDrive) {
    {
        bwtest::FaultyDrives faults("speed:0.01"); // a 10-sector read takes 13 s
        InsertDisc({20});
    }
    const auto began = std::chrono::steady_clock::now();
    Run({"01A"}, 1, [&] { return std::chrono::steady_clock::now() - began > 200ms; });
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
    EXPECT_FALSE(View.Finished);
    // Closing the handle lets the library fail the thread's next read.
    bw::CloseCDHandle(Handle);
    Handle = 0;
}

// The cue sheet's PREGAP stands for the gap before track 1 that no file holds; on a disc
// whose first track is data, what lies before the first audio track is that data track.
TEST(RipReportCue, PregapOnlyForTheGapBeforeAnAudioFirstTrack) {
    struct TCase {
        const char* Name;
        std::vector<int> StartFrames; // then the lead-out
        std::vector<bool> IsAudio;
        std::vector<int> Ripped;
        std::string Pregap; // the cue sheet's only PREGAP line, or "" for none
    };
    const std::vector<TCase> cases = {
        {"audio disc with a second of gap",
         {225, 5000, 9000},
         {true, true},
         {1, 2},
         "  TRACK 01 AUDIO\n    PREGAP 00:01:00\n"},
        {"audio disc without a gap", {150, 5000, 9000}, {true, true}, {1, 2}, ""},
        {"mixed-mode disc, data first",
         {150, 20000, 30000, 40000},
         {false, true, true},
         {2, 3},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bw::TRipDisc disc;
        disc.StartFrames = c.StartFrames;
        disc.IsAudio = c.IsAudio;
        bw::TRipReport report(disc);
        for (int t : c.Ripped)
            report.AddRippedTrack(t, "Track " + std::to_string(t) + ".wav");
        const std::string cue = report.CueSheetText();
        const auto at = cue.find("PREGAP");
        if (c.Pregap.empty()) {
            EXPECT_THAT(cue, Not(HasSubstr("PREGAP")));
            continue;
        }
        EXPECT_THAT(cue, HasSubstr(c.Pregap));
        EXPECT_EQ(cue.find("PREGAP", at + 1), std::string::npos) << cue; // only one
    }
}
