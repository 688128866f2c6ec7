// The adaptive stage of a stereo frame (four own-channel weights, five cross-channel ones,
// adapted by sign), run over both channels' stage-1 outputs. Besides the plain loop there
// is an AVX2-machine build that works on four weights at once.
#pragma once

#include <cstdint>

namespace bw::mac {

// ua, ub: stage-1 outputs with at least 8 zeros before index 0; da, db: room for as many
// values (the differences, filled here). Writes the residuals to ea and eb.
using TStereoPredict = void (*)(const std::int32_t* ua, const std::int32_t* ub, std::int32_t* da,
                                std::int32_t* db, std::int32_t* ea, std::int32_t* eb,
                                std::uint32_t blocks);

void PredictStereoPlain(const std::int32_t* ua, const std::int32_t* ub, std::int32_t* da,
                        std::int32_t* db, std::int32_t* ea, std::int32_t* eb, std::uint32_t blocks);
void PredictStereoAvx2(const std::int32_t* ua, const std::int32_t* ub, std::int32_t* da,
                       std::int32_t* db, std::int32_t* ea, std::int32_t* eb, std::uint32_t blocks);

constexpr std::int32_t InitialOwnWeights[4] = {360, 317, -109, 98};

} // namespace bw::mac
