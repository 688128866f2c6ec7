// brindlewave-cli rip: rips tracks of a disc into WAV files named after their titles.
#include "AuComponents.h"
#include "CdTextFields.h"
#include "CliCommands.h"
#include "CliDrive.h"
#include "CliInterrupt.h"
#include "CliMessages.h"
#include "CliProgress.h"
#include "DiscIdentity.h"
#include "FileNameTemplate.h"
#include "Global.h"
#include "MainThread.h"
#include "Messages.h"
#include "RipProgress.h"
#include "RipReport.h"
#include "ripthread.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace bw::cli {

namespace {

// Parses "1,3-5" into 1, 3, 4, 5 (in the order given, repeats dropped).
bool ParseTrackList(const std::string& text, std::vector<int>& tracks) {
    tracks.clear();
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(',', begin);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(begin, end - begin);
        std::size_t dash = part.find('-');
        int first, last;
        if (dash == std::string::npos) {
            if (!ParseInt(part, first)) return false;
            last = first;
        } else if (!ParseInt(part.substr(0, dash), first) ||
                   !ParseInt(part.substr(dash + 1), last)) {
            return false;
        }
        if (first < 0 || last > 99 || first > last) return false;
        for (int t = first; t <= last; ++t)
            if (std::find(tracks.begin(), tracks.end(), t) == tracks.end()) tracks.push_back(t);
        begin = end + 1;
    }
    return !tracks.empty();
}

// Titles are kept by row: the disc's n-th track, whatever number the disc gives it.
std::string TitleOf(const TTOC& toc, int track) {
    const int row = track - toc.FirstTrack + 1;
    if (row >= 1 && row <= MaxTracks && !Settings.TrackTitles[row].empty())
        return Settings.TrackTitles[row];
    return "Track" + TwoDigits(track);
}

// Seconds of audio in a track of the disc; 0 when the TOC does not tell.
double TrackSeconds(const TTOC& toc, int track) {
    const int frames = TOCTrackFrames(toc, track - toc.FirstTrack);
    return frames > 0 ? frames / 75.0 : 0;
}

// Shows the job: on a terminal a progress line per track and step (extracting,
// normalizing, encoding), each finished track on a line of its own, every error on stderr.
class TCliRipView : public TRipJobView {
public:
    void ShowError(const std::string& text) override {
        FLine.reset();
        Fail("rip", "track " + std::to_string(FTrack) + " (" + FTitle + "): " + text);
    }
    void SetProgressHint(const std::string& text) override {
        // "Encoding..." becomes "encoding"; a new step starts a new line.
        std::string step = text.substr(0, text.find("..."));
        if (!step.empty())
            step[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(step[0])));
        if (step != FStep) FLine.reset();
        FStep = step;
    }
    void SetProgressCaption(const std::string&) override {}
    void SetProgress(int percent) override {
        if (!FLine) {
            std::string label = TwoDigits(FTrack) + " " + FTitle;
            if (!FStep.empty()) label += " (" + FStep + ")";
            FLine.emplace(label, FSeconds);
        }
        FLine->Show(percent);
    }
    void SetCurrentTrack(const std::string& title) override {
        FTitle = title;
        FLine.reset();
    }
    void SetCompleted(int) override { FLine.reset(); }
    // The track read or encoded now; with encoding overlapping reading, not the count done.
    void SetTrackIndex(int index) override {
        const auto at = static_cast<std::size_t>(index);
        FTrack = at < Tracks.size() ? Tracks[at] : 0;
        FSeconds = at < Seconds.size() ? Seconds[at] : 0;
        FLine.reset();
    }
    void ShowTrackError(const TRipEntry& entry, const std::string& text) override {
        FLine.reset();
        Fail("rip",
             "track " + std::to_string(entry.TrackNumber) + " (" + entry.Title + "): " + text);
    }
    void JobFinished() override { FLine.reset(); }
    void TrackRead(const TRipEntry& entry, const TTrackReadStats& stats) override {
        if (!stats.Secure || (ReadOk(stats) && Quiet())) return;
        FLine.reset();
        std::fprintf(stderr, "%s %s: %s\n", TwoDigits(entry.TrackNumber).c_str(),
                     entry.Title.c_str(), ReadVerdict(stats).c_str());
    }

    bool AskOverwrite(const fs::path& output) override {
        if (Force) return true;
        FLine.reset();
        Fail("rip", "track " + std::to_string(FTrack) + ": " + output.string() +
                        " exists already (--force replaces it)");
        return false;
    }
    void TrackDone(const TRipEntry& entry, const fs::path& output,
                   const std::string& error) override {
        FLine.reset();
        if (error.empty() && !Quiet())
            std::fprintf(stderr, "%s %s: %s\n", TwoDigits(entry.TrackNumber).c_str(),
                         entry.Title.c_str(), output.c_str());
    }

    std::vector<int> Tracks;     // the job's track numbers, in job order
    std::vector<double> Seconds; // and the length of each
    bool Force = false;          // files of the same name are replaced

