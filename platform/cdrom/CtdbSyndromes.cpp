#include "CtdbSyndromes.h"

#include <algorithm>
#include <stdexcept>

namespace bw {

TCtdbSyndromes::TCtdbSyndromes(const TCtdbLayout& layout, int npar, int columnStep, int offset)
    : FOrigin(2 * (layout.Start - offset)), FRows(layout.Rows()), FNpar(npar), FStep(columnStep),
      FFirstRow(CtdbStrideWords), FLastRow(CtdbStrideWords), FNextWord(FOrigin) {
    if (npar < 1 || npar > CtdbMaxNpar || (columnStep != 1 && columnStep != 2))
        throw std::invalid_argument("unsupported syndrome count");
    const TGf16& gf = TGf16::Field();
    for (int k = 0; k < npar; ++k)
        FMul.emplace_back(gf.Exp(unsigned(k)));
    FSyndromes.assign(std::size_t(CtdbStrideWords / FStep) * std::size_t(npar), 0);
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
    const std::size_t npar = std::size_t(FNpar);
    for (; word < stop; ++word, bytes += 2) {
        const std::uint16_t w = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
        const std::int64_t rel = word - FOrigin;
        if (rel < 0) continue; // a negative offset's first samples
        const auto row = rel / CtdbStrideWords;
        const auto column = std::size_t(rel % CtdbStrideWords);
        if (row == 0) {
            FFirstRow[column] = w;
            continue;
        }
        if (row == FRows) FLastRow[column] = w;
        if (column % std::size_t(FStep) != 0) continue;
        std::uint16_t* s = &FSyndromes[column / std::size_t(FStep) * npar];
        s[0] ^= w;
        for (std::size_t k = 1; k < npar; ++k)
            s[k] = FMul[k](s[k]) ^ w;
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
