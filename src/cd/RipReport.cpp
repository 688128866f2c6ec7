#include "RipReport.h"

#include "DriveOffsets.h"
#include "Global.h"
#include "PartFile.h"
#include "akrip32.h"
#include "ripthread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bw {

namespace {

constexpr int LeadInFrames = 150;

std::string Msf(int frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60,
                  frames % 75);
    return text;
}

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// A cue sheet text field: quotes cannot be escaped inside one, so they become apostrophes;
// a line break from a title would start a line of its own, so control characters become
// blanks.
std::string CueText(std::string text) {
    for (char& c : text) {
        if (c == '"') c = '\'';
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return text;
}

} // namespace

TRipDisc TRipDisc::FromTOC(const TTOC& toc) {
    TRipDisc disc;
    disc.FirstTrack = toc.FirstTrack;
    disc.StartFrames = TOCStartFrames(toc);
    disc.EndFrames = TOCEndFrames(toc);
    for (int i = 0; i + 1 < static_cast<int>(disc.StartFrames.size()); ++i) {
        disc.IsAudio.push_back(IsAudioEntry(toc.Tracks[i]));
        disc.PreEmphasis.push_back(IsAudioEntry(toc.Tracks[i]) && (toc.Tracks[i].AdrControl & 1));
        disc.Sessions.push_back(toc.Tracks[i].Session);
    }
    disc.Isrc.resize(disc.IsAudio.size());
    return disc;
}

TRipDisc TRipDisc::ForDrive(const TTOC& toc, const TCDEntry& drive, int handle) {
    TRipDisc disc = FromTOC(toc);
    TCDCodes codes;
    if (handle != 0 && GetCDCodes(handle, codes) && codes.Isrc.size() == disc.Isrc.size()) {
        disc.Catalog = codes.Catalog;
        disc.Isrc = codes.Isrc;
    }
    if (handle != 0) disc.HiddenSectors = GetCDHiddenTrack(handle);
    disc.DriveName = DriveDisplayName(drive);
    disc.ReadOffset = ReadOffsetOfDrive(drive);
    disc.Artist = Settings.CDArtist;
    disc.Album = Settings.CDAlbum;
    return disc;
}

bool TRipDisc::HasTrack(int track) const {
    return track >= FirstTrack && track - FirstTrack < TrackCount();
}

bool TRipDisc::IsAudioTrack(int track) const {
    return HasTrack(track) && IsAudio[static_cast<std::size_t>(track - FirstTrack)];
}

bool TRipDisc::IsFirstAudioTrack(int track) const {
    auto first = std::find(IsAudio.begin(), IsAudio.end(), true);
    return IsAudioTrack(track) && first - IsAudio.begin() == track - FirstTrack;
}

bool TRipDisc::IsLastAudioTrack(int track) const {
    auto last = std::find(IsAudio.rbegin(), IsAudio.rend(), true);
    return IsAudioTrack(track) && IsAudio.rend() - last - 1 == track - FirstTrack;
}

int TRipDisc::TrackSectors(int track) const {
    if (track == 0) return HiddenSectors;
    if (!HasTrack(track)) return 0;
    auto i = static_cast<std::size_t>(track - FirstTrack);
    return (i < EndFrames.size() ? EndFrames[i] : StartFrames[i + 1]) - StartFrames[i];
}

std::string DriveOffsetNameOf(const TCDEntry& entry) {
    return DriveOffsetName(
        std::string(entry.Vendor, strnlen(entry.Vendor, sizeof entry.Vendor)),
        std::string(entry.Product, strnlen(entry.Product, sizeof entry.Product)));
}

int ReadOffsetOfDrive(const TCDEntry& entry) {
    if (auto own = StoredDriveOffset(DriveOffsetNameOf(entry))) return *own;
    // Image drives are listed on host adapter 1, real drives on 0. An image holds the disc's
    // samples where they belong, unless it stands in for a drive with an offset of its own.
    return entry.HostAdapter == 1 ? 0 : Settings.ReadOffset;
}

