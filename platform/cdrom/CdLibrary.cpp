#include "CdLibrary.h"

#include "CdFaults.h"
#include "CdHandleTable.h"
#include "DiscImage.h"
#include "DriveFaults.h"
#include "DriveSources.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace bw {

using namespace cdlib;

namespace {

// libcdio reports through one process-wide log handler; its warnings about odd images are
// noise to our callers, who learn of failures from the results. Errors still show.
void CdioLog(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_ERROR) std::fprintf(stderr, "cdio: %s\n", message);
}

void InitCdio() {
    static std::once_flag once;
    // libcdio's set-up is not safe to race; do it once, before any thread uses it.
    std::call_once(once, [] {
        cdio_log_set_handler(CdioLog);
        cdio_init();
    });
}

// Our own parsers read CUE sheets and cdrdao TOC files as their writers mean them; libcdio
// serves physical drives and Nero images.
bool IsOwnImage(const std::string& path) {
    for (const char* ext : {".cue", ".toc"})
        if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ext) == 0) return true;
    return false;
}

std::atomic<double> NotReadyScale{1.0};

bool ReadLayout(CdIo_t* cdio, TDiscLayout& layout) {
    track_t first = cdio_get_first_track_num(cdio);
    track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 || first == 0 ||
        first + count - 1 > 99)
        return false;
    layout.FirstTrack = first;
    for (int i = 0; i <= count; ++i) {
        track_t track = static_cast<track_t>(i < count ? first + i : CDIO_CDROM_LEADOUT_TRACK);
        lsn_t start = cdio_get_track_lsn(cdio, track);
        if (start == CDIO_INVALID_LSN || start < 0) return false;
        std::uint8_t control = 0;
        if (i < count) {
            if (cdio_get_track_format(cdio, track) != TRACK_FORMAT_AUDIO) control |= 0x04;
            if (cdio_get_track_copy_permit(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x02;
            if (cdio_get_track_preemphasis(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x01;
            if (cdio_get_track_channels(cdio, track) == 4) control |= 0x08;
        }
        layout.Starts.push_back(start);
        layout.Controls.push_back(control);
    }
    lsn_t lastSession = 0;
    if (cdio_get_last_session(cdio, &lastSession) != DRIVER_OP_SUCCESS) lastSession = 0;
    layout.Sessions = TrackSessions(layout.Starts, lastSession);
    return true;
}

TCDText ReadCdText(CdIo_t* cdio, const TDiscLayout& layout) {
    TCDText text;
    cdtext_t* cdtext = cdio_get_cdtext(cdio);
    if (!cdtext) return text;
    auto field = [&](cdtext_field_t which, track_t track) {
        const char* value = cdtext_get_const(cdtext, which, track);
        return std::string(value ? value : "");
    };
    text.Title = field(CDTEXT_FIELD_TITLE, 0);
    text.Performer = field(CDTEXT_FIELD_PERFORMER, 0);
    for (std::size_t i = 0; i + 1 < layout.Starts.size(); ++i) {
        auto track = static_cast<track_t>(layout.FirstTrack + i);
        text.TrackTitles.push_back(field(CDTEXT_FIELD_TITLE, track));
        text.TrackPerformers.push_back(field(CDTEXT_FIELD_PERFORMER, track));
    }
    return text;
}

void UseImageLayout(TDriveHandle& drive, const TImageLayout& image) {
    TDiscLayout& layout = drive.Layout;
    layout.FirstTrack = static_cast<track_t>(image.Tracks.front().Number);
    for (const auto& track : image.Tracks) {
        std::uint8_t control = 0;
        if (!track.Audio) control |= 0x04;
        if (track.CopyPermitted) control |= 0x02;
        if (track.PreEmphasis) control |= 0x01;
        if (track.FourChannel) control |= 0x08;
        layout.Starts.push_back(static_cast<lsn_t>(track.Index01));
        layout.Controls.push_back(control);
        layout.Sessions.push_back(static_cast<std::uint8_t>(track.Session));
        drive.Text.TrackTitles.push_back(track.Title);
        drive.Text.TrackPerformers.push_back(track.Performer);
    }
    layout.Starts.push_back(static_cast<lsn_t>(image.LeadOut));
    layout.Controls.push_back(0);
    layout.Sessions.push_back(0);
    drive.Text.Title = image.Title;
    drive.Text.Performer = image.Performer;
    drive.Warnings = image.Warnings;
}

void CopyPadded(char* dest, std::size_t width, const std::string& text, bool pad) {
    std::size_t n = std::min(text.size(), width);
    std::memcpy(dest, text.data(), n);
    if (pad)
        for (std::size_t i = n; i < width; ++i)
            dest[i] = ' ';
}

void FillEntry(TCDEntry& entry, const TDriveSource& source) {
    entry.HostAdapter = source.HostAdapter;
    entry.Target = source.Target;
    entry.Lun = source.Lun;
    if (source.IsImage) {
        std::string name = source.Path;
        if (auto slash = name.find_last_of('/'); slash != std::string::npos)
            name = name.substr(slash + 1);
        CopyPadded(entry.Vendor, 8, "IMAGE", true);
        CopyPadded(entry.Product, 16, name, false);
        return;
    }
    TCdio drive(cdio_open(source.Path.c_str(), DRIVER_DEVICE));
    cdio_hwinfo_t info{};
    if (drive.Get() && cdio_get_hwinfo(drive.Get(), &info)) {
        CopyPadded(entry.Vendor, 8, info.psz_vendor, true);
        CopyPadded(entry.Product, 16, info.psz_model, false);
    } else {
        // No inquiry data (no permission, or an odd device): name it by its node.
        CopyPadded(entry.Product, 16, source.Path, false);
    }
}

const TDriveSource* FindSource(const std::vector<TDriveSource>& sources, std::uint8_t ha,
                               std::uint8_t target, std::uint8_t lun) {
    for (const auto& source : sources)
        if (source.HostAdapter == ha && source.Target == target && source.Lun == lun)
            return &source;
    return nullptr;
}

void PutMsf(std::uint8_t* address, lsn_t lsn) {
    lba_t lba = lsn + CDIO_PREGAP_SECTORS;
    address[0] = 0;
    address[1] = static_cast<std::uint8_t>(lba / (60 * CDSectorsPerSecond));
    address[2] = static_cast<std::uint8_t>(lba / CDSectorsPerSecond % 60);
    address[3] = static_cast<std::uint8_t>(lba % CDSectorsPerSecond);
}

void PutBigEndian(std::uint8_t* address, lsn_t lsn) {
    auto value = static_cast<std::uint32_t>(lsn);
    for (int i = 3; i >= 0; --i) {
        address[i] = static_cast<std::uint8_t>(value & 0xff);
        value >>= 8;
    }
}

// Opens the inserted disc anew and reads its layout; false when there is none to read,
// with the reason in DiscError.
bool OpenDisc(TDriveHandle& drive) {
    drive.Disc.Reset();
    drive.Image.reset();
    drive.Layout = TDiscLayout();
    drive.Warnings.clear();
    drive.Text = TCDText();
    drive.DiscError.clear();
    const TDriveSource& source = drive.Source;
    if (!drive.FaultsError.empty()) {
        drive.DiscError = drive.FaultsError;
        return false;
    }
    if (drive.Ejected || (source.IsImage && SimulatedTrayOpen(source.Path))) {
        drive.DiscError = "No disc in the drive.";
        return false;
    }
    if (source.IsImage && IsOwnImage(source.Path)) {
        try {
            TImageLayout image = LoadImageLayout(source.Path);
            if (image.LeadOut + CDIO_PREGAP_SECTORS >= 100 * 60 * CDSectorsPerSecond)
                throw EDiscImage(source.Path + ": the disc is longer than 99:59:74.");
            UseImageLayout(drive, image);
            drive.Image = std::make_unique<TImageReader>(std::move(image));
            return true;
        } catch (const std::exception& e) {
            drive.Layout = TDiscLayout();
            drive.Text = TCDText();
            drive.Warnings.clear();
            drive.DiscError = e.what();
            return false;
        }
    }
    if (source.IsImage && !cdio_is_nrg(source.Path.c_str())) {
        drive.DiscError = ::access(source.Path.c_str(), F_OK) == 0
                              ? source.Path + " is not a CUE sheet, cdrdao TOC file or NRG image."
                              : "Image file not found: " + source.Path;
        return false;
    }
    drive.Disc = TCdio(cdio_open(source.Path.c_str(), source.IsImage ? DRIVER_NRG : DRIVER_DEVICE));
    if (drive.Disc.Get() && ReadLayout(drive.Disc.Get(), drive.Layout)) {
        drive.Text = ReadCdText(drive.Disc.Get(), drive.Layout);
        return true;
    }
    drive.Layout = TDiscLayout();
    drive.DiscError = source.IsImage
                          ? source.Path + " cannot be read as an NRG image."
                          : "No disc with a readable table of contents in " + source.Path;
    return false;
}

// Reads whole sectors of the open disc.
bool ReadDisc(TDriveHandle& drive, std::uint8_t* audio, std::int64_t start, std::uint32_t count) {
    if (drive.Image) return drive.Image->Read(start, count, audio);
    // A physical drive may fail a read now and then (dust, a slow spin-up); try again a
    // few times before giving up. An image either reads or never will.
    int attempts = drive.Source.IsImage ? 1 : 3;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (cdio_read_audio_sectors(drive.Disc.Get(), audio, static_cast<lsn_t>(start), count) ==
            DRIVER_OP_SUCCESS)
            return true;
    }
    return false;
}

// Reads whole sectors as the drive delivers them: an image drive with faults to simulate
// passes its reads through them, counting sectors from the first track.
bool ReadAudio(TDriveHandle& drive, std::uint8_t* audio, std::int64_t start, std::uint32_t count) {
    if (!drive.Source.IsImage) return ReadDisc(drive, audio, start, count);
    const std::int64_t origin = drive.Layout.Starts.front();
    const std::int64_t ejectAt = drive.Simulated.Faults().EjectAt;
    if (ejectAt >= 0 && start - origin <= ejectAt && ejectAt < start - origin + count) {
        drive.Ejected = true;
        return false;
    }
    if (drive.Simulated.Faults().Empty()) return ReadDisc(drive, audio, start, count);
    return drive.Simulated.Read(audio, start - origin, count,
                                [&](std::uint8_t* to, std::int64_t first, std::uint32_t n) {
                                    return ReadDisc(drive, to, first + origin, n);
                                });
}

// Reads `count` sectors' worth of audio starting `shift` samples after sector `start`:
// one sector more than asked for, cut at the sample. Sectors outside the disc's audio
// (before the first track, from the lead-out on) give silence, as the drive cannot read
// them.
bool ReadShifted(TDriveHandle& drive, std::uint8_t* audio, std::int64_t start, std::uint32_t count,
                 int shift) {
    constexpr std::int64_t samplesPerSector = CDSectorBytes / 4;
    std::int64_t firstSample = start * samplesPerSector + shift;
    std::int64_t firstSector = firstSample >= 0
                                   ? firstSample / samplesPerSector
                                   : -((-firstSample + samplesPerSector - 1) / samplesPerSector);
    std::int64_t skipBytes = (firstSample - firstSector * samplesPerSector) * 4;
    std::int64_t sectors = count + (skipBytes ? 1 : 0);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(sectors) * CDSectorBytes, 0);
    // Data tracks before or after the audio (mixed-mode and enhanced CDs) are no audio either.
    const TDiscLayout& layout = drive.Layout;
    std::size_t first = 0, end = layout.Starts.size() - 1;
    while (first < end && (layout.Controls[first] & 0x04))
        ++first;
    while (end > first && (layout.Controls[end - 1] & 0x04))
        --end;
    std::int64_t audioEnd = layout.Starts[end];
    if (end + 1 < layout.Starts.size() && layout.Sessions[end] > layout.Sessions[end - 1])
        audioEnd -= CDSessionGapSectors;
    // A first audio track's pregap is audio the drive reads (hidden track one audio).
    std::int64_t low = std::max<std::int64_t>(firstSector, first == 0 ? 0 : layout.Starts[first]);
    std::int64_t high = std::min<std::int64_t>(firstSector + sectors, audioEnd);
    if (low < high && !ReadAudio(drive, raw.data() + (low - firstSector) * CDSectorBytes, low,
                                 static_cast<std::uint32_t>(high - low)))
        return false;
    std::memcpy(audio, raw.data() + skipBytes, std::size_t(count) * CDSectorBytes);
    return true;
}

} // namespace

