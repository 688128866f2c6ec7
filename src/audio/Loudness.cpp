#include "Loudness.h"

#include "WaveIn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace bw {

namespace {

// ITU-R BS.1770's K-weighting, designed for any rate from the analogue filters that give its
// published 48 kHz coefficients: a high shelf of about +4 dB above 1.7 kHz, then a high-pass
// at 38 Hz (whose numerator stays 1, -2, 1, as the standard gives it).
constexpr double ShelfFrequency = 1681.974450955533;
constexpr double ShelfGainDb = 3.999843853973347;
constexpr double ShelfQ = 0.7071752369554196;
constexpr double ShelfBandGainExponent = 0.4996667741545416;
constexpr double HighPassFrequency = 38.13547087602444;
constexpr double HighPassQ = 0.5003270373238773;

constexpr double LoudnessOffset = -0.691; // LUFS = offset + 10 log10(weighted mean square)
constexpr double AbsoluteGateLufs = -70.0;
constexpr double RelativeGateLu = -10.0;
// Filter states smaller than this are noise-free zeros; flushing them keeps the arithmetic
// out of subnormal numbers, which are many times slower, after a track's sound stops.
constexpr double Tiny = 1e-30;

double EnergyOf(double lufs) {
    return std::pow(10.0, (lufs - LoudnessOffset) / 10.0);
}

// Gated loudness over blocks' mean squares; empty when no block passes the gates.
std::optional<double> GatedLoudness(const std::vector<const std::vector<double>*>& lists) {
    const double absolute = EnergyOf(AbsoluteGateLufs);
    double sum = 0;
    std::size_t count = 0;
    for (const auto* blocks : lists)
        for (double energy : *blocks)
            if (energy >= absolute) {
                sum += energy;
                ++count;
            }
    if (count == 0) return std::nullopt;
    const double relative = std::max(absolute, sum / count * std::pow(10.0, RelativeGateLu / 10));
    sum = 0;
    count = 0;
    for (const auto* blocks : lists)
        for (double energy : *blocks)
            if (energy >= relative) {
                sum += energy;
                ++count;
            }
    if (count == 0) return std::nullopt;
    const double lufs = LoudnessOffset + 10 * std::log10(sum / count);
    if (!std::isfinite(lufs)) return std::nullopt;
    return lufs;
}

// Samples of each width as full scale 1.0.
template <typename TSample>
double SampleAt(const std::uint8_t* pcm);
template <>
double SampleAt<std::uint8_t>(const std::uint8_t* pcm) {
    return (pcm[0] - 128) * (1.0 / 128);
}
template <>
double SampleAt<std::int16_t>(const std::uint8_t* pcm) {
    return static_cast<std::int16_t>(pcm[0] | pcm[1] << 8) * (1.0 / 32768);
}
struct TInt24 {};
template <>
double SampleAt<TInt24>(const std::uint8_t* pcm) {
    const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(pcm[0]) << 8 |
                                                 static_cast<std::uint32_t>(pcm[1]) << 16 |
                                                 static_cast<std::uint32_t>(pcm[2]) << 24);
    return value * (1.0 / 2147483648.0);
}

} // namespace

TLoudness::TLoudness(int Channels, int SampleRate) : FChannels(std::max(Channels, 1)) {
    if (Channels < 1 || Channels > 64 || SampleRate < 16 || SampleRate > 2822400)
        throw EAuException("Loudness cannot be measured at " + std::to_string(SampleRate) +
                           " Hz with " + std::to_string(Channels) + " channels.");
    FSubBlockFrames = (SampleRate + 5) / 10;
    const double pi = 3.14159265358979323846;
    double k = std::tan(pi * ShelfFrequency / SampleRate);
    const double vh = std::pow(10.0, ShelfGainDb / 20.0);
    const double vb = std::pow(vh, ShelfBandGainExponent);
    double a0 = 1.0 + k / ShelfQ + k * k;
    FShelf = {(vh + vb * k / ShelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
              (vh - vb * k / ShelfQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
              (1.0 - k / ShelfQ + k * k) / a0};
    k = std::tan(pi * HighPassFrequency / SampleRate);
    a0 = 1.0 + k / HighPassQ + k * k;
    FHighPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / HighPassQ + k * k) / a0};
    // Left, right and centre count once, the surrounds 1.41 times; the fourth channel
    // (low-frequency effects) and any beyond the sixth do not count.
    constexpr double Weights[] = {1.0, 1.0, 1.0, 0.0, 1.41, 1.41};
    for (int channel = 0; channel < FChannels; ++channel)
        FWeights.push_back(channel < 6 ? Weights[channel] : 0.0);
    FState.assign(static_cast<std::size_t>(FChannels) * 4, 0.0);
    FSum.assign(static_cast<std::size_t>(FChannels), 0.0);
}

TLoudness::~TLoudness() = default;

