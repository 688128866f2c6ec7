// The CUETools database's CRCs (zlib's CRC-32 over the sample bytes) of any range of a disc
// whose ends lie near given boundaries, at any read offset up to a window's width, from one
// pass over the audio as it streams by: the running CRC is kept at every sample near a
// boundary, and the CRC of a range follows from those at its ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace bw {

class TCtdbCrc {
public:
    // Boundaries in samples from the disc's start; ranges may end up to window samples away.
    TCtdbCrc(const std::vector<std::int64_t>& boundaries, int window);

    // Bytes of 16-bit stereo samples (a whole number of them), the first one at sample
    // position at. Audio that does not follow where the last ended starts a new run: a range
    // across the gap has no CRC.
    void Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size);

    // The CRC of [begin, end), when both ends were near a boundary and read in one run.
    std::optional<std::uint32_t> RangeCrc(std::int64_t begin, std::int64_t end) const;

private:
    struct TWindow {
        std::int64_t First = 0, Last = 0; // positions whose running CRC is kept
        std::vector<std::uint32_t> Crc;
        std::vector<int> Run; // -1 where not seen
    };
    TWindow* WindowAt(std::int64_t position);
    const TWindow* WindowAt(std::int64_t position) const;
    void Keep(std::int64_t position);

    std::vector<TWindow> FWindows;
    std::size_t FNext = 0; // the window at or after the current position
    std::int64_t FPosition = -1;
    int FRunId = -1;
    std::uint32_t FCrc = 0;
};

} // namespace bw