TRipReport::TRipReport(TRipDisc disc) : FDisc(std::move(disc)) {
    if (std::find(FDisc.IsAudio.begin(), FDisc.IsAudio.end(), true) != FDisc.IsAudio.end())
        FId = AccurateRipDiscId(FDisc.StartFrames, FDisc.IsAudio);
}

TRipTrackReport& TRipReport::Entry(int track) {
    for (auto& entry : FTracks)
        if (entry.Track == track) return entry;
    TRipTrackReport entry;
    entry.Track = track;
    entry.Result.Reason = "the track was not ripped";
    FTracks.push_back(entry);
    std::sort(FTracks.begin(), FTracks.end(),
              [](const auto& a, const auto& b) { return a.Track < b.Track; });
    for (auto& e : FTracks)
        if (e.Track == track) return e;
    throw std::logic_error("track entry lost");
}

void TRipReport::AddRippedTrack(int track, const fs::path& wav) {
    TRipTrackReport& entry = Entry(track);
    entry.File = wav;
    entry.Ripped = true;
    entry.Sums = ChecksumAudioFile(wav, FDisc.IsFirstAudioTrack(track),
                                   FDisc.IsLastAudioTrack(track), FWithCrc32);
    if (!entry.Sums.Ok) {
        entry.Error = entry.Sums.Error;
        entry.Result.Reason = entry.Sums.Error;
    }
}

void TRipReport::SetReadStats(int track, const TTrackReadStats& stats) {
    TRipTrackReport& entry = Entry(track);
    entry.HasReadStats = true;
    entry.Read = stats;
}

void TRipReport::AddFailedTrack(int track, const std::string& error) {
    TRipTrackReport& entry = Entry(track);
    entry.Ripped = false;
    entry.Error = error;
    entry.Result = TAccurateRipResult{};
    entry.Result.Reason = "the track was not ripped";
}

void TRipReport::SetProducedFile(int track, const fs::path& file) {
    Entry(track).File = file;
}

void TRipReport::SetTrackPerformer(int track, const std::string& performer) {
    if (performer.empty())
        FPerformers.erase(track);
    else
        FPerformers[track] = performer;
}

void TRipReport::SetTrackTitle(int track, const std::string& title) {
    for (auto& [number, text] : FTitles)
        if (number == track) {
            text = title;
            return;
        }
    FTitles.emplace_back(track, title);
}

void TRipReport::Verify(const std::string& server, const THttpRequest& options, bool normalized,
                        const std::atomic<bool>* cancel) {
    bool any = std::any_of(FTracks.begin(), FTracks.end(),
                           [](const auto& t) { return t.Ripped && t.Sums.Ok; });
    if (!any) return;
    TAccurateRipLookup lookup;
    if (normalized) {
        lookup.Error = "normalization changed the samples";
    } else {
        lookup = LookUpAccurateRip(server, FId, options, cancel);
    }
    for (auto& entry : FTracks) {
        if (!entry.Ripped || !entry.Sums.Ok) continue;
        // The database holds the tracks of the TOC only; the hidden track is none of them,
        // so it is neither accurate nor a bad rip.
        if (entry.Track == 0) {
            entry.Result = TAccurateRipResult{};
            entry.Result.Reason = "the hidden track is not in the AccurateRip database";
            continue;
        }
        if (entry.Sums.Samples !=
            std::uint64_t(FDisc.TrackSectors(entry.Track)) * AccurateRipSamplesPerSector) {
            entry.Result = TAccurateRipResult{};
            entry.Result.Reason = "the file's length is not the track's";
            continue;
        }
        entry.Result = AccurateRipVerdict(lookup, FId,
                                          static_cast<std::size_t>(entry.Track - FDisc.FirstTrack),
                                          entry.Sums.V1, entry.Sums.V2);
    }
}

int TRipReport::AccurateCount() const {
    return static_cast<int>(std::count_if(FTracks.begin(), FTracks.end(), [](const auto& t) {
        return t.Result.Status == TAccurateRipStatus::Accurate;
    }));
}

