#include "Gf16.h"

namespace bw {

TGf16::TGf16() {
    constexpr std::uint32_t Polynomial = 0x1100B;
    std::uint32_t x = 1;
    for (unsigned i = 0; i < Order; ++i) {
        FExp[i] = static_cast<std::uint16_t>(x);
        FExp[i + Order] = static_cast<std::uint16_t>(x);
        FLog[x] = i;
        x <<= 1;
        if (x & 0x10000) x ^= Polynomial;
    }
    FExp[2 * Order] = FExp[0];
}

const TGf16& TGf16::Field() {
    static const TGf16 field;
    return field;
}

TGf16Multiplier::TGf16Multiplier(std::uint16_t constant) {
    const TGf16& gf = TGf16::Field();
    for (unsigned b = 0; b < 256; ++b) {
        FLow[b] = gf.Mul(static_cast<std::uint16_t>(b), constant);
        FHigh[b] = gf.Mul(static_cast<std::uint16_t>(b << 8), constant);
    }
}

} // namespace bw
