#include "AudioStream.h"

#include <cstdio>

namespace bw {

int TAudioStream::Read(std::uint8_t* buffer, int count) {
    try {
        return static_cast<int>(FStream.ReadSome(buffer, count));
    } catch (const std::exception&) {
        return -1;
    }
}

int TAudioStream::Write(const std::uint8_t* buffer, int count) {
    return static_cast<int>(FStream.Write(buffer, count));
}

std::int64_t TAudioStream::Seek(std::int64_t offset, int whence) {
    TSeekOrigin origin = whence == SEEK_SET   ? TSeekOrigin::soBeginning
                         : whence == SEEK_CUR ? TSeekOrigin::soCurrent
                                              : TSeekOrigin::soEnd;
    return FStream.Seek(offset, origin);
}

} // namespace bw
