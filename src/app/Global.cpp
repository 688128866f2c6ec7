#include "Global.h"

#include "DriveOffsets.h"

#include <chrono>
#include <stdexcept>
#include <thread>
#include <variant>

#include "FileShare.h"
#include "Folders.h"
#include "IniFile.h"

namespace fs = std::filesystem;

namespace bw {

TAppSettings Settings;

const std::array<const char*, OutputFormatCount> OutputFormatLabels = {
    "MP3 file(*.MP3)",   "WAV file(*.WAV)", "OGG file(*.OGG)",   "WMA file(*.WMA)",
    "FLAC file(*.FLAC)", "APE FILE(*.APE)", "Opus file(*.OPUS)",
};

int ProxyPortOf(const std::string& text) {
    try {
        std::size_t used = 0;
        int value = std::stoi(text, &used);
        if (used == text.size()) return value;
    } catch (const std::exception&) {
        // not a number
    }
    return 80;
}

std::string TwoDigits(int n) {
    return (n <= 9 ? "0" : "") + std::to_string(n);
}

std::string AddTrailingBackslash(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + "/";
}

void WaitMilliseconds(int n) {
    if (n < 1) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(n));
}

std::string OutputFormatName(int format) {
    static const char* const names[] = {"MP3", "WAV", "OGG", "WMA", "FLAC", "APE", "OPUS"};
    if (format < 0 || format >= OutputFormatCount) return {};
    return names[format];
}

bool IsFileLocked(const std::string& path) {
    return bw::IsFileLocked(fs::path(path));
}

std::string GetAppDataFolder() {
    return AddTrailingBackslash(ConfigHome().string());
}

namespace {
fs::path& ProgramFolderOverride() {
    static fs::path folder;
    return folder;
}
} // namespace

fs::path ProgramFolder() {
    const fs::path& over = ProgramFolderOverride();
    return over.empty() ? ExecutableFolder() : over;
}

void SetProgramFolder(const fs::path& folder) {
    ProgramFolderOverride() = folder;
}

fs::path SettingsFolder() {
    fs::path folder = GetAppDataFolder() + "Vellamor/Brindlewave/";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) return ProgramFolder();
    return folder;
}

fs::path OptionsFilePath() {
    return SettingsFolder() / "options.ini";
}

namespace {
// A build tree or an unpacked copy keeps its data beside the program; an installed program
// never does.
bool ProgramFolderHoldsData(const fs::path& program) {
    return IsFolderWritable(program) && !IsInstalledProgramFolder(program);
}
} // namespace

fs::path DiscCacheFilePath() {
    fs::path program = ProgramFolder();
    return ProgramFolderHoldsData(program) ? program / "cd.dat" : SettingsFolder() / "cd.dat";
}

std::string DefaultOutputFolder() {
    fs::path program = ProgramFolder();
    if (ProgramFolderHoldsData(program)) return AddTrailingBackslash(program.string()) + "Output";
    return (UserMusicFolder() / "Brindlewave").string();
}

