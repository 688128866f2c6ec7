// TWaveConverter: the sample data of a WAVE file with its format record, converted from a
// compressed format (MPEG layer 3 in a WAVE wrapper) to PCM with FFmpeg's decoders and
// handed out as a PCM WAVE file. The data stays in its stream and is decoded piece by piece,
// so that memory stays small however long the file or whatever its header says.
#pragma once

#include "AuStream.h"
#include "WaveDataDecoder.h"

#include <array>
#include <cstdint>
#include <memory>
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

    // Reads the format record of a RIFF WAVE file from Stream (a seekable one, from its
    // position on) and finds its sample data, which stays in the stream: the stream must
    // outlive the converter and what OpenDecoded returns. Does nothing unless the stream
    // starts with "RIFF" and "WAVE".
    void LoadWaveFile(TStream& Stream);
    // Fills NewFormat with the PCM format the current data decodes to; WaveConvertOk, or
    // WaveConvertNotPossible when there is no decoder for it.
    int SuggestFormat();
    // Decodes the data once from CurrentFormat to NewFormat, counting the PCM it gives (so
    // that the length is known before the PCM is read); then CurrentFormat is NewFormat.
    int ConvertData();
    // After ConvertData: the PCM WAVE file of the data, decoded while it is read.
    std::unique_ptr<TStream> OpenDecoded() const;
    // Writes the PCM WAVE file of the data to Stream.
    int SaveWaveFile(TStream& Stream);

    // The bytes of PCM the data decodes to; 0 before ConvertData.
    std::int64_t DecodedBytes() const { return FDecodedBytes; }
    // Why the last ConvertData could not decode the data; empty when it could, or when it
    // simply had no decoder.
    const std::string& LastError() const { return FLastError; }

private:
    TStream* FSource = nullptr;
    std::int64_t FDataStart = 0; // in FSource
    std::int64_t FDataSize = 0;
    media::TWaveFormatRecord FSourceFormat; // what the data is, once converted
    std::int64_t FDecodedBytes = 0;
    std::string FLastError;
};

} // namespace bw
