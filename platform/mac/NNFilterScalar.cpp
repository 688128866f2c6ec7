// The plain C++ filter loop: the reference the vector builds are checked against.
#define BW_NN_ISA Plain
#define BW_NN_PLAIN
#include "NNFilterLoop.h"

namespace bw::mac {
TNNCompress NNCompressScalar(int order) {
    return Plain::CompressFor(order);
}
} // namespace bw::mac
