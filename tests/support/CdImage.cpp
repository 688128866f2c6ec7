#include "CdImage.h"

#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bwtest {

std::vector<std::uint8_t> GeneratedAudio(int sectors, std::uint32_t seed) {
    std::vector<std::uint8_t> audio(static_cast<std::size_t>(sectors) * SectorBytes);
    // xorshift32: cheap, deterministic, and every sector of every seed differs.
    std::uint32_t state = seed * 2654435761u + 0x9e3779b9u;
    if (state == 0) state = 1;
    for (std::size_t i = 0; i < audio.size(); i += 4) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        audio[i] = static_cast<std::uint8_t>(state);
        audio[i + 1] = static_cast<std::uint8_t>(state >> 8);
        audio[i + 2] = static_cast<std::uint8_t>(state >> 16);
        audio[i + 3] = static_cast<std::uint8_t>(state >> 24);
    }
    return audio;
}

namespace {
std::string Msf(int sector) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / 4500, sector / 75 % 60,
                  sector % 75);
    return text;
}
} // namespace

CdImage CdImage::Write(const fs::path& folder, const std::string& name,
                       const std::vector<int>& trackSectors, std::uint32_t seed) {
    std::vector<std::vector<std::uint8_t>> audio;
    for (std::size_t i = 0; i < trackSectors.size(); ++i)
        audio.push_back(
            GeneratedAudio(trackSectors[i], seed * 1000 + static_cast<std::uint32_t>(i)));
    return WriteAudio(folder, name, audio);
}

CdImage CdImage::WriteAudio(const fs::path& folder, const std::string& name,
                            const std::vector<std::vector<std::uint8_t>>& trackAudio) {
    if (trackAudio.empty() || trackAudio.size() > 99) throw std::invalid_argument("1 to 99 tracks");
    CdImage image;
    image.FCuePath = folder / (name + ".cue");
    image.FBinPath = folder / (name + ".bin");
    image.FTracks = trackAudio;
    std::ofstream bin(image.FBinPath, std::ios::binary | std::ios::trunc);
    std::string cue = "FILE \"" + name + ".bin\" BINARY\n";
    int sector = 0;
    for (std::size_t i = 0; i < trackAudio.size(); ++i) {
        const auto& audio = trackAudio[i];
        if (audio.empty() || audio.size() % SectorBytes != 0)
            throw std::invalid_argument("track audio must be whole sectors");
        char track[64];
        std::snprintf(track, sizeof track, "  TRACK %02d AUDIO\n", static_cast<int>(i + 1));
        cue += track;
        cue += "    INDEX 01 " + Msf(sector) + "\n";
        bin.write(reinterpret_cast<const char*>(audio.data()),
                  static_cast<std::streamsize>(audio.size()));
        sector += static_cast<int>(audio.size() / SectorBytes);
    }
    bin.close();
    if (!bin) throw std::runtime_error("cannot write " + image.FBinPath.string());
    WriteFileText(image.FCuePath, cue);
    return image;
}

int CdImage::TrackSectors(int track) const {
    return static_cast<int>(TrackBytes(track).size() / SectorBytes);
}

int CdImage::TrackStartSector(int track) const {
    int start = 0;
    for (int t = 1; t < track; ++t)
        start += TrackSectors(t);
    return start;
}

int CdImage::TotalSectors() const {
    return TrackStartSector(TrackCount() + 1);
}

void CdImage::TruncateBin(int sectors) const {
    fs::resize_file(FBinPath, static_cast<std::uintmax_t>(sectors) * SectorBytes);
}

ImageDrives::ImageDrives(const std::string& list) {
    if (const char* old = std::getenv("BRINDLEWAVE_CD_IMAGES")) {
        FOld = old;
        FHadOld = true;
    }
    setenv("BRINDLEWAVE_CD_IMAGES", list.c_str(), 1);
}

ImageDrives::~ImageDrives() {
    if (FHadOld)
        setenv("BRINDLEWAVE_CD_IMAGES", FOld.c_str(), 1);
    else
        unsetenv("BRINDLEWAVE_CD_IMAGES");
}

} // namespace bwtest
