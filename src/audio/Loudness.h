// Loudness of PCM as it flows to an encoder, measured with libebur128, for ReplayGain 2.0:
// gain against -18 LUFS and the sample peak, per track and over an album's tracks.
#pragma once

#include "AuComponents.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <ebur128.h>

namespace bw {

constexpr double ReplayGainReference = -18.0; // LUFS

// One track's measurement: owns a libebur128 state.
class TLoudness {
public:
    TLoudness(int Channels, int SampleRate);
    ~TLoudness();
    TLoudness(const TLoudness&) = delete;
    TLoudness& operator=(const TLoudness&) = delete;

    // Interleaved little-endian PCM: 8-bit unsigned, 16 or 24-bit signed; whole frames.
    void Add(const std::uint8_t* Pcm, std::size_t Frames, int BitsPerSample);

    // Gain to -18 LUFS in dB; empty for silence (nothing above the gate).
    std::optional<double> Gain() const;
    // The largest sample magnitude, 1.0 = full scale.
    double Peak() const;

    // The album's gain and peak over tracks measured apart, as if played one after another.
    static std::optional<double> AlbumGain(const std::vector<const TLoudness*>& Tracks);
    static double AlbumPeak(const std::vector<const TLoudness*>& Tracks);

private:
    ebur128_state* FState = nullptr;
    int FChannels;
    std::vector<std::int32_t> FScratch;
};

// Measures a PCM WAV file (any layout TWaveIn reads); nullptr when it cannot be read.
std::unique_ptr<TLoudness> MeasureWaveFile(const std::filesystem::path& FileName);

// A filter that hands its input through untouched and measures what passes. Each OpenRead
// starts a new measurement; TakeMeasurement hands over the last one.
class TLoudnessMeter : public TAuConverter {
public:
    ~TLoudnessMeter() override;

    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    std::int64_t GetTotalSamples() override;
    int GetTotalTime() override;

    // The measurement of the last run; nullptr before any or when already taken.
    std::unique_ptr<TLoudness> TakeMeasurement();

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    std::mutex FResultLock;
    std::unique_ptr<TLoudness> FLoudness;
    int FBits = 16;
    int FFrameBytes = 4;
    std::vector<std::uint8_t> FCarry; // a frame split between two pulls
};

} // namespace bw
