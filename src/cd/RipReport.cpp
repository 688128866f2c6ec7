#include "RipReport.h"

#include "Global.h"
#include "akrip32.h"
#include "ripthread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    for (int i = 0; i + 1 < static_cast<int>(disc.StartFrames.size()); ++i)
        disc.IsAudio.push_back(IsAudioEntry(toc.Tracks[i]));
    return disc;
}

TRipDisc TRipDisc::ForDrive(const TTOC& toc, const TCDEntry& drive) {
    TRipDisc disc = FromTOC(toc);
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
    if (!HasTrack(track)) return 0;
    auto i = static_cast<std::size_t>(track - FirstTrack);
    return StartFrames[i + 1] - StartFrames[i];
}

int ReadOffsetOfDrive(const TCDEntry& entry) {
    // Image drives are listed on host adapter 1, real drives on 0.
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
    return "AccurateRip: " + std::to_string(AccurateCount()) + " of " +
           std::to_string(FTracks.size()) + " tracks accurate";
}

std::string TRipReport::LogText(const std::string& date) const {
    std::string log;
    log += "Brindlewave " BW_VERSION " rip log\n";
    log += "Date: " + date + "\n";
    if (!FDisc.Artist.empty() || !FDisc.Album.empty())
        log += "Disc: " + FDisc.Artist + " / " + FDisc.Album + "\n";
    log += "Drive: " + FDisc.DriveName + "\n";
    log += "Read offset: " + std::to_string(FDisc.ReadOffset) + " samples\n";
    log += "AccurateRip disc id: " + AccurateRipIdText(FId) + "\n\n";
    log += "Table of contents\n";
    log += "  Track   Start     Length    Start sector  End sector  Type\n";
    for (int i = 0; i < FDisc.TrackCount(); ++i) {
        int start = FDisc.StartFrames[i] - LeadInFrames;
        int length = FDisc.StartFrames[i + 1] - FDisc.StartFrames[i];
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
        if (t.Sums.Ok) {
            if (t.Sums.HasCrc32) log += "  CRC32: " + Hex8(t.Sums.Crc32) + "\n";
            log += "  AccurateRip v1: " + Hex8(t.Sums.V1) + "\n";
            log += "  AccurateRip v2: " + Hex8(t.Sums.V2) + "\n";
        }
        log += "  AccurateRip: " + AccurateRipResultText(t.Result) + "\n\n";
    }
    log += StatusText() + "\n";
    return log;
}

std::string TRipReport::CueSheetText() const {
    std::string cue;
    if (!FDisc.Artist.empty()) cue += "PERFORMER \"" + CueText(FDisc.Artist) + "\"\n";
    if (!FDisc.Album.empty()) cue += "TITLE \"" + CueText(FDisc.Album) + "\"\n";
    for (const auto& t : FTracks) {
        if (!t.Ripped) continue;
        std::string name = t.File.filename().string();
        std::string ext = t.File.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        cue += "FILE \"" + CueText(name) + "\" " + (ext == ".mp3" ? "MP3" : "WAVE") + "\n";
        cue += "  TRACK " + TwoDigits(t.Track) + " AUDIO\n";
        for (const auto& [number, title] : FTitles)
            if (number == t.Track && !title.empty())
                cue += "    TITLE \"" + CueText(title) + "\"\n";
        if (!FDisc.Artist.empty()) cue += "    PERFORMER \"" + CueText(FDisc.Artist) + "\"\n";
        // Every later gap lies at the end of the previous file, as the rip reads from track
        // start to track start; only the first track's lead-in gap is not in any file.
        int pregap =
            FDisc.StartFrames[static_cast<std::size_t>(t.Track - FDisc.FirstTrack)] - LeadInFrames;
        if (FDisc.IsFirstAudioTrack(t.Track) && t.Track == FDisc.FirstTrack && pregap > 0)
            cue += "    PREGAP " + Msf(pregap) + "\n";
        cue += "    INDEX 01 00:00:00\n";
    }
    return cue;
}

fs::path TRipReport::WriteFiles(const fs::path& folder) const {
    std::string name = IsPlainFileName(FDisc.Album) ? FDisc.Album : "Rip";
    auto write = [](const fs::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("Cannot write to " + path.string());
    };
    fs::path log = folder / (name + ".log");
    write(log, LogText(LogDateNow()));
    // A cue sheet of no file would describe no disc.
    if (std::any_of(FTracks.begin(), FTracks.end(), [](const auto& t) { return t.Ripped; }))
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
