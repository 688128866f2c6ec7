#include "CdImage.h"

#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string Msf(int sector) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / 4500, sector / 75 % 60,
                  sector % 75);
    return text;
}

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

void CdImage::NumberFrom(int first) const {
    std::string cue = ReadFileText(FCuePath);
    for (int i = TrackCount(); i >= 1; --i) {
        char from[32], to[32];
        std::snprintf(from, sizeof from, "TRACK %02d AUDIO", i);
        std::snprintf(to, sizeof to, "TRACK %02d AUDIO", i + first - 1);
        cue.replace(cue.find(from), std::strlen(from), to);
    }
    WriteFileText(FCuePath, cue);
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

namespace {
void PutBe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}
void PutCuexEntry(std::string& out, int track, int index, std::int32_t lba) {
    out += '\x01'; // ADR 1, audio
    out += static_cast<char>(track == 0xAA ? 0xAA : (track / 10) << 4 | track % 10);
    out += static_cast<char>(index);
    out += '\0';
    PutBe(out, static_cast<std::uint32_t>(lba), 4);
}
void PutChunk(std::string& out, const char* id, const std::string& payload) {
    out += id;
    PutBe(out, payload.size(), 4);
    out += payload;
}
} // namespace

fs::path CdImage::WriteNrg(const fs::path& path, const std::vector<std::uint8_t>& pregap) const {
    const std::uint64_t pregapBytes = 150ull * SectorBytes;
    const auto hidden = static_cast<std::int32_t>(pregap.size() / SectorBytes);
    std::string cuex, daox;
    PutCuexEntry(cuex, 0, 0, -150);
    PutBe(daox, 0, 4);     // the chunk's size again, filled in below
    daox.append(14, '\0'); // catalogue number and padding
    PutBe(daox, 0, 2);     // TOC type
    daox += static_cast<char>(1);
    daox += static_cast<char>(TrackCount());
    std::vector<std::uint8_t> data(pregapBytes, 0);
    data.insert(data.end(), pregap.begin(), pregap.end());
    for (int t = 1; t <= TrackCount(); ++t) {
        const std::int32_t start = hidden + TrackStartSector(t);
        PutCuexEntry(cuex, t, 0, t == 1 ? (hidden ? 0 : start - 150) : start);
        PutCuexEntry(cuex, t, 1, start);
        const std::uint64_t offset = data.size();
        data.insert(data.end(), TrackBytes(t).begin(), TrackBytes(t).end());
        daox.append(12, '\0'); // ISRC
        PutBe(daox, SectorBytes, 2);
        PutBe(daox, 0x0700, 2); // audio
        PutBe(daox, 1, 2);
        PutBe(daox, t == 1 ? (hidden ? pregapBytes : 0) : offset, 8);
        PutBe(daox, offset, 8);
        PutBe(daox, data.size(), 8);
    }
    PutCuexEntry(cuex, 0xAA, 1, hidden + TotalSectors());
    std::string size;
    PutBe(size, daox.size(), 4);
    daox.replace(0, 4, size);
    std::string sinf;
    PutBe(sinf, 1, 4);
    std::string tail;
    PutChunk(tail, "CUEX", cuex);
    PutChunk(tail, "DAOX", daox);
    PutChunk(tail, "SINF", sinf);
    PutChunk(tail, "END!", "");
    tail += "NER5";
    PutBe(tail, data.size(), 8);
    data.insert(data.end(), tail.begin(), tail.end());
    WriteFileBytes(path, data);
    return path;
}

ScopedVariable::ScopedVariable(std::string name, const std::string& value)
    : FName(std::move(name)) {
    if (const char* old = std::getenv(FName.c_str())) {
        FOld = old;
        FHadOld = true;
    }
    setenv(FName.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
    if (FHadOld)
        setenv(FName.c_str(), FOld.c_str(), 1);
    else
        unsetenv(FName.c_str());
}

} // namespace bwtest
