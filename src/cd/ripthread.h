// TCDRipThread reads one audio track of the disc into a WAV file in the output folder and,
// when normalization is on, scales that file afterwards. It reports only by messages
// posted to its Window: WM_RIPFAILED (lParam 1 drive parameter refused, 2 TOC unreadable)
// and WM_RIPPROGRESS with a TProcessInfo (1..100 progress, 999 normalizing, 1000 finished
// with ErrorCode 0, 3 read error or 5 file not creatable).
#pragma once

#include "FileShare.h"
#include "Messages.h"
#include "SecureRead.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace bw {

constexpr int RipBlockSectors = 10;
// Progress percent posted while the thread waits for a stopped rip (still in its read of the
// drive) to end, before it touches the drive itself.
constexpr int RipWaitingForDrive = 998;
// The kind (DetachedWorkers) of the threads that end stopped rips.
inline constexpr const char* StoppedRipKind = "stopped rip";
constexpr int SecureBlockSectors = 75;
// Sectors read away from those to read again, so that no drive's cache can answer the re-read
// (drive caches hold 2 to 4 MB; this is 5.6 MB).
constexpr int SecureCacheSectors = 2400;
// A block that fails is read again sector by sector, each up to this many times with a short
// pause between (a drive often reads a sector on a later try, after re-seeking).
constexpr int PlainSectorRetries = 4;
constexpr int PlainRetryPauseMs = 150;

class TCDRipThread {
public:
    // Created suspended: set CDHandle and Window, then Start.
    TCDRipThread(int track, std::string title);
    // Waits for the thread to end; set StopRequested first to end a rip early.
    ~TCDRipThread();
    TCDRipThread(const TCDRipThread&) = delete;
    TCDRipThread& operator=(const TCDRipThread&) = delete;

    void Start();
    // Returns when the thread body has returned (at once when never started).
    void WaitFor();

    int Track;         // counted from 1; 0 is the hidden track before the first
    std::string Title; // the file name without ".wav", folders allowed
    // Where the WAV goes instead of Title + ".wav" in the output folder (a part file the
    // owner made), when set.
    std::filesystem::path OutputPath;
    int CDHandle = 0;                 // drive handle, set before Start
    int ReadOffset = 0;               // the drive's read offset in samples, set before Start
    TMessageTarget* Window = nullptr; // receiver of the messages, set before Start
    std::atomic<bool> StopRequested{false};
    // How the track was read; complete before the finished message is posted.
    TTrackReadStats Stats;
    // Called on the rip thread after the body has returned, whatever its outcome.
    std::function<void()> OnTerminate;
    // Why reading failed, when the track ended with a read error: where in the track
    // ("the audio at 01:23.45 cannot be read"), or that the disc went away. Set before the
    // finished message is posted.
    std::string ReadError;
    bool DiscGone = false;
    // What failed when it was not the reading (the file cannot be written, libcdio-paranoia
    // cannot open the drive): the whole message. Set before the finished message is posted.
    std::string Failure;

private:
    void Execute();
    void RipToWav(const std::filesystem::path& path, int start, int total);
    int ReadSectors(int start, int count);
    bool RereadSectors(int start, int count, int trackStart);
    bool Pause(int milliseconds);
    bool ReadPlain(int start, int total);
    bool ReadSecure(int start, int total);
    void Post(int msg, std::intptr_t lParam);
    void PostProgress(int percent, int errorCode = 0);

    bool FlushPending();

    int FWriteError = 0;              // errno of the first write that failed
    int FDiscFirst = 0, FDiscEnd = 0; // the disc's readable sectors, as reads count them
    TFileHandle Stream;
    // Audio not yet written to Stream: a few large writes cost far less than one per block.
    std::vector<std::uint8_t> FPending;
    std::thread FThread;
};

// Writes the 44-byte header of a 44100 Hz 16-bit stereo PCM WAV file with dataSize bytes of
// samples at the start of an open file; false when that fails.
bool WriteWavHeader(int fd, std::uint32_t dataSize);

// Scales every 16-bit sample of a WAV file by percent / 100, rounding half to even and
// saturating at the 16-bit limits, through a ".nor" file that then replaces the WAV.
// Posts 999 and then its progress to window (when given). False when the file could not
// be opened, read, written or replaced; the WAV then keeps its content and no ".nor" stays.
bool Normalize(const std::filesystem::path& path, int percent, TMessageTarget* window);

// One sample scaled as Normalize does.
std::int16_t ScaleSample(std::int16_t sample, float factor);

// True for a name that is a single plain file name: not empty, not "." or "..", and
// without "/" or NUL characters.
bool IsPlainFileName(const std::string& name);

} // namespace bw
