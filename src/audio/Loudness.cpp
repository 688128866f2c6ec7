#include "Loudness.h"

#include "WaveIn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace bw {

// The filters in state-space form: each new state depends on the one before through a
// single multiply-add, which halves the chain the processor waits on per sample.
//   y = b0 x + z0;  z0' = (b1 - a1 b0) x - a1 z0 + z1;  z1' = (b2 - a2 b0) x - a2 z0
struct TLoudnessKernel {
    double B0, C1, C2, A1, A2;
    double HC1, HC2, HA1, HA2; // the high-pass, whose b0 is 1
};

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

// Samples of each width as integers, and the factor that makes full scale 1.0.
template <int Bits>
std::int32_t SampleAt(const std::uint8_t* pcm) {
    if constexpr (Bits == 8) return pcm[0] - 128;
    if constexpr (Bits == 16) return static_cast<std::int16_t>(pcm[0] | pcm[1] << 8);
    if constexpr (Bits == 24)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(pcm[0]) << 8 |
                                         static_cast<std::uint32_t>(pcm[1]) << 16 |
                                         static_cast<std::uint32_t>(pcm[2]) << 24) >>
               8;
}

// Both channels of a stereo frame in one vector: their filters run side by side.
using TPair = double __attribute__((vector_size(16)));

void FilterStereoPlain(const double* x, std::size_t frames, double* state, double* sum,
                       const TLoudnessKernel& k) {
    TPair z0 = {state[0], state[4]}, z1 = {state[1], state[5]};
    TPair z2 = {state[2], state[6]}, z3 = {state[3], state[7]};
    TPair acc = {sum[0], sum[1]};
    for (std::size_t i = 0; i < frames; ++i) {
        TPair in;
        std::memcpy(&in, x + 2 * i, sizeof in);
        const TPair y = k.B0 * in + z0;
        const TPair next0 = k.C1 * in + z1 - k.A1 * z0;
        z1 = k.C2 * in - k.A2 * z0;
        z0 = next0;
        const TPair w = y + z2;
        const TPair next2 = k.HC1 * y + z3 - k.HA1 * z2;
        z3 = k.HC2 * y - k.HA2 * z2;
        z2 = next2;
        acc += w * w;
    }
    state[0] = z0[0], state[1] = z1[0], state[2] = z2[0], state[3] = z3[0];
    state[4] = z0[1], state[5] = z1[1], state[6] = z2[1], state[7] = z3[1];
    sum[0] = acc[0], sum[1] = acc[1];
}

#if defined(__x86_64__)
struct TFusedKernel {
    __m128d B0, C1, C2, A1, A2, HC1, HC2, HA1, HA2;
};

__attribute__((target("fma"), always_inline)) inline void
FusedStep(__m128d in, const TFusedKernel& k, __m128d& z0, __m128d& z1, __m128d& z2, __m128d& z3,
          __m128d& acc) {
    const __m128d y = _mm_fmadd_pd(k.B0, in, z0);
    const __m128d next0 = _mm_fnmadd_pd(k.A1, z0, _mm_fmadd_pd(k.C1, in, z1));
    z1 = _mm_fnmadd_pd(k.A2, z0, _mm_mul_pd(k.C2, in));
    z0 = next0;
    const __m128d w = _mm_add_pd(y, z2);
    const __m128d next2 = _mm_fnmadd_pd(k.HA1, z2, _mm_fmadd_pd(k.HC1, y, z3));
    z3 = _mm_fnmadd_pd(k.HA2, z2, _mm_mul_pd(k.HC2, y));
    z2 = next2;
    acc = _mm_fmadd_pd(w, w, acc);
}

// A stereo frame as two doubles: from doubles, or straight from 16-bit samples, which spares
// a pass through memory.
struct TDoublesIn {
    const double* X;
    __attribute__((target("fma"), always_inline)) __m128d operator()(std::size_t i) const {
        return _mm_loadu_pd(X + 2 * i);
    }
};
struct TShortsIn {
    const std::uint8_t* Pcm;
    __attribute__((target("fma,sse4.1"), always_inline)) __m128d operator()(std::size_t i) const {
        std::int32_t frame;
        std::memcpy(&frame, Pcm + 4 * i, sizeof frame);
        return _mm_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_cvtsi32_si128(frame)));
    }
};

