// Secure reading of one track: the track is read twice (test and copy) and the CRC32s of
// the two compared; sectors whose reads differ, or that could not be read, are read again in
// rounds (each after reading the drive's cache away) until two reads agree. Sectors that
// never agree are suspicious positions: they keep the value most reads gave, and are reported
// as time ranges within the track.
#pragma once

#include "ParanoiaReader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bw {

// What the reading of one track found out, for the log and the user.
struct TTrackReadStats {
    bool Secure = false;
    bool Paranoia = false; // read through libcdio-paranoia
    bool HasTestCrc = false;
    std::uint32_t TestCrc = 0, CopyCrc = 0;
    int RereadPieces = 0; // sectors read again because their reads differed or failed
    int Rereads = 0;      // the reads that took
    // Each re-read sector that two reads confirmed: where, and how many reads gave its value
    // of how many that were made of it (passes included).
    struct TConfirmed {
        int Sector = 0, Agreeing = 0, Reads = 0;
    };
    std::vector<TConfirmed> Confirmed;
    int MaxRereads = 0, MaxRetries = 0;
    int CacheSectors = 0;       // read away before each re-read round
    bool CacheDefeated = false; // the disc had room to read them away
    bool DiscGone = false;      // the reading ended because the disc went away
    // Suspicious sectors counted from the track's start, as [first, last] runs.
    std::vector<std::pair<int, int>> Suspicious;
    double PeakPercent = 0; // the loudest sample, per cent of full scale
    double ReadSpeed = 0;   // times real time
};

// "mm:ss.ff" of a sector count (75 frames a second).
std::string TrackTime(int sectors);
// "01:02.03-01:02.10, 02:00.00-02:00.01": each run from its first sector's start to its last
// sector's end.
std::string SuspiciousText(const std::vector<std::pair<int, int>>& runs);
// Whether the read is good: no suspicious positions, and test and copy agree.
bool ReadOk(const TTrackReadStats& stats);
// The log's and the command line's verdict: "Copy OK", "N suspicious positions: ..." or
// "Test and copy CRCs differ".
std::string ReadVerdict(const TTrackReadStats& stats);

struct TSecureReadSettings {
    int MaxRereads = 20; // rounds of re-reads of a sector looking for two reads that agree
    int MaxRetries = 5;  // further tries of a failed read of the passes
    int BlockSectors = 10;
    // Sectors read away from the ones to read again, so that the drive's cache cannot answer
    // (0: none), from the readable sectors [DiscFirst, DiscEnd) counted as reads count them.
    int CacheSectors = 0;
    int DiscFirst = 0, DiscEnd = 0;
};

class TSecureTrackReader {
public:
    // Reads `count` sectors from `first` (as ReadCDAudioLBA counts them) into audio.
    using TRead = std::function<TDriveRead(std::uint8_t* audio, int first, int count)>;
    // Appends audio to the output, in order.
    using TAppend = std::function<bool(const std::uint8_t* audio, std::size_t bytes)>;
    // Rewrites the audio of one sector (counted from the track's start) in the output.
    using TPatch = std::function<bool(int sector, const std::uint8_t* audio)>;
    // Told the progress of the track in per cent.
    using TProgress = std::function<void(int percent)>;

    // `reread` reads the sectors to read again (by default `read`).
    TSecureTrackReader(TSecureReadSettings settings, TRead read, TRead reread = {});

    // Reads the track of `total` sectors from `start`. False when the output could not be
    // written, the disc went away (stats.DiscGone) or the reading was stopped; stats are
    // filled either way.
    bool ReadTrack(int start, int total, const TAppend& append, const TPatch& patch,
                   const TProgress& progress, const std::atomic<bool>& stop,
                   TTrackReadStats& stats);

private:
    TDriveRead ReadWithRetries(std::uint8_t* audio, int first, int count);
    // One pass over the track; per-sector CRCs (unreadable sectors marked).
    bool Pass(int start, int total, std::vector<std::uint32_t>& sectorCrcs,
              std::vector<bool>& unreadable, const TAppend* append, const TProgress& progress,
              int progressBase, const std::atomic<bool>& stop);
    // Reads CacheSectors sectors away from `avoid` (sorted, as reads count them); false when
    // the disc went away or the reading was stopped.
    bool ReadCacheAway(const std::vector<int>& avoid, const std::atomic<bool>& stop);

    TSecureReadSettings FSettings;
    TRead FRead, FReread;
    bool FGone = false;
    bool FCacheDefeated = true;
};

// The loudest sample of 16-bit audio, as an absolute value (32768 for -32768).
int PeakOf(const std::uint8_t* audio, std::size_t bytes);

} // namespace bw