private:
    int FTrack = 0;
    double FSeconds = 0;
    std::string FTitle;
    std::string FStep;
    std::optional<TProgressLine> FLine;
};

// The job's messages, less the progress messages that repeat the previous percentage: a
// long track posts thousands, and waking the display for each costs more than the rip
// itself.
class TRipMessages : public TPumpedQueue {
public:
    void PostMessage(TPostedMessage message) override {
        if (message.Msg == WM_RIPPROGRESS && message.Info && message.Info->Percent <= 100) {
            if (message.Info->Percent == FLastPercent.exchange(message.Info->Percent)) return;
        } else {
            FLastPercent = -1;
        }
        TPumpedQueue::PostMessage(std::move(message));
    }

private:
    std::atomic<int> FLastPercent{-1};
};

bool ParseFormat(const std::string& text, int& format) {
    for (int i = 0; i < static_cast<int>(OutputFormatLabels.size()); ++i) {
        std::string name = OutputFormatName(i);
        for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (text == name) {
            format = i;
            return true;
        }
    }
    return false;
}

} // namespace

int RunRip(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},
        {"tracks", required_argument, nullptr, 't'},
        {"output", required_argument, nullptr, 'o'},
        {"normalize", required_argument, nullptr, 'n'},
        {"format", required_argument, nullptr, 'f'},
        {"keep-wav", no_argument, nullptr, 'k'},
        {"log", no_argument, nullptr, 'l'},
        {"secure", no_argument, nullptr, 's'},
        {"force", no_argument, nullptr, 'F'},
        {"template", required_argument, nullptr, 'T'},
        {"no-ctdb", no_argument, nullptr, 'N'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int drive = 0;
    std::vector<int> tracks;
    std::string output;
    int normalize = -1;
    int format = -1;
    bool keepWav = false;
    bool log = false;
    bool secure = false;
    bool force = false;
    bool ctdb = true;
    std::optional<std::string> fileNameTemplate;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:t:o:n:f:klsh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("rip", std::string("invalid drive '") + optarg + "'");
            break;
        case 't':
            if (!ParseTrackList(optarg, tracks))
                return Fail("rip", std::string("invalid track list '") + optarg +
                                       "' (track numbers 0 to 99, like 1,3-5)");
            break;
        case 'o':
            output = optarg;
            if (output.empty()) return Fail("rip", "the output folder is empty");
            break;
        case 'n':
            if (!ParseInt(optarg, normalize) || normalize < 1 || normalize > 1000)
                return Fail("rip", std::string("invalid percent '") + optarg + "' (1 to 1000)");
            break;
        case 'f':
            if (!ParseFormat(optarg, format))
                return Fail("rip", std::string("unknown format '") + optarg +
                                       "' (mp3, wav, ogg, wma, flac, ape or opus)");
            break;
        case 'k':
            keepWav = true;
            break;
        case 'l':
            log = true;
            break;
        case 's':
            secure = true;
            break;
        case 'F':
            force = true;
            break;
        case 'N':
            ctdb = false;
            break;
        case 'T':
            fileNameTemplate = optarg;
            if (std::string problem = FileNameTemplateProblem(optarg); !problem.empty())
                return Fail("rip", problem);
            break;
        case 'h':
            std::cout
                << "Usage: brindlewave-cli rip [--drive N] [--tracks LIST] [--format FORMAT]\n"
                   "                           [--keep-wav] [--output DIR] [--normalize PERCENT]\n"
                   "                           [--log] [--secure] [--force] [--template TEXT]\n"
                   "Rips tracks of the disc and encodes them, each file named after the track's\n"
                   "title remembered for the disc (Track01, Track02, ... when there are none).\n"
                   "The disc fields remembered for the disc (see 'cddb --save') go into the "
                   "tags.\n\n"
                   "  -d, --drive N          the drive's index in 'brindlewave-cli drives' (0)\n"
                   "  -t, --tracks LIST      tracks to rip, like 1,3-5 (default: every audio "
                   "track);\n"
                   "                         0 is the hidden track: audio before track 1\n"
                   "  -f, --format FORMAT    mp3, wav, ogg, wma, flac, ape or opus (default:\n"
                   "                         the settings)\n"
                   "  -k, --keep-wav         keep the ripped WAV files beside the encoded ones\n"
                   "  -o, --output DIR       output folder (default: the settings' folder)\n"
                   "  -n, --normalize PERCENT  scale the samples (default: the settings)\n"
                   "  -l, --log              write a rip log and a cue sheet beside the files\n"
                   "                         (default: the settings); the cue sheet of a WAV,\n"
                   "                         FLAC or APE rip opens again as an image drive\n"
                   "  -s, --secure           read every track twice and re-read where the reads\n"
                   "                         differ; report suspicious positions (default: the\n"
                   "                         settings' [Rip] ReadMode)\n\n"
                   "      --force            replace files of the same name in the output "
                   "folder\n"
                   "                         (without it such a track fails and the file "
                   "stays)\n"
                   "      --no-ctdb          no check against the CUETools database (CTDB)\n\n"
                   "      --template TEXT    names of the files within the output folder:\n"
                   "                         %A artist, %d album, %y year, %g genre,\n"
                   "                         %t track number (two digits), %n title,\n"
                   "                         %a track artist, %D disc number; '/' makes\n"
                   "                         folders (default: the settings, '%n')\n\n"
                   "Encoder options come from the settings file. Two tracks with the same title\n"
                   "are written as 'Title' and 'Title (2)'. Each ripped track is checked against\n"
                   "the AccurateRip database and the CUETools database. The exit status is 0\n"
                   "only when every track was ripped and encoded, none is inaccurate or differs\n"
                   "from the CUETools database, and none has suspicious positions.\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("rip", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();

    LoadSaveOptions(true);
    if (!output.empty()) Settings.OutputFolder = output;
    if (normalize > 0) {
        Settings.IsNormalize = true;
        Settings.NormalizePercent = normalize;
    }
    if (format >= 0) Settings.OutputFormat = format;
    if (keepWav) Settings.IsKeepWav = true;
    if (secure) Settings.ReadMode = 1;
    if (fileNameTemplate) Settings.FileNameTemplate = *fileNameTemplate;
    if (Settings.OutputFolder.empty()) return Fail("rip", "no output folder is set");

    // The drive and its disc first: a rip that cannot start leaves no folder behind.
    TCliDrive cd;
    if (!cd.Open("rip", drive)) return 1;
    const int readOffset = ReadOffsetOfDrive(cd.Entry());
    if (readOffset < -CDMaxReadOffset || readOffset > CDMaxReadOffset)
        return Fail("rip", "the read offset " + std::to_string(readOffset) +
                               " in the settings is not between -" +
                               std::to_string(CDMaxReadOffset) + " and " +
                               std::to_string(CDMaxReadOffset) + " samples");
    const TTOC& toc = cd.TOC();
    // Titles from the cache, or for a disc it does not know from the disc's CD-Text.
    LoadDiscInfoOrCdText(DiscKeyOfDrive(cd.Entry()), cd.Handle(), toc.FirstTrack);
    if (tracks.empty())
        for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
            if (IsAudioEntry(toc.Tracks[t - toc.FirstTrack])) tracks.push_back(t);

    TCliRipView view;
    view.Force = force;
    std::vector<TRipEntry> entries;
    int failures = 0;
    for (int track : tracks) {
        std::string error;
        // Track 0: hidden track one audio, ripped only when asked for.
        if (track == 0 && cd.HiddenSectors() > 0) {
            entries.push_back({0, 0, HiddenTrackTitle, {}});
            view.Tracks.push_back(0);
            view.Seconds.push_back(cd.HiddenSectors() / 75.0);
            continue;
        }
        if (track == 0)
            error = "the disc has no hidden track (no audio before track " +
                    std::to_string(toc.FirstTrack) + ")";
        else if (track < toc.FirstTrack || track > toc.LastTrack)
            error = "the disc has tracks " + std::to_string(toc.FirstTrack) + " to " +
                    std::to_string(toc.LastTrack) + " only";
        else if (!IsAudioEntry(toc.Tracks[track - toc.FirstTrack]))
            error = "a data track, not audio";
        if (!error.empty()) {
            Fail("rip", "track " + std::to_string(track) + ": " + error);
            ++failures;
            continue;
        }
        // The rip thread counts tracks by their place in the table of contents.
        entries.push_back({track - toc.FirstTrack + 1, track, TitleOf(toc, track), {}});
        view.Tracks.push_back(track);
        view.Seconds.push_back(TrackSeconds(toc, track));
    }
    if (entries.empty()) return Fail("rip", "no audio track to rip");
    AssignFileStems(entries);
    for (const TRipEntry& entry : entries)
        if (entry.FileStem != entry.Title && !Quiet())
            std::fprintf(stderr, "%s %s: written as '%s', as an earlier track has that title\n",
                         TwoDigits(entry.TrackNumber).c_str(), entry.Title.c_str(),
                         entry.FileStem.c_str());

    std::error_code ec;
    fs::create_directories(Settings.OutputFolder, ec);
    if (!fs::is_directory(Settings.OutputFolder))
        return Fail("rip", "cannot create " + Settings.OutputFolder);

    // Nothing on screen waits for the pauses a window makes after an encoder's end.
    TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
    TInterruptHandler interrupts;
    TRipMessages queue;
    const TDiscFields disc{Settings.CDArtist, Settings.CDAlbum,   Settings.CDYear,
                           Settings.CDGenre,  Settings.CDComment, Settings.CDGenreText};
    TRipReport report(TRipDisc::ForDrive(toc, cd.Entry(), cd.Handle()));
    TRipJob job(cd.Handle(), entries, disc, queue, view);
    job.SetWaitMilliseconds(0);
    job.SetMusicBrainzIds(LoadMusicBrainzIds(DiscKeyOfDrive(cd.Entry())));
    // Without a log nobody reads the CRC32s, which would cost as much as the checksums.
    report.SetWithCrc32(log || Settings.WriteLog);
    if (ctdb) report.EnableCtdb();
    job.SetReport(&report);
    job.Begin();
    bool stalled = false;
    while (!job.Finished()) {
        PumpMainThreadUntil([&] { return queue.Pending() || Interrupted; },
                            std::chrono::milliseconds(200));
        for (TPostedMessage& message : queue.Take())
            job.HandleMessage(message);
        if (Interrupted || job.Stalled()) {
            stalled = job.Stalled();
            job.Stop();
            break;
        }
    }
    failures += job.Failures();
    if (Interrupted) {
        Fail("rip", "interrupted");
        return InterruptedExit;
    }
    if (stalled) return 1;
    if (!report.Tracks().empty()) {
        report.Verify(AccurateRipServer(), AccurateRipHttpOptions(), Settings.IsNormalize);
        report.VerifyCtdb(CtdbServer(), AccurateRipHttpOptions(), Settings.IsNormalize);
        if (!Quiet()) {
            PrintAccurateRipResults(report);
            PrintCtdbResults(report);
        }
    }
    bool logFailed = false;
    if (log || Settings.WriteLog) {
        try {
            const fs::path written =
                report.WriteFiles(job.AlbumFolder(), [force](const fs::path&) { return force; });
            if (!Quiet()) std::fprintf(stderr, "Rip log: %s\n", written.c_str());
        } catch (const std::exception& e) {
            Fail("rip", e.what());
            logFailed = true; // not a track's failure: the tracks are counted below
        }
    }
    const bool ctdbDiffers =
        std::any_of(report.Tracks().begin(), report.Tracks().end(),
                    [](const auto& t) { return t.Ctdb.Status == TCtdbStatus::Differs; });
    if (ctdbDiffers && !report.AnyNotAccurate()) {
        Fail("rip", std::string("a track differs from the CUETools database") +
                        (report.CtdbRepairable() ? ": 'brindlewave-cli repair' can mend it" : ""));
        return 1;
    }
    if (report.AnyNotAccurate()) {
        Fail("rip", "a track is not accurate: its rip differs from the database's");
        return 1;
    }
    if (job.SuspiciousTracks() > 0) {
        Fail("rip", std::to_string(job.SuspiciousTracks()) + " of " +
                        std::to_string(tracks.size()) +
                        " tracks have suspicious positions: their reads never agreed there");
    }
    if (failures > 0)
        Fail("rip",
             std::to_string(failures) + " of " + std::to_string(tracks.size()) + " tracks failed");
    return failures > 0 || job.SuspiciousTracks() > 0 || logFailed ? 1 : 0;
}

} // namespace bw::cli
