// A PCM WAVE file decoded on demand from the compressed data chunk of another stream: it
// reads like the file a whole-file conversion would have written, but holds only the PCM of
// one piece of the data at a time. Seeking forward decodes and drops; seeking back starts
// the decoding over.
#pragma once

#include "AuStream.h"
#include "WaveDataDecoder.h"
#include "WaveHeader.h"

#include <array>
#include <memory>

namespace bw {

class TWaveDecodedStream : public TStream {
public:
    // source (not owned) holds the compressed data in bytes [dataStart, dataStart +
    // dataSize); pcmBytes is what a full pass decodes them to (the size of the data chunk
    // written). Throws media::TMediaError when the decoder cannot be opened.
    TWaveDecodedStream(TStream& source, std::int64_t dataStart, std::int64_t dataSize,
                       media::TWaveFormatRecord format, media::TPcmFormat pcm,
                       std::int64_t pcmBytes);
    ~TWaveDecodedStream() override;

    // Throws EAuException when the data cannot be read or decoded.
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return FSize; }
    std::string Describe() const override { return FSource.Describe(); }

    // Decodes all of the data once and returns the PCM bytes it gives; throws
    // media::TMediaError as the decoder does.
    static std::int64_t CountPcmBytes(TStream& source, std::int64_t dataStart,
                                      std::int64_t dataSize, const media::TWaveFormatRecord& format,
                                      const media::TPcmFormat& pcm);

private:
    void Restart();
    // Decodes the next piece into FPending; false at the end of the data.
    bool DecodeMore();

    TStream& FSource;
    std::int64_t FDataStart, FDataSize;
    media::TWaveFormatRecord FFormat;
    media::TPcmFormat FPcm;
    std::array<std::uint8_t, PcmHeaderSize> FHeader;
    std::int64_t FSize;
    std::unique_ptr<media::TWaveDataDecoder> FDecoder;
    std::int64_t FDataRead = 0; // compressed bytes fed to the decoder
    bool FFinished = false;
    std::vector<std::uint8_t> FPiece;
    std::vector<std::uint8_t> FPending; // decoded, from FPendingAt on not yet read
    std::size_t FPendingAt = 0;
    std::int64_t FPosition = 0; // in the decoded file, header included
};

} // namespace bw