namespace {

using TField = std::variant<std::string TAppSettings::*, int TAppSettings::*, bool TAppSettings::*>;

struct TOptionKey {
    const char* Section;
    const char* Key;
    TField Field;
    int IntDefault;
    const char* TextDefault; // nullptr for the computed output folder
};

// Every key of "options.ini", in the order a save writes them.
const TOptionKey OptionKeys[] = {
    {"CommonOptions", "OutputFolder", &TAppSettings::OutputFolder, 0, nullptr},
    {"CommonOptions", "OutputFormat", &TAppSettings::OutputFormat, 0, ""},
    {"CommonOptions", "IsKeepWav", &TAppSettings::IsKeepWav, 0, ""},
    {"CommonOptions", "IsNormalize", &TAppSettings::IsNormalize, 0, ""},
    {"CommonOptions", "NormalizePercent", &TAppSettings::NormalizePercent, 95, ""},
    {"CommonOptions", "EnableRipTime", &TAppSettings::EnableRipTime, 0, ""},
    {"CommonOptions", "RipTime", &TAppSettings::RipTime, 0, ""},
    {"Mp3Options", "IsSelectVBR", &TAppSettings::IsSelectVBR, 0, ""},
    {"Mp3Options", "IsVBRHead", &TAppSettings::IsVBRHead, 0, ""},
    {"Mp3Options", "BitRate", &TAppSettings::Mp3BitRate, 128, ""},
    {"Mp3Options", "MaxBitRate", &TAppSettings::Mp3MaxBitRate, 320, ""},
    {"Mp3Options", "VBRQuality", &TAppSettings::VBRQuality, 4, ""},
    {"Mp3Options", "StereoMode", &TAppSettings::StereoMode, 1, ""},
    {"Mp3Options", "CPU", &TAppSettings::Mp3CPU, 3, ""},
    {"Mp3Options", "ConstantBitRate", &TAppSettings::ConstantBitRate, 5, ""},
    {"OggOptions", "IsUseCompress", &TAppSettings::IsUseCompress, 1, ""},
    {"OggOptions", "CompressPosition", &TAppSettings::CompressPosition, 30, ""},
    {"OggOptions", "MaxBitRate", &TAppSettings::OggMaxBitRate, 0, ""},
    {"OggOptions", "NomalBitRate", &TAppSettings::OggNomalBitRate, 0, ""},
    {"OggOptions", "MinBitRate", &TAppSettings::OggMinBitRate, 0, ""},
    {"WMAOptions", "CodecIndex", &TAppSettings::CodecIndex, 0, ""},
    {"WMAOptions", "FormatIndex", &TAppSettings::FormatIndex, 29, ""},
    {"WMAOptions", "VBR", &TAppSettings::WMAVBR, 0, ""},
    {"FLACOptions", "Compression", &TAppSettings::FLACCompression, 2, ""},
    {"APEOptions", "Compression", &TAppSettings::APECompression, 2000, ""},
    {"APEOptions", "CPU", &TAppSettings::APECPU, 3, ""},
    {"CDOptions", "Index", &TAppSettings::CDIndex, -1, ""},
    {"CDOptions", "CDDb", &TAppSettings::CDDb, 0, ""},
    {"QueryCDDB", "Server", &TAppSettings::CDDBServer, 0, "gnudb.gnudb.org"},
    {"QueryCDDB", "Script", &TAppSettings::CDDBScript, 0, "/~cddb/cddb.cgi"},
    {"QueryCDDB", "UseProxy", &TAppSettings::UseProxy, 0, ""},
    {"QueryCDDB", "ProxyAddress", &TAppSettings::ProxyAddress, 0, ""},
    {"QueryCDDB", "Port", &TAppSettings::Port, 0, "80"},
};
static_assert(std::size(OptionKeys) == OptionKeyCount);

// Keys the program adds, written after all of the above so that those keep their order.
const TOptionKey AddedOptionKeys[] = {
    {"MusicBrainz", "Server", &TAppSettings::MusicBrainzServer, 0, "https://musicbrainz.org"},
    {"AccurateRip", "Server", &TAppSettings::AccurateRipServer, 0, "www.accuraterip.com"},
    {"AccurateRip", "ReadOffset", &TAppSettings::ReadOffset, 0, ""},
    {"CTDB", "Server", &TAppSettings::CtdbServer, 0, "http://db.cuetools.net"},
    {"Rip", "WriteLog", &TAppSettings::WriteLog, 0, ""},
    {"Rip", "ReadMode", &TAppSettings::ReadMode, 0, ""},
    {"Rip", "MaxRereads", &TAppSettings::MaxRereads, 20, ""},
    {"Rip", "MaxRetries", &TAppSettings::MaxRetries, 5, ""},
    {"Rip", "FileNameTemplate", &TAppSettings::FileNameTemplate, 0, "%n"},
    {"Rip", "EjectWhenRipped", &TAppSettings::EjectWhenRipped, 0, ""},
    {"OpusOptions", "Bitrate", &TAppSettings::OpusBitrate, 128, ""},
    {"OpusOptions", "Mode", &TAppSettings::OpusMode, 0, ""},
    {"OpusOptions", "Complexity", &TAppSettings::OpusComplexity, 10, ""},
    {"Tags", "CoverArtServer", &TAppSettings::CoverArtServer, 0, "https://coverartarchive.org"},
    {"Tags", "EmbedCover", &TAppSettings::EmbedCover, 1, ""},
    {"Tags", "SaveCover", &TAppSettings::SaveCover, 1, ""},
    {"Tags", "ReplayGain", &TAppSettings::ReplayGain, 1, ""},
};

template <typename F>
void ForEachOptionKey(F&& f) {
    for (const auto& k : OptionKeys)
        f(k);
    for (const auto& k : AddedOptionKeys)
        f(k);
}

void ReadOptions(const TIniFile& ini, TAppSettings& s) {
    ForEachOptionKey([&](const TOptionKey& k) {
        if (auto text = std::get_if<std::string TAppSettings::*>(&k.Field)) {
            s.** text = ini.ReadString(k.Section, k.Key,
                                       k.TextDefault ? k.TextDefault : DefaultOutputFolder());
        } else if (auto number = std::get_if<int TAppSettings::*>(&k.Field)) {
            s.** number = ini.ReadInteger(k.Section, k.Key, k.IntDefault);
        } else {
            s.*std::get<bool TAppSettings::*>(k.Field) =
                ini.ReadBool(k.Section, k.Key, k.IntDefault != 0);
        }
    });
    ReadDriveOffsets(ini, s);
    if (s.CompressPosition < 30) s.CompressPosition = 30;
    if (s.CompressPosition > 100) s.CompressPosition = 100;
}

void WriteOptions(TIniFile& ini, const TAppSettings& s) {
    ForEachOptionKey([&](const TOptionKey& k) {
        if (auto text = std::get_if<std::string TAppSettings::*>(&k.Field)) {
            ini.WriteString(k.Section, k.Key, s.**text);
        } else if (auto number = std::get_if<int TAppSettings::*>(&k.Field)) {
            ini.WriteInteger(k.Section, k.Key, s.**number);
        } else {
            ini.WriteBool(k.Section, k.Key, s.*std::get<bool TAppSettings::*>(k.Field));
        }
    });
    WriteDriveOffsets(ini, s);
}

// The disc's genre when it is text of the user's own rather than an entry of the list.
constexpr const char* GenreTextKey = "CDGenreName";

std::string DefaultTrackTitle(int n) {
    return "Track" + TwoDigits(n);
}

} // namespace

