#include "CueSheet.h"

#include "CdRecords.h"

#include <cctype>
#include <strings.h>
#include <vector>

namespace fs = std::filesystem;

namespace bw {

namespace {

std::vector<std::string> CueWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos) end = line.size();
            words.emplace_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            std::size_t end = line.find_first_of(" \t", i);
            if (end == std::string_view::npos) end = line.size();
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

bool Is(const std::string& word, const char* keyword) {
    return strcasecmp(word.c_str(), keyword) == 0;
}

// Bytes per sector in a BINARY file and whether the track is audio, by track mode. Rippers of
// the audio that do not read the data track write "MODEx/2xxx" for it: a data track of
// unknown mode and sector size (0), which only a sheet of audio files can name.
bool TrackMode(const std::string& mode, std::uint32_t& sectorBytes, bool& audio) {
    static const struct {
        const char* Name;
        std::uint32_t Bytes;
        bool Audio;
    } modes[] = {
        {"AUDIO", 2352, true},       {"CDG", 2448, true},         {"MODE1/2048", 2048, false},
        {"MODE1/2352", 2352, false}, {"MODE2/2048", 2048, false}, {"MODE2/2324", 2324, false},
        {"MODE2/2336", 2336, false}, {"MODE2/2352", 2352, false}, {"CDI/2336", 2336, false},
        {"CDI/2352", 2352, false},   {"MODEx/2xxx", 0, false}};
    for (const auto& m : modes)
        if (Is(mode, m.Name)) {
            sectorBytes = m.Bytes;
            audio = m.Audio;
            return true;
        }
    return false;
}

class TCueParser {
public:
    TCueParser(const fs::path& folder, const TImageFileProbe& probe, const std::string& name)
        : FFolder(folder), FProbe(probe), FName(name) {}

    TImageLayout Parse(std::string_view text) {
        std::string decoded = DescriptionText(text);
        std::string_view rest = decoded;
        while (!rest.empty()) {
            std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            ++FLineNumber;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            FLine = line;
            Statement(CueWords(line));
        }
        FinishTrack();
        if (FHaveFile) FlushRest();
        EmitPostgap(FOwner);
        if (FFileless >= 0) LayOutFilelessTrack();
        FLayout.LeadOut = FDiscPos;
        FinishImageLayout(FLayout, FName);
        return std::move(FLayout);
    }

private:
    struct TTrackState {
        std::uint32_t SectorBytes = 2352;
        bool HasIndex00 = false, HasIndex01 = false;
        bool Fileless = false; // a data track whose sectors no file of the sheet holds
        std::int64_t Pregap = 0, Postgap = 0;
    };

    [[noreturn]] void Unreadable(const std::string& why = "cannot be read") {
        throw EDiscImage(FName + ", line " + std::to_string(FLineNumber) + " " + why + ": " +
                         std::string(FLine));
    }

    std::int64_t Time(const std::string& text) {
        std::int64_t sectors = ParseMsf(text);
        if (sectors < 0) Unreadable("has a time that is not mm:ss:ff");
        return sectors;
    }

    TImageTrack& Current() {
        if (FCurrent < 0) Unreadable("comes before any TRACK");
        return FLayout.Tracks[FCurrent];
    }

    std::uint32_t SectorBytesOf(int track) const {
        return FWave || track < 0 ? 2352 : FStates[track].SectorBytes;
    }

    void AddFileExtent(std::int64_t sectors, std::uint32_t sectorBytes, int track) {
        TImageExtent extent;
        extent.Start = FDiscPos;
        extent.Sectors = sectors;
        extent.Silence = false;
        extent.File = FFile;
        extent.Offset = FInfo.DataOffset + FByteCursor;
        extent.SectorBytes = sectorBytes;
        extent.DataEnd = FInfo.DataOffset + FInfo.DataBytes;
        extent.Swap = FMotorola && track >= 0 && FLayout.Tracks[track].Audio;
        extent.Decoded = FInfo.Decoded;
        FLayout.Extents.push_back(extent);
        FDiscPos += sectors;
        FFileCursor += sectors;
        FByteCursor += std::uint64_t(sectors) * sectorBytes;
    }

