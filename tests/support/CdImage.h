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
    // the NER5 footer) and returns its path.
    std::filesystem::path WriteNrg(const std::filesystem::path& path) const;

private:
    std::filesystem::path FCuePath, FBinPath;
    std::vector<std::vector<std::uint8_t>> FTracks;
};

// Names image files as the CD drives of BRINDLEWAVE_CD_IMAGES for the life of the object
// (':'-separated), restoring the variable afterwards.
class ImageDrives {
public:
    explicit ImageDrives(const std::string& list);
    explicit ImageDrives(const CdImage& image) : ImageDrives(image.CuePath().string()) {}
    ~ImageDrives();
    ImageDrives(const ImageDrives&) = delete;
    ImageDrives& operator=(const ImageDrives&) = delete;

private:
    std::string FOld;
    bool FHadOld = false;
};

} // namespace bwtest
