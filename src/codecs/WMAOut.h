// The WMA sink: encodes PCM into an ASF file with one of FFmpeg's WMA encoders. The format
// is chosen by codec and format index (what the jobs use, from the settings) or, without a
// codec index, by searching the formats for the bitrate nearest DesiredBitrate. The tag
// values become the file's header attributes. The sink also lists the codecs and formats
// for the options dialog.
#pragma once

#include "AuTaggedFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bw {

namespace media {
class TWmaWriter;
}
class TAudioStream;

class TWMAOut : public TAuTaggedFileOut {
public:
    TWMAOut();
    ~TWMAOut() override;

    // Target of the format search in constant-bitrate mode; below 1000 it is in kbit/s.
    std::uint32_t DesiredBitrate = 0;
    // Search for a lossless format; also asks for the VBR format lists.
    bool Lossless = false;
    bool VBR = false;
    std::uint8_t VBRQuality = 0;
    // When 0 or more, the codec (and FormatIndex its format) is chosen explicitly.
    std::int32_t CodecIndex = -1;
    std::uint32_t FormatIndex = 0;

    // The names of the codecs, best first.
    const std::vector<std::string>& Codecs() const { return FCodecs; }
    // The descriptions of codec c's formats, in the mode VBR and Lossless select; empty for
    // a codec that does not exist or has no formats in that mode. The list is refilled by
    // every call.
    const std::vector<std::string>& Formats(int c);

    // The end time of the last block written, in units of 100 ns.
    std::int64_t RunningTime() const { return FTime; }

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    void SetUpByIndex(int codec, std::uint32_t format, bool enumerateVbr);
    void SetUpByTarget(std::int64_t target, bool vbr, bool lossless);
    void WriteAttributes();
    void ReleaseRun();
    void FailRun();
    template <typename Step>
    void Guarded(Step&& step);

    std::vector<std::string> FCodecs;
    std::vector<std::string> FFormats;

    // Run state
    std::unique_ptr<TAudioStream> FStreamAdapter;
    std::unique_ptr<media::TWmaWriter> FWriter;
    std::vector<std::uint8_t> FSampleBuffer;
    double FBytesPerSecond = 0;
    std::atomic<std::int64_t> FTime{0};
    bool FEndOfInput = false;
};

} // namespace bw
