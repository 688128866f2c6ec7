// The APE frame encoder on arbitrary PCM: the first byte picks the format and level, the rest
// is the frame. Every instruction-set build must give the same bytes, and none may overrun
// the range coder's buffer (AddressSanitizer watches).
#include "ApeFrame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bw::mac;
    if (size < 1) return 0;
    const int bits = 8 * (1 + data[0] % 3);
    const int channels = 1 + (data[0] >> 2) % 2;
    const int level = 1000 * (1 + (data[0] >> 3) % 4);
    ++data, --size;
    const std::size_t align = std::size_t(channels) * bits / 8;
    const auto blocks = static_cast<std::uint32_t>(size / align);
    std::vector<std::uint8_t> reference;
    TApeFrameEncoder(level, bits, channels, TSimd::Scalar).Encode(data, blocks, reference);
    for (TSimd simd : {TSimd::Sse2, TSimd::Avx2}) {
        std::vector<std::uint8_t> out;
        TApeFrameEncoder(level, bits, channels, simd).Encode(data, blocks, out);
        if (out != reference) std::abort();
    }
    return 0;
}
