// The program's settings record, its two files ("options.ini" and the per-disc title cache
// "cd.dat") and the small routines every part shares.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <string>

#include "DiscRelease.h"

namespace bw {

constexpr int MaxTracks = 100;
constexpr int OptionKeyCount = 33;

// All options, the current disc's fields and the CDDB server settings. Read by workers while
// a modal job window is up; written only on the main thread while no job runs.
struct TAppSettings {
    std::string OutputFolder;
    int OutputFormat = 0;
    bool IsKeepWav = false;
    bool IsNormalize = false;
    int NormalizePercent = 0;
    bool EnableRipTime = false;
    int RipTime = 0;
    bool IsSelectVBR = false;
    bool IsVBRHead = false;
    int Mp3BitRate = 0;
    int Mp3MaxBitRate = 0;
    int VBRQuality = 0;
    int StereoMode = 0;
    int Mp3CPU = 0;
    int ConstantBitRate = 0;
    bool IsUseCompress = false;
    int CompressPosition = 0;
    int OggMaxBitRate = 0;
    int OggNomalBitRate = 0;
    int OggMinBitRate = 0;
    int CodecIndex = 0;
    int FormatIndex = 0;
    bool WMAVBR = false;
    int FLACCompression = 0;
    int APECompression = 0;
    int APECPU = 0;
    int CDIndex = 0;
    bool CDDb = false;
    std::string CDArtist;
    std::string CDAlbum;
    std::string CDYear;
    int CDGenre = 0;
    std::string CDGenreText; // a genre typed that the genre list does not hold
    std::string CDComment;
    int TrackCount = 0;
    std::array<std::string, MaxTracks + 1> TrackTitles; // indexed 1..100; [0] unused
    // The current disc's release beyond the fields above: track artists, album artist, disc
    // number and set size, label, codes and ids. Kept with the disc in "cd.dat".
    TDiscRelease CDRelease;
    std::string CDDBServer;
    std::string CDDBScript;
    bool UseProxy = false;
    std::string ProxyAddress;
    std::string Port;
    // Settings of our own, in sections after those above.
    std::string MusicBrainzServer; // scheme and host of the MusicBrainz web service
    // Where ripped tracks are checked, and the drive's read offset in samples.
    std::string AccurateRipServer;
    // The CUETools database, which verifies rips and mends them ("http://host").
    std::string CtdbServer;
    int ReadOffset = 0; // of drives that have none of their own below
    // Each drive's own read offset by DriveOffsetName ("vendor model").
    std::map<std::string, int> DriveReadOffsets;
    // A rip log and cue sheet beside the ripped files.
    bool WriteLog = false;
    // The Opus encoder: kbit/s (6..512), 0 VBR / 1 constrained VBR / 2 CBR, complexity 0..10.
    int OpusBitrate = 128;
    int OpusMode = 0;
    int OpusComplexity = 10;
    // 0 reads each sector once; 1 reads securely (test and copy, re-reads until two agree).
    int ReadMode = 0;
    int MaxRereads = 20; // reads of one sector in secure mode looking for two that agree
    int MaxRetries = 5;  // further tries of a read that failed, in secure mode
    // The names of ripped files within the output folder ("%n": the title).
    std::string FileNameTemplate;
    // The tray opens once a rip has finished and its files are closed.
    bool EjectWhenRipped = false;
    // Tags beyond the disc fields: the front cover and ReplayGain.
    std::string CoverArtServer;
    bool EmbedCover = true;
    bool SaveCover = true;
    bool ReplayGain = true;
};

extern TAppSettings Settings;

// The disc fields as the main window shows them; saved into "cd.dat".
struct TDiscFields {
    std::string Artist;
    std::string Album;
    std::string Year;
    int GenreIndex = -1; // index in the genre list; -1 none
    std::string Comment;
    std::string Genre; // a genre typed that the list does not hold (GenreIndex is then -1)
};

// The proxy port of the settings' Port text: its decimal value, 80 when it is not a number.
int ProxyPortOf(const std::string& text);

// "0%d" for n up to 9, else "%d".
std::string TwoDigits(int n);
// Appends "/" unless the text is empty or already ends in one.
std::string AddTrailingBackslash(const std::string& folder);
// Returns after n milliseconds; at once when n < 1.
void WaitMilliseconds(int n);
// The output formats; their index is what the settings store.
constexpr int OutputFormatCount = 7;
// "MP3", "WAV", "OGG", "WMA", "FLAC", "APE", "OPUS" for formats 0..6; empty otherwise.
std::string OutputFormatName(int format);
// The labels of the output formats, in format order.
extern const std::array<const char*, OutputFormatCount> OutputFormatLabels;
bool IsFileLocked(const std::string& path);

// The user's configuration folder ($XDG_CONFIG_HOME or ~/.config) with a trailing "/".
std::string GetAppDataFolder();

// The folder the program counts as its own: the executable's folder (tests may point it
// elsewhere). "cd.dat" and the default output folder live there when it is writable.
std::filesystem::path ProgramFolder();
void SetProgramFolder(const std::filesystem::path& folder);

// GetAppDataFolder() + "Vellamor/Brindlewave/", created when missing; the program folder
// when it cannot be created.
std::filesystem::path SettingsFolder();
std::filesystem::path OptionsFilePath();
std::filesystem::path DiscCacheFilePath();
std::string DefaultOutputFolder();

// Loads every option from "options.ini" (IsLoad) or writes every option to it. A failing
// save raises EIniWriteError ("Unable to write to <file>") and leaves the old file whole.
void LoadSaveOptions(bool IsLoad);
// The text a save of the current settings writes into the given profile text.
std::string OptionsFileText(const std::string& existingText = {});

// Loads the disc's section of "cd.dat" into Settings, or saves the given fields with
// Settings.TrackCount, TrackTitles and CDRelease under it. Nothing happens for an empty key. Key n
// and TrackTitles[n] are the disc's n-th track; a missing title defaults to "Track" and the number
// the disc gives that track (its first being firstTrack).
void LoadSaveDiscInfo(const std::string& DiscKey, bool IsLoad, const TDiscFields& fields = {},
                      int firstTrack = 1);
// True when "cd.dat" has an entry for the disc.
bool IsDiscInfoKnown(const std::string& DiscKey);

} // namespace bw
