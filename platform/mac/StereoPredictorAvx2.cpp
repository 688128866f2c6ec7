// Built with -mavx2 (for its SSE4.1 part); called only when the processor has AVX2. The
// weights sit in vector registers in reverse order, so that the terms load as one run.
#include "StereoPredictor.h"

#include <cstddef>
#include <immintrin.h>

namespace bw::mac {

namespace {

inline int Sign(std::int32_t v) {
    return (v > 0) - (v < 0);
}

// Differences d[k] = u[k] - u[k-1] with wrap-around, from 4 places before index 0.
inline void Differences(const std::int32_t* u, std::int32_t* d, std::uint32_t blocks) {
    for (std::int64_t k = -4; k < std::int64_t(blocks); ++k)
        d[k] = static_cast<std::int32_t>(std::uint32_t(u[k]) - std::uint32_t(u[k - 1]));
}

struct TChannel {
    __m128i Own;   // k3 k2 k1 k0
    __m128i Cross; // x4 x3 x2 x1
    std::int32_t Cross0 = 0;

    TChannel()
        : Own(_mm_setr_epi32(InitialOwnWeights[3], InitialOwnWeights[2], InitialOwnWeights[1],
                             InitialOwnWeights[0])),
          Cross(_mm_setzero_si128()) {}

    // own: d[n-3] d[n-2] d[n-1] u[n-1]; cross: the other channel's four differences and b0.
    std::int32_t Step(std::int32_t u, __m128i own, __m128i cross, std::int32_t b0) {
        const __m128i sums =
            _mm_hadd_epi32(_mm_mullo_epi32(Own, own), _mm_mullo_epi32(Cross, cross));
        const __m128i both = _mm_hadd_epi32(sums, sums);
        const std::uint32_t pa = std::uint32_t(_mm_cvtsi128_si32(both));
        const std::int32_t pb = static_cast<std::int32_t>(
            std::uint32_t(_mm_extract_epi32(both, 1)) + std::uint32_t(Cross0) * std::uint32_t(b0));
        const std::int32_t p = static_cast<std::int32_t>(pa + std::uint32_t(pb >> 1));
        const std::int32_t e = static_cast<std::int32_t>(std::uint32_t(u) - std::uint32_t(p >> 10));
        const int sigma = Sign(e);
        const __m128i s = _mm_set1_epi32(sigma);
        Own = _mm_add_epi32(Own, _mm_sign_epi32(s, own));
        Cross = _mm_add_epi32(Cross, _mm_sign_epi32(s, cross));
        Cross0 += Sign(b0) * sigma;
        return e;
    }
};

inline __m128i Load(const std::int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

} // namespace

void PredictStereoAvx2(const std::int32_t* ua, const std::int32_t* ub, std::int32_t* da,
                       std::int32_t* db, std::int32_t* ea, std::int32_t* eb, std::uint32_t blocks) {
    Differences(ua, da, blocks);
    Differences(ub, db, blocks);
    TChannel a, b;
    for (std::ptrdiff_t n = 0; n < std::ptrdiff_t(blocks); ++n) {
        const __m128i runA = Load(da + n - 3); // da[n-3] .. da[n]
        // Channel A sees B's previous value, channel B A's value of the same block.
        ea[n] = a.Step(ua[n], _mm_insert_epi32(runA, ua[n - 1], 3), Load(db + n - 4), ub[n - 1]);
        eb[n] = b.Step(ub[n], _mm_insert_epi32(Load(db + n - 3), ub[n - 1], 3), runA, ua[n]);
    }
}

} // namespace bw::mac
