#include "NNFilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace bw::mac {

TSimd BestSimd() {
    static const TSimd best = [] {
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

TNNFilter::TNNFilter(int order, int shift, TSimd simd)
    : FWeights(order), FInput(order + Window), FSteps(order + Window) {
    // A build for a better processor than this one is never used.
    if (simd > BestSimd()) simd = BestSimd();
    FCompress = simd == TSimd::Avx2   ? NNCompressAvx2(order)
                : simd == TSimd::Sse2 ? NNCompressSse2(order)
                                      : NNCompressScalar(order);
    FState.Order = order;
    FState.Shift = shift;
    FState.Window = Window;
    FState.Weights = FWeights.data();
    FState.Input = FInput.data();
    FState.Steps = FSteps.data();
    Reset();
}

void TNNFilter::Reset() {
    std::fill(FWeights.begin(), FWeights.end(), 0);
    std::fill(FInput.begin(), FInput.end(), 0);
    std::fill(FSteps.begin(), FSteps.end(), 0);
    FState.Pos = FState.Order;
    FState.Average = 0;
}

} // namespace bw::mac
