// The pipeline carries channels in WAV and FLAC order (front left, front right, centre, LFE,
// back, side); Vorbis and Opus's surround mapping put the centre between the fronts and the
// LFE last.
#pragma once

#include <array>

namespace bw {

// For each channel of a Vorbis stream of that many channels, the pipeline channel it is
// taken from; the order is kept as it is beyond 8 channels, where Vorbis defines none.
inline std::array<int, 16> VorbisChannelSources(int channels) {
    std::array<int, 16> sources{};
    for (int c = 0; c < 16; ++c)
        sources[c] = c;
    static const std::array<std::array<int, 8>, 6> Surround = {{
        {0, 2, 1},                // 3: L C R
        {0, 1, 2, 3},             // 4: quad
        {0, 2, 1, 3, 4},          // 5: 5.0
        {0, 2, 1, 4, 5, 3},       // 6: 5.1
        {0, 2, 1, 5, 6, 4, 3},    // 7: 6.1
        {0, 2, 1, 6, 7, 4, 5, 3}, // 8: 7.1
    }};
    if (channels >= 3 && channels <= 8)
        for (int c = 0; c < channels; ++c)
            sources[c] = Surround[channels - 3][c];
    return sources;
}

} // namespace bw
