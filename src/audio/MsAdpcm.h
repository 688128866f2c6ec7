// Microsoft ADPCM block decoding (WAVE format tag 2): one block at a time, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace bw {

struct TMsAdpcmCoef {
    std::int16_t Coef1 = 0;
    std::int16_t Coef2 = 0;
};

// The most coefficient pairs a file's format chunk may carry.
constexpr std::size_t MsAdpcmMaxCoefs = 32;

// Frames one block of blockAlign bytes holds for 1 or 2 channels; 0 when the block cannot
// even hold its header.
std::size_t MsAdpcmFramesPerBlock(std::size_t blockAlign, int channels);

// Decodes one block of blockAlign bytes into interleaved 16-bit samples. Returns the frames
// written (MsAdpcmFramesPerBlock), or 0 when the block is malformed: a predictor index
// beyond coefs, a size that cannot hold a block, or an output span too small.
std::size_t MsAdpcmDecodeBlock(std::span<const std::uint8_t> block, int channels,
                               std::span<const TMsAdpcmCoef> coefs, std::span<std::int16_t> out);

} // namespace bw