    void AddSilence(std::int64_t sectors) {
        if (sectors <= 0) return;
        TImageExtent extent;
        extent.Start = FDiscPos;
        extent.Sectors = sectors;
        FLayout.Extents.push_back(extent);
        FDiscPos += sectors;
    }

    // Lays out the current file's sectors up to `frame`, owned by `track`.
    void FlushTo(std::int64_t frame, int track) {
        if (frame < FFileCursor) Unreadable("goes back before the previous index");
        std::int64_t sectors = frame - FFileCursor;
        if (sectors == 0) return;
        std::uint32_t bytes = SectorBytesOf(track);
        std::uint64_t left = FInfo.DataBytes > FByteCursor ? FInfo.DataBytes - FByteCursor : 0;
        if (std::uint64_t(sectors) * bytes > left)
            Unreadable("lies past the end of " + FFile.filename().string());
        AddFileExtent(sectors, bytes, track);
    }

    // The rest of the current file belongs to the track that owns its last index; a last
    // sector that the file holds only in part still counts (reading it fails).
    void FlushRest() {
        int track = FOwner;
        std::uint32_t bytes = SectorBytesOf(track);
        std::uint64_t left = FInfo.DataBytes > FByteCursor ? FInfo.DataBytes - FByteCursor : 0;
        std::int64_t sectors = static_cast<std::int64_t>((left + bytes - 1) / bytes);
        if (sectors > 0 && track < 0) Unreadable("follows a file that no track uses");
        if (sectors > 0) AddFileExtent(sectors, bytes, track);
    }

    void EmitPostgap(int track) {
        if (track < 0) return;
        AddSilence(FStates[track].Postgap);
        FStates[track].Postgap = 0;
    }

    // The first track of a later session follows the previous session's lead-out, the new
    // session's lead-in and its pregap: sectors no file holds and no drive reads as audio.
    void AddSessionGap(const TImageTrack& track) {
        if (FOwner >= 0 && track.Session > FLayout.Tracks[FOwner].Session)
            AddSilence(CDSessionGapSectors);
    }

    // A data track of an enhanced CD that the sheet names without its data (rippers of the
    // audio write it after the last audio file): it starts a session after the gap. Its
    // length is unknown; it gets the shortest a track may have (4 seconds).
    void LayOutFilelessTrack() {
        TImageTrack& track = FLayout.Tracks[FFileless];
        if (FOwner < 0) throw EDiscImage(FName + ": no audio track comes before the data track.");
        if (track.Session <= FLayout.Tracks[FOwner].Session)
            track.Session = FLayout.Tracks[FOwner].Session + 1;
        AddSessionGap(track);
        track.Start = track.Index01 = FDiscPos;
        AddSilence(4 * 75);
    }

    void FinishTrack() {
        if (FCurrent >= 0 && FStates[FCurrent].Fileless) return;
        if (FCurrent >= 0 && !FStates[FCurrent].HasIndex01)
            throw EDiscImage(FName + ": track " + std::to_string(Current().Number) +
                             " has no INDEX 01.");
    }

