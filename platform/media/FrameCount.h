// The exact number of frames FFmpeg's decoder gives for one audio stream (encoder delay and
// padding removed), found before the stream is decoded for real, so that a reader can
// announce its true length.
#pragma once

#include "FFmpegOwners.h"

#include <cstdint>

namespace bw::media {

struct TFrameCount {
    std::int64_t Frames = -1; // -1: could not be told
    bool ReadPackets = false; // the demuxer was read on: reopen it before decoding
};

// Lossless streams whose container states their length in samples are taken at their word;
// with readAhead, MPEG audio is counted packet by packet (with the skip and discard side data
// of gapless headers) and any other stream is decoded once and its frames counted; without,
// those stay untold. rate: the rate the frames are counted at.
TFrameCount CountFrames(AVFormatContext* format, int stream, int rate, bool readAhead);

} // namespace bw::media
