// A memory stream that takes the first `allowed` bytes and fails every write after them,
// like a disk that fills.
#pragma once

#include "AuStream.h"

#include <algorithm>
#include <cstdint>

namespace bwtest {

class TFullStream : public bw::TMemoryStream {
public:
    explicit TFullStream(std::int64_t allowed) : FAllowed(allowed) {}
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        std::int64_t n = std::min(count, FAllowed);
        FAllowed -= n;
        return bw::TMemoryStream::Write(buffer, n);
    }

private:
    std::int64_t FAllowed;
};

} // namespace bwtest
