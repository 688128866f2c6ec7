// The syndromes' inner loop over a row of the matrix: s = s * c + x for many columns at
// once, with the 16-bit values kept as separate low and high bytes so that the product goes
// by nibble table lookups, 32 columns a step where the processor has AVX2, or as four 8x8
// bit-matrix products (the product is linear over GF(2)), 64 a step with GFNI and AVX-512.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace bw {

class TGf16RowMultiplier {
public:
    explicit TGf16RowMultiplier(std::uint16_t constant = 1);
    // s[i] = s[i] * constant + x[i] for i < n (each as its low and high bytes).
    void MulAdd(std::uint8_t* sLow, std::uint8_t* sHigh, const std::uint8_t* xLow,
                const std::uint8_t* xHigh, std::size_t n) const;

private:
    // [nibble 0..3][low byte, high byte of the product][nibble value]
    alignas(32) std::array<std::array<std::array<std::uint8_t, 16>, 2>, 4> FTables{};
    // [output byte][input byte]: the 8x8 bit matrix of that part of the product, as GFNI
    // takes it (row i in byte 7 - i).
    std::array<std::array<std::uint64_t, 2>, 2> FMatrices{};
};

} // namespace bw
