// Secure reading of one track: the track is read twice (test and copy) and the CRC32s of
// the two compared; sectors whose reads differ, or that could not be read, are read again one
// at a time until two reads agree. Sectors that never agree are suspicious positions: they
// keep the value most reads gave, and are reported as time ranges within the track.
#pragma once

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
// The log's and the command line's verdict: "Copy OK" or "N suspicious positions: ...".
std::string ReadVerdict(const TTrackReadStats& stats);

struct TSecureReadSettings {
    int MaxRereads = 20; // reads of one sector looking for two that agree
    int MaxRetries = 5;  // further tries of a read that failed
    int BlockSectors = 10;
};

class TSecureTrackReader {
public:
    // Reads `count` sectors from `first` (as ReadCDAudioLBA counts them) into audio.
    using TRead = std::function<bool(std::uint8_t* audio, int first, int count)>;
    // Appends audio to the output, in order.
    using TAppend = std::function<bool(const std::uint8_t* audio, std::size_t bytes)>;
    // Rewrites the audio of one sector (counted from the track's start) in the output.
    using TPatch = std::function<bool(int sector, const std::uint8_t* audio)>;
    // Told the progress of the track in per cent.
    using TProgress = std::function<void(int percent)>;

    TSecureTrackReader(TSecureReadSettings settings, TRead read);

    // Reads the track of `total` sectors from `start`. False when the output could not be
    // written or the reading was stopped; stats are filled either way.
    bool ReadTrack(int start, int total, const TAppend& append, const TPatch& patch,
                   const TProgress& progress, const std::atomic<bool>& stop,
                   TTrackReadStats& stats);

private:
    bool ReadWithRetries(std::uint8_t* audio, int first, int count);
    // One pass over the track; per-sector CRCs (unreadable sectors marked) and the pass CRC.
    bool Pass(int start, int total, std::vector<std::uint32_t>& sectorCrcs,
              std::vector<bool>& unreadable, std::uint32_t& crc, const TAppend* append,
              const TProgress& progress, int progressBase, const std::atomic<bool>& stop);

    TSecureReadSettings FSettings;
    TRead FRead;
    std::int64_t FSectorsRead = 0;
};

// The loudest sample of 16-bit audio, as an absolute value (32768 for -32768).
int PeakOf(const std::uint8_t* audio, std::size_t bytes);

} // namespace bw
