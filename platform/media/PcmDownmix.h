// Mixes interleaved PCM of more than two channels down to stereo with FFmpeg's own matrix
// (libswresample's, as `ffmpeg -ac 2` uses), for the formats that hold no more than two.
#pragma once

#include "FFmpegOwners.h"

#include <cstdint>
#include <vector>

namespace bw::media {

// The layout of a count of channels where the source names none, as a WAV channel mask: the
// one FLAC and FFmpeg assume (5.1 for six: front left, right, centre, LFE, back left, right).
std::uint64_t DefaultChannelMask(int channels);

class TPcmDownmix {
public:
    // mask: the source's layout as WAV channel-mask bits (0: the default for its count);
    // bits: 8 (unsigned), 16 or 24 (packed), which the stereo output keeps. Throws
    // TMediaError when FFmpeg cannot mix the layout.
    TPcmDownmix(int channels, std::uint64_t mask, int rate, int bits);

    // Mixes whole frames of in into out (resized to fit); returns the bytes written.
    std::size_t Mix(const std::uint8_t* in, std::size_t frames, std::vector<std::uint8_t>& out);

private:
    TSwr FSwr;
    int FChannels;
    int FBits;
    std::vector<std::int32_t> FWide; // 24-bit samples widened for the mixer, in and out
    std::vector<std::int32_t> FWideOut;
};

} // namespace bw::media
