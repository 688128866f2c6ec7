// IMA/DVI ADPCM block coding as used in WAVE files (format tag 17): one block at a time,
// no I/O, so each block can be checked on its own and fuzzed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace bw {

// Frames one block of blockAlign bytes holds for 1 or 2 channels; 0 when no valid block has
// that size (too short, or a stereo block whose codes do not fill whole 4-byte groups).
std::size_t ImaFramesPerBlock(std::size_t blockAlign, int channels);

// Decodes one block into interleaved 16-bit samples. Returns the frames written, or 0 when
// the block is malformed (wrong size for the channel count, a step index beyond the table,
// or an output span too small to hold the block).
std::size_t ImaDecodeBlock(std::span<const std::uint8_t> block, int channels,
                           std::span<std::int16_t> out);

// Encoder state that carries over from block to block: the step index of each channel.
struct TImaEncoderState {
    std::array<std::uint8_t, 2> StepIndex{0, 0};
};

// Encodes ImaFramesPerBlock(block.size(), channels) frames of interleaved 16-bit samples
// into one block. The first frame becomes the block header. Returns false when the block
// size does not suit the channel count or pcm holds fewer frames than the block.
bool ImaEncodeBlock(std::span<const std::int16_t> pcm, int channels, std::span<std::uint8_t> block,
                    TImaEncoderState& state);

} // namespace bw
