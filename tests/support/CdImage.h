// Writes CUE/BIN disc images with known audio, for tests that rip through image drives.
// Every track's audio is either given or generated (distinct pseudo-random samples per
// track and sector, so a misplaced or repeated sector shows), and the expected bytes of
// each track can be asked for afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bwtest {

constexpr int SectorBytes = 2352;

// A sector count as a cue sheet writes it, "mm:ss:ff".
std::string Msf(int sector);

// Deterministic audio of the given number of sectors; seed selects the content.
std::vector<std::uint8_t> GeneratedAudio(int sectors, std::uint32_t seed);

class CdImage {
public:
    // Writes <folder>/<name>.cue and <name>.bin with one audio track per entry of
    // trackSectors (lengths in sectors, each at least 1), content generated from seed.
    static CdImage Write(const std::filesystem::path& folder, const std::string& name,
                         const std::vector<int>& trackSectors, std::uint32_t seed = 1);
    // The same with the audio of each track given (each a whole number of sectors).
    static CdImage WriteAudio(const std::filesystem::path& folder, const std::string& name,
                              const std::vector<std::vector<std::uint8_t>>& trackAudio);

    // Rewrites the cue sheet with its tracks numbered from `first` ("TRACK 02 AUDIO", ...), as
    // images of discs whose first track is not 1 have them. TrackBytes still counts from 1.
    void NumberFrom(int first) const;

    const std::filesystem::path& CuePath() const { return FCuePath; }
    const std::filesystem::path& BinPath() const { return FBinPath; }
    int TrackCount() const { return static_cast<int>(FTracks.size()); }
    // Tracks are numbered from 1, as on the disc.
    const std::vector<std::uint8_t>& TrackBytes(int track) const { return FTracks.at(track - 1); }
    int TrackSectors(int track) const;
    // First sector of the track counted from the start of the disc's audio (track 1 = 0).
    int TrackStartSector(int track) const;
    int TotalSectors() const;

    // Writes the same disc as a Nero NRG image (version 5.5 layout: a silent 150-sector
    // pregap before track 1, then the audio, then the CUEX, DAOX, SINF and END! chunks and
    // the NER5 footer) and returns its path. `pregap` (whole sectors) is audio before track 1
    // (its index 0 at the disc's first sector): a hidden track.
    std::filesystem::path WriteNrg(const std::filesystem::path& path,
                                   const std::vector<std::uint8_t>& pregap = {}) const;

private:
    std::filesystem::path FCuePath, FBinPath;
    std::vector<std::vector<std::uint8_t>> FTracks;
};

// Sets an environment variable for the life of the object, restoring it afterwards.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string FName, FOld;
    bool FHadOld = false;
};

// Names image files as the CD drives of BRINDLEWAVE_CD_IMAGES (':'-separated).
class ImageDrives : public ScopedVariable {
public:
    explicit ImageDrives(const std::string& list) : ScopedVariable("BRINDLEWAVE_CD_IMAGES", list) {}
    explicit ImageDrives(const CdImage& image) : ImageDrives(image.CuePath().string()) {}
};

// Gives the image drives opened meanwhile the faults of BRINDLEWAVE_CD_FAULTS.
class FaultyDrives : public ScopedVariable {
public:
    explicit FaultyDrives(const std::string& faults)
        : ScopedVariable("BRINDLEWAVE_CD_FAULTS", faults) {}
};

} // namespace bwtest
