#include "CdPlayer.h"

#include "CdLibrary.h"
#include "CutOff.h"
#include "DetachedWorkers.h"

#include <algorithm>
#include <string>

namespace bw {

namespace {

// Ten sectors (about 0.13 s) per read: small enough that Stop and Pause act at once.
constexpr int PlayBlockSectors = 10;
// Lead-out, lead-in and pregap between the audio session and a data session.
constexpr int SessionGapSectors = 11400;

int BigEndian(const std::uint8_t* bytes) {
    return static_cast<int>((std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
                            (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]));
}

std::shared_ptr<const int> SharedHandle(int handle) {
    return std::shared_ptr<const int>(new int(handle), [](const int* h) {
        CloseCDHandle(*h);
        delete h;
    });
}

TDiscTracks ReadDiscTracks(int handle) {
    TTOC toc{};
    if (ModifyCDParms(handle, CDP_MSF, 0) == 0 || ReadTOC(handle, &toc) != 1)
        throw ECdPlayerError("No audio disc in the drive");
    const int entries = std::min(toc.LastTrack - toc.FirstTrack + 2, CDMaxTOCEntries);
    if (entries < 2) throw ECdPlayerError("No audio disc in the drive");
    TDiscTracks disc;
    disc.FirstTrack = toc.FirstTrack;
    const int origin = BigEndian(toc.Tracks[0].Address);
    for (int i = 0; i < entries; ++i) {
        disc.Starts.push_back(BigEndian(toc.Tracks[i].Address) - origin);
        if (i + 1 < entries) disc.Audio.push_back((toc.Tracks[i].AdrControl & 0x04) == 0);
    }
    return disc;
}

} // namespace

int PlayableEnd(const TDiscTracks& disc, int start) {
    for (int i = 0; i < disc.TrackCount(); ++i) {
        if (disc.Starts[i] <= start || disc.Audio[i]) continue;
        // A data session after audio begins after a gap that holds no readable audio.
        const int previous = i > 0 ? disc.Starts[i - 1] : 0;
        const int gapStart = disc.Starts[i] - SessionGapSectors;
        return gapStart > previous && gapStart > start ? gapStart : disc.Starts[i];
    }
    return disc.Starts.empty() ? 0 : disc.Starts.back();
}

struct TCdPlayer::TSession {
    std::shared_ptr<const int> Drive;
    TAudioOutputFactory Outputs;
    TNotify Notify;
    std::mutex Lock;
    std::condition_variable Wake;
    std::unique_ptr<TAudioOutput> Output; // set once by the thread, under Lock
    bool Paused = false;                  // guarded by Lock
    bool StopRequested = false;           // guarded by Lock
    std::atomic<bool> Running{true};
    std::shared_ptr<std::atomic<int>> Live; // the player's count of running threads
    // Stop cuts the handle the play's thread opened: a drive becoming ready lets go at once.
    TCutOff Cut;

