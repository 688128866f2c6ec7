// The Opus sink: encodes 8, 16 or 24-bit mono or stereo PCM at any rate with libopusenc
// (which resamples to 48 kHz) into an Ogg Opus file, with the Comments as OpusTags.
#pragma once

#include "AuFileOut.h"
#include "AuTags.h"
#include "OpusEnc.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bw {

enum class TOpusMode : std::uint8_t { omVBR, omConstrainedVBR, omCBR };

// The comment pairs (upper-case key, UTF-8 value) in store order, leaving out empty values.
std::vector<std::pair<std::string, std::string>> OpusCommentsOf(const TVorbisTags& tags);

class TOpusOut : public TAuFileOut {
public:
    static constexpr int MinBitrate = 6, MaxBitrate = 512, DefaultBitrate = 128; // kbit/s
    static constexpr int MaxChannels = 8; // surround up to 7.1 (mapping family 1)
    static constexpr int MaxComplexity = 10;
    static constexpr int BlockFrames = 4800; // samples per channel in one pull

    // Raises "libopusenc.so.0 library could not be loaded." when the library is missing.
    TOpusOut();
    ~TOpusOut() override;

    // Checked when a run starts: a value outside its range fails the run and names it.
    int Bitrate = DefaultBitrate; // kbit/s, 6..512
    TOpusMode Mode = TOpusMode::omVBR;
    int Complexity = MaxComplexity; // 0..10

    TVorbisTags& Comments() { return FComments; }
    void SetComments(const TVorbisTags& tags) { FComments.Assign(tags); }

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    struct TEncoderDeleter {
        void operator()(OggOpusEnc* encoder) const;
    };

    static int WriteCallback(void* client, const unsigned char* data, opus_int32 bytes);
    static int CloseCallback(void*) { return 0; }
    // Raises the failure a write callback met, or the library's own.
    void Check(int result, const char* what);
    void ReleaseRun();
    void FailRun();

    TVorbisTags FComments;

    // Run state
    std::unique_ptr<OggOpusEnc, TEncoderDeleter> FEncoder;
    std::exception_ptr FWriteError;
    std::vector<std::uint8_t> FSampleBuffer;
    std::vector<float> FSamples;
    int FBits = 16;
    int FChannels = 2;
    std::int64_t FFramesIn = 0; // frames given to the encoder in this run
    bool FDrained = false;
};

} // namespace bw
