// brindlewave-cli rip: rips tracks of a disc into WAV files named after their titles.
#include "CliCommands.h"
#include "CliDrive.h"
#include "CliProgress.h"
#include "DiscIdentity.h"
#include "Global.h"
#include "Messages.h"
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

namespace bw::cli {

namespace {

// Posted by a rip thread's OnTerminate: the thread has nothing more to say.
constexpr int RipThreadEnded = -1;

// Ctrl+C (or SIGTERM) stops the track being ripped after its current block, so that its
// file is left whole with a header that matches, and no further track starts; a second one
// ends the program at once. A signal handler has no user data, so it reaches the rip
// through these two flags, and only the main thread takes the signals (see RipTrack).
std::atomic<std::atomic<bool>*> StopFlagOfCurrentRip{nullptr};
std::atomic<bool> Interrupted{false};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    Interrupted = true;
    if (std::atomic<bool>* stop = StopFlagOfCurrentRip.load()) stop->store(true);
}

class TInterruptHandler {
public:
    TInterruptHandler() {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &FOldInt);
        sigaction(SIGTERM, &action, &FOldTerm);
    }
    ~TInterruptHandler() {
        sigaction(SIGINT, &FOldInt, nullptr);
        sigaction(SIGTERM, &FOldTerm, nullptr);
    }
    TInterruptHandler(const TInterruptHandler&) = delete;
    TInterruptHandler& operator=(const TInterruptHandler&) = delete;

private:
    struct sigaction FOldInt {};
    struct sigaction FOldTerm {};
};

// Runs a thread start with the interrupt signals blocked, so that the new thread never
// takes them and the handler only ever runs on the calling (main) thread.
template <typename TStart>
void StartWithoutSignals(TStart start) {
    sigset_t signals, old;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &old);
    start();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

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
        if (first < 1 || last > 99 || first > last) return false;
        for (int t = first; t <= last; ++t)
            if (std::find(tracks.begin(), tracks.end(), t) == tracks.end()) tracks.push_back(t);
        begin = end + 1;
    }
    return !tracks.empty();
}

std::string TitleOf(int track) {
    if (track <= MaxTracks && !Settings.TrackTitles[track].empty())
        return Settings.TrackTitles[track];
    return "Track" + TwoDigits(track);
}

// The rip thread's messages, less the progress messages that repeat the previous
// percentage: a long track posts thousands, and waking the display for each costs more
// than the rip itself. Posted to by the rip thread only.
class TRipMessages : public TMessageQueue {
public:
    void PostMessage(TPostedMessage message) override {
        if (message.Msg == WM_RIPPROGRESS && message.Info && message.Info->Percent <= 100) {
            if (message.Info->Percent == FLastPercent) return;
            FLastPercent = message.Info->Percent;
        }
        TMessageQueue::PostMessage(std::move(message));
    }

private:
    int FLastPercent = -1;
};

// Seconds of audio in a track of the disc; 0 when the TOC does not tell.
double TrackSeconds(const TTOC& toc, int track) {
    const std::vector<int> starts = TOCStartFrames(toc);
    const std::size_t at = static_cast<std::size_t>(track - toc.FirstTrack);
    if (at + 1 >= starts.size() || starts[at + 1] <= starts[at]) return 0;
    return (starts[at + 1] - starts[at]) / 75.0;
}

// Rips one track; returns an empty text on success, else what went wrong.
std::string RipTrack(const TCliDrive& cd, int track, const std::string& title) {
    TRipMessages queue;
    const std::string label = TwoDigits(track) + " " + title;
    const double seconds = TrackSeconds(cd.TOC(), track);
    std::optional<TProgressLine> line(std::in_place, label, seconds);
    TCDRipThread thread(track, title);
    thread.CDHandle = cd.Handle();
    thread.Window = &queue;
    thread.OnTerminate = [&queue] { queue.Post(RipThreadEnded); };
    StopFlagOfCurrentRip = &thread.StopRequested;
    if (Interrupted) thread.StopRequested = true;
    StartWithoutSignals([&thread] { thread.Start(); });

    int finished = -1;
    std::intptr_t failed = 0;
    for (;;) {
        auto message = queue.WaitNext(std::chrono::minutes(10));
        if (!message) continue;
        if (message->Msg == RipThreadEnded) break;
        if (message->Msg == WM_RIPFAILED) failed = message->LParam;
        if (message->Msg != WM_RIPPROGRESS || !message->Info) continue;
        int percent = message->Info->Percent;
        if (percent == 999) {
            // Normalizing reads and writes the whole file again: a line of its own.
            line.emplace(label + " (normalizing)", seconds);
            line->Show(0);
        } else if (percent == 1000) {
            finished = message->Info->ErrorCode;
        } else if (percent >= 1 && percent <= 100) {
            line->Show(percent);
        }
    }
    thread.WaitFor();
    StopFlagOfCurrentRip = nullptr;
    line.reset();

    const std::string path = AddTrailingBackslash(Settings.OutputFolder) + title + ".wav";
    if (failed == 1) return "the drive refused its read parameters";
    if (failed == 2) return "cannot read the table of contents";
    if (finished < 0 && thread.StopRequested) return "interrupted; the part ripped is in " + path;
    switch (finished) {
    case 0:
        if (!Quiet()) std::fprintf(stderr, "%s: %s\n", label.c_str(), path.c_str());
        return {};
    case 3:
        return "read error; the sectors before it are in " + path;
    case 5:
        return "cannot create '" + path + "': not a valid file name or the file is in use";
    default:
        return "normalizing " + path + " failed";
    }
}

} // namespace