    bool Stopped() {
        std::lock_guard lock(Lock);
        return StopRequested;
    }
};

TCdPlayer::TCdPlayer(TAudioOutputFactory outputs) : FOutputs(std::move(outputs)) {}

TCdPlayer::~TCdPlayer() {
    Close();
}

void TCdPlayer::SetOutputFactory(TAudioOutputFactory outputs) {
    FOutputs = std::move(outputs);
}

void TCdPlayer::SetNotify(TNotify notify) {
    EndThread();
    FNotify = std::move(notify);
}

void TCdPlayer::Open(const TGetCDHandle& drive) {
    Close();
    const int handle = GetCDHandle(&drive);
    if (handle == 0) throw ECdPlayerError("Cannot open the CD drive");
    try {
        FDisc = ReadDiscTracks(handle);
        FDisc.Hidden = std::max(GetCDHiddenTrack(handle), 0);
    } catch (...) {
        CloseCDHandle(handle);
        throw;
    }
    FDrive = SharedHandle(handle);
    FStart = 0;
    FEnd = FDisc.Starts.back();
}

void TCdPlayer::RequireOpen() const {
    if (!FDrive && !FPlayOpens) throw ECdPlayerError("The CD drive is not open");
}

namespace {

int PositionOfTrack(const TDiscTracks& disc, int track) {
    // Track 0, hidden in the first track's pregap, starts at the disc's first sector.
    if (track == 0 && disc.Hidden > 0) return -disc.Hidden;
    const int index = track - disc.FirstTrack;
    if (index < 0 || index > disc.TrackCount())
        throw ECdPlayerError("Track " + std::to_string(track) + " is not on the disc");
    return disc.Starts[index];
}

// The range a play from start to end reads: only audio, never running on into a data track
// or the gap before it.
std::pair<int, int> PlayRange(const TDiscTracks& disc, int from, int to) {
    const int start = std::max(from, -disc.Hidden);
    const int end = std::min({to, PlayableEnd(disc, start), disc.Starts.back()});
    for (int i = 0; i < disc.TrackCount(); ++i)
        if (!disc.Audio[i] && start >= disc.Starts[i] && start < disc.Starts[i + 1])
            throw ECdPlayerError("Track " + std::to_string(disc.FirstTrack + i) +
                                 " is not an audio track");
    if (start >= end) throw ECdPlayerError("Nothing to play");
    return {start, end};
}

} // namespace

int TCdPlayer::TrackPosition(int track) const {
    RequireOpen();
    return PositionOfTrack(FDisc, track);
}

void TCdPlayer::SetStartPos(int position) {
    RequireOpen();
    FStart = position;
}

void TCdPlayer::SetEndPos(int position) {
    RequireOpen();
    FEnd = position;
}

std::uint64_t TCdPlayer::Play() {
    RequireOpen();
    EndThread();
    const auto range = PlayRange(FDisc, FStart, FEnd);
    if (!FOutputs) throw EAudioOutputError("No audio output");
    auto session = NewSession();
    session->Drive = FDrive;
    const std::uint64_t play = ++FPlayCount;
    // Detached: the thread holds what it uses, so that nobody ever waits for it.
    RunDetached("play", [session, play, range] { Run(session, play, [range] { return range; }); });
    FSession = std::move(session);
    return play;
}

std::uint64_t TCdPlayer::PlayTracks(const TGetCDHandle& drive, int first, int last) {
    Close();
    if (!FOutputs) throw EAudioOutputError("No audio output");
    auto session = NewSession();
    const std::uint64_t play = ++FPlayCount;
    TSession* s = session.get();
    // The drive is opened and its disc read on the play's thread: a drive spinning up holds
    // only that thread. The handle is the thread's alone.
    auto open = [s, drive, first, last]() {
        const int handle = GetCDHandle(&drive);
        if (handle == 0) throw ECdPlayerError("Cannot open the CD drive");
        s->Drive = SharedHandle(handle);
        if (!s->Cut.SetHook([handle] { CutCDHandle(handle); }))
            throw ECdPlayerError("The play was stopped");
        TDiscTracks disc = ReadDiscTracks(handle);
        disc.Hidden = std::max(GetCDHiddenTrack(handle), 0);
        const int end = last - disc.FirstTrack >= disc.TrackCount() ? disc.Starts.back()
                                                                    : PositionOfTrack(disc, last);
        return PlayRange(disc, PositionOfTrack(disc, first), end);
    };
    RunDetached("play", [session, play, open] { Run(session, play, open); });
    FSession = std::move(session);
    FPlayOpens = true;
    return play;
}

std::shared_ptr<TCdPlayer::TSession> TCdPlayer::NewSession() {
    auto session = std::make_shared<TSession>();
    session->Outputs = FOutputs;
    session->Notify = FNotify;
    session->Live = FLive;
    ++*FLive;
    return session;
}

void TCdPlayer::Run(const std::shared_ptr<TSession>& session, std::uint64_t play,
                    const std::function<std::pair<int, int>()>& range) {
    TSession& s = *session;
    TPlayResult result = TPlayResult::Successful;
    std::string why;
    try {
        const auto [start, end] = range();
        // Connecting may wait on a stalled sound server: here, not in the caller's thread.
        auto output = s.Outputs();
        TAudioOutput* out = output.get();
        {
            std::lock_guard lock(s.Lock);
            s.Output = std::move(output);
        }
        TReadRequestBuffer buffer(PlayBlockSectors);
        for (int position = start; position < end;) {
            {
                std::unique_lock lock(s.Lock);
                s.Wake.wait(lock, [&s] { return !s.Paused || s.StopRequested; });
                if (s.StopRequested) break;
            }
            const int count = std::min(PlayBlockSectors, end - position);
            TReadRequest* request = buffer.Request();
            request->StartSector = static_cast<std::uint32_t>(position);
            request->SectorCount = static_cast<std::uint32_t>(count);
            request->BufferSize = static_cast<std::uint32_t>(PlayBlockSectors * CDSectorBytes);
            if (ReadCDAudioLBA(*s.Drive, request) != 1)
                throw ECdPlayerError("Cannot read sector " + std::to_string(position));
            out->Write(buffer.ReturnedData(), request->ReturnedBytes);
            position += count;
        }
        if (s.Stopped())
            out->Discard();
        else
            out->Drain();
    } catch (const std::exception& e) {
        result = TPlayResult::Failed;
        why = e.what();
    }
    s.Running = false;
    {
        // Under the lock that Stop takes: once the player stopped this play (or is gone, with
        // the window it reports to), no notice is on its way.
        std::lock_guard lock(s.Lock);
        if (!s.StopRequested && s.Notify) s.Notify(result, play, why);
    }
    // The drive goes before the thread counts as ended: the last holder closes it here, and
    // nothing of the drive library is touched once the player says its threads have ended.
    // The cut-off's hook goes first: the number may be the next opener's once closed.
    s.Cut.ClearHook();
    s.Drive.reset();
    --*s.Live;
}

void TCdPlayer::EndThread() {
    std::shared_ptr<TSession> session = std::move(FSession);
    if (!session) return;
    TAudioOutput* output = nullptr;
    {
        std::lock_guard lock(session->Lock);
        session->StopRequested = true;
        session->Wake.notify_all();
        output = session->Output.get();
    }
    // A play still opening the drive (a disc spinning up) lets go of it at once.
    session->Cut.Cut();
    // The output lives as long as the session; a write it cannot interrupt (a stalled
    // server) only keeps the thread, never us.
    if (output) output->Interrupt();
}

void TCdPlayer::Pause() {
    RequireOpen();
    if (!FSession || !FSession->Running) return;
    std::lock_guard lock(FSession->Lock);
    FSession->Paused = !FSession->Paused;
    FSession->Wake.notify_all();
}

void TCdPlayer::Resume() {
    RequireOpen();
    if (!FSession) return;
    std::lock_guard lock(FSession->Lock);
    FSession->Paused = false;
    FSession->Wake.notify_all();
}

void TCdPlayer::Stop() {
    EndThread();
}

void TCdPlayer::Close() {
    EndThread();
    FDrive.reset(); // closed now, or by an ending play's thread when it lets go
    FDisc = TDiscTracks();
    FPlayOpens = false;
}

TPlayerMode TCdPlayer::Mode() const {
    if (!FDrive && !FPlayOpens) return TPlayerMode::NotOpen;
    if (!FSession || !FSession->Running) return TPlayerMode::Stopped;
    std::lock_guard lock(FSession->Lock);
    return FSession->Paused ? TPlayerMode::Paused : TPlayerMode::Playing;
}

} // namespace bw
