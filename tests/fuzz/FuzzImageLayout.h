// Shared by the disc description fuzz targets: data files of sizes derived from their names
// (no file system), and the invariants every accepted layout keeps.
#pragma once

#include "DiscImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace bwfuzz {

inline bw::TImageFileInfo FakeProbe(const std::filesystem::path& path, bool wave) {
    std::string name = path.filename().string();
    if (name.empty() || name[0] == 'x') throw bw::EDiscImage("Data file not found: " + name);
    std::uint64_t size = 0;
    for (char c : name)
        size = size * 31 + static_cast<unsigned char>(c);
    return {wave ? 44u : 0u, size % (2352u * 20000u)};
}

inline void CheckLayout(const bw::TImageLayout& layout) {
    if (layout.Tracks.empty() || layout.Tracks.size() > 99) std::abort();
    std::int64_t previous = -1;
    for (const auto& track : layout.Tracks) {
        if (track.Start > track.Index01 || track.Index01 <= previous) std::abort();
        previous = track.Index01;
    }
    if (layout.LeadOut <= previous) std::abort();
    std::int64_t next = 0;
    for (const auto& extent : layout.Extents) {
        if (extent.Start != next || extent.Sectors <= 0) std::abort();
        next += extent.Sectors;
    }
    if (next != layout.LeadOut) std::abort();
}

} // namespace bwfuzz
