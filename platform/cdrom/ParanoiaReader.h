// Reads audio sectors of a drive through libcdio (physical drives, and NRG images, which
// libcdio opens the same way): straight reads for the fast passes of secure reading, and reads
// through libcdio-paranoia's verification (overlapping reads checked against each other,
// jitter and scratches repaired where it can) for the sectors those passes disagree on.
#pragma once

#include "DriveFaults.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

typedef struct _CdIo CdIo_t;
typedef struct cdrom_drive_s cdrom_drive_t;
typedef struct cdrom_paranoia_s cdrom_paranoia_t;

namespace bw {

class EParanoia : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TDriveRead {
    Ok,
    Failed, // unreadable, or paranoia gave up on a sector (and skipped it)
    Gone,   // the disc went away
};

class TParanoiaReader {
public:
    // Opens `path` (a device node, or an NRG image when nrgImage); `readOffset` in samples
    // shifts every read as the drive's offset asks. An image reads through the faults of
    // BRINDLEWAVE_CD_FAULTS, as image drives do. Throws EParanoia when it cannot open.
    TParanoiaReader(const std::string& path, bool nrgImage, int readOffset);
    ~TParanoiaReader();
    TParanoiaReader(const TParanoiaReader&) = delete;
    TParanoiaReader& operator=(const TParanoiaReader&) = delete;

    // The disc's first track (LSN): reads count from there.
    std::int32_t FirstTrackLsn() const { return FFirstTrack; }
    // The readable sectors, counted as reads count them: [DiscFirst, DiscEnd).
    std::int32_t DiscFirst() const { return FLowest - FFirstTrack; }
    std::int32_t DiscEnd() const { return FLeadOut - FFirstTrack; }

    // Reads `count` sectors from `first` (counted from the first track's start) straight from
    // the drive. Consecutive calls read on where the last one ended, whatever the offset.
    TDriveRead Read(std::uint8_t* audio, std::int32_t first, std::int32_t count);
    // The same through paranoia's verification; Failed when paranoia gave up on a sector.
    TDriveRead ReadVerified(std::uint8_t* audio, std::int32_t first, std::int32_t count);

private:
    // The raw sectors [lsn, lsn + count) of a read shifted by the offset.
    struct TSpan {
        std::int32_t Lsn = 0, Count = 0;
        std::size_t Skip = 0; // bytes into the first raw sector
    };
    TSpan SpanOf(std::int32_t first, std::int32_t count) const;
    // Silences the buffer and gives the part of [lsn, lsn + count) that holds the disc's audio.
    std::pair<std::int32_t, std::int32_t> AudioPart(std::uint8_t* audio, std::int32_t lsn,
                                                    std::int32_t count) const;
    TDriveRead ReadRaw(std::uint8_t* audio, std::int32_t lsn, std::int32_t count);
    TDriveRead ReadRawVerified(std::uint8_t* audio, std::int32_t lsn, std::int32_t count);
    static long HookedRead(cdrom_drive_t* drive, void* audio, std::int32_t lsn, long sectors);

    CdIo_t* FCdio = nullptr;
    cdrom_drive_t* FDrive = nullptr;
    cdrom_paranoia_t* FParanoia = nullptr;
    int FShift; // samples: the read offset less an image drive's own
    std::int32_t FFirstTrack = 0, FLeadOut = 0, FLowest = 0;
    // The last raw sector a straight read fetched, so that the next one need not fetch it
    // again (an offset makes every read straddle a sector).
    std::int32_t FCarryLsn = -1;
    std::vector<std::uint8_t> FCarry;
    std::vector<std::uint8_t> FRaw; // an offset read's whole sectors, kept between reads
    bool FGone = false;
    bool FBudgeted = false; // within a verified read, which may read FBudget sectors more
    long FBudget = 0;
    // An image's simulated faults, between libcdio-paranoia and the drive's own read function
    // (which HookedRead calls).
    std::unique_ptr<TDriveFaultState> FFaults;
    long (*FDriveRead)(cdrom_drive_t*, void*, std::int32_t, long) = nullptr;
};

} // namespace bw
