#include "WaveDecodedStream.h"

#include "AuException.h"
#include "MediaError.h"

#include <algorithm>
#include <cstring>

namespace bw {

TWaveDecodedStream::TWaveDecodedStream(TStream& source, std::int64_t dataStart,
                                       std::int64_t dataSize, media::TWaveFormatRecord format,
                                       media::TPcmFormat pcm, std::int64_t pcmBytes)
    : FSource(source), FDataStart(dataStart), FDataSize(dataSize), FFormat(std::move(format)),
      FPcm(pcm), FHeader(MakePcmHeader(pcm.Channels, static_cast<std::uint32_t>(pcm.SampleRate), 16,
                                       static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                           pcmBytes, 0, media::MaxDecodedBytes)))),
      FSize(static_cast<std::int64_t>(PcmHeaderSize) + pcmBytes) {
    Restart();
}

TWaveDecodedStream::~TWaveDecodedStream() = default;

void TWaveDecodedStream::Restart() {
    FDecoder = std::make_unique<media::TWaveDataDecoder>(FFormat, FPcm);
    FDataRead = 0;
    FFinished = false;
    FPending.clear();
    FPendingAt = 0;
    FPosition = 0;
}

bool TWaveDecodedStream::DecodeMore() {
    FPending.clear();
    FPendingAt = 0;
    while (FPending.empty()) {
        if (FFinished) return false;
        std::int64_t n =
            std::min<std::int64_t>(media::TWaveDataDecoder::PieceSize, FDataSize - FDataRead);
        std::int64_t got = 0;
        if (n > 0) {
            FPiece.resize(static_cast<std::size_t>(n));
            if (FSource.Seek(FDataStart + FDataRead, TSeekOrigin::soBeginning) < 0)
                throw EAuException("Cannot read " + FSource.Describe());
            got = FSource.ReadSome(FPiece.data(), n);
            if (got < 0) throw EAuException("Cannot read " + FSource.Describe());
        }
        if (got <= 0) {
            FDecoder->Finish(FPending);
            FFinished = true;
        } else {
            FDataRead += got;
            FDecoder->Decode(std::span(FPiece.data(), static_cast<std::size_t>(got)), FPending);
        }
    }
    return true;
}

std::int64_t TWaveDecodedStream::Read(void* buffer, std::int64_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    try {
        while (done < count && FPosition < FSize) {
            const bool header = FPosition < static_cast<std::int64_t>(PcmHeaderSize);
            // The counting pass found more: the file changed (was cut short) meanwhile, and
            // what follows would be silently missing.
            if (!header && FPendingAt == FPending.size() && !DecodeMore())
                throw EAuException(Describe() + " ended before its data did");
            const std::uint8_t* from =
                header ? FHeader.data() + FPosition : FPending.data() + FPendingAt;
            std::int64_t n = header ? static_cast<std::int64_t>(PcmHeaderSize) - FPosition
                                    : static_cast<std::int64_t>(FPending.size() - FPendingAt);
            n = std::min({n, count - done, FSize - FPosition});
            if (out) std::memcpy(out + done, from, static_cast<std::size_t>(n));
            if (!header) FPendingAt += static_cast<std::size_t>(n);
            done += n;
            FPosition += n;
        }
    } catch (const media::TMediaError& e) {
        throw EAuException(Describe() + " cannot be decoded: " + e.what());
    }
    return done;
}

std::int64_t TWaveDecodedStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t target = offset;
    if (origin == TSeekOrigin::soCurrent) target += FPosition;
    if (origin == TSeekOrigin::soEnd) target += FSize;
    target = std::clamp<std::int64_t>(target, 0, FSize);
    if (target < FPosition) {
        // Back within the header before any data was read: the decoder has not moved.
        if (FPosition <= static_cast<std::int64_t>(PcmHeaderSize)) {
            FPosition = target;
            return FPosition;
        }
        Restart();
    }
    // Forward: decode and drop what lies between.
    Read(nullptr, target - FPosition);
    return FPosition;
}

std::int64_t TWaveDecodedStream::CountPcmBytes(TStream& source, std::int64_t dataStart,
                                               std::int64_t dataSize,
                                               const media::TWaveFormatRecord& format,
                                               const media::TPcmFormat& pcm) {
    TWaveDecodedStream pass(source, dataStart, dataSize, format, pcm, 0);
    std::int64_t total = 0;
    while (pass.DecodeMore())
        total += static_cast<std::int64_t>(pass.FPending.size());
    return total;
}

} // namespace bw
