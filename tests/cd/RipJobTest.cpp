// The rip job on an image drive, driven as the rip window drives it: every posted message
// handed back on the main thread, the encoders' events pumped through the hand-over queue.
#include "RipFixture.h"

#include "AuComponents.h"
#include "CdFaults.h"
#include "CodecLibraries.h"
#include "FileShare.h"
#include "MainThread.h"
#include "RipProgress.h"
#include "RipReport.h"
#include "id3.h"

#include <fcntl.h>

using bwtest::RunCommand;
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

    std::vector<std::string> Errors, Hints, Tracks, Done;
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

    bw::TDiscFields Disc{"Artist", "Album", "1999", 17, "Comment"};
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
    const auto probe = RunCommand("ffprobe -v error -show_entries format_tags=track,title,artist,"
                                  "album,genre -of default=nw=1 " +
                                  ShellQuote((Output / "Third.mp3").string()));
    EXPECT_NE(probe.Output.find("track=3"), std::string::npos) << probe.Output;
    EXPECT_NE(probe.Output.find("title=Third"), std::string::npos) << probe.Output;
    EXPECT_NE(probe.Output.find("artist=Artist"), std::string::npos) << probe.Output;
    EXPECT_NE(probe.Output.find("genre="), std::string::npos) << probe.Output;
}

TEST_F(RipJob, WmaTracksUseTheSettingsCodecAndFormat) {
    InsertDisc({40});
    bw::Settings.CodecIndex = 1;
    bw::Settings.FormatIndex = 29; // 128 kbit/s, 44 kHz, stereo
    bw::Settings.WMAVBR = false;
    Run({"01Only"}, 3);
    ASSERT_TRUE(View.Errors.empty()) << View.Errors[0];
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"Only.wma"});
    const auto probe = RunCommand("ffprobe -v error -show_entries stream=codec_name,bit_rate -of "
                                  "default=nw=1 " +
                                  ShellQuote((Output / "Only.wma").string()));
    EXPECT_EQ(probe.Output, "codec_name=wmav1\nbit_rate=128000\n");
    const auto raw = Output / "Only.raw";
    ASSERT_EQ(RunCommand("ffmpeg -v error -i " + ShellQuote((Output / "Only.wma").string()) +
                         " -f s16le " + ShellQuote(raw.string()))
                  .ExitCode,
              0);
    EXPECT_GE(bwtest::ReadFileBytes(raw).size(), Image->TrackBytes(1).size());
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
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"One.flac", "One.wav", "Two.flac"}));
    EXPECT_TRUE(View.Finished);
}

TEST_F(RipJob, StopWhileEncodingStartsNoFurtherTrack) {
    InsertDisc({300, 20, 20});
    Run({"01A", "02B", "03C"}, 2,
        [&] { return !View.Hints.empty() && View.Hints.back() == "Encoding..."; });
    EXPECT_FALSE(View.Finished);
    for (const auto& name : Listing(Output))
        EXPECT_EQ(name.substr(0, 2), "A.") << name;
}

TEST_F(RipJob, ReadErrorOnTrackTwoOfThreeIsReportedAndTrackThreeStillEncoded) {
    InsertDisc({20, 30, 20});
    bw::TCDFaults faults;
    faults.FailReadsFromSector = Image->TrackStartSector(2) + 12;
    ASSERT_TRUE(bw::SetCDHandleFaults(Handle, faults));
    View.OnTrackDone = [&](const bw::TRipEntry& entry) {
        if (entry.Entry == 2) bw::SetCDHandleFaults(Handle, {}); // the scratch is behind us
    };
    Run({"01A", "02B", "03C"}, 2);
    EXPECT_EQ(View.Errors, std::vector<std::string>{"Error while reading CD information!"});
    EXPECT_EQ(Failures, 1);
    // The partial WAV of track 2 stays; track 2 has no Ogg file.
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"A.ogg", "B.wav", "C.ogg"}));
    if (bwtest::HaveTool("ogginfo")) {
        EXPECT_EQ(RunCommand("ogginfo " + ShellQuote((Output / "C.ogg").string())).ExitCode, 0);
    }
}

TEST_F(RipJob, FailedEncodeIsReportedTheWavKeptAndTheJobGoesOn) {
    InsertDisc({20, 20});
    fs::create_directory(Output / "A.flac"); // no file can be written under this name
    Run({"01A", "02B"}, 4);
    ASSERT_EQ(View.Errors.size(), 1u);
    EXPECT_EQ(View.Errors[0].rfind((Output / "A.flac").string() + ": ", 0), 0u) << View.Errors[0];
    EXPECT_EQ(WavData("A"), Image->TrackBytes(1));
    EXPECT_TRUE(fs::exists(Output / "B.flac"));
    EXPECT_FALSE(fs::exists(WavPath("B")));
    EXPECT_EQ(Failures, 1);
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
    InsertDisc({30, 30, 20});
    bw::TTOC toc;
    ASSERT_EQ(bw::ReadTOC(Handle, &toc), 1);
    bw::TRipReport report(bw::TRipDisc::FromTOC(toc));
    Report = &report;
    bw::TCDFaults faults;
    faults.FailReadsFromSector = Image->TrackStartSector(2) + 3;
    ASSERT_TRUE(bw::SetCDHandleFaults(Handle, faults));
    View.OnTrackDone = [&](const bw::TRipEntry& entry) {
        if (entry.Entry == 2) bw::SetCDHandleFaults(Handle, {});
    };
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
    EXPECT_EQ(report.Tracks()[1].Error, "Error while reading CD information!");
    const std::string cue = report.CueSheetText();
    EXPECT_NE(cue.find("FILE \"A.flac\" WAVE"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("B."), std::string::npos) << cue;
    EXPECT_NE(report.LogText("now").find("Track 02\n  Not ripped: Error while reading CD"),
              std::string::npos);
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
            EXPECT_EQ(at, std::string::npos) << cue;
            continue;
        }
        EXPECT_NE(cue.find(c.Pregap), std::string::npos) << cue;
        EXPECT_EQ(cue.find("PREGAP", at + 1), std::string::npos) << cue;
    }
}
