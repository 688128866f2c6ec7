#include "CtdbCrc.h"

#include <algorithm>
#include <utility>
#include <zlib.h>

namespace bw {

TCtdbCrc::TCtdbCrc(const std::vector<std::int64_t>& boundaries, int window) {
    std::vector<std::int64_t> sorted = boundaries;
    std::sort(sorted.begin(), sorted.end());
    for (std::int64_t b : sorted) {
        std::int64_t first = std::max<std::int64_t>(0, b - window), last = b + window;
        if (!FWindows.empty() && first <= FWindows.back().Last + 1)
            FWindows.back().Last = std::max(FWindows.back().Last, last);
        else
            FWindows.push_back({first, last, {}, {}});
    }
    for (auto& w : FWindows) {
        w.Crc.assign(std::size_t(w.Last - w.First + 1), 0);
        w.Run.assign(w.Crc.size(), -1);
    }
}

TCtdbCrc::TWindow* TCtdbCrc::WindowAt(std::int64_t position) {
    return const_cast<TWindow*>(std::as_const(*this).WindowAt(position));
}

const TCtdbCrc::TWindow* TCtdbCrc::WindowAt(std::int64_t position) const {
    auto it = std::upper_bound(FWindows.begin(), FWindows.end(), position,
                               [](std::int64_t p, const TWindow& w) { return p < w.First; });
    if (it == FWindows.begin()) return nullptr;
    --it;
    return position <= it->Last ? &*it : nullptr;
}

void TCtdbCrc::Keep(std::int64_t position) {
    if (TWindow* w = WindowAt(position)) {
        w->Crc[std::size_t(position - w->First)] = FCrc;
        w->Run[std::size_t(position - w->First)] = FRunId;
    }
}

void TCtdbCrc::Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size) {
    if (at != FPosition) {
        ++FRunId;
        FCrc = 0;
        FPosition = at;
        // The first window that does not end before the new position.
        FNext = std::size_t(
            std::upper_bound(FWindows.begin(), FWindows.end(), at,
                             [](std::int64_t p, const TWindow& w) { return p <= w.Last; }) -
            FWindows.begin());
    }
    std::int64_t samples = std::int64_t(size / 4);
    const std::int64_t end = FPosition + samples;
    while (FPosition < end) {
        while (FNext < FWindows.size() && FWindows[FNext].Last < FPosition)
            ++FNext;
        if (FNext < FWindows.size() && FWindows[FNext].First <= FPosition) {
            // Inside a window: sample by sample, keeping the CRC before each.
            std::int64_t stop = std::min(end, FWindows[FNext].Last + 1);
            for (; FPosition < stop; ++FPosition, bytes += 4) {
                Keep(FPosition);
                FCrc = static_cast<std::uint32_t>(crc32_z(FCrc, bytes, 4));
            }
        } else {
            std::int64_t stop =
                FNext < FWindows.size() ? std::min(end, FWindows[FNext].First) : end;
            std::size_t n = std::size_t(stop - FPosition) * 4;
            FCrc = static_cast<std::uint32_t>(crc32_z(FCrc, bytes, n));
            bytes += n;
            FPosition = stop;
        }
    }
    Keep(FPosition);
}

std::optional<std::uint32_t> TCtdbCrc::RangeCrc(std::int64_t begin, std::int64_t end) const {
    const TWindow* a = WindowAt(begin);
    const TWindow* b = WindowAt(end);
    if (!a || !b || end < begin) return std::nullopt;
    std::size_t ia = std::size_t(begin - a->First), ib = std::size_t(end - b->First);
    if (a->Run[ia] < 0 || a->Run[ia] != b->Run[ib]) return std::nullopt;
    // crc(A + B) = shift(crc(A), |B|) ^ crc(B), and zlib's combine of crc(A) with 0 is
    // exactly that shift.
    return b->Crc[ib] ^ static_cast<std::uint32_t>(
                            crc32_combine(a->Crc[ia], 0, static_cast<z_off_t>((end - begin) * 4)));
}

} // namespace bw
