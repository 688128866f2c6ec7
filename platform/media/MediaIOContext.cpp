#include "MediaIOContext.h"

#include "MediaError.h"

#include <cstdio>

namespace bw::media {

namespace {

constexpr int IOBufferSize = 64 * 1024;

int ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
    int got = static_cast<TMediaIO*>(opaque)->Read(buffer, size);
    if (got < 0) return AVERROR(EIO);
    return got == 0 ? AVERROR_EOF : got;
}

int WritePacket(void* opaque, std::uint8_t* buffer, int size) {
    int put = static_cast<TMediaIO*>(opaque)->Write(buffer, size);
    return put == size ? size : AVERROR(EIO);
}

std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence) {
    auto* io = static_cast<TMediaIO*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        std::int64_t size = io->Size();
        return size >= 0 ? size : AVERROR(ENOSYS);
    }
    std::int64_t position = io->Seek(offset, whence);
    return position >= 0 ? position : AVERROR(EIO);
}

} // namespace

TIOContext MakeIOContext(TMediaIO& io, bool write) {
    QuietFFmpeg();
    auto* buffer = static_cast<unsigned char*>(FF().av_malloc(IOBufferSize));
    if (!buffer) throw TMediaError("Out of memory");
    // A stream that cannot tell its size (a pipe) cannot seek either.
    bool seekable = io.Seek(0, SEEK_CUR) >= 0;
    AVIOContext* context = FF().avio_alloc_context(
        buffer, IOBufferSize, write ? 1 : 0, &io, write ? nullptr : ReadPacket,
        write ? WritePacket : nullptr, seekable ? SeekStream : nullptr);
    if (!context) {
        FF().av_free(buffer);
        throw TMediaError("Out of memory");
    }
    return TIOContext(context);
}

} // namespace bw::media