// The same as FilterStereoPlain with fused multiply-adds, where the processor has them: each
// link of the chain then takes one instruction instead of two.
template <typename TIn>
__attribute__((target("fma,sse4.1"))) void
FilterStereoFused(TIn in, std::size_t frames, double* state, double* sum, double& peak,
                  const TLoudnessKernel& k) {
    const TFusedKernel f{_mm_set1_pd(k.B0),  _mm_set1_pd(k.C1),  _mm_set1_pd(k.C2),
                         _mm_set1_pd(k.A1),  _mm_set1_pd(k.A2),  _mm_set1_pd(k.HC1),
                         _mm_set1_pd(k.HC2), _mm_set1_pd(k.HA1), _mm_set1_pd(k.HA2)};
    __m128d z0 = _mm_set_pd(state[4], state[0]), z1 = _mm_set_pd(state[5], state[1]);
    __m128d z2 = _mm_set_pd(state[6], state[2]), z3 = _mm_set_pd(state[7], state[3]);
    // Two sums, for odd and even frames, so that adding up waits on no chain of its own.
    __m128d even = _mm_set_pd(sum[1], sum[0]), odd = _mm_setzero_pd();
    // The largest magnitude, by clearing the sign bits.
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m128d high = _mm_set1_pd(peak);
    std::size_t i = 0;
    for (; i + 1 < frames; i += 2) {
        const __m128d first = in(i), second = in(i + 1);
        high = _mm_max_pd(high,
                          _mm_max_pd(_mm_and_pd(first, magnitude), _mm_and_pd(second, magnitude)));
        FusedStep(first, f, z0, z1, z2, z3, even);
        FusedStep(second, f, z0, z1, z2, z3, odd);
    }
    if (i < frames) {
        const __m128d last = in(i);
        high = _mm_max_pd(high, _mm_and_pd(last, magnitude));
        FusedStep(last, f, z0, z1, z2, z3, even);
    }
    even = _mm_add_pd(even, odd);
    double highs[2];
    _mm_storeu_pd(highs, high);
    peak = std::max(highs[0], highs[1]);
    double out[8];
    _mm_storeu_pd(out, z0);
    _mm_storeu_pd(out + 2, z1);
    _mm_storeu_pd(out + 4, z2);
    _mm_storeu_pd(out + 6, z3);
    state[0] = out[0], state[4] = out[1], state[1] = out[2], state[5] = out[3];
    state[2] = out[4], state[6] = out[5], state[3] = out[6], state[7] = out[7];
    _mm_storeu_pd(sum, even);
}

