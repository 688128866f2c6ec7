// A memory source of PCM with a chosen format, handing out at most Chunk bytes per pull.
#pragma once

#include "TestSupport.h"

#include "AuComponents.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace bwtest {

class TPcmSource : public bw::TAuInput {
public:
    TPcmSource(int bits, int channels, int rate, std::vector<std::uint8_t> data, int chunk = 4096)
        : FBits(bits), FChannels(channels), FRate(rate), FData(std::move(data)), FChunk(chunk) {}
    ~TPcmSource() override { NotifyRemoval(); }

    int GetBitsPerSample() override { return FBits; }
    int GetChannels() override { return FChannels; }
    int GetSampleRate() override { return FRate; }
    void SetRate(int rate) { FRate = rate; }
    const std::vector<std::uint8_t>& Data() const { return FData; }

protected:
    void DoOpenRead() override {
        FRead = 0;
        FPosition = 0;
        FSize = static_cast<std::int64_t>(FData.size());
        FBusy = true;
    }
    void DoCloseRead() override { FBusy = false; }
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override {
        std::size_t n =
            std::min<std::size_t>({std::size_t(Bytes), std::size_t(FChunk), FData.size() - FRead});
        Buffer = FData.data() + FRead;
        Bytes = static_cast<int>(n);
        FRead += n;
        FPosition += Bytes;
    }

private:
    int FBits, FChannels, FRate;
    std::vector<std::uint8_t> FData;
    int FChunk;
    std::size_t FRead = 0;
};

// A sine tone of `frames` frames, every channel alike, as little-endian PCM of the width.
inline std::vector<std::uint8_t> Tone(int bits, int channels, int rate, double hz,
                                      std::size_t frames, double amplitude = 0.5) {
    std::vector<std::uint8_t> out;
    out.reserve(frames * channels * bits / 8);
    for (std::size_t i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2 * M_PI * hz * double(i) / rate);
        for (int c = 0; c < channels; ++c) {
            bwtest::AppendPcmSample(out, v, bits);
        }
    }
    return out;
}

// Pulls everything from an opened input in requests of `request` bytes.
inline std::vector<std::uint8_t> PullAll(bw::TAuInput& input, int request = 5000) {
    std::vector<std::uint8_t> out;
    for (;;) {
        std::uint8_t* p = nullptr;
        int n = request;
        input.PullData(p, n);
        if (n == 0) break;
        out.insert(out.end(), p, p + n);
    }
    return out;
}

} // namespace bwtest
