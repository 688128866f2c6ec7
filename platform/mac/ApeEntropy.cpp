#include "ApeEntropy.h"

namespace bw::mac {

namespace {

// Cumulative frequencies of quotients 0..20 (and the end of 20).
constexpr std::uint32_t Cumulative[22] = {0,     19578, 36160, 48417, 56323, 60899, 63265, 64435,
                                          64971, 65232, 65351, 65416, 65447, 65466, 65476, 65482,
                                          65485, 65488, 65490, 65491, 65492, 65493};

} // namespace

void TRangeEncoder::Flush() {
    Normalize();
    const std::uint32_t t = (FLow >> 23) + 1;
    if (t > 0xFF) {
        *FOut++ = static_cast<std::uint8_t>(FHeld + 1);
        PutRun(0x00, FPendingFF);
    } else {
        *FOut++ = FHeld;
        PutRun(0xFF, FPendingFF);
    }
    FPendingFF = 0;
    *FOut++ = static_cast<std::uint8_t>(t);
    PutRun(0x00, 3);
}

void TValueCoder::Encode(TRangeEncoder& rc, std::int32_t value) {
    const std::uint32_t v = static_cast<std::uint32_t>(value);
    const std::uint32_t x = value > 0 ? 2 * v - 1 : 0u - 2 * v;
    std::uint32_t pivot = FSum >> 5;
    if (pivot == 0) pivot = 1;
    // One 64-bit division, off the coder's critical path, serves both divisions by pivot.
    const std::uint64_t reciprocal = pivot > 1 ? ~std::uint64_t(0) / pivot + 1 : 0;
    const std::uint32_t q = pivot > 1 ? TRangeEncoder::DivideBy(x, reciprocal) : x;
    const std::uint32_t r = x - q * pivot;
    FSum += ((x + 1) >> 1) - ((FSum + 16) >> 5);

    if (q <= 20) {
        rc.Encode16(Cumulative[q], Cumulative[q + 1] - Cumulative[q]);
    } else if (q < 63) {
        rc.Encode16(65472 + q, 1);
    } else {
        rc.Encode16(65535, 1);
        rc.Encode16(q >> 16, 1);
        rc.Encode16(q & 0xFFFF, 1);
    }
    if (pivot == 1) {
        rc.EncodeUniform(0, 1);
    } else if (pivot < 65536) {
        rc.EncodeUniform(r, pivot, reciprocal);
    } else {
        int bits = 0;
        while ((pivot >> bits) > 0xFFFF)
            ++bits;
        rc.EncodeUniform(r >> bits, (pivot >> bits) + 1);
        rc.EncodeBits(r & ((1u << bits) - 1), bits);
    }
}

} // namespace bw::mac