bool TRipReport::AnyNotAccurate() const {
    return std::any_of(FTracks.begin(), FTracks.end(), [](const auto& t) {
        return t.Result.Status == TAccurateRipStatus::NotAccurate;
    });
}

std::string TRipReport::StatusText() const {
    std::string text = "AccurateRip: " + std::to_string(AccurateCount()) + " of " +
                       std::to_string(FTracks.size()) + " tracks accurate";
    // Tracks nobody could check are told apart from bad ones, with the reasons (their
    // details left to the track lines).
    int unknown = 0, notChecked = 0;
    std::vector<std::string> reasons;
    for (const auto& t : FTracks) {
        if (t.Result.Status == TAccurateRipStatus::NotInDatabase) ++unknown;
        if (t.Result.Status != TAccurateRipStatus::NotChecked) continue;
        ++notChecked;
        std::string reason = t.Result.Reason.substr(0, t.Result.Reason.find(" ("));
        if (reason.empty()) reason = "no reason given";
        if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end())
            reasons.push_back(reason);
    }
    if (unknown > 0) text += ", " + std::to_string(unknown) + " not in the database";
    if (notChecked > 0) {
        text += ", " + std::to_string(notChecked) + " not checked (";
        for (std::size_t i = 0; i < reasons.size(); ++i)
            text += (i ? "; " : "") + reasons[i];
        text += ")";
    }
    return text;
}

namespace {

std::string ReadStatsLog(const TTrackReadStats& read) {
    char line[160];
    std::snprintf(line, sizeof line, "  Peak level: %.1f %%\n  Read speed: %.1fx\n",
                  read.PeakPercent, read.ReadSpeed);
    std::string log = line;
    // A plain read's CRC is the file's CRC32 above.
    if (read.Secure) {
        log += read.Paranoia ? "  Secure reading through libcdio-paranoia\n" : "  Secure reading\n";
        log += "  Test CRC: " + Hex8(read.TestCrc) + "\n";
        log += "  Copy CRC: " + Hex8(read.CopyCrc) + "\n";
        log += "  Re-read pieces: " + std::to_string(read.RereadPieces) + "\n";
        log += "  " + ReadVerdict(read) + "\n";
    }
    return log;
}

} // namespace

std::string TRipReport::LogText(const std::string& date) const {
    std::string log;
    log += "Brindlewave " BW_VERSION " rip log\n";
    log += "Date: " + date + "\n";
    if (!FDisc.Artist.empty() || !FDisc.Album.empty())
        log += "Disc: " + FDisc.Artist + " / " + FDisc.Album + "\n";
    log += "Drive: " + FDisc.DriveName + "\n";
    log += "Read offset: " + std::to_string(FDisc.ReadOffset) + " samples\n";
    log += "AccurateRip disc id: " + AccurateRipIdText(FId) + "\n";
    if (!FDisc.Catalog.empty()) log += "Catalog number: " + FDisc.Catalog + "\n";
    log += "\n";
    log += "Table of contents\n";
    log += "  Track   Start     Length    Start sector  End sector  Type\n";
    if (FDisc.HiddenSectors > 0) {
        char line[128];
        std::snprintf(line, sizeof line, "  %5d   %s  %s  %12d  %10d  audio (hidden track)\n", 0,
                      Msf(0).c_str(), Msf(FDisc.HiddenSectors).c_str(), 0, FDisc.HiddenSectors - 1);
        log += line;
    }
    for (int i = 0; i < FDisc.TrackCount(); ++i) {
        int start = FDisc.StartFrames[i] - LeadInFrames;
        int length = FDisc.TrackSectors(FDisc.FirstTrack + i);
        char line[128];
        std::snprintf(line, sizeof line, "  %5d   %s  %s  %12d  %10d  %s\n", FDisc.FirstTrack + i,
                      Msf(start).c_str(), Msf(length).c_str(), start, start + length - 1,
                      FDisc.IsAudio[i] ? "audio" : "data");
        log += line;
    }
    log +=
        "  Lead-out at sector " + std::to_string(FDisc.StartFrames.back() - LeadInFrames) + "\n\n";
    for (const auto& t : FTracks) {
        log += "Track " + TwoDigits(t.Track) + "\n";
        if (!t.Ripped) {
            log += "  Not ripped: " + t.Error + "\n\n";
            continue;
        }
        log += "  File: " + t.File.filename().string() + "\n";
        const auto at = static_cast<std::size_t>(t.Track - FDisc.FirstTrack);
        if (at < FDisc.Isrc.size() && !FDisc.Isrc[at].empty())
            log += "  ISRC: " + FDisc.Isrc[at] + "\n";
        if (at < FDisc.PreEmphasis.size() && FDisc.PreEmphasis[at]) log += "  Pre-emphasis: yes\n";
        if (t.Sums.Ok) {
            if (t.Sums.HasCrc32) log += "  CRC32: " + Hex8(t.Sums.Crc32) + "\n";
            log += "  AccurateRip v1: " + Hex8(t.Sums.V1) + "\n";
            log += "  AccurateRip v2: " + Hex8(t.Sums.V2) + "\n";
        }
        if (t.HasReadStats) log += ReadStatsLog(t.Read);
        log += "  AccurateRip: " + AccurateRipResultText(t.Result) + "\n\n";
    }
    log += StatusText() + "\n";
    return log;
}

