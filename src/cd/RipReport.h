// What a rip tells the user afterwards: each track's checksums and AccurateRip verdict, the
// summary line, and the rip log and cue sheet written beside the ripped files.
#pragma once

#include "AccurateRipLookup.h"
#include "CdRecords.h"
#include "SecureRead.h"
#include "TrackChecksums.h"

#include "Messages.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace bw {

// The disc as the report needs it, from the drive's TOC (read with MSF addresses).
struct TRipDisc {
    int FirstTrack = 1;
    std::vector<int> StartFrames;  // every track, then the lead-out
    std::vector<int> EndFrames;    // every track's end (a data session's gap left out)
    std::vector<bool> IsAudio;     // every track
    std::vector<bool> PreEmphasis; // every track
    std::string Catalog;           // the disc's MCN, when it has one
    std::vector<std::string> Isrc; // every track's, empty where it has none
    std::vector<int> Sessions;     // every track's, from 1 (0 when the drive does not say)
    int HiddenSectors = 0;         // hidden track one audio before the first track (track 0)
    std::string DriveName;
    int ReadOffset = 0;
    std::string Artist, Album;

    static TRipDisc FromTOC(const TTOC& toc);
    // The same with the drive's name and read offset and the disc fields of Settings.
    // With the handle, also the disc's catalogue number and ISRCs, and its hidden track.
    static TRipDisc ForDrive(const TTOC& toc, const TCDEntry& drive, int handle = 0);
    int TrackCount() const { return static_cast<int>(IsAudio.size()); }
    bool HasTrack(int track) const;
    bool IsAudioTrack(int track) const;
    bool IsFirstAudioTrack(int track) const;
    bool IsLastAudioTrack(int track) const;
    // Sectors of a track of the disc; of the hidden track for track 0.
    int TrackSectors(int track) const;
};

// The name a drive's own read offset is stored under: its vendor and model.
std::string DriveOffsetNameOf(const TCDEntry& entry);

// The read offset a rip of this drive uses: the drive's own when one is stored, else the
// general setting for a real drive and 0 for a CD image, which holds the disc's samples
// exactly where they belong.
int ReadOffsetOfDrive(const TCDEntry& entry);

struct TRipTrackReport {
    int Track = 0;
    std::filesystem::path File; // the file the user keeps (encoded, or the WAV)
    bool Ripped = false;
    std::string Error; // why not, when not ripped or not checksummed
    TTrackChecksums Sums;
    TAccurateRipResult Result;
    bool HasReadStats = false;
    TTrackReadStats Read; // how the drive read it
};

class TRipReport {
public:
    explicit TRipReport(TRipDisc disc);

    // Whether tracks get a CRC32 as well (for the log; on by default).
    void SetWithCrc32(bool on) { FWithCrc32 = on; }
    // A track whose WAV file is complete: checksums it (before it is encoded or deleted).
    void AddRippedTrack(int track, const std::filesystem::path& wav);
    void AddFailedTrack(int track, const std::string& error);
    // How the track was read: peak, speed, CRCs, re-reads and suspicious positions.
    void SetReadStats(int track, const TTrackReadStats& stats);
    // The file the track finally became, when not the WAV (the cue sheet names it).
    void SetProducedFile(int track, const std::filesystem::path& file);
    // The track's title, for the cue sheet.
    void SetTrackTitle(int track, const std::string& title);
    // The track's own artist, its PERFORMER in the cue sheet (empty: the disc's).
    void SetTrackPerformer(int track, const std::string& performer);

    // Looks the disc up on the server and gives every checksummed track its verdict. With
    // normalization on, the samples are not the disc's, so nothing is checked.
    void Verify(const std::string& server, const THttpRequest& options, bool normalized,
                const std::atomic<bool>* cancel = nullptr);

    const TRipDisc& Disc() const { return FDisc; }
    const std::vector<TRipTrackReport>& Tracks() const { return FTracks; }
    const TAccurateRipDiscId& DiscId() const { return FId; }
    int AccurateCount() const;
    bool AnyNotAccurate() const;
    // "AccurateRip: N of M tracks accurate".
    std::string StatusText() const;

    // The rip log: program, date, drive and offset, the TOC, and per track its file, CRC32,
    // AccurateRip checksums and verdict.
    std::string LogText(const std::string& date) const;
    // A cue sheet of the ripped tracks, each file starting at its track's index 1, the
    // disc's pregap before the first track kept (as the hidden track's file holding the first
    // track's index 0 when both were ripped), with the disc's and each track's title and
    // performer (the disc's artist). A disc with a later session (an enhanced CD) gets
    // REM SESSION lines and its data track without a file, where that session starts.
    std::string CueSheetText() const;
    // Writes "<name>.log" and "<name>.cue" into the folder, the name from the album when it
    // is a plain file name, else "Rip"; no cue sheet when no track was ripped. A file of that
    // name that exists is replaced only when mayReplace says so. Returns the log's path;
    // throws std::runtime_error ("Cannot write to <file>", "<file> exists already") when a
    // file cannot be written.
    std::filesystem::path
    WriteFiles(const std::filesystem::path& folder,
               const std::function<bool(const std::filesystem::path&)>& mayReplace) const;

private:
    TRipTrackReport& Entry(int track);

    TRipDisc FDisc;
    TAccurateRipDiscId FId;
    std::vector<TRipTrackReport> FTracks;
    std::vector<std::pair<int, std::string>> FTitles;
    std::map<int, std::string> FPerformers;
    bool FWithCrc32 = true;
};

// Posted by TAccurateRipCheck when every track has its verdict.
constexpr int WM_ACCURATERIPDONE = 2128;

// Runs TRipReport::Verify on a thread of its own, so that a window stays usable while the
// database answers, and posts WM_ACCURATERIPDONE to the target when it is done. The report
// belongs to the check until then. Destroying the check stops the lookup and waits for it.
class TAccurateRipCheck {
public:
    TAccurateRipCheck(TRipReport& report, std::string server, THttpRequest options, bool normalized,
                      TMessageTarget& target);
    ~TAccurateRipCheck();
    TAccurateRipCheck(const TAccurateRipCheck&) = delete;
    TAccurateRipCheck& operator=(const TAccurateRipCheck&) = delete;

private:
    std::atomic<bool> FCancel{false};
    std::thread FThread;
};

// The AccurateRip server: BRINDLEWAVE_ACCURATERIP_SERVER when set (tests point it at
// 127.0.0.1), else the settings'.
std::string AccurateRipServer();

// How AccurateRip is reached: the settings' proxy, the program as user agent.
THttpRequest AccurateRipHttpOptions();

// The local date and time as "2026-12-07 10:55:33".
std::string LogDateNow();

} // namespace bw
