// Decodes the compressed sample data of a WAVE file (MPEG layer 3 and whatever else FFmpeg
// knows by its format tag) into 16-bit PCM, piece by piece, so that a file of any length
// is decoded in little memory.
#pragma once

#include "WmaFormats.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace bw::media {

// The fields of a WAVE format record that the decoders need.
struct TWaveFormatRecord {
    std::uint16_t FormatTag = 0;
    int Channels = 0;
    int SampleRate = 0;
    int BlockAlign = 0;
    int BitRate = 0;                 // bit/s, from the average bytes per second
    std::vector<std::uint8_t> Extra; // the bytes after the 18-byte record
};

// The PCM format the data decodes to: 16 bits, the record's channels and rate; none when
// FFmpeg has no decoder for the tag.
std::optional<TPcmFormat> SuggestPcmFormat(const TWaveFormatRecord& format);

// The most a WAV file's data chunk can hold.
constexpr std::size_t MaxDecodedBytes = 0xFFFFFFFFull - 36;

// One pass over a data chunk. Damaged frames are skipped, and so are frames at another
// rate than pcm's (a header that names another rate than its frames' would otherwise ask
// for gigabytes from a small file). The PCM a piece gives is bounded by the piece's size.
class TWaveDataDecoder {
public:
    // Feed the data in pieces of this size (the last one shorter): the frames found do not
    // depend on where a piece ends, but a parser that cannot use a piece drops its rest.
    static constexpr std::size_t PieceSize = 64 * 1024;

    // Throws TMediaError when no decoder can be opened for the record.
    TWaveDataDecoder(const TWaveFormatRecord& format, const TPcmFormat& pcm);
    ~TWaveDataDecoder();
    TWaveDataDecoder(const TWaveDataDecoder&) = delete;
    TWaveDataDecoder& operator=(const TWaveDataDecoder&) = delete;

    // Decodes the next piece of the data, appending its PCM to out. Throws TMediaError when
    // the audio cannot be converted or would not fit in a WAV file.
    void Decode(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out);
    // After the last piece: decodes what the parser and the decoder still hold. Throws
    // TMediaError, besides, when nothing was decoded because every frame had another rate.
    void Finish(std::vector<std::uint8_t>& out);

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

} // namespace bw::media
