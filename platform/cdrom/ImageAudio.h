// Compressed audio files named by a disc description (a FLAC, WavPack or APE file beside a
// cue sheet): what they hold, and their samples decoded exactly, as the bytes a raw audio
// file would hold (16-bit little-endian stereo at 44.1 kHz). Lossy files are refused: a
// disc read from them would not be the disc.
#pragma once

#include "DiscImage.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace bw {

// The decoded length of an audio file that is not a WAV file, given its first bytes; throws
// EDiscImage naming the file when it is lossy, not 16-bit stereo 44.1 kHz, or not audio.
TImageFileInfo ProbeImageAudio(const std::filesystem::path& path, std::string_view head);

// True when the first bytes are those of a RIFF WAVE file, read without decoding.
bool IsRiffWave(std::string_view head);

class TImageAudioDecoder {
public:
    virtual ~TImageAudioDecoder() = default;
    // Fills out with `bytes` bytes of the decoded stream from byte `offset` (both multiples
    // of 4); false when the file cannot give them.
    bool Read(std::uint64_t offset, std::uint8_t* out, std::size_t bytes);

protected:
    // Decodes the next block after the current one, into FBlock; false at the end or on
    // failure. FBlockStart is the sample number of its first sample.
    virtual bool NextBlock() = 0;
    // Positions the decoder so that a following NextBlock gives a block holding `sample`
    // (or starting before it); false when it cannot.
    virtual bool SeekTo(std::uint64_t sample) = 0;

    std::vector<std::uint8_t> FBlock;
    std::uint64_t FBlockStart = 0;
    bool FHaveBlock = false;
};

// A decoder for a file that ProbeImageAudio accepted; nullptr when it cannot be opened.
std::unique_ptr<TImageAudioDecoder> OpenImageAudio(const std::filesystem::path& path);

} // namespace bw