bool HaveFusedMultiplyAdd() {
    static const bool have = __builtin_cpu_supports("fma") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

void FilterStereo(const double* x, std::size_t frames, double* state, double* sum,
                  const TLoudnessKernel& k) {
#if defined(__x86_64__)
    // The caller has the peak already.
    double peak = 0;
    if (HaveFusedMultiplyAdd())
        return FilterStereoFused(TDoublesIn{x}, frames, state, sum, peak, k);
#endif
    FilterStereoPlain(x, frames, state, sum, k);
}

// One channel of interleaved samples.
void FilterChannel(const double* x, std::size_t frames, std::size_t stride, double* state,
                   double& sum, const TLoudnessKernel& k) {
    double z0 = state[0], z1 = state[1], z2 = state[2], z3 = state[3], acc = sum;
    for (std::size_t i = 0; i < frames; ++i, x += stride) {
        const double in = *x;
        const double y = k.B0 * in + z0;
        const double next0 = k.C1 * in + z1 - k.A1 * z0;
        z1 = k.C2 * in - k.A2 * z0;
        z0 = next0;
        const double w = y + z2;
        const double next2 = k.HC1 * y + z3 - k.HA1 * z2;
        z3 = k.HC2 * y - k.HA2 * z2;
        z2 = next2;
        acc += w * w;
    }
    state[0] = z0, state[1] = z1, state[2] = z2, state[3] = z3;
    sum = acc;
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

template <int Bits>
void TLoudness::Filter(const std::uint8_t* Pcm, std::size_t Frames) {
    constexpr std::size_t Step = Bits / 8;
    [[maybe_unused]] constexpr double Scale = 1.0 / (1 << (Bits - 1));
    const std::size_t channels = static_cast<std::size_t>(FChannels);
    const TLoudnessKernel k{FShelf.B0,
                            FShelf.B1 - FShelf.A1 * FShelf.B0,
                            FShelf.B2 - FShelf.A2 * FShelf.B0,
                            FShelf.A1,
                            FShelf.A2,
                            -2.0 - FHighPass.A1,
                            1.0 - FHighPass.A2,
                            FHighPass.A1,
                            FHighPass.A2};
    while (Frames > 0) {
        const std::size_t run =
            std::min<std::size_t>(Frames, std::size_t(FSubBlockFrames - FFramesInSubBlock));
        const std::size_t samples = run * channels;
#if defined(__x86_64__)
        if (Bits == 16 && channels == 2 && HaveFusedMultiplyAdd()) {
            // CD audio: the filters and the peak straight from the samples, unscaled (the
            // filters are linear: the energies are scaled once per 100 ms instead).
            double peak = FPeak / Scale;
            FilterStereoFused(TShortsIn{Pcm}, run, FState.data(), FSum.data(), peak, k);
            FPeak = peak * Scale;
            FSumScale = Scale * Scale;
        } else
#endif
        {
            FilterRun<Bits>(Pcm, run, k);
        }
        Pcm += samples * Step;
        Frames -= run;
        FFramesInSubBlock += static_cast<int>(run);
        if (FFramesInSubBlock == FSubBlockFrames) SubBlockDone();
    }
}

template <int Bits>
void TLoudness::FilterRun(const std::uint8_t* Pcm, std::size_t run, const TLoudnessKernel& k) {
    constexpr std::size_t Step = Bits / 8;
    constexpr double Scale = 1.0 / (1 << (Bits - 1));
    const std::size_t channels = static_cast<std::size_t>(FChannels);
    const std::size_t samples = run * channels;
    FScratch.resize(samples);
    // Integers first: their largest magnitude is the peak; the filters then read plain
    // doubles.
    std::int32_t high = 0, low = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const std::int32_t value = SampleAt<Bits>(Pcm + i * Step);
        high = std::max(high, value);
        low = std::min(low, value);
        FScratch[i] = value * Scale;
    }
    FPeak = std::max({FPeak, high * Scale, -static_cast<double>(low) * Scale});
    if (channels == 2) {
        FilterStereo(FScratch.data(), run, FState.data(), FSum.data(), k);
    } else {
        for (std::size_t c = 0; c < channels; ++c)
            if (FWeights[c] != 0)
                FilterChannel(FScratch.data() + c, run, channels, &FState[c * 4], FSum[c], k);
    }
}

void TLoudness::SubBlockDone() {
    double energy = 0;
    for (std::size_t c = 0; c < FSum.size(); ++c) {
        energy += FWeights[c] * FSum[c] * FSumScale;
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
        return Filter<8>(Pcm, Frames);
    case 24:
        return Filter<24>(Pcm, Frames);
    default:
        return Filter<16>(Pcm, Frames);
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
    std::unique_ptr<TLoudness> Fresh;
    try {
        Fresh = std::make_unique<TLoudness>(In->Channels(), In->SampleRate());
    } catch (const EAuException&) {
        // A layout that cannot be measured is encoded all the same, only without a measurement.
    }
    std::lock_guard Guard(FLock);
    FLoudness = std::move(Fresh);
    FQueue.clear();
    FPending.clear();
    FEnd = !FLoudness; // nothing to measure: blocks only pass through
    FFeeding = !FEnd;
    if (FLoudness) FThread = std::thread([this] { Measure(); });
}

void TLoudnessMeter::DoCloseRead() {
    FBusy = false;
    if (TAuInput* In = Input()) In->CloseRead();
    HandOver(true);
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
    if (!FFeeding) return;
    // Blocks are handed over a few hundred kilobytes at a time: waking the measuring thread
    // for every small pull would cost more than the measurement.
    FPending.insert(FPending.end(), Buffer, Buffer + Bytes);
    if (FPending.size() >= HandOverBytes) HandOver(false);
}

void TLoudnessMeter::HandOver(bool last) {
    std::unique_lock Guard(FLock);
    if (FEnd) FPending.clear();
    if (FPending.empty()) return;
    std::vector<std::uint8_t> Next;
    if (!FSpare.empty()) {
        Next = std::move(FSpare.back());
        FSpare.pop_back();
    }
    // Whole frames only: a frame split between two pulls starts the next block.
    const std::size_t Frame = static_cast<std::size_t>(FFrameBytes);
    const std::size_t Whole = FPending.size() / Frame * Frame;
    Next.assign(FPending.begin() + std::ptrdiff_t(Whole), FPending.end());
    FPending.resize(Whole);
    if (last) Next.clear(); // a frame cut short at the end is no frame
    // A bounded queue: an encoder faster than the measurement waits for it rather than
    // piling up copies of the whole track.
    constexpr std::size_t MostQueued = 8;
    FWake.wait(Guard, [this] { return FQueue.size() < MostQueued; });
    FQueue.push_back(std::move(FPending));
    FPending = std::move(Next);
    Guard.unlock();
    FWake.notify_all();
}

} // namespace bw
