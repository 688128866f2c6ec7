// Plays a range of a CD's audio: the drive's sectors are read through the drive library
// and handed to an audio output on a thread of the player's own. The operations follow a
// media player's: open the drive, ask for a track's position, set the start and end of the
// range, play, pause, resume, stop, close. A play that ends by itself (its range played out,
// or a read or output failure) sends a notice; a stopped or replaced play sends none.
#pragma once

#include "AudioOutput.h"
#include "CdRecords.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace bw {

class ECdPlayerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TPlayerMode { NotOpen, Stopped, Playing, Paused };
enum class TPlayResult { Successful, Failed };

// The tracks of a disc as the player sees them: start sectors counted from the first
// track (as drive reads count them), the lead-out last.
struct TDiscTracks {
    int FirstTrack = 0;
    std::vector<int> Starts;
    std::vector<bool> Audio; // per track
    int Hidden = 0;          // sectors of hidden track one audio before the first track
    int TrackCount() const { return static_cast<int>(Audio.size()); }
};

// The end of the audio that a play from start can reach without running into a data
// track: the next data track's start, less the gap between the sessions of a CD with a
// data session after its audio; the lead-out when no data track follows.
int PlayableEnd(const TDiscTracks& disc, int start);

class TCdPlayer {
public:
    // Called on the playing thread with the result, the number of the play it ends and, for
    // a failure, why it failed.
    using TNotify =
        std::function<void(TPlayResult result, std::uint64_t play, const std::string& why)>;

    explicit TCdPlayer(TAudioOutputFactory outputs = OpenPulseOutput);
    ~TCdPlayer(); // stops and closes
    TCdPlayer(const TCdPlayer&) = delete;
    TCdPlayer& operator=(const TCdPlayer&) = delete;

    // The methods below are for one controlling thread; each throws ECdPlayerError (or
    // EAudioOutputError) on failure.
    void SetOutputFactory(TAudioOutputFactory outputs);
    void SetNotify(TNotify notify);

    // Opens the drive (a handle of the player's own) and reads its disc's tracks; the range
    // becomes the whole disc. A drive already open is closed first.
    void Open(const TGetCDHandle& drive);
    // Sector position of a track's start; the lead-out's for the track after the last.
    int TrackPosition(int track) const;
    void SetStartPos(int position);
    void SetEndPos(int position);
    // Plays the range from its start; returns the number of this play (counted from 1).
    std::uint64_t Play();
    // Closes what is open, then opens the drive, reads its disc and plays from track first up
    // to the start of track last (to the end of the disc when last is past it), all on the
    // play's thread, so that a drive spinning up never holds the caller. Returns the play's
    // number; a drive that cannot be opened or read ends the play with a Failed notice.
    std::uint64_t PlayTracks(const TGetCDHandle& drive, int first, int last);
    // Pauses a play; a paused play resumes.
    void Pause();
    void Resume();
    // Ends a play; nothing is sent. Does nothing when nothing plays. Never waits for the
    // playing thread: one held in a stalled sound server or a slow read ends by itself.
    void Stop();
    // Stops and releases the drive (once an ending play no longer reads it).
    void Close();

    TPlayerMode Mode() const;
    // True once no thread of this player runs any more, stopped ones included.
    bool ThreadsEnded() const { return *FLive == 0; }
    const TDiscTracks& Disc() const { return FDisc; }

private:
    // What one play's thread uses; it outlives the player's interest in it while the thread
    // still runs.
    struct TSession;

    void RequireOpen() const;
    // Plays the range the given function finds (on the play's thread; what it throws fails
    // the play).
    static void Run(const std::shared_ptr<TSession>& session, std::uint64_t play,
                    const std::function<std::pair<int, int>()>& range);
    std::shared_ptr<TSession> NewSession();
    void EndThread();

    TAudioOutputFactory FOutputs;
    TNotify FNotify;
    std::shared_ptr<const int> FDrive; // the drive handle; closed when the last user lets go
    bool FPlayOpens = false;           // the play's thread opened the drive (PlayTracks)
    TDiscTracks FDisc;
    int FStart = 0;
    int FEnd = 0;
    std::uint64_t FPlayCount = 0;
    std::shared_ptr<TSession> FSession;
    std::shared_ptr<std::atomic<int>> FLive = std::make_shared<std::atomic<int>>(0);
};

} // namespace bw
