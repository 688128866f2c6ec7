// Built with -mavx2; called only when the processor has AVX2.
#define BW_NN_ISA Avx2
#include "NNFilterLoop.h"

namespace bw::mac {
TNNCompress NNCompressAvx2(int order) {
    return Avx2::CompressFor(order);
}
} // namespace bw::mac
