// Loudness of PCM as it flows to an encoder, for ReplayGain 2.0: gain against -18 LUFS and
// the sample peak, per track and over an album's tracks. The integrated loudness is that of
// ITU-R BS.1770 (K-weighting, 400 ms blocks every 100 ms, absolute and relative gates), the
// channels weighted as libebur128 weights them by default. It is measured here rather than by
// libebur128 itself, which takes several times as long as a fast encoder; the meter runs the
// measurement on a thread of its own, beside the encoder that pulls the same blocks.
#pragma once

#include "AuComponents.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace bw {

constexpr double ReplayGainReference = -18.0; // LUFS

struct TLoudnessKernel;

// One track's measurement: the K-weighted energy of each 400 ms block and the peak.
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
    // One second-order section of the K-weighting filter (transposed direct form II).
    struct TBiquad {
        double B0, B1, B2, A1, A2;
    };
    template <int Bits>
    void Filter(const std::uint8_t* Pcm, std::size_t Frames);
    // Frames within one 100 ms stretch, through the samples as doubles.
    template <int Bits>
    void FilterRun(const std::uint8_t* Pcm, std::size_t Frames, const TLoudnessKernel& K);
    void SubBlockDone();

    int FChannels;
    int FSubBlockFrames;           // frames in 100 ms
    TBiquad FShelf{}, FHighPass{}; // the two stages of the K-weighting
    std::vector<double> FWeights;  // per channel; 0 for channels that do not count
    std::vector<double> FState;    // four values per channel: two per stage
    std::vector<double> FSum;      // squares of the current 100 ms, per channel
    double FSumScale = 1;          // what makes them full-scale squares
    int FFramesInSubBlock = 0;
    std::vector<double> FSubBlocks; // the last four 100 ms energies
    std::vector<double> FBlocks;    // mean square of each 400 ms block
    double FPeak = 0;               // largest sample magnitude, full scale 1.0
    std::vector<double> FScratch;   // the samples being filtered, full scale 1.0
};

// Measures a PCM WAV file (any layout TWaveIn reads); nullptr when it cannot be read.
std::unique_ptr<TLoudness> MeasureWaveFile(const std::filesystem::path& FileName);

// A filter that hands its input through untouched and measures what passes, on a thread of
// its own fed with copies of the blocks, so that the puller does not wait for the
// measurement. Each OpenRead starts a new measurement; TakeMeasurement waits for the blocks
// handed over so far and hands over the measurement.
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
    void Measure();
    void StopMeasuring();
    // Queues the bytes pulled since the last hand-over for the measuring thread.
    void HandOver(bool last);
    static constexpr std::size_t HandOverBytes = 256 * 1024;

    std::mutex FStopLock; // one stopper at a time: the puller's close, the taker, the end
    std::mutex FLock;     // guards everything below that the measuring thread shares
    std::condition_variable FWake;
    std::unique_ptr<TLoudness> FLoudness;
    std::deque<std::vector<std::uint8_t>> FQueue;  // whole frames, in order
    std::vector<std::vector<std::uint8_t>> FSpare; // emptied blocks, to be filled again
    bool FEnd = false;                             // no more blocks come
    std::thread FThread;
    int FBits = 16;
    int FFrameBytes = 4;
    // Bytes pulled since the last hand-over (the puller's, handed over under the lock).
    std::vector<std::uint8_t> FPending;
    bool FFeeding = false; // the puller's: this run is measured
};

} // namespace bw