std::string OptionsFileText(const std::string& existingText) {
    TIniFile ini = TIniFile::Parse(existingText);
    WriteOptions(ini, Settings);
    return ini.Text();
}

void LoadSaveOptions(bool IsLoad) {
    const fs::path path = OptionsFilePath();
    TIniFile ini = TIniFile::Load(path);
    if (IsLoad) {
        ReadOptions(ini, Settings);
    } else {
        WriteOptions(ini, Settings);
        ini.Save(path);
    }
}

bool IsDiscInfoKnown(const std::string& DiscKey) {
    if (DiscKey.empty()) return false;
    TIniFile ini = TIniFile::Load(DiscCacheFilePath());
    // Every save writes both.
    return ini.HasKey(DiscKey, "CDTrackNumber") || ini.HasKey(DiscKey, "CDArtist");
}

void LoadSaveDiscInfo(const std::string& DiscKey, bool IsLoad, const TDiscFields& fields,
                      int firstTrack) {
    if (DiscKey.empty()) return;
    const fs::path path = DiscCacheFilePath();
    TIniFile ini = TIniFile::Load(path);
    const std::string& key = DiscKey;
    if (IsLoad) {
        Settings.CDArtist = ini.ReadString(key, "CDArtist", "");
        Settings.CDAlbum = ini.ReadString(key, "CDAlbum", "");
        Settings.CDYear = ini.ReadString(key, "CDYear", "");
        Settings.CDComment = ini.ReadString(key, "CDComment", "");
        Settings.CDGenre = ini.ReadInteger(key, "CDGenre", -1);
        Settings.CDGenreText = ini.ReadString(key, GenreTextKey, "");
        Settings.TrackCount = ini.ReadInteger(key, "CDTrackNumber", MaxTracks);
        for (int n = 1; n <= Settings.TrackCount && n <= MaxTracks; ++n) {
            const std::string fallback = DefaultTrackTitle(firstTrack + n - 1);
            std::string title = ini.ReadString(key, std::to_string(n), fallback);
            Settings.TrackTitles[n] = title.empty() ? fallback : title;
        }
        Settings.CDRelease = ReadDiscRelease(ini, key);
        return;
    }
    ini.WriteString(key, "CDArtist", fields.Artist);
    ini.WriteString(key, "CDAlbum", fields.Album);
    ini.WriteString(key, "CDYear", fields.Year);
    ini.WriteInteger(key, "CDGenre", fields.GenreIndex);
    ini.WriteString(key, "CDComment", fields.Comment);
    ini.WriteInteger(key, "CDTrackNumber", Settings.TrackCount);
    for (int n = 1; n <= Settings.TrackCount && n <= MaxTracks; ++n)
        ini.WriteString(key, std::to_string(n), Settings.TrackTitles[n]);
    WriteDiscRelease(ini, key, Settings.CDRelease);
    // Readers that know only the list's index see no genre for a typed one.
    if (!fields.Genre.empty() || ini.HasKey(key, GenreTextKey))
        ini.WriteString(key, GenreTextKey, fields.Genre);
    ini.Save(path);
}

} // namespace bw