    void Index(const std::vector<std::string>& words) {
        if (words.size() != 3) Unreadable();
        TImageTrack& track = Current();
        TTrackState& state = FStates[FCurrent];
        if (!FHaveFile) Unreadable("comes before any FILE");
        if (state.Fileless) return; // its times point into a file that holds audio only
        int number = -1;
        if (words[1].size() == 2 && std::isdigit(static_cast<unsigned char>(words[1][0])) &&
            std::isdigit(static_cast<unsigned char>(words[1][1])))
            number = std::stoi(words[1]);
        else if (words[1].size() == 1 && std::isdigit(static_cast<unsigned char>(words[1][0])))
            number = words[1][0] - '0';
        if (number < 0) Unreadable();
        std::int64_t frame = Time(words[2]);
        if (number == 0 && (state.HasIndex00 || state.HasIndex01)) Unreadable("is out of order");
        if (number == 1 && state.HasIndex01) Unreadable("repeats INDEX 01");
        if (number >= 2 && !state.HasIndex01) Unreadable("comes before INDEX 01");

        int previous = FOwner;
        std::int64_t ownedFrom = FDiscPos;
        FlushTo(frame, previous < 0 ? FCurrent : previous);
        if (previous != FCurrent) {
            EmitPostgap(previous);
            AddSessionGap(track);
            // Sectors of a file before the disc's first index are the first track's pregap.
            track.Start = previous < 0 ? ownedFrom : FDiscPos;
            FOwner = FCurrent;
        }
        if (number == 0) state.HasIndex00 = true;
        if (number == 1) {
            AddSilence(state.Pregap);
            state.Pregap = 0;
            track.Index01 = FDiscPos;
            state.HasIndex01 = true;
        }
    }

    void File(const std::vector<std::string>& words) {
        if (words.size() < 3) Unreadable();
        const std::string& type = words.back();
        // An audio file, whatever its format: the probe looks into it.
        bool wave = Is(type, "WAVE") || Is(type, "FLAC") || Is(type, "AIFF") || Is(type, "MP3");
        bool motorola = Is(type, "MOTOROLA"); // raw, big-endian samples
        if (!wave && !motorola && !Is(type, "BINARY"))
            Unreadable("names a file type other than BINARY, MOTOROLA, WAVE, FLAC, AIFF or MP3");
        if (FFileless >= 0) Unreadable("follows a data track that has no data file");
        if (FHaveFile) FlushRest();
        std::string fileName = words[1];
        for (std::size_t i = 2; i + 1 < words.size(); ++i) // an unquoted name with blanks
            fileName += " " + words[i];
        FFile = ImageFilePath(FFolder, fileName);
        FInfo = FProbe(FFile, wave);
        FWave = wave;
        FMotorola = motorola;
        FHaveFile = true;
        FFileCursor = 0;
        FByteCursor = 0;
    }

    void Track(const std::vector<std::string>& words) {
        if (words.size() != 3) Unreadable();
        FinishTrack();
        TImageTrack track;
        TTrackState state;
        const std::string& number = words[1];
        if (number.empty() || number.size() > 2 ||
            number.find_first_not_of("0123456789") != std::string::npos)
            Unreadable();
        track.Number = std::stoi(number);
        if (!TrackMode(words[2], state.SectorBytes, track.Audio)) Unreadable("has an unknown mode");
        if (FFileless >= 0) Unreadable("follows a data track that has no data file");
        track.Session = FSession;
        if (FWave && !track.Audio) {
            state.Fileless = true;
            FFileless = static_cast<int>(FLayout.Tracks.size());
        } else if (state.SectorBytes == 0) {
            Unreadable("names a data track without its sector size in a BINARY file");
        }
        FLayout.Tracks.push_back(track);
        FStates.push_back(state);
        FCurrent = static_cast<int>(FLayout.Tracks.size()) - 1;
    }

    static std::string Rest(const std::vector<std::string>& words) {
        std::string text;
        for (std::size_t i = 1; i < words.size(); ++i)
            text += (i > 1 ? " " : "") + words[i];
        return text;
    }