namespace {

std::string CueFileLine(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return "FILE \"" + CueText(file.filename().string()) + "\" " +
           (ext == ".mp3" ? "MP3" : "WAVE") + "\n";
}

} // namespace

std::string TRipReport::CueSheetText() const {
    std::string cue;
    if (!FDisc.Artist.empty()) cue += "PERFORMER \"" + CueText(FDisc.Artist) + "\"\n";
    if (!FDisc.Catalog.empty()) cue += "CATALOG " + FDisc.Catalog + "\n";
    if (!FDisc.Album.empty()) cue += "TITLE \"" + CueText(FDisc.Album) + "\"\n";
    // The data track that opens a later session after the audio (an enhanced CD), if any.
    int dataTrack = -1;
    auto lastAudio = std::find(FDisc.IsAudio.rbegin(), FDisc.IsAudio.rend(), true);
    for (auto i = static_cast<std::size_t>(FDisc.IsAudio.rend() - lastAudio);
         lastAudio != FDisc.IsAudio.rend() && i < FDisc.IsAudio.size() && dataTrack < 0; ++i)
        if (!FDisc.IsAudio[i] && i < FDisc.Sessions.size() &&
            FDisc.Sessions[i] > FDisc.Sessions[i - 1] && FDisc.Sessions[i - 1] > 0)
            dataTrack = static_cast<int>(i);
    if (dataTrack >= 0) cue += "REM SESSION " + TwoDigits(FDisc.Sessions[0]) + "\n";
    auto ripped = [this](int track) -> const TRipTrackReport* {
        for (const auto& t : FTracks)
            if (t.Track == track && t.Ripped) return &t;
        return nullptr;
    };
    // The hidden track's file holds the first track's index 0, as the disc has it: a cue
    // sheet has no track 0, and players then start track 1 at its index 1.
    const TRipTrackReport* hidden =
        FDisc.IsFirstAudioTrack(FDisc.FirstTrack) && ripped(FDisc.FirstTrack) ? ripped(0) : nullptr;
    for (const auto& t : FTracks) {
        if (!t.Ripped || t.Track == 0) continue;
        const bool withHidden = hidden && t.Track == FDisc.FirstTrack;
        cue += CueFileLine(withHidden ? hidden->File : t.File);
        cue += "  TRACK " + TwoDigits(t.Track) + " AUDIO\n";
        for (const auto& [number, title] : FTitles)
            if (number == t.Track && !title.empty())
                cue += "    TITLE \"" + CueText(title) + "\"\n";
        auto own = FPerformers.find(t.Track);
        const std::string& performer = own != FPerformers.end() ? own->second : FDisc.Artist;
        if (!performer.empty()) cue += "    PERFORMER \"" + CueText(performer) + "\"\n";
        const auto at = static_cast<std::size_t>(t.Track - FDisc.FirstTrack);
        if (at < FDisc.PreEmphasis.size() && FDisc.PreEmphasis[at]) cue += "    FLAGS PRE\n";
        if (at < FDisc.Isrc.size() && !FDisc.Isrc[at].empty())
            cue += "    ISRC " + FDisc.Isrc[at] + "\n";
        // Every later gap lies at the end of the previous file, as the rip reads from track
        // start to track start; only the first track's lead-in gap is not in any file, unless
        // the hidden track holds it.
        int pregap =
            FDisc.StartFrames[static_cast<std::size_t>(t.Track - FDisc.FirstTrack)] - LeadInFrames;
        if (withHidden) {
            cue += "    INDEX 00 00:00:00\n" + CueFileLine(t.File);
        } else if (FDisc.IsFirstAudioTrack(t.Track) && t.Track == FDisc.FirstTrack && pregap > 0) {
            cue += "    PREGAP " + Msf(pregap) + "\n";
        }
        cue += "    INDEX 01 00:00:00\n";
    }
    // Rippers name it without a file: it holds no audio, and its place on the disc follows
    // from the gap between the sessions. Enhanced CDs carry CD-ROM XA (mode 2) data.
    if (dataTrack >= 0)
        cue += "REM SESSION " + TwoDigits(FDisc.Sessions[std::size_t(dataTrack)]) + "\n  TRACK " +
               TwoDigits(FDisc.FirstTrack + dataTrack) + " MODE2/2352\n    INDEX 01 00:00:00\n";
    return cue;
}

