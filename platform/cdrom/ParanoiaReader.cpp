#include "ParanoiaReader.h"

#include <algorithm>
#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <cstring>
#include <vector>

namespace bw {

namespace {

constexpr int SectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int SamplesPerSector = SectorBytes / 4;

// Paranoia's callbacks carry no context: each reading thread notes its own skips, and knows
// the reader whose faults its drive reads go through.
thread_local bool Skipped = false;
thread_local TParanoiaReader* Reading = nullptr;

void NoteProgress(long, paranoia_cb_mode_t mode) {
    if (mode == PARANOIA_CB_SKIP || mode == PARANOIA_CB_READERR) Skipped = true;
}

} // namespace

TParanoiaReader::TParanoiaReader(const std::string& path, bool nrgImage, int maxRetries,
                                 int readOffset)
    : FMaxRetries(std::max(1, maxRetries)), FReadOffset(readOffset) {
    TDriveFaultList faults;
    try {
        if (nrgImage) faults = DriveFaultsFromEnvironment();
    } catch (const EDriveFaults& e) {
        throw EParanoia(e.what());
    }
    FCdio = cdio_open(path.c_str(), nrgImage ? DRIVER_NRG : DRIVER_DEVICE);
    if (!FCdio) throw EParanoia("libcdio cannot open " + path + ".");
    char** messages = nullptr;
    FDrive = cdio_cddap_identify_cdio(FCdio, CDDA_MESSAGE_FORGETIT, messages);
    if (!FDrive || cdio_cddap_open(FDrive) != 0) {
        if (FDrive) cdio_cddap_close_no_free_cdio(FDrive);
        FDrive = nullptr;
        cdio_destroy(FCdio);
        FCdio = nullptr;
        throw EParanoia("libcdio-paranoia cannot read audio from " + path + ".");
    }
    FFirstTrack = cdio_get_track_lsn(FCdio, cdio_get_first_track_num(FCdio));
    FLeadOut = cdio_get_track_lsn(FCdio, CDIO_CDROM_LEADOUT_TRACK);
    if (!faults.Empty()) {
        FFaults = std::make_unique<TDriveFaultState>(std::move(faults));
        FDriveRead = FDrive->read_audio;
        FDrive->read_audio = FaultyRead;
    }
    FParanoia = cdio_paranoia_init(FDrive);
    // Full paranoia; a sector that never verifies is skipped after the retries, and we
    // hear of it through the callback.
    cdio_paranoia_modeset(FParanoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
}

TParanoiaReader::~TParanoiaReader() {
    if (FParanoia) cdio_paranoia_free(FParanoia);
    if (FDrive) cdio_cddap_close_no_free_cdio(FDrive);
    if (FCdio) cdio_destroy(FCdio);
}

long TParanoiaReader::FaultyRead(cdrom_drive_t* drive, void* audio, std::int32_t lsn,
                                 long sectors) {
    TParanoiaReader* reader = Reading;
    if (!reader || reader->FDrive != drive) return -1;
    bool ok = reader->FFaults->Read(static_cast<std::uint8_t*>(audio), lsn - reader->FFirstTrack,
                                    static_cast<std::uint32_t>(sectors),
                                    [&](std::uint8_t* to, std::int64_t first, std::uint32_t n) {
                                        return reader->FDriveRead(drive, to,
                                                                  static_cast<std::int32_t>(first) +
                                                                      reader->FFirstTrack,
                                                                  long(n)) == long(n);
                                    });
    return ok ? sectors : -1;
}

bool TParanoiaReader::ReadRaw(std::uint8_t* audio, std::int32_t lsn, std::int32_t count) {
    // Outside the disc's audio a drive has nothing to give: silence, as plain reads give.
    const std::int32_t low = std::max(lsn, FFirstTrack);
    const std::int32_t high = std::min(lsn + count, FLeadOut);
    std::fill(audio, audio + std::size_t(count) * SectorBytes, std::uint8_t{0});
    if (low >= high) return true;
    Reading = this;
    if (low != FNext) cdio_paranoia_seek(FParanoia, low, SEEK_SET);
    FNext = -1;
    for (std::int32_t s = low; s < high; ++s) {
        Skipped = false;
        std::int16_t* samples = cdio_paranoia_read_limited(FParanoia, NoteProgress, FMaxRetries);
        if (!samples || Skipped) return false;
        std::memcpy(audio + std::size_t(s - lsn) * SectorBytes, samples, SectorBytes);
    }
    FNext = high;
    return true;
}

bool TParanoiaReader::Read(std::uint8_t* audio, std::int32_t first, std::int32_t count) {
    if (count <= 0) return true;
    const std::int32_t lsn = FFirstTrack + first;
    if (FReadOffset == 0) return ReadRaw(audio, lsn, count);
    // The drive's offset moves the samples: read one sector more and cut at the sample.
    const std::int64_t firstSample = std::int64_t(lsn) * SamplesPerSector + FReadOffset;
    std::int64_t sector = firstSample / SamplesPerSector;
    if (firstSample < 0 && firstSample % SamplesPerSector) --sector;
    const std::size_t skip = std::size_t(firstSample - sector * SamplesPerSector) * 4;
    std::vector<std::uint8_t> raw(std::size_t(count + 1) * SectorBytes);
    if (!ReadRaw(raw.data(), static_cast<std::int32_t>(sector), count + 1)) return false;
    std::memcpy(audio, raw.data() + skip, std::size_t(count) * SectorBytes);
    return true;
}

} // namespace bw
