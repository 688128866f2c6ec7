// The WMA codecs FFmpeg can encode with, best first, and per codec the formats (bitrate,
// sample rate, channels) it offers, in the order the options dialog lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bw::media {

struct TWmaFormat {
    int Bitrate = 0; // bit/s
    int SampleRate = 0;
    int Channels = 0;
    int BitsPerSample = 16; // of the PCM the format describes
    bool Lossless = false;
    int VbrQuality = 0; // 0: a constant-bitrate format
    std::string Description;
};

struct TWmaCodec {
    std::string Name;    // as the options dialog shows it
    std::string Encoder; // FFmpeg's encoder name
    // FFmpeg's WMA encoders are constant-bitrate only: asking a codec for its VBR (and
    // lossless) formats fails.
    bool HasVbrFormats = false;
    std::vector<TWmaFormat> Formats;
};

// "128 kbit/s, 44 kHz, stereo CBR".
std::string WmaFormatDescription(int bitrate, int sampleRate, int channels);

// The codecs and formats, found once by asking the encoders which combinations they accept.
// Formats run from the highest sample rate down, stereo before mono, the highest bitrate
// first; formats spending more than 6 bits per sample and channel are left out, as no
// listener could tell them apart. Entry 29 of the first codec is 128 kbit/s, 44 kHz, stereo.
const std::vector<TWmaCodec>& WmaCodecs();

struct TWmaChoice {
    int Codec = 0;
    int Format = 0;
};

struct TPcmFormat {
    int Channels = 0;
    int SampleRate = 0;
    int BitsPerSample = 0;
};

// The format search: in constant-bitrate mode the format whose bitrate is nearest target
// (bit/s) among those with the wanted channels and bits, the nearest sample rate breaking
// ties towards later formats; in VBR mode the quality nearest target; with lossless, the
// lossless formats. VBR and lossless mode take the first matching format when none has the
// wanted channels and bits. Codecs without VBR formats are skipped in both modes.
std::optional<TWmaChoice> FindCodecFormat(const std::vector<TWmaCodec>& codecs,
                                          const TPcmFormat& wanted, std::int64_t target,
                                          bool lossless, bool vbr);

} // namespace bw::media
