#include "CtdbSyndromes.h"

#include "Gf16.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <stdexcept>

namespace bw {

namespace {

// A row's stretch into low and high bytes (every step-th word), and syndrome 0 (their sum).
void SplitWords(const std::uint8_t* __restrict words, std::size_t step, std::size_t count,
                std::uint8_t* __restrict low, std::uint8_t* __restrict high,
                std::uint8_t* __restrict sum0Low, std::uint8_t* __restrict sum0High) {
    if (step == 1) {
        std::size_t j = 0;
#if defined(__SSE2__)
        const __m128i mask = _mm_set1_epi16(0xff);
        for (; j + 16 <= count; j += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * j));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * j + 16));
            const __m128i l = _mm_packus_epi16(_mm_and_si128(a, mask), _mm_and_si128(b, mask));
            const __m128i h = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(low + j), l);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(high + j), h);
            __m128i* s0 = reinterpret_cast<__m128i*>(sum0Low + j);
            __m128i* s1 = reinterpret_cast<__m128i*>(sum0High + j);
            _mm_storeu_si128(s0, _mm_xor_si128(_mm_loadu_si128(s0), l));
            _mm_storeu_si128(s1, _mm_xor_si128(_mm_loadu_si128(s1), h));
        }
#endif
        for (; j < count; ++j) {
            sum0Low[j] ^= words[2 * j];
            sum0High[j] ^= words[2 * j + 1];
            low[j] = words[2 * j];
            high[j] = words[2 * j + 1];
        }
        return;
    }
    for (std::size_t j = 0; j < count; ++j) {
        low[j] = words[2 * j * step];
        high[j] = words[2 * j * step + 1];
        sum0Low[j] ^= low[j];
        sum0High[j] ^= high[j];
    }
}

} // namespace

TCtdbSyndromes::TCtdbSyndromes(const TCtdbLayout& layout, int npar, int columnStep, int offset)
    : FOrigin(2 * (layout.Start - offset)), FRows(layout.Rows()), FNpar(npar), FStep(columnStep),
      FColumns(std::size_t(CtdbStrideWords / std::max(columnStep, 1))), FFirstRow(CtdbStrideWords),
      FLastRow(CtdbStrideWords), FNextWord(FOrigin) {
    if (npar < 1 || npar > CtdbMaxNpar || (columnStep != 1 && columnStep != 2))
        throw std::invalid_argument("unsupported syndrome count");
    const TGf16& gf = TGf16::Field();
    for (int k = 0; k < npar; ++k)
        FMul.emplace_back(gf.Exp(unsigned(k)));
    FLow.assign(FColumns * std::size_t(npar), 0);
    FHigh.assign(FColumns * std::size_t(npar), 0);
    FRowLow.resize(FColumns);
    FRowHigh.resize(FColumns);
}

void TCtdbSyndromes::Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size) {
    std::int64_t word = 2 * at;
    const std::int64_t end = word + std::int64_t(size / 2);
    const std::int64_t lastWord = FOrigin + std::int64_t(FRows + 1) * CtdbStrideWords;
    if (end <= FNextWord || word >= lastWord) return;
    // Row 0 is not encoded: only a gap after it leaves the matrix incomplete.
    if (word > FNextWord && word > FOrigin + CtdbStrideWords) FGap = true;
    // Skip what came before (a rip's pregap, a repeated stretch).
    if (word < FNextWord) {
        bytes += 2 * (FNextWord - word);
        word = FNextWord;
    }
    const std::int64_t stop = std::min(end, lastWord);
    const std::size_t step = std::size_t(FStep);
    while (word < stop) {
        if (word < FOrigin) { // a negative offset's first samples
            const std::int64_t skip = std::min(stop, FOrigin) - word;
            bytes += 2 * skip;
            word += skip;
            continue;
        }
        // One row's stretch at a time: every column of it gets the same multiplier.
        const std::int64_t rel = word - FOrigin;
        const auto row = rel / CtdbStrideWords;
        const auto column = std::size_t(rel % CtdbStrideWords);
        const std::size_t n =
            std::size_t(std::min(stop, FOrigin + (row + 1) * CtdbStrideWords) - word);
        if (row == 0 || row == FRows) {
            auto& keep = row == 0 ? FFirstRow : FLastRow;
            for (std::size_t i = 0; i < n; ++i)
                keep[column + i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        }
        if (row > 0) {
            const std::size_t first = (column + step - 1) / step,
                              last = (column + n + step - 1) / step;
            const std::size_t count = last - first;
            SplitWords(bytes + 2 * (first * step - column), step, count, FRowLow.data(),
                       FRowHigh.data(), &FLow[first], &FHigh[first]);
            for (std::size_t k = 1; k < std::size_t(FNpar); ++k)
                FMul[k].MulAdd(&FLow[k * FColumns + first], &FHigh[k * FColumns + first],
                               FRowLow.data(), FRowHigh.data(), count);
        }
        bytes += 2 * n;
        word += std::int64_t(n);
    }
    FNextWord = std::max(FNextWord, stop);
}

bool TCtdbSyndromes::Complete() const {
    return !FGap && FNextWord >= FOrigin + std::int64_t(FRows + 1) * CtdbStrideWords;
}

std::vector<std::uint16_t> TCtdbSyndromes::ShiftedColumn0(int offset) const {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(FNpar));
    // The pressing's column 0 is the rip's word 2 * offset further on.
    const int column = ((2 * -offset) % CtdbStrideWords + CtdbStrideWords) % CtdbStrideWords;
    if (column % FStep != 0) throw std::invalid_argument("column not kept");
    for (int k = 0; k < FNpar; ++k)
        out[std::size_t(k)] = Syndrome(k, column);
    if (offset <= 0) return out;
    // From rows 0..R-1: Q(a) = (S + M[R]) / a + M[0] a^(R-1), a = alpha^k.
    const TGf16& gf = TGf16::Field();
    const std::uint16_t first = FFirstRow[std::size_t(column)];
    const std::uint16_t last = FLastRow[std::size_t(column)];
    for (int k = 0; k < FNpar; ++k) {
        const std::uint16_t a = gf.Exp(unsigned(k));
        std::uint16_t s = gf.Div(out[std::size_t(k)] ^ last, a);
        s ^= gf.Mul(first, gf.Exp(unsigned(k) * unsigned(FRows - 1) % TGf16::Order));
        out[std::size_t(k)] = s;
    }
    return out;
}

std::string TCtdbSyndromes::ParityFile() const {
    std::string file;
    file.reserve(std::size_t(FNpar) * CtdbStrideWords * 2);
    for (int k = 0; k < FNpar; ++k)
        for (int c = 0; c < CtdbStrideWords; ++c) {
            std::uint16_t s = c % FStep == 0 ? Syndrome(k, c) : 0;
            file.push_back(static_cast<char>(s & 0xff));
            file.push_back(static_cast<char>(s >> 8));
        }
    return file;
}

std::vector<std::uint16_t> CtdbSyndromesFromCheckWords(const std::vector<std::uint16_t>& check) {
    const TGf16& gf = TGf16::Field();
    std::vector<std::uint16_t> out(check.size());
    for (std::size_t k = 0; k < check.size(); ++k)
        for (std::size_t j = 0; j < check.size(); ++j) {
            unsigned power = unsigned((j + 1) * k % TGf16::Order);
            out[k] ^= gf.Mul(check[j], gf.Exp(TGf16::Order - power));
        }
    return out;
}

std::vector<std::uint16_t> CtdbWords(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint16_t> words(bytes.size() / 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return words;
}

} // namespace bw