fs::path TRipReport::WriteFiles(const fs::path& folder,
                                const std::function<bool(const fs::path&)>& mayReplace) const {
    std::string name = IsPlainFileName(FDisc.Album) ? FDisc.Album : "Rip";
    auto write = [&](const fs::path& path, const std::string& text) {
        std::error_code ec;
        const bool exists = fs::exists(fs::symlink_status(path, ec));
        if (exists && !mayReplace(path))
            throw std::runtime_error(path.string() + " exists already");
        // Written whole beside its name first, so that a failure leaves any earlier file as it was.
        TPartFile part;
        if (!part.Create(path, ec)) throw std::runtime_error("Cannot write to " + path.string());
        std::ofstream out(part.Path(), std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out || !part.Commit(exists, ec))
            throw std::runtime_error("Cannot write to " + path.string());
    };
    fs::path log = folder / (name + ".log");
    write(log, LogText(LogDateNow()));
    // A cue sheet of no file would describe no disc; nor would one of the hidden track alone,
    // which is only track 1's pregap.
    if (std::any_of(FTracks.begin(), FTracks.end(),
                    [](const auto& t) { return t.Ripped && t.Track != 0; }))
        write(folder / (name + ".cue"), CueSheetText());
    return log;
}

TAccurateRipCheck::TAccurateRipCheck(TRipReport& report, std::string server, THttpRequest options,
                                     bool normalized, TMessageTarget& target)
    : FThread([this, &report, &target, server = std::move(server), options, normalized] {
          try {
              report.Verify(server, options, normalized, &FCancel);
          } catch (...) {
              // Only an allocation can fail here; the tracks keep "not checked".
          }
          if (!FCancel) target.Post(WM_ACCURATERIPDONE);
      }) {}

TAccurateRipCheck::~TAccurateRipCheck() {
    FCancel = true;
    FThread.join();
}

std::string AccurateRipServer() {
    const char* server = std::getenv("BRINDLEWAVE_ACCURATERIP_SERVER");
    return server ? server : Settings.AccurateRipServer;
}

THttpRequest AccurateRipHttpOptions() {
    THttpRequest options;
    options.UserAgent = "Brindlewave/" BW_VERSION;
    options.UseProxy = Settings.UseProxy;
    options.ProxyHost = Settings.ProxyAddress;
    options.ProxyPort = ProxyPortOf(Settings.Port);
    return options;
}

std::string LogDateNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace bw
