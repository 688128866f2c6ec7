// Decodes the compressed sample data of a WAVE file (MPEG layer 3 and whatever else FFmpeg
// knows by its format tag) into 16-bit PCM, all at once.
#pragma once

#include "WmaFormats.h"

#include <cstdint>
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

// Decodes all of data. Damaged frames are skipped. Throws TMediaError when no decoder can be
// opened for the record, when no frame has pcm's rate (a header that names another rate
// than its frames'; single frames at another rate are skipped as damaged), or when the
// result would not fit in a WAV file.
std::vector<std::uint8_t> DecodeWaveData(const TWaveFormatRecord& format,
                                         std::span<const std::uint8_t> data, const TPcmFormat& pcm);

} // namespace bw::media
