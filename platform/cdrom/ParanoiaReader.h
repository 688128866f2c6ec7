// Reads audio sectors of a drive through libcdio-paranoia (full paranoia: overlapping reads
// checked against each other, jitter and scratches repaired where it can), for secure
// reading of physical drives. NRG images open the same way, as libcdio opens them itself.
#pragma once

#include "DriveFaults.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

typedef struct _CdIo CdIo_t;
typedef struct cdrom_drive_s cdrom_drive_t;
typedef struct cdrom_paranoia_s cdrom_paranoia_t;

namespace bw {

class EParanoia : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TParanoiaReader {
public:
    // Opens `path` (a device node, or an NRG image when nrgImage); `readOffset` in samples
    // shifts every read as the drive's offset asks. An image reads through the faults of
    // BRINDLEWAVE_CD_FAULTS, as image drives do. Throws EParanoia when it cannot open.
    TParanoiaReader(const std::string& path, bool nrgImage, int maxRetries, int readOffset);
    ~TParanoiaReader();
    TParanoiaReader(const TParanoiaReader&) = delete;
    TParanoiaReader& operator=(const TParanoiaReader&) = delete;

    // The disc's first audio sector (LSN of the first track): reads count from there.
    std::int32_t FirstTrackLsn() const { return FFirstTrack; }

    // Reads `count` sectors from `first` (counted from the first track's start). False when
    // paranoia gave up on a sector (it then skipped it) or could not read at all.
    bool Read(std::uint8_t* audio, std::int32_t first, std::int32_t count);

private:
    bool ReadRaw(std::uint8_t* audio, std::int32_t lsn, std::int32_t count);
    static long FaultyRead(cdrom_drive_t* drive, void* audio, std::int32_t lsn, long sectors);

    CdIo_t* FCdio = nullptr;
    cdrom_drive_t* FDrive = nullptr;
    cdrom_paranoia_t* FParanoia = nullptr;
    int FMaxRetries;
    int FReadOffset;
    std::int32_t FFirstTrack = 0, FLeadOut = 0;
    std::int32_t FNext = -1; // where paranoia reads next without a seek
    // An image's simulated faults, between paranoia and the drive's own read function.
    std::unique_ptr<TDriveFaultState> FFaults;
    long (*FDriveRead)(cdrom_drive_t*, void*, std::int32_t, long) = nullptr;
};

} // namespace bw
