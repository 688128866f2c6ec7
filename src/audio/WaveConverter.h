// TWaveConverter: the sample data of a whole WAVE file, held in memory with its format
// record, converted at once from a compressed format (MPEG layer 3 in a WAVE wrapper) to
// PCM with FFmpeg's decoders, and written out as a PCM WAVE file.
#pragma once

#include "AuStream.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bw {

// The result codes of the conversion.
constexpr int WaveConvertOk = 0;
constexpr int WaveConvertNotPossible = 512; // no decoder, or the data cannot be decoded
constexpr int WaveConvertWriteFailed = 286;

class TWaveConverter {
public:
    static constexpr std::size_t FormatBufferSize = 129;
    using TFormatRecord = std::array<std::uint8_t, FormatBufferSize>;

    TWaveConverter() = default;

    // The largest format record in use.
    std::uint32_t MaxFormatSize = FormatBufferSize;
    // The record (the system's wave format record with its extra bytes) of the data held.
    TFormatRecord CurrentFormat{};
    // The record to convert to; the caller sets its format tag (1 for PCM).
    TFormatRecord NewFormat{};

    // Reads a RIFF WAVE file from Stream: its format record and its sample data. Does nothing
    // unless the stream starts with "RIFF" and "WAVE".
    void LoadWaveFile(TStream& Stream);
    // Fills NewFormat with the PCM format the current data decodes to; WaveConvertOk, or
    // WaveConvertNotPossible when there is no decoder for it.
    int SuggestFormat();
    // Converts the content from CurrentFormat to NewFormat; then CurrentFormat is NewFormat.
    int ConvertData();
    // Writes a PCM WAVE file of the content.
    int SaveWaveFile(TStream& Stream);

    const std::vector<std::uint8_t>& Content() const { return FContent; }
    // Why the last ConvertData could not decode the data; empty when it could, or when it
    // simply had no decoder.
    const std::string& LastError() const { return FLastError; }

private:
    std::vector<std::uint8_t> FContent;
    std::string FLastError;
};

} // namespace bw
