// The sign-sign LMS filter of the prediction chain: a long int16 dot product and a weight
// update per sample, the encoder's hot loop. Besides the plain C++ loop there are SSE2 and
// AVX2 builds of it (each in its own file, compiled for that instruction set), chosen at run
// time; all give the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bw::mac {

enum class TSimd { Scalar, Sse2, Avx2 };

// The best instruction set this processor runs (BW_APE_SIMD=scalar|sse2 pins a lower one).
TSimd BestSimd();

// The filter's memory, laid out for the loops: past inputs (clamped to 16 bits) and past
// adaptation steps in sliding windows, FOrder values before Pos being the current ones.
struct TNNState {
    int Order = 0;
    int Shift = 0;
    int Window = 0; // slots after the first Order; the window slides back when full
    std::int16_t* Weights = nullptr;
    std::int16_t* Input = nullptr;
    std::int16_t* Steps = nullptr;
    int Pos = 0;
    std::int32_t Average = 0; // running average of |input|
};

using TNNCompress = void (*)(TNNState& state, std::int32_t* values, std::size_t count);

TNNCompress NNCompressScalar(int order);
TNNCompress NNCompressSse2(int order);
TNNCompress NNCompressAvx2(int order);

class TNNFilter {
public:
    TNNFilter(int order, int shift, TSimd simd);
    TNNFilter(const TNNFilter&) = delete;
    TNNFilter& operator=(const TNNFilter&) = delete;

    // Back to the state at the start of a frame.
    void Reset();
    // Replaces each value by its residual, in order.
    void Compress(std::int32_t* values, std::size_t count) { FCompress(FState, values, count); }

private:
    static constexpr int Window = 4096;

    TNNState FState;
    TNNCompress FCompress;
    std::vector<std::int16_t> FWeights, FInput, FSteps;
};

} // namespace bw::mac
