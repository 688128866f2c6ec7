// AccurateRip database files as the server sends them, built for tests.
#pragma once

#include "AccurateRip.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bwtest {

// One submission: the disc's 13-byte header, then per track its confidence, its checksum
// and an offset-finding checksum (here always 0), all little-endian.
inline std::string DbarBytes(const bw::TAccurateRipDiscId& disc,
                             const std::vector<std::pair<int, std::uint32_t>>& tracks) {
    std::string bytes;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    bytes += static_cast<char>(tracks.size());
    put32(disc.Id1);
    put32(disc.Id2);
    put32(disc.CddbId);
    for (const auto& [confidence, crc] : tracks) {
        bytes += static_cast<char>(confidence);
        put32(crc);
        put32(0);
    }
    return bytes;
}

} // namespace bwtest
