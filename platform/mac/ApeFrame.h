// Compresses one frame of PCM into its coded bytes: the CRC word, the special-frame flags,
// then the range-coded residuals of the prediction chain. Every frame starts from a fresh
// state, so frames are independent.
#pragma once

#include "ApeEntropy.h"
#include "NNFilter.h"
#include "StereoPredictor.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace bw::mac {

// Blocks (one sample per channel) in every frame but the last.
std::uint32_t BlocksPerFrame(int level);

class TApeFrameEncoder {
public:
    // level 1000..4000, bits 8/16/24, channels 1/2; the caller has checked them.
    TApeFrameEncoder(int level, int bits, int channels, TSimd simd = BestSimd());

    // Appends the frame's bytes, in stream order, to out. pcm holds blocks whole blocks
    // exactly as they lie in a WAV data chunk.
    void Encode(const std::uint8_t* pcm, std::uint32_t blocks, std::vector<std::uint8_t>& out);

private:
    void ReadSamples(const std::uint8_t* pcm, std::uint32_t blocks);
    void PredictStereo(std::uint32_t blocks);
    void PredictMono(std::int32_t* samples, std::uint32_t blocks);
    void Filter(int channel, std::uint32_t blocks);

    int FBits;
    int FChannels;
    std::vector<std::int32_t> FSamples[2]; // per channel, then residuals in place
    std::vector<std::int32_t> FStage1[2];  // stage-1 outputs with leading zero history
    std::vector<std::int32_t> FDiff[2];    // room for their differences
    TStereoPredict FPredictStereo;
    std::vector<std::unique_ptr<TNNFilter>> FFilters[2];
    std::unique_ptr<std::uint8_t[]> FCoded; // the range coder's output, reused frame to frame
    std::size_t FCodedRoom = 0;
};

} // namespace bw::mac
