#include "ApeFrame.h"

#include "Crc32.h"
#include "StereoPredictor.h"

#include <algorithm>
#include <array>

namespace bw::mac {

namespace {

// Stage-1 history kept in front of each frame's values, so that n - 5 is always valid.
constexpr std::size_t History = 8;

struct TFilterShape {
    int Order, Shift;
};

// Filters in the order the encoder applies them (largest first).
std::vector<TFilterShape> FilterShapes(int level) {
    switch (level) {
    case 2000:
        return {{16, 11}};
    case 3000:
        return {{64, 11}};
    case 4000:
        return {{256, 13}, {32, 10}};
    default:
        return {};
    }
}

std::int32_t Wrap(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}
std::int32_t Sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(std::uint32_t(a) - std::uint32_t(b));
}
std::uint32_t Mul(std::int32_t a, std::int32_t b) {
    return std::uint32_t(a) * std::uint32_t(b);
}
int Sign(std::int32_t v) {
    return (v > 0) - (v < 0);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t w) {
    const std::uint8_t b[4] = {std::uint8_t(w >> 24), std::uint8_t(w >> 16), std::uint8_t(w >> 8),
                               std::uint8_t(w)};
    out.insert(out.end(), b, b + 4);
}

// The own-channel part of the adaptive predictor: four weights over the last stage-1 output
// and its three differences.
struct TOwnTerms {
    std::int32_t a[4];
    explicit TOwnTerms(const std::int32_t* u) // u points at the current value
        : a{u[-1], Sub(u[-1], u[-2]), Sub(u[-2], u[-3]), Sub(u[-3], u[-4])} {}
    std::int32_t Predict(const std::int32_t* k) const {
        return std::int32_t(Mul(k[0], a[0]) + Mul(k[1], a[1]) + Mul(k[2], a[2]) + Mul(k[3], a[3]));
    }
    void Adapt(std::int32_t* k, int sigma) const {
        for (int i = 0; i < 4; ++i)
            k[i] += Sign(a[i]) * sigma;
    }
};

// The cross-channel part: five weights over the other channel's value and its differences.
struct TCrossTerms {
    std::int32_t b[5];
    explicit TCrossTerms(const std::int32_t* w) // w points at the current cross value
        : b{w[0], Sub(w[0], w[-1]), Sub(w[-1], w[-2]), Sub(w[-2], w[-3]), Sub(w[-3], w[-4])} {}
    std::int32_t Predict(const std::int32_t* k) const {
        return std::int32_t(Mul(k[0], b[0]) + Mul(k[1], b[1]) + Mul(k[2], b[2]) + Mul(k[3], b[3]) +
                            Mul(k[4], b[4]));
    }
    void Adapt(std::int32_t* k, int sigma) const {
        for (int i = 0; i < 5; ++i)
            k[i] += Sign(b[i]) * sigma;
    }
};

// Stage 1: a fixed first-order filter, s[n] - 31/32 s[n-1].
void FixedFilter(const std::int32_t* s, std::int32_t* u, std::uint32_t blocks) {
    std::int32_t last = 0;
    for (std::uint32_t n = 0; n < blocks; ++n) {
        u[n] = Sub(s[n], (31 * last) >> 5);
        last = s[n];
    }
}

} // namespace

void PredictStereoPlain(const std::int32_t* ua, const std::int32_t* ub, std::int32_t*,
                        std::int32_t*, std::int32_t* sa, std::int32_t* sb, std::uint32_t blocks) {
    std::int32_t ka[4], kb[4];
    std::copy(InitialOwnWeights, InitialOwnWeights + 4, ka);
    std::copy(InitialOwnWeights, InitialOwnWeights + 4, kb);
    std::int32_t xa[5] = {}, xb[5] = {};
    for (std::uint32_t n = 0; n < blocks; ++n) {
        {
            // Channel A sees B's previous value.
            const TOwnTerms own(ua + n);
            const TCrossTerms cross(ub + n - 1);
            const std::int32_t p = Wrap(std::int64_t(own.Predict(ka)) + (cross.Predict(xa) >> 1));
            const std::int32_t e = Sub(ua[n], p >> 10);
            const int sigma = Sign(e);
            own.Adapt(ka, sigma);
            cross.Adapt(xa, sigma);
            sa[n] = e;
        }
        {
            // Channel B sees A's value of the same block.
            const TOwnTerms own(ub + n);
            const TCrossTerms cross(ua + n);
            const std::int32_t p = Wrap(std::int64_t(own.Predict(kb)) + (cross.Predict(xb) >> 1));
            const std::int32_t e = Sub(ub[n], p >> 10);
            const int sigma = Sign(e);
            own.Adapt(kb, sigma);
            cross.Adapt(xb, sigma);
            sb[n] = e;
        }
    }
}

std::uint32_t BlocksPerFrame(int level) {
    return level == 4000 ? 294912 : 73728;
}

TApeFrameEncoder::TApeFrameEncoder(int level, int bits, int channels, TSimd simd)
    : FBits(bits), FChannels(channels),
      FPredictStereo(simd == TSimd::Avx2 && BestSimd() == TSimd::Avx2 ? PredictStereoAvx2
                                                                      : PredictStereoPlain) {
    for (int c = 0; c < 2; ++c)
        for (const auto& shape : FilterShapes(level))
            FFilters[c].push_back(std::make_unique<TNNFilter>(shape.Order, shape.Shift, simd));
}

