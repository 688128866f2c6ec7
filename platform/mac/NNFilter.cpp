#include "NNFilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <immintrin.h>

namespace bw::mac {

namespace {

std::int32_t DotScalar(const std::int16_t* w, const std::int16_t* x, int n) {
    std::uint32_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += static_cast<std::uint32_t>(std::int32_t(w[i]) * x[i]);
    return static_cast<std::int32_t>(sum);
}

void AddScalar(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; ++i)
        w[i] = static_cast<std::int16_t>(w[i] + g[i]);
}

void SubtractScalar(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; ++i)
        w[i] = static_cast<std::int16_t>(w[i] - g[i]);
}

// The orders in use are multiples of 16, so the vector loops need no tail.
__attribute__((target("sse2"))) std::int32_t DotSse2(const std::int16_t* w, const std::int16_t* x,
                                                     int n) {
    __m128i sum = _mm_setzero_si128();
    for (int i = 0; i < n; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(a, b));
    }
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return _mm_cvtsi128_si32(sum);
}

__attribute__((target("sse2"))) void AddSse2(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; i += 8) {
        auto* p = reinterpret_cast<__m128i*>(w + i);
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i));
        _mm_storeu_si128(p, _mm_add_epi16(_mm_loadu_si128(p), s));
    }
}

__attribute__((target("sse2"))) void SubtractSse2(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; i += 8) {
        auto* p = reinterpret_cast<__m128i*>(w + i);
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i));
        _mm_storeu_si128(p, _mm_sub_epi16(_mm_loadu_si128(p), s));
    }
}

__attribute__((target("avx2"))) std::int32_t DotAvx2(const std::int16_t* w, const std::int16_t* x,
                                                     int n) {
    __m256i sum = _mm256_setzero_si256();
    for (int i = 0; i < n; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + i));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(a, b));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}

__attribute__((target("avx2"))) void AddAvx2(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; i += 16) {
        auto* p = reinterpret_cast<__m256i*>(w + i);
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g + i));
        _mm256_storeu_si256(p, _mm256_add_epi16(_mm256_loadu_si256(p), s));
    }
}

__attribute__((target("avx2"))) void SubtractAvx2(std::int16_t* w, const std::int16_t* g, int n) {
    for (int i = 0; i < n; i += 16) {
        auto* p = reinterpret_cast<__m256i*>(w + i);
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g + i));
        _mm256_storeu_si256(p, _mm256_sub_epi16(_mm256_loadu_si256(p), s));
    }
}

constexpr TNNKernels Scalar{DotScalar, AddScalar, SubtractScalar};
constexpr TNNKernels Sse2{DotSse2, AddSse2, SubtractSse2};
constexpr TNNKernels Avx2{DotAvx2, AddAvx2, SubtractAvx2};

std::int16_t Clamp16(std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

} // namespace

TSimd BestSimd() {
    static const TSimd best = [] {
        // BW_APE_SIMD=scalar|sse2 lets a benchmark or a bug hunt pin the kernels.
        if (const char* pin = std::getenv("BW_APE_SIMD")) {
            if (std::strcmp(pin, "scalar") == 0) return TSimd::Scalar;
            if (std::strcmp(pin, "sse2") == 0) return TSimd::Sse2;
        }
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) return TSimd::Avx2;
        if (__builtin_cpu_supports("sse2")) return TSimd::Sse2;
        return TSimd::Scalar;
    }();
    return best;
}

const TNNKernels& NNKernels(TSimd wanted) {
    __builtin_cpu_init();
    if (wanted == TSimd::Avx2 && __builtin_cpu_supports("avx2")) return Avx2;
    if (wanted != TSimd::Scalar && __builtin_cpu_supports("sse2")) return Sse2;
    return Scalar;
}

TNNFilter::TNNFilter(int order, int shift, TSimd simd)
    : FOrder(order), FShift(shift), FKernels(NNKernels(simd)), FWeights(order),
      FInput(order + Window), FSteps(order + Window) {
    Reset();
}

void TNNFilter::Reset() {
    std::fill(FWeights.begin(), FWeights.end(), 0);
    std::fill(FInput.begin(), FInput.end(), 0);
    std::fill(FSteps.begin(), FSteps.end(), 0);
    FPos = FOrder;
    FAverage = 0;
}

void TNNFilter::Compress(std::int32_t* values, std::size_t count) {
    const std::uint32_t round = 1u << (FShift - 1);
    std::int16_t* weights = FWeights.data();
    for (std::size_t n = 0; n < count; ++n) {
        const std::int32_t y = values[n];
        std::int16_t* input = FInput.data() + FPos;
        std::int16_t* steps = FSteps.data() + FPos;
        const std::int32_t dot = FKernels.Dot(weights, input - FOrder, FOrder);
        const std::int32_t prediction =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(dot) + round) >> FShift;
        const std::int32_t residual =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(y) - std::uint32_t(prediction));
        values[n] = residual;
        if (residual > 0)
            FKernels.Subtract(weights, steps - FOrder, FOrder);
        else if (residual < 0)
            FKernels.Add(weights, steps - FOrder, FOrder);

        *input = Clamp16(y);
        const std::int64_t magnitude = y < 0 ? -std::int64_t(y) : y;
        std::int16_t step = 0;
        if (y != 0) {
            const std::int64_t m = FAverage;
            const std::int16_t size = magnitude > 3 * m ? 32 : magnitude > m + m / 3 ? 16 : 8;
            step = y > 0 ? -size : size;
        }
        steps[0] = step;
        steps[-1] >>= 1;
        steps[-2] >>= 1;
        steps[-8] >>= 1;
        FAverage += static_cast<std::int32_t>((magnitude - FAverage) / 16);

        if (++FPos == FOrder + Window) {
            std::memmove(FInput.data(), FInput.data() + Window, FOrder * sizeof(std::int16_t));
            std::memmove(FSteps.data(), FSteps.data() + Window, FOrder * sizeof(std::int16_t));
            FPos = FOrder;
        }
    }
}

} // namespace bw::mac