std::vector<std::uint8_t> TrackSessions(const std::vector<std::int32_t>& starts,
                                        std::int32_t lastSessionStart) {
    std::vector<std::uint8_t> sessions(starts.size(), 1);
    if (!sessions.empty()) sessions.back() = 0;
    // Only a session that starts at a track after the first one makes a second session.
    for (std::size_t i = 1; i + 1 < starts.size(); ++i)
        if (lastSessionStart > starts.front() && starts[i] >= lastSessionStart) sessions[i] = 2;
    return sessions;
}

int GetCDList(TCDList* list) {
    InitCdio();
    if (!list) return Failed(CDERR_BAD_ARGUMENT);
    int capacity = std::min<int>(list->Capacity, CDMaxDrives);
    int count = 0;
    for (const auto& source : ListDriveSources()) {
        if (count == capacity) break;
        FillEntry(list->Entries[count++], source);
    }
    list->Count = static_cast<std::uint8_t>(count);
    return count;
}

std::string GetCDSource(const TCDEntry& entry) {
    InitCdio();
    auto sources = ListDriveSources();
    const TDriveSource* source = FindSource(sources, entry.HostAdapter, entry.Target, entry.Lun);
    return source ? source->Path : std::string();
}

namespace {

bool IsCatalog(const std::string& text) {
    return text.size() == 13 && text.find_first_not_of("0123456789") == std::string::npos &&
           text != "0000000000000";
}

bool IsIsrc(const std::string& text) {
    if (text.size() != 12) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) &&
            !std::isupper(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string TakeCdioString(char* text) {
    std::string value = text ? text : "";
    cdio_free(text);
    return value;
}

} // namespace

bool GetCDCodes(int handle, TCDCodes& codes) {
    auto drive = Handles().Find(handle);
    if (!drive) return false;
    std::lock_guard lock(drive->Lock);
    const std::size_t tracks = drive->Layout.Starts.size();
    if (tracks == 0) return false;
    // A drive reads them from the sub-channel, which takes a while: once per disc.
    if (drive->CodesFor == drive->Layout.Starts) {
        codes = drive->Codes;
        return true;
    }
    codes = TCDCodes();
    if (drive->Image) {
        codes.Catalog = drive->Image->Layout().Catalog;
        for (const auto& track : drive->Image->Layout().Tracks)
            codes.Isrc.push_back(track.Isrc);
    } else if (drive->Disc.Get()) {
        // Read from the sub-channel: asked for only when wanted.
        codes.Catalog = TakeCdioString(cdio_get_mcn(drive->Disc.Get()));
        for (std::size_t i = 0; i + 1 < tracks; ++i)
            codes.Isrc.push_back(TakeCdioString(cdio_get_track_isrc(
                drive->Disc.Get(), static_cast<track_t>(drive->Layout.FirstTrack + i))));
    }
    codes.Isrc.resize(tracks - 1);
    if (!IsCatalog(codes.Catalog)) codes.Catalog.clear();
    for (auto& isrc : codes.Isrc)
        if (!IsIsrc(isrc)) isrc.clear();
    drive->Codes = codes;
    drive->CodesFor = drive->Layout.Starts;
    return true;
}

namespace {

bool AnySound(const std::vector<std::uint8_t>& audio) {
    return std::any_of(audio.begin(), audio.end(), [](std::uint8_t b) { return b != 0; });
}

} // namespace

bool PregapHasAudio(std::int64_t pregap, bool whole, const TSectorReader& read, bool* failed) {
    // A long pregap of a drive is read in stretches spread over it, so that finding out costs
    // no more than a few seconds of reading.
    const std::int64_t stretches = whole ? 1 : 9;
    const std::int64_t stretch =
        whole || pregap <= HiddenTrackProbeSectors ? pregap : HiddenTrackProbeSectors / 9;
    const std::int64_t step = stretches > 1 ? (pregap - stretch) / (stretches - 1) : 0;
    constexpr std::int64_t chunk = 75;
    std::vector<std::uint8_t> audio;
    for (std::int64_t k = 0; k < stretches; ++k) {
        const std::int64_t from = std::min(k * step, pregap - stretch);
        for (std::int64_t at = from; at < from + stretch; at += chunk) {
            const auto n = static_cast<std::uint32_t>(std::min(chunk, from + stretch - at));
            audio.assign(std::size_t(n) * CDSectorBytes, 0);
            // A drive that cannot read its pregap cannot rip it either; and each failing read
            // of a real drive may take seconds, so the first failure ends the search.
            if (!read(audio.data(), at, n)) {
                if (failed) *failed = true;
                return false;
            }
            if (AnySound(audio)) return true;
        }
        if (stretch == pregap) break;
    }
    return false;
}

namespace {

// What the pregap probe found on a physical drive, per drive and disc layout, for every
// handle of the process: the disc reader, the player and the rip each open the drive, and
// the probe reads seconds of the disc.
struct TProbeCache {
    std::mutex Lock;
    std::map<std::string, std::pair<std::vector<lsn_t>, int>> Hidden; // by drive path
};

TProbeCache& ProbeCache() {
    static TProbeCache cache;
    return cache;
}

} // namespace

int GetCDHiddenTrack(int handle) {
    auto drive = Handles().Find(handle);
    if (!drive) return Failed(CDERR_BAD_HANDLE);
    std::lock_guard lock(drive->Lock);
    const TDiscLayout& layout = drive->Layout;
    if (layout.Starts.empty()) return 0;
    if (layout.Starts == drive->HiddenFor) return drive->HiddenSectors;
    // Images are read from files quickly, and a test may rewrite one under the same layout.
    const bool shared = !drive->Image;
    TProbeCache& cache = ProbeCache();
    if (shared) {
        std::lock_guard held(cache.Lock);
        auto known = cache.Hidden.find(drive->Source.Path);
        if (known != cache.Hidden.end() && known->second.first == layout.Starts) {
            drive->HiddenFor = layout.Starts;
            return drive->HiddenSectors = known->second.second;
        }
    }
    const std::int64_t pregap = layout.Starts.front();
    const bool audio = !(layout.Controls.front() & 0x04);
    // An image is read whole, from files, quickly.
    auto read = [&](std::uint8_t* to, std::int64_t first, std::uint32_t count) {
        return ReadDisc(*drive, to, first, count);
    };
    bool failed = false;
    const bool found = audio && pregap > 0 && PregapHasAudio(pregap, !!drive->Image, read, &failed);
    const int sectors = found ? static_cast<int>(pregap) : 0;
    // A read that failed (a drive still spinning up) proves nothing: the next call looks again.
    if (failed) return sectors;
    drive->HiddenSectors = sectors;
    drive->HiddenFor = layout.Starts;
    if (shared) {
        std::lock_guard held(cache.Lock);
        cache.Hidden[drive->Source.Path] = {layout.Starts, sectors};
    }
    return sectors;
}

std::string GetCDAccessProblem(const TCDEntry& entry) {
    InitCdio();
    auto sources = ListDriveSources();
    const TDriveSource* source = FindSource(sources, entry.HostAdapter, entry.Target, entry.Lun);
    return source ? source->AccessProblem : std::string();
}

int GetCDHandle(const TGetCDHandle* request) {
    InitCdio();
    if (!request || request->Size != sizeof(TGetCDHandle) || request->Version != 1)
        return Failed(CDERR_BAD_ARGUMENT);
    auto sources = ListDriveSources();
    const TDriveSource* source =
        FindSource(sources, request->HostAdapter, request->Target, request->Lun);
    if (!source) return Failed(CDERR_NO_SUCH_DRIVE);
    auto drive = std::make_shared<TDriveHandle>();
    drive->Source = *source;
    // A physical drive must open even without a disc; an image drive whose file is missing
    // is a drive without a disc.
    if (!source->IsImage) {
        drive->Disc = TCdio(cdio_open(source->Path.c_str(), DRIVER_DEVICE));
        if (!drive->Disc.Get()) return Failed(CDERR_OPEN_FAILED);
    } else {
        try {
            drive->Simulated = TDriveFaultState(DriveFaultsFromEnvironment());
        } catch (const EDriveFaults& e) {
            drive->FaultsError = e.what();
        }
    }
    int handle = Handles().Add(std::move(drive));
    return handle ? handle : Failed(CDERR_TOO_MANY_HANDLES);
}

void SetNotReadyTimeScale(double scale) {
    NotReadyScale = scale;
}

int ModifyCDParms(int handle, int parameter, int value) {
    auto drive = Handles().Find(handle);
    if (!drive) return Failed(CDERR_BAD_HANDLE);
    std::lock_guard lock(drive->Lock);
    if (drive->Faults.RefuseParameters) return Failed(CDERR_PARAMETER_REFUSED);
    if (parameter == CDP_READ_OFFSET && value >= -CDMaxReadOffset && value <= CDMaxReadOffset) {
        drive->ReadOffset = value;
        return 1;
    }
    if (parameter != CDP_MSF || (value != 0 && value != 1)) return Failed(CDERR_BAD_ARGUMENT);
    drive->Msf = value == 1;
    return 1;
}

int ReadTOC(int handle, TTOC* toc) {
    InitCdio();
    if (!toc) return Failed(CDERR_BAD_ARGUMENT);
    auto drive = Handles().Find(handle);
    if (!drive) return Failed(CDERR_BAD_HANDLE);
    std::lock_guard lock(drive->Lock);
    if (drive->Cut) return Failed(CDERR_BAD_HANDLE);
    if (drive->Faults.FailTOC) return Failed(CDERR_NO_DISC);
    // A drive that is becoming ready holds the TOC read until it is, as a spinning-up drive
    // does (for at most as long as one would).
    const auto ready = drive->OpenedAt +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(drive->Simulated.Faults().NotReadySeconds *
                                                         NotReadyScale.load()));
    if (ready > std::chrono::steady_clock::now()) {
        if (ready - std::chrono::steady_clock::now() > std::chrono::seconds(30)) {
            drive->DiscError = "The drive is not ready.";
            return Failed(CDERR_NO_DISC);
        }
        std::unique_lock wake(drive->WakeLock);
        if (drive->Wake.wait_until(wake, ready, [&] { return drive->Closed; }))
            return Failed(CDERR_BAD_HANDLE);
    }
    if (!OpenDisc(*drive)) return Failed(CDERR_NO_DISC);
    const TDiscLayout& layout = drive->Layout;
    std::memset(toc, 0, sizeof(TTOC));
    std::size_t entries = layout.Starts.size();
    unsigned length = 2 + 8 * static_cast<unsigned>(entries);
    toc->Length[0] = static_cast<std::uint8_t>(length >> 8);
    toc->Length[1] = static_cast<std::uint8_t>(length & 0xff);
    toc->FirstTrack = layout.FirstTrack;
    toc->LastTrack = static_cast<std::uint8_t>(layout.FirstTrack + entries - 2);
    for (std::size_t i = 0; i < entries; ++i) {
        TTOCTrack& entry = toc->Tracks[i];
        bool leadOut = i + 1 == entries;
        entry.AdrControl = static_cast<std::uint8_t>(0x10 | layout.Controls[i]);
        entry.Session = layout.Sessions[i];
        entry.TrackNumber = leadOut ? std::uint8_t{CDIO_CDROM_LEADOUT_TRACK}
                                    : static_cast<std::uint8_t>(layout.FirstTrack + i);
        if (drive->Msf)
            PutMsf(entry.Address, layout.Starts[i]);
        else
            PutBigEndian(entry.Address, layout.Starts[i]);
    }
    return 1;
}

