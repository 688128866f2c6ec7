#include "CdPlayer.h"

#include "CdLibrary.h"

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

TCdPlayer::TCdPlayer(TAudioOutputFactory outputs) : FOutputs(std::move(outputs)) {}

TCdPlayer::~TCdPlayer() {
    Close();
}

void TCdPlayer::SetOutputFactory(TAudioOutputFactory outputs) {
    FOutputs = std::move(outputs);
}

void TCdPlayer::SetNotify(TNotify notify) {
    EndThread(); // the thread reads the callback
    FNotify = std::move(notify);
}

void TCdPlayer::Open(const TGetCDHandle& drive) {
    Close();
    const int handle = GetCDHandle(&drive);
    if (handle == 0) throw ECdPlayerError("Cannot open the CD drive");
    try {
        FDisc = ReadDiscTracks(handle);
    } catch (...) {
        CloseCDHandle(handle);
        throw;
    }
    FHandle = handle;
    FStart = 0;
    FEnd = FDisc.Starts.back();
}

void TCdPlayer::RequireOpen() const {
    if (FHandle == 0) throw ECdPlayerError("The CD drive is not open");
}

int TCdPlayer::TrackPosition(int track) const {
    RequireOpen();
    const int index = track - FDisc.FirstTrack;
    if (index < 0 || index > FDisc.TrackCount())
        throw ECdPlayerError("Track " + std::to_string(track) + " is not on the disc");
    return FDisc.Starts[index];
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
    const int start = std::max(FStart, 0);
    // Only audio is played: a range never runs on into a data track or the gap before it.
    const int end = std::min({FEnd, PlayableEnd(FDisc, start), FDisc.Starts.back()});
    for (int i = 0; i < FDisc.TrackCount(); ++i)
        if (!FDisc.Audio[i] && start >= FDisc.Starts[i] && start < FDisc.Starts[i + 1])
            throw ECdPlayerError("Track " + std::to_string(FDisc.FirstTrack + i) +
                                 " is not an audio track");
    if (start >= end) throw ECdPlayerError("Nothing to play");
    if (!FOutputs) throw EAudioOutputError("No audio output");
    FOutput = FOutputs();
    {
        std::lock_guard lock(FLock);
        FPaused = false;
        FStopRequested = false;
    }
    const std::uint64_t play = ++FPlayCount;
    FRunning = true;
    FThread = std::thread([this, play, start, end] { Run(play, start, end); });
    return play;
}

void TCdPlayer::Run(std::uint64_t play, int start, int end) {
    TPlayResult result = TPlayResult::Successful;
    try {
        TReadRequestBuffer buffer(PlayBlockSectors);
        for (int position = start; position < end;) {
            {
                std::unique_lock lock(FLock);
                FWake.wait(lock, [this] { return !FPaused || FStopRequested; });
                if (FStopRequested) break;
            }
            const int count = std::min(PlayBlockSectors, end - position);
            TReadRequest* request = buffer.Request();
            request->StartSector = static_cast<std::uint32_t>(position);
            request->SectorCount = static_cast<std::uint32_t>(count);
            request->BufferSize = static_cast<std::uint32_t>(PlayBlockSectors * CDSectorBytes);
            if (ReadCDAudioLBA(FHandle, request) != 1)
                throw ECdPlayerError("Cannot read sector " + std::to_string(position));
            FOutput->Write(buffer.ReturnedData(), request->ReturnedBytes);
            position += count;
        }
        bool stopped;
        {
            std::lock_guard lock(FLock);
            stopped = FStopRequested;
        }
        if (stopped)
            FOutput->Discard();
        else
            FOutput->Drain();
    } catch (const std::exception&) {
        result = TPlayResult::Failed;
    }
    bool stopped;
    {
        std::lock_guard lock(FLock);
        stopped = FStopRequested;
    }
    FRunning = false;
    if (!stopped && FNotify) FNotify(result, play);
}

void TCdPlayer::EndThread() {
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FLock);
            FStopRequested = true;
            FWake.notify_all();
        }
        if (FOutput) FOutput->Interrupt();
        FThread.join();
    }
    FOutput.reset();
    std::lock_guard lock(FLock);
    FPaused = false;
}

void TCdPlayer::Pause() {
    RequireOpen();
    if (!FRunning) return;
    std::lock_guard lock(FLock);
    FPaused = !FPaused;
    FWake.notify_all();
}

void TCdPlayer::Resume() {
    RequireOpen();
    std::lock_guard lock(FLock);
    FPaused = false;
    FWake.notify_all();
}

void TCdPlayer::Stop() {
    EndThread();
}

void TCdPlayer::Close() {
    EndThread();
    if (FHandle != 0) CloseCDHandle(FHandle);
    FHandle = 0;
    FDisc = TDiscTracks();
}

TPlayerMode TCdPlayer::Mode() const {
    if (FHandle == 0) return TPlayerMode::NotOpen;
    if (!FRunning) return TPlayerMode::Stopped;
    std::lock_guard lock(FLock);
    return FPaused ? TPlayerMode::Paused : TPlayerMode::Playing;
}

} // namespace bw
