// Reed-Solomon decoding of one column of the CUETools database's recovery data: from the
// difference between a rip's syndromes and the pressing's, the rows in error and the value
// to XOR into each (Berlekamp-Massey, a Chien search, Forney's formula).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace bw {

struct TCtdbColumnError {
    int Row = 0; // 1..rows
    std::uint16_t Xor = 0;
};

// syndromeDifference: npar values; rows: the codeword's data length. Nothing when the
// errors cannot be located (more than maxErrors, or a position outside the rows); an empty
// list when the column has none.
std::optional<std::vector<TCtdbColumnError>>
DecodeCtdbColumn(const std::vector<std::uint16_t>& syndromeDifference, int rows, int maxErrors);

} // namespace bw