int ReadCDAudioLBA(int handle, TReadRequest* request) {
    InitCdio();
    if (!request || request->SectorCount == 0) return Failed(CDERR_BAD_ARGUMENT);
    auto drive = Handles().Find(handle);
    if (!drive) return Failed(CDERR_BAD_HANDLE);
    std::uint64_t bytes = std::uint64_t(request->SectorCount) * CDSectorBytes;
    if (request->BufferSize < bytes) return Failed(CDERR_BUFFER_TOO_SMALL);
    request->ReturnedBytes = 0;
    request->DataOffset = 0;

    std::lock_guard lock(drive->Lock);
    // Cut while this call waited for the lock: its owner no longer wants the audio.
    if (drive->Cut) return Failed(CDERR_BAD_HANDLE);
    const auto relative = static_cast<std::int32_t>(request->StartSector);
    std::int64_t firstFailing = drive->Faults.FailReadsFromSector;
    if (firstFailing >= 0 && relative + std::int64_t(request->SectorCount) > firstFailing)
        return Failed(CDERR_READ_FAILED);
    if (drive->Layout.Starts.empty() && !OpenDisc(*drive)) return Failed(CDERR_NO_DISC);
    const TDiscLayout& layout = drive->Layout;
    std::int64_t start = std::int64_t(layout.Starts.front()) + relative;
    if (start < 0 || start + request->SectorCount > layout.Starts.back())
        return Failed(CDERR_OUT_OF_RANGE);

    auto* audio = reinterpret_cast<std::uint8_t*>(request + 1);
    // A simulated drive with an offset of its own delivers the audio that much early.
    const int shift = drive->ReadOffset - drive->Simulated.Faults().Offset;
    bool read = shift == 0 ? ReadAudio(*drive, audio, start, request->SectorCount)
                           : ReadShifted(*drive, audio, start, request->SectorCount, shift);
    if (!read && drive->Ejected) {
        drive->Layout = TDiscLayout();
        drive->DiscError = "No disc in the drive.";
        return Failed(CDERR_NO_DISC);
    }
    if (!read) return Failed(CDERR_READ_FAILED);
    request->ReturnedBytes = static_cast<std::uint32_t>(bytes);
    return 1;
}

