// The filter loop, written once and compiled per instruction set: the including file defines
// BW_NN_ISA (the namespace of its copy) and builds with the matching compiler flags. Nothing
// here may have external linkage, so that copies built for different processors never mix.
#include "NNFilter.h"

#include <cstring>
#if defined(__AVX2__) || defined(__SSE2__)
#include <immintrin.h>
#endif

namespace bw::mac::BW_NN_ISA {
namespace {

inline std::int16_t Clamp16(std::int32_t v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

#if defined(__AVX2__) || (defined(__SSE2__) && !defined(BW_NN_PLAIN))
#define BW_NN_VECTOR 1
#if defined(__AVX2__)
using V = __m256i;
constexpr int Lanes = 16;
inline V Load(const std::int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
}
inline void Store(std::int16_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
}
inline V Madd(V a, V b) {
    return _mm256_madd_epi16(a, b);
}
inline V Add32(V a, V b) {
    return _mm256_add_epi32(a, b);
}
inline V Add16(V a, V b) {
    return _mm256_add_epi16(a, b);
}
inline V Sub16(V a, V b) {
    return _mm256_sub_epi16(a, b);
}
inline V Xor(V a, V b) {
    return _mm256_xor_si256(a, b);
}
inline V Fill16(std::int16_t v) {
    return _mm256_set1_epi16(v);
}
inline std::int32_t Sum32(V v) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}
#else
using V = __m128i;
constexpr int Lanes = 8;
inline V Load(const std::int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const V*>(p));
}
inline void Store(std::int16_t* p, V v) {
    _mm_storeu_si128(reinterpret_cast<V*>(p), v);
}
inline V Madd(V a, V b) {
    return _mm_madd_epi16(a, b);
}
inline V Add32(V a, V b) {
    return _mm_add_epi32(a, b);
}
inline V Add16(V a, V b) {
    return _mm_add_epi16(a, b);
}
inline V Sub16(V a, V b) {
    return _mm_sub_epi16(a, b);
}
inline V Xor(V a, V b) {
    return _mm_xor_si128(a, b);
}
inline V Fill16(std::int16_t v) {
    return _mm_set1_epi16(v);
}
inline std::int32_t Sum32(V s) {
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}
#endif

// The weights live in vector registers for the whole call (the short filters fit).
template <int Order>
struct TWeights {
    static constexpr int Count = Order / Lanes;
    V w[Count];
    explicit TWeights(const std::int16_t* p) {
        for (int i = 0; i < Count; ++i)
            w[i] = Load(p + i * Lanes);
    }
    void Save(std::int16_t* p) const {
        for (int i = 0; i < Count; ++i)
            Store(p + i * Lanes, w[i]);
    }
    // Σ w·x with 32-bit wrap-around, in two chains to halve the latency.
    std::int32_t Dot(const std::int16_t* x) const {
        V a = Madd(w[0], Load(x));
        if constexpr (Count == 1) {
            return Sum32(a);
        } else {
            V b = Madd(w[1], Load(x + Lanes));
            for (int i = 2; i < Count; i += 2) {
                a = Add32(a, Madd(w[i], Load(x + i * Lanes)));
                if (i + 1 < Count) b = Add32(b, Madd(w[i + 1], Load(x + (i + 1) * Lanes)));
            }
            return Sum32(Add32(a, b));
        }
    }
    // w -= g when negate, else w += g (16-bit wrap-around).
    void Adapt(const std::int16_t* g, bool negate) {
        const V m = Fill16(negate ? -1 : 0);
        for (int i = 0; i < Count; ++i)
            w[i] = Add16(w[i], Sub16(Xor(Load(g + i * Lanes), m), m));
    }
};
#else
template <int Order>
struct TWeights {
    std::int16_t* w;
    explicit TWeights(std::int16_t* p) : w(p) {}
    void Save(std::int16_t*) const {}
    std::int32_t Dot(const std::int16_t* x) const {
        std::uint32_t sum = 0;
        for (int i = 0; i < Order; ++i)
            sum += static_cast<std::uint32_t>(std::int32_t(w[i]) * x[i]);
        return static_cast<std::int32_t>(sum);
    }
    void Adapt(const std::int16_t* g, bool negate) {
        for (int i = 0; i < Order; ++i)
            w[i] = static_cast<std::int16_t>(negate ? w[i] - g[i] : w[i] + g[i]);
    }
};
#endif

template <int Order>
void Compress(TNNState& s, std::int32_t* values, std::size_t count) {
    const std::uint32_t round = 1u << (s.Shift - 1);
    const int shift = s.Shift;
    TWeights<Order> weights(s.Weights);
    int pos = s.Pos;
    std::int32_t average = s.Average;
    for (std::size_t n = 0; n < count; ++n) {
        const std::int32_t y = values[n];
        std::int16_t* input = s.Input + pos;
        std::int16_t* steps = s.Steps + pos;
        const std::int32_t dot = weights.Dot(input - Order);
        const std::int32_t prediction =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(dot) + round) >> shift;
        const std::int32_t residual =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(y) - std::uint32_t(prediction));
        values[n] = residual;
        if (residual != 0) weights.Adapt(steps - Order, residual > 0);

        *input = Clamp16(y);
        const std::int64_t magnitude = y < 0 ? -std::int64_t(y) : y;
        std::int16_t step = 0;
        if (y != 0) {
            const std::int64_t m = average;
            const std::int16_t size = magnitude > 3 * m ? 32 : magnitude > m + m / 3 ? 16 : 8;
            step = static_cast<std::int16_t>(y > 0 ? -size : size);
        }
        steps[0] = step;
        steps[-1] = static_cast<std::int16_t>(steps[-1] >> 1);
        steps[-2] = static_cast<std::int16_t>(steps[-2] >> 1);
        steps[-8] = static_cast<std::int16_t>(steps[-8] >> 1);
        average += static_cast<std::int32_t>((magnitude - average) / 16);

        if (++pos == Order + s.Window) {
            std::memmove(s.Input, s.Input + s.Window, Order * sizeof(std::int16_t));
            std::memmove(s.Steps, s.Steps + s.Window, Order * sizeof(std::int16_t));
            pos = Order;
        }
    }
    weights.Save(s.Weights);
    s.Pos = pos;
    s.Average = average;
}

TNNCompress CompressFor(int order) {
    switch (order) {
    case 16:
        return Compress<16>;
    case 32:
        return Compress<32>;
    case 64:
        return Compress<64>;
    case 256:
        return Compress<256>;
    case 1280:
        return Compress<1280>;
    default:
        return nullptr;
    }
}

} // namespace
} // namespace bw::mac::BW_NN_ISA
