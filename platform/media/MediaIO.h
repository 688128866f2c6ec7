// The byte stream the media reader and writer work on. The program's streams implement it,
// so that files keep the program's own opening and locking, and tests can use memory.
#pragma once

#include <cstdint>

namespace bw::media {

class TMediaIO {
public:
    virtual ~TMediaIO() = default;
    // Up to count bytes; 0 at the end; negative on failure.
    virtual int Read(std::uint8_t* buffer, int count) = 0;
    // Writes all count bytes, or returns a smaller count on failure.
    virtual int Write(const std::uint8_t* buffer, int count) = 0;
    // whence as for lseek (SEEK_SET, SEEK_CUR, SEEK_END); the new position, -1 when the
    // stream cannot seek.
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
    // The whole length; -1 when unknown.
    virtual std::int64_t Size() = 0;
};

} // namespace bw::media
