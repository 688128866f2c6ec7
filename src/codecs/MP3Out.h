// The MP3 sink: encodes 16-bit PCM (one or two channels) with LAME into an MPEG-1/2 Layer III
// stream. It writes no tag; the jobs add the ID3v1.1 block to the finished file.
#pragma once

#include "AuFileOut.h"
#include "lame.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace bw {

enum class TMP3BitRate : std::uint8_t {
    br8,
    br16,
    br24,
    br32,
    br40,
    br48,
    br56,
    br64,
    br80,
    br96,
    br112,
    br128,
    br144,
    br160,
    br192,
    br224,
    br256,
    br320
};
int MP3BitRateKbps(TMP3BitRate rate);

enum class TMP3Quality : std::uint8_t { ql0, ql1, ql2, ql3, ql4, ql5, ql6, ql7, ql8, ql9 };
enum class TMP3SampleRate : std::uint8_t { srDefault, sr32kHz, sr41kHz, sr48kHz };
// The ordinal is LAME's channel-mode number.
enum class TMP3Mode : std::uint8_t { STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO };

// What a run hands to the library, worked out from the properties and the input's format.
struct TLameParams {
    std::optional<std::uint32_t> NumSamples; // only for an input of known size
    int InSampleRate = 0;
    int NumChannels = 2;
    int OutSampleRate = 0;
    int Mode = 0;
    int Copyright = 0;
    int Original = 1;
    int ErrorProtection = 0;
    bool VBR = false;
    // Constant bitrate
    int BitRateKbps = 128;
    int Quality = 5;
    // Variable bitrate
    bool WriteVbrTag = false; // true: call lame_set_bWriteVbrTag(1); false: no call
    int VBRQuality = 5;
    int VBRMinKbps = 128;
    int VBRMaxKbps = 192;
    // Room for what one block can give: LAME's worst case of 1.25 bytes per output frame
    // plus 7200, where a block of low-rate input becomes several times as many frames.
    int OutputBufferBytes = 17440;
};

class TMP3Out : public TAuFileOut {
public:
    static constexpr int OutputBufferSize = 17440; // LAME's worst case for 8192 frames
    static constexpr int BlockBytes = 16384;

    // Loads LAME when it is not loaded; raises "libmp3lame.so.0 library could not be loaded."
    // when it cannot be.
    TMP3Out();
    ~TMP3Out() override;

    TMP3BitRate BitRate = TMP3BitRate::br128;
    TMP3Quality Quality = TMP3Quality::ql5;
    TMP3SampleRate SampleRate = TMP3SampleRate::srDefault;
    TMP3Mode Mode = TMP3Mode::STEREO;
    bool CRC = false;
    bool Copyright = false;
    bool Original = true;
    bool WriteVBRHeader = false;
    bool EnableVBR = false;
    TMP3Quality VBRQuality = TMP3Quality::ql5;
    int VBRMinBitrate = 128; // kbit/s
    int VBRMaxBitrate = 192; // kbit/s

    // The library settings for an input of this format. In VBR mode a maximum below the
    // minimum swaps the two properties first.
    TLameParams MakeLameParams(int channels, int sampleRate, int bitsPerSample, std::int64_t size);

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    struct THandleCloser {
        void operator()(lame_global_flags* handle) const;
    };
    void ReleaseRun();
    void WriteEncoded(int bytes);
    void WriteLameTag();

    TLameUse FLameUse; // before any use of the library
    std::unique_ptr<lame_global_flags, THandleCloser> FHandle;
    std::vector<std::uint8_t> FOutput;
    int OutputBytes() const { return static_cast<int>(FOutput.size()); }
    std::vector<std::int16_t> FStereo; // one-channel blocks widened to two
    int FChannels = 2;
    std::int64_t FRunStart = -1; // where this run's stream begins; -1 when unknown
};

} // namespace bw