bool GetCDText(int handle, TCDText& text) {
    auto drive = Handles().Find(handle);
    if (!drive) return false;
    std::lock_guard lock(drive->Lock);
    if (drive->Layout.Starts.empty()) return false;
    text = drive->Text;
    return true;
}

std::string GetCDDiscError(int handle) {
    auto drive = Handles().Find(handle);
    if (!drive) return "No such drive handle.";
    std::lock_guard lock(drive->Lock);
    return drive->DiscError;
}

std::vector<std::string> GetCDDiscWarnings(int handle) {
    auto drive = Handles().Find(handle);
    if (!drive) return {};
    std::lock_guard lock(drive->Lock);
    return drive->Warnings;
}

bool GetCDHandleSource(int handle, TCDHandleSource& source) {
    auto drive = Handles().Find(handle);
    if (!drive) return false;
    source.Path = drive->Source.Path;
    source.IsImage = drive->Source.IsImage;
    source.ThroughLibcdio = !drive->Source.IsImage || !IsOwnImage(drive->Source.Path);
    return true;
}

bool SetCDHandleFaults(int handle, const TCDFaults& faults) {
    auto drive = Handles().Find(handle);
    if (!drive) return false;
    std::lock_guard lock(drive->Lock);
    drive->Faults = faults;
    return true;
}

void SetCDHandleEjected(int handle) {
    auto drive = Handles().Find(handle);
    if (!drive) return;
    std::lock_guard lock(drive->Lock);
    if (!drive->Source.IsImage) return; // a real drive says so itself
    drive->Ejected = true;
    drive->Layout = TDiscLayout();
    drive->DiscError = "No disc in the drive.";
}

TReadRequestBuffer::TReadRequestBuffer(std::uint32_t sectorCount)
    : FStorage(std::make_unique<std::uint8_t[]>(sizeof(TReadRequest) +
                                                std::size_t(sectorCount) * CDSectorBytes)) {
    TReadRequest* request = Request();
    request->SectorCount = sectorCount;
    request->BufferSize = sectorCount * CDSectorBytes;
}

const std::uint8_t* TReadRequestBuffer::ReturnedData() {
    return FStorage.get() + sizeof(TReadRequest) + Request()->DataOffset;
}

} // namespace bw