int RunRip(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},  {"tracks", required_argument, nullptr, 't'},
        {"output", required_argument, nullptr, 'o'}, {"normalize", required_argument, nullptr, 'n'},
        {"help", no_argument, nullptr, 'h'},         {nullptr, 0, nullptr, 0},
    };
    int drive = 0;
    std::vector<int> tracks;
    std::string output;
    int normalize = -1;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:t:o:n:h", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("rip", std::string("invalid drive '") + optarg + "'");
            break;
        case 't':
            if (!ParseTrackList(optarg, tracks))
                return Fail("rip", std::string("invalid track list '") + optarg +
                                       "' (track numbers 1 to 99, like 1,3-5)");
            break;
        case 'o':
            output = optarg;
            if (output.empty()) return Fail("rip", "the output folder is empty");
            break;
        case 'n':
            if (!ParseInt(optarg, normalize) || normalize < 1 || normalize > 1000)
                return Fail("rip", std::string("invalid percent '") + optarg + "' (1 to 1000)");
            break;
        case 'h':
            std::cout
                << "Usage: brindlewave-cli rip [--drive N] --tracks LIST [--output DIR]\n"
                   "                           [--normalize PERCENT]\n"
                   "Rips tracks of the disc into WAV files named after the track titles\n"
                   "remembered for the disc (Track01, Track02, ... when there are none).\n\n"
                   "  -d, --drive N          the drive's index in 'brindlewave-cli drives' (0)\n"
                   "  -t, --tracks LIST      tracks to rip, like 1,3-5\n"
                   "  -o, --output DIR       output folder (default: the settings' folder)\n"
                   "  -n, --normalize PERCENT  scale the samples (default: the settings)\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("rip", std::string("unexpected argument '") + argv[optind] + "'");
    if (tracks.empty()) return Fail("rip", "which tracks? (--tracks LIST, like 1,3-5)");

    LoadSaveOptions(true);
    if (!output.empty()) Settings.OutputFolder = output;
    if (normalize > 0) {
        Settings.IsNormalize = true;
        Settings.NormalizePercent = normalize;
    }
    std::error_code ec;
    if (Settings.OutputFolder.empty()) return Fail("rip", "no output folder is set");
    std::filesystem::create_directories(Settings.OutputFolder, ec);
    if (!std::filesystem::is_directory(Settings.OutputFolder))
        return Fail("rip", "cannot create " + Settings.OutputFolder);

    TCliDrive cd;
    if (!cd.Open("rip", drive)) return 1;
    const TTOC& toc = cd.TOC();
    LoadSaveDiscInfo(DiscKeyOfDrive(cd.Entry()), true);

    TInterruptHandler interrupts;
    int failures = 0;
    for (int track : tracks) {
        if (Interrupted) break;
        std::string error;
        if (track < toc.FirstTrack || track > toc.LastTrack)
            error = "the disc has tracks " + std::to_string(toc.FirstTrack) + " to " +
                    std::to_string(toc.LastTrack) + " only";
        else if (!IsAudioEntry(toc.Tracks[track - toc.FirstTrack]))
            error = "a data track, not audio";
        else
            error = RipTrack(cd, track, TitleOf(track));
        if (!error.empty()) {
            Fail("rip", "track " + std::to_string(track) + ": " + error);
            ++failures;
        }
    }
    if (Interrupted) {
        Fail("rip", "interrupted");
        return 130;
    }
    if (failures > 0) {
        Fail("rip",
             std::to_string(failures) + " of " + std::to_string(tracks.size()) + " tracks failed");
        return 1;
    }
    return 0;
}

} // namespace bw::cli
