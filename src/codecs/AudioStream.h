// TAudioStream: one of the program's streams, not owned, as the byte stream the media
// reader and writer work on.
#pragma once

#include "AuStream.h"
#include "MediaIO.h"

namespace bw {

class TAudioStream : public media::TMediaIO {
public:
    explicit TAudioStream(TStream& stream) : FStream(stream) {}

    int Read(std::uint8_t* buffer, int count) override;
    int Write(const std::uint8_t* buffer, int count) override;
    std::int64_t Seek(std::int64_t offset, int whence) override;
    std::int64_t Size() override { return FStream.Size(); }

private:
    TStream& FStream;
};

} // namespace bw