    void Statement(const std::vector<std::string>& words) {
        if (words.empty()) return;
        const std::string& command = words[0];
        if (Is(command, "FILE")) {
            File(words);
        } else if (Is(command, "TRACK")) {
            Track(words);
        } else if (Is(command, "INDEX")) {
            Index(words);
        } else if (Is(command, "PREGAP") || Is(command, "POSTGAP")) {
            if (words.size() != 2) Unreadable();
            Current();
            TTrackState& state = FStates[FCurrent];
            bool pre = Is(command, "PREGAP");
            if (pre && state.HasIndex01) Unreadable("comes after INDEX 01");
            (pre ? state.Pregap : state.Postgap) = Time(words[1]);
        } else if (Is(command, "TITLE") || Is(command, "PERFORMER")) {
            std::string value = Rest(words);
            bool title = Is(command, "TITLE");
            if (FCurrent < 0)
                (title ? FLayout.Title : FLayout.Performer) = value;
            else
                (title ? Current().Title : Current().Performer) = value;
        } else if (Is(command, "FLAGS")) {
            TImageTrack& track = Current();
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (Is(words[i], "DCP")) track.CopyPermitted = true;
                if (Is(words[i], "PRE")) track.PreEmphasis = true;
                if (Is(words[i], "4CH")) track.FourChannel = true;
            }
        } else if (Is(command, "ISRC")) {
            Current().Isrc = Rest(words);
        } else if (Is(command, "CATALOG")) {
            FLayout.Catalog = Rest(words);
        } else if (Is(command, "REM") && words.size() == 3 && Is(words[1], "SESSION")) {
            int session = 0;
            for (char c : words[2])
                session = c >= '0' && c <= '9' && session < 100 ? session * 10 + (c - '0') : 100;
            if (session < 1 || session > 99 || session < FSession) Unreadable("names no session");
            FSession = session;
        } else if (!(Is(command, "REM") || Is(command, "SONGWRITER") || Is(command, "CDTEXTFILE") ||
                     Is(command, "COMPOSER") || Is(command, "ARRANGER") || Is(command, "MESSAGE") ||
                     Is(command, "DISC_ID") || Is(command, "UPC_EAN") || Is(command, "GENRE"))) {
            Unreadable();
        }
    }

    fs::path FFolder;
    const TImageFileProbe& FProbe;
    std::string FName;
    TImageLayout FLayout;
    std::vector<TTrackState> FStates;
    int FLineNumber = 0;
    std::string_view FLine;

    bool FHaveFile = false, FWave = false, FMotorola = false;
    fs::path FFile;
    TImageFileInfo FInfo;
    std::int64_t FFileCursor = 0;  // sectors of the current file laid out so far
    std::uint64_t FByteCursor = 0; // their bytes
    std::int64_t FDiscPos = 0;     // sectors of the disc laid out so far
    int FCurrent = -1;             // the track of the latest TRACK line
    int FOwner = -1;               // the track that owns the sectors at the file cursor
    int FSession = 1;              // of the tracks that follow (REM SESSION)
    int FFileless = -1;            // the data track without data, when there is one
};

} // namespace

std::vector<TCueFileTrack> CueSheetFileTracks(std::string_view text) {
    std::vector<TCueFileTrack> files;
    const std::string decoded = DescriptionText(text);
    std::string_view rest = decoded;
    bool inFile = false, held = false;
    int track = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string> words = CueWords(line);
        if (words.size() < 2) continue;
        if (Is(words[0], "FILE") && words.size() >= 3) {
            std::string name = words[1];
            for (std::size_t i = 2; i + 1 < words.size(); ++i) // an unquoted name with blanks
                name += " " + words[i];
            files.push_back({name, -1}); // -1 until an INDEX 01 is seen
            inFile = true;
            held = false;
        } else if (Is(words[0], "TRACK")) {
            track = !words[1].empty() && words[1].size() <= 2 &&
                            words[1].find_first_not_of("0123456789") == std::string::npos
                        ? std::stoi(words[1])
                        : 0;
        } else if (Is(words[0], "INDEX") && inFile && track > 0 &&
                   (words[1] == "01" || words[1] == "1")) {
            files.back().Track = held ? 0 : track;
            held = true;
        }
    }
    std::erase_if(files, [](const TCueFileTrack& f) { return f.Track < 0; });
    return files;
}

TImageLayout ParseCueSheet(std::string_view text, const fs::path& folder,
                           const TImageFileProbe& probe, const std::string& name) {
    return TCueParser(folder, probe, name).Parse(text);
}

} // namespace bw
