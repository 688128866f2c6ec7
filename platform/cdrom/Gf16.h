// Arithmetic in GF(2^16) with the polynomial x^16 + x^12 + x^3 + x + 1 and x as the
// primitive element: the field of the CUETools database's Reed-Solomon recovery data.
#pragma once

#include <array>
#include <cstdint>

namespace bw {

class TGf16 {
public:
    static constexpr unsigned Order = 65535; // multiplicative group

    static const TGf16& Field();

    std::uint16_t Exp(unsigned power) const { return FExp[power % Order]; }
    // The log of a non-zero element.
    unsigned Log(std::uint16_t value) const { return FLog[value]; }
    std::uint16_t Mul(std::uint16_t a, std::uint16_t b) const {
        return a == 0 || b == 0 ? 0 : FExp[FLog[a] + FLog[b]];
    }
    std::uint16_t Div(std::uint16_t a, std::uint16_t b) const {
        return a == 0 ? 0 : FExp[FLog[a] + Order - FLog[b]];
    }
    std::uint16_t Inverse(std::uint16_t a) const { return FExp[Order - FLog[a]]; }

private:
    TGf16();
    std::array<std::uint16_t, 2 * Order + 1> FExp{};
    std::array<std::uint32_t, 65536> FLog{};
};

// Multiplication by one constant through two 256-entry tables (one per byte of the other
// factor): the product is linear over GF(2), so it splits by bytes. Small enough for the
// cache, which is what makes the syndromes cheap to run beside a rip.
class TGf16Multiplier {
public:
    TGf16Multiplier() = default;
    explicit TGf16Multiplier(std::uint16_t constant);
    std::uint16_t operator()(std::uint16_t v) const { return FLow[v & 0xff] ^ FHigh[v >> 8]; }

private:
    std::array<std::uint16_t, 256> FLow{}, FHigh{};
};

} // namespace bw
