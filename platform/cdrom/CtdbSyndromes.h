// The syndromes of the CUETools database's recovery data: the disc's samples after the
// pregap as a matrix of 16-bit words, rows of 10 sectors (11760 words), and each column's
// rows 1..R a Reed-Solomon codeword over GF(2^16) (row 1 the highest power). Syndrome k of
// a column is that polynomial at alpha^k. The database's "parity file" holds the syndromes
// of the pressing's columns; the difference from a rip's locates and mends its errors.
#pragma once

#include "CtdbToc.h"
#include "Gf16Rows.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bw {

// The most syndromes a column may have (the database's current maximum).
constexpr int CtdbMaxNpar = 16;

class TCtdbSyndromes {
public:
    // The matrix of a disc, or of a rip found at a read offset (its sample s holds the
    // pressing's sample s + offset), aligned with the pressing's so that the syndromes
    // compare with the database's.
    // columnStep 2 keeps only the even columns (the left channel), enough for the offset
    // search at half the cost.
    TCtdbSyndromes(const TCtdbLayout& layout, int npar, int columnStep = 1, int offset = 0);

    // Samples as they stream by, the first at sample position at; they must follow each
    // other (a gap leaves the matrix incomplete).
    void Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size);
    // Every row was seen, in order.
    bool Complete() const;

    int Npar() const { return FNpar; }
    int Rows() const { return FRows; }
    std::uint16_t Syndrome(int k, int column) const {
        const std::size_t at = std::size_t(k) * FColumns + std::size_t(column / FStep);
        return static_cast<std::uint16_t>(FLow[at] | FHigh[at] << 8);
    }
    // Column 0's syndromes as a rip found at this offset would have them (the offset
    // search): from the column the offset brings to 0, moved by a row when it comes from the
    // row before. |offset| <= CtdbMaxOffset.
    std::vector<std::uint16_t> ShiftedColumn0(int offset) const;
    // The k-major file the database serves: syndrome 0 of every column, then syndrome 1...
    std::string ParityFile() const;

private:
    std::int64_t FOrigin; // word position of row 0, column 0
    int FRows, FNpar, FStep;
    std::size_t FColumns;                 // kept
    std::vector<TGf16RowMultiplier> FMul; // by alpha^k
    // Syndrome k of kept column j at k * FColumns + j, as low and high bytes.
    std::vector<std::uint8_t> FLow, FHigh;
    std::vector<std::uint8_t> FRowLow, FRowHigh; // a row's stretch, split likewise
    std::vector<std::uint16_t> FFirstRow, FLastRow;
    std::int64_t FNextWord;
    bool FGap = false;
};

// The syndromes of column 0 from the database's older "parity" attribute: its RS check
// words p_0.. (highest power first), S_k = sum p_j alpha^(-(j+1)k).
std::vector<std::uint16_t> CtdbSyndromesFromCheckWords(const std::vector<std::uint16_t>& check);

// Little-endian 16-bit words from bytes (an odd last byte is ignored).
std::vector<std::uint16_t> CtdbWords(const std::vector<std::uint8_t>& bytes);

} // namespace bw