template <typename TSample, int Channels>
void TLoudness::Filter(const std::uint8_t* Pcm, std::size_t Frames) {
    // The two common layouts have their channel count fixed at compile time, which lets the
    // compiler keep the filter states in registers.
    const int channels = Channels > 0 ? Channels : FChannels;
    const std::size_t step = std::is_same_v<TSample, TInt24> ? 3 : sizeof(TSample);
    const TBiquad s = FShelf, h = FHighPass;
    double peak = FPeak;
    while (Frames > 0) {
        const std::size_t run =
            std::min<std::size_t>(Frames, std::size_t(FSubBlockFrames - FFramesInSubBlock));
        if constexpr (Channels > 0) {
            // All channels of a frame together: their filters are independent, so the
            // processor works on them side by side.
            double z[Channels][4], sum[Channels];
            for (int c = 0; c < Channels; ++c) {
                std::copy_n(&FState[std::size_t(c) * 4], 4, z[c]);
                sum[c] = FSum[std::size_t(c)];
            }
            const std::uint8_t* in = Pcm;
            for (std::size_t i = 0; i < run; ++i)
                for (int c = 0; c < Channels; ++c, in += step) {
                    const double x = SampleAt<TSample>(in);
                    peak = std::max(peak, std::abs(x));
                    const double y = s.B0 * x + z[c][0];
                    z[c][0] = s.B1 * x - s.A1 * y + z[c][1];
                    z[c][1] = s.B2 * x - s.A2 * y;
                    const double w = y + z[c][2];
                    z[c][2] = -2.0 * y - h.A1 * w + z[c][3];
                    z[c][3] = y - h.A2 * w;
                    sum[c] += w * w;
                }
            for (int c = 0; c < Channels; ++c) {
                std::copy_n(z[c], 4, &FState[std::size_t(c) * 4]);
                FSum[std::size_t(c)] = sum[c];
            }
        } else {
            for (int c = 0; c < channels; ++c) {
                double* z = &FState[std::size_t(c) * 4];
                double z0 = z[0], z1 = z[1], z2 = z[2], z3 = z[3], sum = FSum[std::size_t(c)];
                const std::uint8_t* in = Pcm + std::size_t(c) * step;
                const std::size_t stride = step * std::size_t(channels);
                for (std::size_t i = 0; i < run; ++i, in += stride) {
                    const double x = SampleAt<TSample>(in);
                    peak = std::max(peak, std::abs(x));
                    const double y = s.B0 * x + z0;
                    z0 = s.B1 * x - s.A1 * y + z1;
                    z1 = s.B2 * x - s.A2 * y;
                    const double w = y + z2;
                    z2 = -2.0 * y - h.A1 * w + z3;
                    z3 = y - h.A2 * w;
                    sum += w * w;
                }
                z[0] = z0;
                z[1] = z1;
                z[2] = z2;
                z[3] = z3;
                FSum[std::size_t(c)] = sum;
            }
        }
        Pcm += run * step * std::size_t(channels);
        Frames -= run;
        FFramesInSubBlock += static_cast<int>(run);
        if (FFramesInSubBlock == FSubBlockFrames) SubBlockDone();
    }
    FPeak = peak;
}

void TLoudness::SubBlockDone() {
    double energy = 0;
    for (std::size_t c = 0; c < FSum.size(); ++c) {
        energy += FWeights[c] * FSum[c];
        FSum[c] = 0;
    }
    for (double& z : FState)
        if (std::abs(z) < Tiny) z = 0;
    FFramesInSubBlock = 0;
    FSubBlocks.push_back(energy);
    if (FSubBlocks.size() > 4) FSubBlocks.erase(FSubBlocks.begin());
    if (FSubBlocks.size() == 4)
        FBlocks.push_back((FSubBlocks[0] + FSubBlocks[1] + FSubBlocks[2] + FSubBlocks[3]) /
                          (4.0 * FSubBlockFrames));
}

void TLoudness::Add(const std::uint8_t* Pcm, std::size_t Frames, int BitsPerSample) {
    if (Frames == 0) return;
    switch (BitsPerSample) {
    case 8:
        return Filter<std::uint8_t, 0>(Pcm, Frames);
    case 24:
        return FChannels == 2 ? Filter<TInt24, 2>(Pcm, Frames) : Filter<TInt24, 0>(Pcm, Frames);
    default:
        if (FChannels == 2) return Filter<std::int16_t, 2>(Pcm, Frames);
        if (FChannels == 1) return Filter<std::int16_t, 1>(Pcm, Frames);
        return Filter<std::int16_t, 0>(Pcm, Frames);
    }
}

std::optional<double> TLoudness::Gain() const {
    const std::optional<double> lufs = GatedLoudness({&FBlocks});
    if (!lufs) return std::nullopt;
    return ReplayGainReference - *lufs;
}

double TLoudness::Peak() const {
    return FPeak;
}

std::optional<double> TLoudness::AlbumGain(const std::vector<const TLoudness*>& Tracks) {
    std::vector<const std::vector<double>*> lists;
    for (const TLoudness* Track : Tracks)
        if (Track) lists.push_back(&Track->FBlocks);
    const std::optional<double> lufs = GatedLoudness(lists);
    if (!lufs) return std::nullopt;
    return ReplayGainReference - *lufs;
}

