#include "MsAdpcm.h"

#include <algorithm>
#include <array>
#include <climits>

namespace bw {

namespace {

constexpr std::array<int, 16> AdaptationTable = {230, 230, 230, 230, 307, 409, 512, 614,
                                                 768, 614, 512, 409, 307, 230, 230, 230};

// Keeps delta × 768 within int on hostile input; real files never come near it.
constexpr int MaxDelta = INT_MAX / 768;

struct TChannel {
    int Coef1 = 0;
    int Coef2 = 0;
    int Delta = 0;
    int Sample1 = 0; // the newer of the two previous samples
    int Sample2 = 0;

    std::int16_t Decode(unsigned code) {
        int signedCode = code & 8 ? static_cast<int>(code) - 16 : static_cast<int>(code);
        // 64-bit: two products of 16-bit extremes overflow int.
        long long prediction =
            (static_cast<long long>(Sample1) * Coef1 + static_cast<long long>(Sample2) * Coef2) /
            256;
        prediction += static_cast<long long>(signedCode) * Delta;
        int sample = static_cast<int>(std::clamp<long long>(prediction, -32768, 32767));
        Delta = std::clamp(Delta * AdaptationTable[code] / 256, 16, MaxDelta);
        Sample2 = Sample1;
        Sample1 = sample;
        return static_cast<std::int16_t>(sample);
    }
};

int ReadLe16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

} // namespace

std::size_t MsAdpcmFramesPerBlock(std::size_t blockAlign, int channels) {
    if (channels != 1 && channels != 2) return 0;
    std::size_t header = 7 * static_cast<std::size_t>(channels);
    if (blockAlign < header) return 0;
    return (blockAlign - header) * 2 / static_cast<std::size_t>(channels) + 2;
}

std::size_t MsAdpcmDecodeBlock(std::span<const std::uint8_t> block, int channels,
                               std::span<const TMsAdpcmCoef> coefs, std::span<std::int16_t> out) {
    std::size_t frames = MsAdpcmFramesPerBlock(block.size(), channels);
    if (frames == 0 || out.size() < frames * static_cast<std::size_t>(channels)) return 0;
    std::array<TChannel, 2> state;
    const std::uint8_t* p = block.data();
    for (int c = 0; c < channels; ++c) {
        std::size_t predictor = p[c];
        if (predictor >= coefs.size()) return 0;
        state[c].Coef1 = coefs[predictor].Coef1;
        state[c].Coef2 = coefs[predictor].Coef2;
    }
    p += channels;
    for (int c = 0; c < channels; ++c, p += 2)
        state[c].Delta = ReadLe16(p);
    for (int c = 0; c < channels; ++c, p += 2)
        state[c].Sample1 = ReadLe16(p);
    for (int c = 0; c < channels; ++c, p += 2)
        state[c].Sample2 = ReadLe16(p);
    // The older sample comes first in time.
    for (int c = 0; c < channels; ++c) {
        out[c] = static_cast<std::int16_t>(state[c].Sample2);
        out[channels + c] = static_cast<std::int16_t>(state[c].Sample1);
    }
    // High nibble first; in stereo the high nibble is the left channel's.
    std::size_t codes = (frames - 2) * static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < codes; ++i) {
        std::uint8_t byte = p[i / 2];
        unsigned code = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        int c = static_cast<int>(i % static_cast<std::size_t>(channels));
        out[2 * channels + i] = state[c].Decode(code);
    }
    return frames;
}

} // namespace bw
