#include "ImaAdpcm.h"

#include <algorithm>
#include <cstring>

namespace bw {

namespace {

constexpr std::array<std::int16_t, 89> StepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr std::array<int, 16> IndexTable = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int MaxStepIndex = 88;
// The published algorithm keeps samples symmetric: -32768 is never produced.
constexpr int SampleMin = -32767;
constexpr int SampleMax = 32767;

struct TChannel {
    int Predictor = 0;
    int StepIndex = 0;

    // Applies one code exactly as a decoder does; the encoder tracks the decoder with it.
    void Apply(unsigned code) {
        int step = StepTable[StepIndex];
        int difference = step / 8;
        if (code & 4) difference += step;
        if (code & 2) difference += step / 2;
        if (code & 1) difference += step / 4;
        Predictor = std::clamp(code & 8 ? Predictor - difference : Predictor + difference,
                               SampleMin, SampleMax);
        StepIndex = std::clamp(StepIndex + IndexTable[code], 0, MaxStepIndex);
    }

    unsigned Encode(int sample) {
        int step = StepTable[StepIndex];
        int difference = sample - Predictor;
        unsigned code = 0;
        if (difference < 0) {
            code = 8;
            difference = -difference;
        }
        if (difference >= step) {
            code |= 4;
            difference -= step;
        }
        if (difference >= step / 2) {
            code |= 2;
            difference -= step / 2;
        }
        if (difference >= step / 4) code |= 1;
        Apply(code);
        return code;
    }
};

std::int16_t ReadLe16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

// Code bytes of a block: mono codes run on; stereo codes come in groups of 4 bytes (8
// codes) per channel, left group first. This gives the byte holding code i of channel c.
std::size_t CodeByteOffset(std::size_t i, int c, int channels) {
    std::size_t header = 4 * static_cast<std::size_t>(channels);
    if (channels == 1) return header + i / 2;
    std::size_t group = i / 8;
    return header + (group * 2 + static_cast<std::size_t>(c)) * 4 + (i % 8) / 2;
}

} // namespace

std::size_t ImaFramesPerBlock(std::size_t blockAlign, int channels) {
    if (channels == 1) return blockAlign > 4 ? 1 + 2 * (blockAlign - 4) : 0;
    if (channels == 2) {
        if (blockAlign <= 8 || (blockAlign - 8) % 8 != 0) return 0;
        return 1 + (blockAlign - 8);
    }
    return 0;
}

std::size_t ImaDecodeBlock(std::span<const std::uint8_t> block, int channels,
                           std::span<std::int16_t> out) {
    std::size_t frames = ImaFramesPerBlock(block.size(), channels);
    if (frames == 0 || out.size() < frames * static_cast<std::size_t>(channels)) return 0;
    std::array<TChannel, 2> state;
    for (int c = 0; c < channels; ++c) {
        const std::uint8_t* header = block.data() + 4 * c;
        if (header[2] > MaxStepIndex) return 0;
        state[c].Predictor = ReadLe16(header);
        state[c].StepIndex = header[2];
        out[c] = static_cast<std::int16_t>(state[c].Predictor);
    }
    for (int c = 0; c < channels; ++c) {
        for (std::size_t i = 0; i + 1 < frames; ++i) {
            std::uint8_t byte = block[CodeByteOffset(i, c, channels)];
            unsigned code = i % 2 == 0 ? byte & 0x0F : byte >> 4;
            state[c].Apply(code);
            out[(i + 1) * channels + c] = static_cast<std::int16_t>(state[c].Predictor);
        }
    }
    return frames;
}

bool ImaEncodeBlock(std::span<const std::int16_t> pcm, int channels, std::span<std::uint8_t> block,
                    TImaEncoderState& encoder) {
    std::size_t frames = ImaFramesPerBlock(block.size(), channels);
    if (frames == 0 || pcm.size() < frames * static_cast<std::size_t>(channels)) return false;
    std::fill(block.begin(), block.end(), 0);
    for (int c = 0; c < channels; ++c) {
        TChannel state;
        // The decoder starts from the header sample as it stands, so the encoder does too.
        state.Predictor = pcm[c];
        state.StepIndex = std::min<int>(encoder.StepIndex[c], MaxStepIndex);
        std::uint8_t* header = block.data() + 4 * c;
        header[0] = static_cast<std::uint8_t>(pcm[c] & 0xFF);
        header[1] = static_cast<std::uint8_t>((pcm[c] >> 8) & 0xFF);
        header[2] = static_cast<std::uint8_t>(state.StepIndex);
        for (std::size_t i = 0; i + 1 < frames; ++i) {
            unsigned code = state.Encode(pcm[(i + 1) * channels + c]);
            std::uint8_t& byte = block[CodeByteOffset(i, c, channels)];
            byte |= static_cast<std::uint8_t>(i % 2 == 0 ? code : code << 4);
        }
        encoder.StepIndex[c] = static_cast<std::uint8_t>(state.StepIndex);
    }
    return true;
}

} // namespace bw
