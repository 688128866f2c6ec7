// The sign-sign LMS filter of the prediction chain: a long int16 dot product and a weight
// update per sample, the encoder's hot loop. Vectorised with SSE2 or AVX2, chosen at run time.
#pragma once

#include <cstdint>
#include <vector>

namespace bw::mac {

// The vector kernels of one filter; every implementation gives the same results.
struct TNNKernels {
    // Σ weights[i] · input[i] over order values, with 32-bit wrap-around.
    std::int32_t (*Dot)(const std::int16_t* weights, const std::int16_t* input, int order);
    // weights[i] += steps[i] (Add) or -= steps[i], 16-bit wrap-around.
    void (*Add)(std::int16_t* weights, const std::int16_t* steps, int order);
    void (*Subtract)(std::int16_t* weights, const std::int16_t* steps, int order);
};

enum class TSimd { Scalar, Sse2, Avx2 };

// The best kernels this processor runs, or the ones asked for (falling back to what it has).
const TNNKernels& NNKernels(TSimd wanted);
TSimd BestSimd();

class TNNFilter {
public:
    TNNFilter(int order, int shift, TSimd simd);

    // Back to the state at the start of a frame.
    void Reset();
    // Replaces each value by its residual, in order.
    void Compress(std::int32_t* values, std::size_t count);

private:
    static constexpr int Window = 4096;

    int FOrder;
    int FShift;
    const TNNKernels& FKernels;
    std::vector<std::int16_t> FWeights;
    std::vector<std::int16_t> FInput; // past inputs clamped to 16 bits, a sliding window
    std::vector<std::int16_t> FSteps; // past adaptation steps, aligned with FInput
    int FPos = 0;                     // where the next input goes
    std::int32_t FAverage = 0;        // running average of |input|
};

} // namespace bw::mac
