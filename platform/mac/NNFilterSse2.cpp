#define BW_NN_ISA Sse2
#include "NNFilterLoop.h"

namespace bw::mac {
TNNCompress NNCompressSse2(int order) {
    return Sse2::CompressFor(order);
}
} // namespace bw::mac
