#include "Gf16Rows.h"

#include "Gf16.h"

#include <cstdlib>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace bw {

namespace {

std::uint16_t MulByTables(const std::array<std::array<std::array<std::uint8_t, 16>, 2>, 4>& t,
                          std::uint8_t low, std::uint8_t high) {
    const unsigned n[4] = {low & 15u, unsigned(low) >> 4u, high & 15u, unsigned(high) >> 4u};
    std::uint8_t l = 0, h = 0;
    for (int i = 0; i < 4; ++i) {
        l ^= t[std::size_t(i)][0][n[i]];
        h ^= t[std::size_t(i)][1][n[i]];
    }
    return static_cast<std::uint16_t>(l | h << 8);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) std::size_t
MulAddAvx2(const std::array<std::array<std::array<std::uint8_t, 16>, 2>, 4>& t, std::uint8_t* sl,
           std::uint8_t* sh, const std::uint8_t* xl, const std::uint8_t* xh, std::size_t n) {
    __m256i tl[4], th[4];
    for (int i = 0; i < 4; ++i) {
        tl[i] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(t[std::size_t(i)][0].data())));
        th[i] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(t[std::size_t(i)][1].data())));
    }
    const __m256i mask = _mm256_set1_epi8(15);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sl + i));
        const __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sh + i));
        const __m256i n0 = _mm256_and_si256(l, mask);
        const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(l, 4), mask);
        const __m256i n2 = _mm256_and_si256(h, mask);
        const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(h, 4), mask);
        __m256i rl =
            _mm256_xor_si256(_mm256_shuffle_epi8(tl[0], n0), _mm256_shuffle_epi8(tl[1], n1));
        rl = _mm256_xor_si256(
            rl, _mm256_xor_si256(_mm256_shuffle_epi8(tl[2], n2), _mm256_shuffle_epi8(tl[3], n3)));
        __m256i rh =
            _mm256_xor_si256(_mm256_shuffle_epi8(th[0], n0), _mm256_shuffle_epi8(th[1], n1));
        rh = _mm256_xor_si256(
            rh, _mm256_xor_si256(_mm256_shuffle_epi8(th[2], n2), _mm256_shuffle_epi8(th[3], n3)));
        rl = _mm256_xor_si256(rl, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xl + i)));
        rh = _mm256_xor_si256(rh, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xh + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sl + i), rl);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sh + i), rh);
    }
    return i;
}

__attribute__((target("gfni,avx512f,avx512bw"))) std::size_t
MulAddGfni(const std::array<std::array<std::uint64_t, 2>, 2>& m, std::uint8_t* sl, std::uint8_t* sh,
           const std::uint8_t* xl, const std::uint8_t* xh, std::size_t n) {
    const __m512i ll = _mm512_set1_epi64(static_cast<long long>(m[0][0]));
    const __m512i lh = _mm512_set1_epi64(static_cast<long long>(m[0][1]));
    const __m512i hl = _mm512_set1_epi64(static_cast<long long>(m[1][0]));
    const __m512i hh = _mm512_set1_epi64(static_cast<long long>(m[1][1]));
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i l = _mm512_loadu_si512(sl + i);
        const __m512i h = _mm512_loadu_si512(sh + i);
        __m512i rl = _mm512_xor_si512(_mm512_gf2p8affine_epi64_epi8(l, ll, 0),
                                      _mm512_gf2p8affine_epi64_epi8(h, lh, 0));
        __m512i rh = _mm512_xor_si512(_mm512_gf2p8affine_epi64_epi8(l, hl, 0),
                                      _mm512_gf2p8affine_epi64_epi8(h, hh, 0));
        _mm512_storeu_si512(sl + i, _mm512_xor_si512(rl, _mm512_loadu_si512(xl + i)));
        _mm512_storeu_si512(sh + i, _mm512_xor_si512(rh, _mm512_loadu_si512(xh + i)));
    }
    return i;
}

const bool HaveAvx2 = __builtin_cpu_supports("avx2");
const bool HaveGfni = __builtin_cpu_supports("gfni") && __builtin_cpu_supports("avx512f") &&
                      __builtin_cpu_supports("avx512bw") &&
                      std::getenv("BRINDLEWAVE_NO_GFNI") == nullptr;
#endif

} // namespace

TGf16RowMultiplier::TGf16RowMultiplier(std::uint16_t constant) {
    const TGf16& gf = TGf16::Field();
    for (unsigned nibble = 0; nibble < 4; ++nibble)
        for (unsigned v = 0; v < 16; ++v) {
            const std::uint16_t p = gf.Mul(static_cast<std::uint16_t>(v << (4 * nibble)), constant);
            FTables[nibble][0][v] = static_cast<std::uint8_t>(p);
            FTables[nibble][1][v] = static_cast<std::uint8_t>(p >> 8);
        }
    for (unsigned out = 0; out < 2; ++out)
        for (unsigned in = 0; in < 2; ++in) {
            std::uint64_t matrix = 0;
            for (unsigned row = 0; row < 8; ++row) {
                std::uint64_t bits = 0;
                for (unsigned column = 0; column < 8; ++column) {
                    const std::uint16_t p =
                        gf.Mul(static_cast<std::uint16_t>(1u << (8 * in + column)), constant);
                    bits |= std::uint64_t((p >> (8 * out + row)) & 1u) << column;
                }
                matrix |= bits << (8 * (7 - row));
            }
            FMatrices[out][in] = matrix;
        }
}

void TGf16RowMultiplier::MulAdd(std::uint8_t* sLow, std::uint8_t* sHigh, const std::uint8_t* xLow,
                                const std::uint8_t* xHigh, std::size_t n) const {
    std::size_t i = 0;
#if defined(__x86_64__)
    if (HaveGfni) i = MulAddGfni(FMatrices, sLow, sHigh, xLow, xHigh, n);
    if (HaveAvx2) i += MulAddAvx2(FTables, sLow + i, sHigh + i, xLow + i, xHigh + i, n - i);
#endif
    for (; i < n; ++i) {
        const std::uint16_t p = MulByTables(FTables, sLow[i], sHigh[i]);
        sLow[i] = static_cast<std::uint8_t>(p ^ xLow[i]);
        sHigh[i] = static_cast<std::uint8_t>((p >> 8) ^ xHigh[i]);
    }
}

} // namespace bw
