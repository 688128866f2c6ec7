#include "CddbDiscId.h"

#include <stdexcept>

namespace bw {

namespace {
int DigitSum(int n) {
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}
} // namespace

std::uint32_t CddbDiscId(const std::vector<int>& startFrames) {
    if (startFrames.size() < 2)
        throw std::invalid_argument("a disc id needs a track and the lead-out");
    const std::size_t tracks = startFrames.size() - 1;
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < tracks; ++i)
        checksum += DigitSum(startFrames[i] / 75);
    std::uint32_t seconds =
        static_cast<std::uint32_t>(startFrames.back() / 75 - startFrames.front() / 75);
    return ((checksum % 0xff) << 24) | ((seconds & 0xffff) << 8) |
           static_cast<std::uint32_t>(tracks & 0xff);
}

} // namespace bw
