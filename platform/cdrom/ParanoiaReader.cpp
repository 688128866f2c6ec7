#include "ParanoiaReader.h"

#include <algorithm>
#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <cerrno>
#include <cstring>

namespace bw {

namespace {

constexpr int SectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int SamplesPerSector = SectorBytes / 4;
constexpr long WordsPerSector = SectorBytes / 2;
// Paranoia reads this many sectors at a time; the caller defeats the drive's cache itself
// before every verified read, so the block need not span the cache.
constexpr int ParanoiaBlockSectors = 150;
// A verified read starts this many sectors early, so that paranoia has verified audio to
// stand on before a sector it cannot read (else it gives up from the disc's start on).
constexpr std::int32_t LeadSectors = 8;
constexpr long ParanoiaOverlapSectors = 4;
// Paranoia's own tries before it gives up on a sector (it counts them in fives).
constexpr int ParanoiaRetries = 5;
// Sectors one verified read may cost: paranoia, stuck on a bad sector, would go on for hours
// (every try reads a block, and a skip leaves the next sectors to try again).
constexpr long VerifiedReadBudget = 10 * ParanoiaBlockSectors;

// Paranoia's callbacks carry no context: each reading thread notes its own skips, and knows
// the reader whose faults its drive reads go through.
thread_local long FirstSkip = -1; // in 16-bit words from the disc's start
thread_local TParanoiaReader* Reading = nullptr;

void NoteProgress(long at, paranoia_cb_mode_t mode) {
    if ((mode == PARANOIA_CB_SKIP || mode == PARANOIA_CB_READERR) &&
        (FirstSkip < 0 || at < FirstSkip))
        FirstSkip = at;
}

} // namespace

TParanoiaReader::TParanoiaReader(const std::string& path, bool nrgImage, int readOffset)
    : FShift(readOffset), FCarry(SectorBytes) {
    TDriveFaultList faults;
    try {
        if (nrgImage) faults = DriveFaultsFromEnvironment();
    } catch (const EDriveFaults& e) {
        throw EParanoia(e.what());
    }
    // A simulated drive with an offset of its own delivers the audio that much early.
    FShift -= faults.Offset;
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
    // Audio from a drive is little-endian. Left unset, paranoia guesses the byte order from
    // the audio, and noise-like music makes that a coin toss.
    FDrive->bigendianp = 0;
    const track_t first = cdio_get_first_track_num(FCdio);
    FFirstTrack = cdio_get_track_lsn(FCdio, first);
    FLeadOut = cdio_get_track_lsn(FCdio, CDIO_CDROM_LEADOUT_TRACK);
    // A first audio track's pregap is audio the drive reads (hidden track one audio).
    FLowest = cdio_get_track_format(FCdio, first) == TRACK_FORMAT_AUDIO ? 0 : FFirstTrack;
    // Every read passes our hand: to bound paranoia's work, and for an image's faults.
    FDriveRead = FDrive->read_audio;
    FDrive->read_audio = HookedRead;
    if (!faults.Empty() || faults.EjectAt >= 0) {
        FFaults = std::make_unique<TDriveFaultState>(std::move(faults));
    }
    FParanoia = cdio_paranoia_init(FDrive);
    cdio_paranoia_cachemodel_size(FParanoia, ParanoiaBlockSectors);
    // A fixed overlap: a growing one makes every sector paranoia cannot verify (the first
    // after a seek among them) cost it dozens of blocks before it gives up.
    cdio_paranoia_overlapset(FParanoia, ParanoiaOverlapSectors);
    // Full paranoia; a sector that never verifies is skipped after the retries, and we
    // hear of it through the callback.
    cdio_paranoia_modeset(FParanoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
}

TParanoiaReader::~TParanoiaReader() {
    if (FParanoia) cdio_paranoia_free(FParanoia);
    if (FDrive) cdio_cddap_close_no_free_cdio(FDrive);
    if (FCdio) cdio_destroy(FCdio);
}

long TParanoiaReader::HookedRead(cdrom_drive_t* drive, void* audio, std::int32_t lsn,
                                 long sectors) {
    TParanoiaReader* reader = Reading;
    if (!reader || reader->FDrive != drive) return -1;
    if (reader->FBudgeted) {
        reader->FBudget -= sectors;
        if (reader->FBudget < 0) {
            // Paranoia gives up at once on this one error.
            errno = ENOMEDIUM;
            return -1;
        }
    }
    if (!reader->FFaults) return reader->FDriveRead(drive, audio, lsn, sectors);
    // Paranoia reads to nowhere to move the drive (and defeat its cache).
    std::vector<std::uint8_t> scratch;
    if (!audio) {
        scratch.resize(std::size_t(std::max(0L, sectors)) * SectorBytes);
        audio = scratch.data();
    }
    const std::int64_t first = lsn - reader->FFirstTrack;
    const std::int64_t ejectAt = reader->FFaults->Faults().EjectAt;
    if (reader->FGone || (ejectAt >= 0 && first <= ejectAt && ejectAt < first + sectors)) {
        reader->FGone = true;
        // Paranoia gives up at once on this one error.
        errno = ENOMEDIUM;
        return -1;
    }
    // The drive's own read function may deliver fewer sectors than asked for (at most as many
    // as it reads at once): ask on for the rest.
    const TDriveFaultState::TReader read = [&](std::uint8_t* into, std::int64_t at,
                                               std::uint32_t n) {
        for (long done = 0; done < long(n);) {
            const long got = reader->FDriveRead(
                drive, into + std::size_t(done) * SectorBytes,
                static_cast<std::int32_t>(at + done) + reader->FFirstTrack, long(n) - done);
            if (got <= 0) return false;
            done += got;
        }
        return true;
    };
    auto* to = static_cast<std::uint8_t*>(audio);
    if (reader->FFaults->Read(to, first, static_cast<std::uint32_t>(sectors), read)) return sectors;
    // As a drive does, deliver the sectors up to the one that cannot be read.
    long good = 0;
    while (good < sectors &&
           reader->FFaults->Read(to + std::size_t(good) * SectorBytes, first + good, 1, read))
        ++good;
    return good > 0 ? good : -1;
}

TParanoiaReader::TSpan TParanoiaReader::SpanOf(std::int32_t first, std::int32_t count) const {
    const std::int64_t firstSample = std::int64_t(FFirstTrack + first) * SamplesPerSector + FShift;
    std::int64_t sector = firstSample / SamplesPerSector;
    if (firstSample < 0 && firstSample % SamplesPerSector) --sector;
    TSpan span;
    span.Lsn = static_cast<std::int32_t>(sector);
    span.Skip = std::size_t(firstSample - sector * SamplesPerSector) * 4;
    span.Count = count + (span.Skip ? 1 : 0);
    return span;
}

std::pair<std::int32_t, std::int32_t>
TParanoiaReader::AudioPart(std::uint8_t* audio, std::int32_t lsn, std::int32_t count) const {
    // Outside the disc's audio a drive has nothing to give: silence, as plain reads give.
    std::fill(audio, audio + std::size_t(count) * SectorBytes, std::uint8_t{0});
    return {std::max(lsn, FLowest), std::min(lsn + count, FLeadOut)};
}

TDriveRead TParanoiaReader::ReadRaw(std::uint8_t* audio, std::int32_t lsn, std::int32_t count) {
    const auto [low, high] = AudioPart(audio, lsn, count);
    if (low >= high) return TDriveRead::Ok;
    if (FGone) return TDriveRead::Gone;
    Reading = this;
    errno = 0;
    const long read =
        cdio_cddap_read(FDrive, audio + std::size_t(low - lsn) * SectorBytes, low, high - low);
    if (read == high - low) return TDriveRead::Ok;
    return FGone || errno == ENOMEDIUM ? (FGone = true, TDriveRead::Gone) : TDriveRead::Failed;
}

TDriveRead TParanoiaReader::Read(std::uint8_t* audio, std::int32_t first, std::int32_t count) {
    if (count <= 0) return TDriveRead::Ok;
    const TSpan span = SpanOf(first, count);
    if (span.Skip == 0) {
        FCarryLsn = -1;
        return ReadRaw(audio, span.Lsn, span.Count);
    }
    // The raw sector this read starts in is often the one the last read ended in.
    std::vector<std::uint8_t>& raw = FRaw;
    raw.resize(std::size_t(span.Count) * SectorBytes);
    const bool carried = span.Lsn == FCarryLsn;
    if (carried) std::copy(FCarry.begin(), FCarry.end(), raw.begin());
    FCarryLsn = -1;
    const TDriveRead result = ReadRaw(raw.data() + (carried ? SectorBytes : 0),
                                      span.Lsn + (carried ? 1 : 0), span.Count - (carried ? 1 : 0));
    if (result != TDriveRead::Ok) return result;
    std::copy(raw.end() - SectorBytes, raw.end(), FCarry.begin());
    FCarryLsn = span.Lsn + span.Count - 1;
    std::memcpy(audio, raw.data() + span.Skip, std::size_t(count) * SectorBytes);
    return TDriveRead::Ok;
}

TDriveRead TParanoiaReader::ReadRawVerified(std::uint8_t* audio, std::int32_t lsn,
                                            std::int32_t count) {
    const auto [low, high] = AudioPart(audio, lsn, count);
    if (low >= high) return TDriveRead::Ok;
    if (FGone) return TDriveRead::Gone;
    Reading = this;
    FirstSkip = -1;
    FBudget = VerifiedReadBudget;
    FBudgeted = true;
    struct TEndBudget {
        bool& Budgeted;
        ~TEndBudget() { Budgeted = false; }
    } endBudget{FBudgeted};
    const std::int32_t from = std::max(FLowest, low - LeadSectors);
    cdio_paranoia_seek(FParanoia, from, SEEK_SET);
    for (std::int32_t s = from; s < high; ++s) {
        errno = 0;
        std::int16_t* samples =
            cdio_paranoia_read_limited(FParanoia, NoteProgress, ParanoiaRetries);
        if (FBudget < 0 && !samples) return TDriveRead::Failed;
        if (FGone || (!samples && errno == ENOMEDIUM)) {
            FGone = true;
            return TDriveRead::Gone;
        }
        if (!samples) return TDriveRead::Failed;
        if (s >= low) std::memcpy(audio + std::size_t(s - lsn) * SectorBytes, samples, SectorBytes);
    }
    // What paranoia skipped is a guess: a skip at or before the sectors read spoils them
    // (one after them is of the read-ahead only).
    if (FirstSkip >= 0 && FirstSkip < long(high) * WordsPerSector) return TDriveRead::Failed;
    return TDriveRead::Ok;
}

TDriveRead TParanoiaReader::ReadVerified(std::uint8_t* audio, std::int32_t first,
                                         std::int32_t count) {
    if (count <= 0) return TDriveRead::Ok;
    FCarryLsn = -1; // paranoia's reads move the drive elsewhere
    const TSpan span = SpanOf(first, count);
    std::vector<std::uint8_t>& raw = FRaw;
    raw.resize(std::size_t(span.Count) * SectorBytes);
    const TDriveRead result = ReadRawVerified(raw.data(), span.Lsn, span.Count);
    if (result == TDriveRead::Ok)
        std::memcpy(audio, raw.data() + span.Skip, std::size_t(count) * SectorBytes);
    return result;
}

} // namespace bw