void TApeFrameEncoder::ReadSamples(const std::uint8_t* pcm, std::uint32_t blocks) {
    for (int c = 0; c < FChannels; ++c)
        FSamples[c].resize(blocks);
    const int bytes = FBits / 8;
    for (std::uint32_t n = 0; n < blocks; ++n) {
        for (int c = 0; c < FChannels; ++c, pcm += bytes) {
            std::int32_t v;
            if (FBits == 8)
                v = std::int32_t(pcm[0]) - 128;
            else if (FBits == 16)
                v = std::int16_t(pcm[0] | pcm[1] << 8);
            else
                v = std::int32_t(std::uint32_t(pcm[0] | pcm[1] << 8 | pcm[2] << 16) << 8) >> 8;
            FSamples[c][n] = v;
        }
    }
}

void TApeFrameEncoder::PredictMono(std::int32_t* samples, std::uint32_t blocks) {
    auto& stage1 = FStage1[0];
    stage1.assign(History + blocks, 0);
    std::int32_t* u = stage1.data() + History;
    FixedFilter(samples, u, blocks);
    std::int32_t k[4];
    std::copy(InitialOwnWeights, InitialOwnWeights + 4, k);
    for (std::uint32_t n = 0; n < blocks; ++n) {
        const TOwnTerms own(u + n);
        const std::int32_t e = Sub(u[n], own.Predict(k) >> 10);
        own.Adapt(k, Sign(e));
        samples[n] = e;
    }
}

void TApeFrameEncoder::PredictStereo(std::uint32_t blocks) {
    // Decorrelate: A = R - L is coded first, B = L + A/2 second.
    std::int32_t* sa = FSamples[0].data(); // L, then A
    std::int32_t* sb = FSamples[1].data(); // R, then B
    for (std::uint32_t n = 0; n < blocks; ++n) {
        const std::int32_t left = sa[n], right = sb[n];
        const std::int32_t a = Sub(right, left);
        sa[n] = a;
        sb[n] = Wrap(std::int64_t(left) + a / 2);
    }
    for (int c = 0; c < 2; ++c)
        FStage1[c].assign(History + blocks, 0);
    std::int32_t* ua = FStage1[0].data() + History;
    std::int32_t* ub = FStage1[1].data() + History;
    FixedFilter(sa, ua, blocks);
    FixedFilter(sb, ub, blocks);

    FDiff[0].assign(History + blocks, 0);
    FDiff[1].assign(History + blocks, 0);
    FPredictStereo(ua, ub, FDiff[0].data() + History, FDiff[1].data() + History, sa, sb, blocks);
}

void TApeFrameEncoder::Filter(int channel, std::uint32_t blocks) {
    for (auto& filter : FFilters[channel]) {
        filter->Reset();
        filter->Compress(FSamples[channel].data(), blocks);
    }
}

void TApeFrameEncoder::Encode(const std::uint8_t* pcm, std::uint32_t blocks,
                              std::vector<std::uint8_t>& out) {
    const std::size_t bytes = std::size_t(blocks) * FChannels * (FBits / 8);
    const std::uint32_t crc = Crc32(0, pcm, bytes) >> 1;
    ReadSamples(pcm, blocks);

    auto allZero = [&](int c) {
        return std::all_of(FSamples[c].begin(), FSamples[c].end(), [](auto v) { return v == 0; });
    };
    std::uint32_t flags = 0;
    bool coded = true, mono = FChannels == 1;
    if (FChannels == 1) {
        if (allZero(0)) flags = 1, coded = false;
    } else {
        const bool leftSilent = allZero(0), rightSilent = allZero(1);
        if (leftSilent && rightSilent) {
            flags = 7, coded = false;
        } else if (FSamples[0] == FSamples[1]) {
            flags = 4, mono = true;
        } else {
            // Informational only: the frame is still coded in full.
            flags = (rightSilent ? 1 : 0) | (leftSilent ? 2 : 0);
        }
    }
    PutWord(out, flags ? crc | 0x80000000u : crc);
    if (flags) PutWord(out, flags);

    const std::size_t room =
        TRangeEncoder::FlushBytes +
        (coded ? std::size_t(blocks) * FChannels * TRangeEncoder::MaxBytesPerValue : 0);
    if (FCodedRoom < room) {
        FCoded = std::make_unique_for_overwrite<std::uint8_t[]>(room);
        FCodedRoom = room;
    }
    TRangeEncoder rc(FCoded.get());
    if (coded) {
        if (mono) {
            PredictMono(FSamples[0].data(), blocks);
            Filter(0, blocks);
            TValueCoder coder;
            for (std::uint32_t n = 0; n < blocks; ++n)
                coder.Encode(rc, FSamples[0][n]);
        } else {
            PredictStereo(blocks);
            Filter(0, blocks);
            Filter(1, blocks);
            TValueCoder coderA, coderB;
            for (std::uint32_t n = 0; n < blocks; ++n) {
                coderA.Encode(rc, FSamples[0][n]);
                coderB.Encode(rc, FSamples[1][n]);
            }
        }
    }
    rc.Flush();
    out.insert(out.end(), FCoded.get(), rc.End());
}

} // namespace bw::mac
