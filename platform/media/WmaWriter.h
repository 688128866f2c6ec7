// Writes an ASF file with one WMA audio stream: a profile (codec and format), the PCM input
// format, header attributes, then PCM in blocks of any size, then the end.
#pragma once

#include "FFmpegOwners.h"
#include "MediaIO.h"
#include "WmaFormats.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bw::media {

class TWmaWriter {
public:
    // Throws TMediaError when the muxer cannot be made.
    explicit TWmaWriter(TMediaIO& io);
    ~TWmaWriter();
    TWmaWriter(const TWmaWriter&) = delete;
    TWmaWriter& operator=(const TWmaWriter&) = delete;

    // The encoder and its format; throws TMediaError when the encoder refuses it.
    void SetProfile(const TWmaCodec& codec, const TWmaFormat& format);
    bool HasProfile() const { return FEncoder != nullptr; }
    // Interleaved PCM of 8 (unsigned), 16 or 24 bits, any rate and 1 or 2 channels; it is
    // converted to the profile's format. Throws TMediaError for anything else.
    void SetInput(const TPcmFormat& pcm);
    // A header attribute under its ASF name ("Author", "WM/AlbumTitle", ...).
    void SetAttribute(const std::string& name, const std::string& value);
    void BeginWriting();
    // Whole frames of the input format; a trailing partial frame is ignored.
    void WriteSample(const std::uint8_t* data, std::size_t size);
    // Flushes the encoder and completes the file. Throws TMediaError when writing failed.
    void EndWriting();

private:
    void EncodeFrames(bool flush);
    void Encode(AVFrame* frame);
    void Check(int code, const char* what);

    TMediaIO& FIO;
    TIOContext FIOContext;
    TOutputFormat FFormat;
    TCodecContext FEncoder;
    AVStream* FStream = nullptr;
    TSwr FSwr;
    TFifo FFifo;
    TFrame FFrame;
    TPacket FPacket;
    TPcmFormat FInput;
    std::vector<std::int32_t> FWide; // 24-bit input widened to 32
    std::int64_t FNextPts = 0;
    bool FBegun = false;
};

} // namespace bw::media
