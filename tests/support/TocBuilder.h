// A table of contents as the drive library reports it, for tests of what reads one.
#pragma once

#include "akrip32.h"

#include <cstdint>
#include <vector>

namespace bwtest {

// Tracks from 1 starting at frames (the lead-out last); data marks the data tracks and
// sessions gives each entry's session, both left false or 0 for the entries they omit.
inline bw::TTOC MakeToc(const std::vector<int>& frames, const std::vector<bool>& data = {},
                        const std::vector<int>& sessions = {}) {
    bw::TTOC toc{};
    toc.FirstTrack = 1;
    toc.LastTrack = static_cast<std::uint8_t>(frames.size() - 1);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        bw::TTOCTrack& entry = toc.Tracks[i];
        entry.AdrControl = static_cast<std::uint8_t>(0x10 | (i < data.size() && data[i] ? 4 : 0));
        entry.Session = static_cast<std::uint8_t>(i < sessions.size() ? sessions[i] : 0);
        entry.Address[1] = static_cast<std::uint8_t>(frames[i] / 4500);
        entry.Address[2] = static_cast<std::uint8_t>(frames[i] / 75 % 60);
        entry.Address[3] = static_cast<std::uint8_t>(frames[i] % 75);
    }
    return toc;
}

} // namespace bwtest
