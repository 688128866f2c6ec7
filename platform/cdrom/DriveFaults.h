// Image drives that misbehave on purpose, for tests and for trying the program: the
// environment's BRINDLEWAVE_CD_FAULTS holds comma-separated entries, each for a range of
// sectors (counted from the first sector of the disc's first track, as reads count them)
// or for the whole drive:
//   flaky:FIRST-LAST:K   wrong bits (different each time) on the first K reads, then right
//   error:FIRST-LAST:K   a read error on the first K reads (without K: on every read)
//   unstable:FIRST-LAST  different wrong data on every read
//   sticky:SECTOR[:COUNT] wrong data, the same on every read (COUNT sectors, default 1)
//   cache:N              the drive keeps the last N sectors it read (1..10000) and answers a
//                        re-read of one of them from there, wrong data included
//   speed:X              at most X times real time (75*X sectors a second)
//   offset:N             reads as a drive with read offset N samples does (-5880..5880)
//   notready:S           "becoming ready" for S seconds after each open (TOC reads wait)
//   eject:SECTOR         the disc goes away when that sector is read
//   tray                 the drive has a tray that tray commands move; while it is open
//                        there is no disc
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace bw {

class EDriveFaults : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TSectorFaultKind { Flaky, Error, Unstable, Sticky };

struct TSectorFault {
    TSectorFaultKind Kind = TSectorFaultKind::Flaky;
    std::int64_t First = 0, Last = 0; // inclusive
    int Reads = 0;                    // K; unused for Unstable and Sticky
};

// An error fault's K that no number of reads reaches.
inline constexpr int EveryRead = 1 << 30;

struct TDriveFaultList {
    std::vector<TSectorFault> Sectors;
    double Speed = 0; // times real time; 0: unlimited
    int Offset = 0;   // the drive's read offset in samples
    int NotReadySeconds = 0;
    std::int64_t EjectAt = -1; // no eject when negative
    bool Tray = false;
    int CacheSectors = 0; // the drive's cache; 0: none

    bool Empty() const { return Sectors.empty() && Speed == 0 && CacheSectors == 0; }
};

// The environment variable that holds the faults of every image drive.
inline constexpr const char* DriveFaultsVariable = "BRINDLEWAVE_CD_FAULTS";

// Parses the variable's text; empty text (or only blanks) is no fault. Throws EDriveFaults
// naming the entry that cannot be read.
TDriveFaultList ParseDriveFaults(std::string_view text);

// The faults of the environment; throws EDriveFaults as ParseDriveFaults.
TDriveFaultList DriveFaultsFromEnvironment();

// The simulated trays of image drives (the tray fault), by image path; all start closed.
void SetSimulatedTrayOpen(const std::string& image, bool open);
bool SimulatedTrayOpen(const std::string& image);

// Applies a fault list to the reads of one drive: counts the reads of every faulty sector,
// fails the reads an error fault covers, spoils the audio of flaky and unstable sectors and
// paces the drive to its speed. Not thread-safe: the drive's own lock covers it.
class TDriveFaultState {
public:
    // Reads `count` sectors from `first` into audio; false when it failed.
    using TReader =
        std::function<bool(std::uint8_t* audio, std::int64_t first, std::uint32_t count)>;

    explicit TDriveFaultState(TDriveFaultList faults = {});

    const TDriveFaultList& Faults() const { return FFaults; }

    // Reads through `read` as the faulty drive would; `first` is counted as in the variable.
    bool Read(std::uint8_t* audio, std::int64_t first, std::uint32_t count, const TReader& read);

    // Sectors answered from the drive's cache so far.
    std::uint64_t CacheHits() const { return FCacheHits; }

private:
    bool ReadMedium(std::uint8_t* audio, std::int64_t first, std::uint32_t count,
                    const TReader& read);
    bool Covers(const TSectorFault& fault, std::int64_t first, std::uint32_t count) const;
    void Spoil(std::uint8_t* sector);
    void SpoilAlike(std::uint8_t* sector, std::int64_t at);
    void Pace(std::uint32_t count);
    void Remember(std::int64_t sector, const std::uint8_t* audio);

    TDriveFaultList FFaults;
    // Reads seen so far of each sector in a flaky or error range, by fault.
    std::vector<std::unordered_map<std::int64_t, int>> FReads;
    std::uint64_t FNoise = 0x9e3779b97f4a7c15ULL;
    std::chrono::steady_clock::time_point FReadyAt{};
    // The cache: sectors by how recently they were read (front: latest), with their audio.
    std::list<std::int64_t> FCacheOrder;
    std::unordered_map<std::int64_t,
                       std::pair<std::list<std::int64_t>::iterator, std::vector<std::uint8_t>>>
        FCache;
    std::uint64_t FCacheHits = 0;
};

} // namespace bw