double TLoudness::AlbumPeak(const std::vector<const TLoudness*>& Tracks) {
    double Peak = 0;
    for (const TLoudness* Track : Tracks)
        if (Track) Peak = std::max(Peak, Track->Peak());
    return Peak;
}

std::unique_ptr<TLoudness> MeasureWaveFile(const std::filesystem::path& FileName) {
    TWaveIn Wave;
    Wave.SetFileName(FileName);
    TLoudnessMeter Meter;
    Meter.SetInput(&Wave);
    Meter.OpenRead();
    std::uint8_t* Data = nullptr;
    int Bytes = 0;
    do {
        Bytes = 1 << 16;
        Meter.PullData(Data, Bytes);
    } while (Bytes > 0);
    Meter.CloseRead();
    return Meter.TakeMeasurement();
}

TLoudnessMeter::~TLoudnessMeter() {
    NotifyRemoval();
    StopMeasuring();
}

int TLoudnessMeter::GetBitsPerSample() {
    TAuInput* In = Input();
    return In ? In->BitsPerSample() : 0;
}
int TLoudnessMeter::GetChannels() {
    TAuInput* In = Input();
    return In ? In->Channels() : 0;
}
int TLoudnessMeter::GetSampleRate() {
    TAuInput* In = Input();
    return In ? In->SampleRate() : 0;
}
std::int64_t TLoudnessMeter::GetTotalSamples() {
    TAuInput* In = Input();
    return In ? In->TotalSamples() : 0;
}
int TLoudnessMeter::GetTotalTime() {
    TAuInput* In = Input();
    return In ? In->TotalTime() : 0;
}

std::unique_ptr<TLoudness> TLoudnessMeter::TakeMeasurement() {
    StopMeasuring();
    std::lock_guard Guard(FLock);
    return std::move(FLoudness);
}

void TLoudnessMeter::StopMeasuring() {
    std::lock_guard Stopping(FStopLock);
    {
        std::lock_guard Guard(FLock);
        FEnd = true;
    }
    FWake.notify_all();
    // The blocks handed over are measured first: the measurement covers all that passed.
    if (FThread.joinable()) FThread.join();
}

void TLoudnessMeter::Measure() {
    std::unique_lock Guard(FLock);
    for (;;) {
        FWake.wait(Guard, [this] { return !FQueue.empty() || FEnd; });
        if (FQueue.empty()) return;
        std::vector<std::uint8_t> Block = std::move(FQueue.front());
        FQueue.pop_front();
        Guard.unlock();
        FLoudness->Add(Block.data(), Block.size() / std::size_t(FFrameBytes), FBits);
        Guard.lock();
        FSpare.push_back(std::move(Block));
        FWake.notify_all();
    }
}

void TLoudnessMeter::DoOpenRead() {
    TAuInput* In = Input();
    if (!In) throw EAuException("Input is not assigned");
    StopMeasuring();
    In->OpenRead();
    FBusy = true;
    FPosition = 0;
    FSize = In->Size();
    FSampleSize = In->SampleSize();
    FBits = In->BitsPerSample();
    FFrameBytes = std::max(1, FBits / 8 * In->Channels());
    FCarry.clear();
    std::unique_ptr<TLoudness> Fresh;
    try {
        Fresh = std::make_unique<TLoudness>(In->Channels(), In->SampleRate());
    } catch (const EAuException&) {
        // A layout that cannot be measured is encoded all the same, only without a measurement.
    }
    std::lock_guard Guard(FLock);
    FLoudness = std::move(Fresh);
    FQueue.clear();
    FEnd = !FLoudness; // nothing to measure: blocks only pass through
    if (FLoudness) FThread = std::thread([this] { Measure(); });
}

void TLoudnessMeter::DoCloseRead() {
    FBusy = false;
    if (TAuInput* In = Input()) In->CloseRead();
    StopMeasuring();
}

void TLoudnessMeter::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    TAuInput* In = Input();
    if (!Busy() || !In) {
        Bytes = 0;
        return;
    }
    In->PullData(Buffer, Bytes);
    if (Bytes <= 0 || !Buffer) return;
    std::unique_lock Guard(FLock);
    if (FEnd) return;
    // A bounded queue: an encoder faster than the measurement waits for it rather than
    // piling up copies of the whole track.
    constexpr std::size_t MostQueued = 64;
    FWake.wait(Guard, [this] { return FQueue.size() < MostQueued; });
    std::vector<std::uint8_t> Block;
    if (!FSpare.empty()) {
        Block = std::move(FSpare.back());
        FSpare.pop_back();
    }
    Guard.unlock();
    // Whole frames only: a frame split between two pulls is completed from the next one.
    const std::size_t Frame = static_cast<std::size_t>(FFrameBytes);
    Block.assign(FCarry.begin(), FCarry.end());
    Block.insert(Block.end(), Buffer, Buffer + Bytes);
    const std::size_t Whole = Block.size() / Frame * Frame;
    FCarry.assign(Block.begin() + std::ptrdiff_t(Whole), Block.end());
    Block.resize(Whole);
    Guard.lock();
    FQueue.push_back(std::move(Block));
    Guard.unlock();
    FWake.notify_all();
}

} // namespace bw
