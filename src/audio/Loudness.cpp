#include "Loudness.h"

#include "WaveIn.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bw {

TLoudness::TLoudness(int Channels, int SampleRate) : FChannels(std::max(Channels, 1)) {
    FState = ebur128_init(static_cast<unsigned>(FChannels), static_cast<unsigned long>(SampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (!FState)
        throw EAuException("Loudness cannot be measured at " + std::to_string(SampleRate) +
                           " Hz with " + std::to_string(Channels) + " channels.");
}

TLoudness::~TLoudness() {
    if (FState) ebur128_destroy(&FState);
}

void TLoudness::Add(const std::uint8_t* Pcm, std::size_t Frames, int BitsPerSample) {
    if (Frames == 0) return;
    const std::size_t Samples = Frames * static_cast<std::size_t>(FChannels);
    FScratch.resize(Samples);
    // Every width becomes 32-bit integers, full scale at 2^31.
    switch (BitsPerSample) {
    case 8:
        for (std::size_t i = 0; i < Samples; ++i)
            FScratch[i] = (static_cast<std::int32_t>(Pcm[i]) - 128) * (1 << 24);
        break;
    case 24:
        for (std::size_t i = 0; i < Samples; ++i, Pcm += 3)
            FScratch[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(Pcm[0]) << 8 |
                                                    static_cast<std::uint32_t>(Pcm[1]) << 16 |
                                                    static_cast<std::uint32_t>(Pcm[2]) << 24);
        break;
    default:
        for (std::size_t i = 0; i < Samples; ++i, Pcm += 2)
            FScratch[i] = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(static_cast<std::int16_t>(Pcm[0] | Pcm[1] << 8)) << 16);
        break;
    }
    ebur128_add_frames_int(FState, reinterpret_cast<const int*>(FScratch.data()), Frames);
}

std::optional<double> TLoudness::Gain() const {
    double Loudness = 0;
    if (ebur128_loudness_global(FState, &Loudness) != EBUR128_SUCCESS || !std::isfinite(Loudness))
        return std::nullopt;
    return ReplayGainReference - Loudness;
}

double TLoudness::Peak() const {
    double Peak = 0;
    for (int Channel = 0; Channel < FChannels; ++Channel) {
        double Value = 0;
        if (ebur128_sample_peak(FState, static_cast<unsigned>(Channel), &Value) == EBUR128_SUCCESS)
            Peak = std::max(Peak, Value);
    }
    return Peak;
}

std::optional<double> TLoudness::AlbumGain(const std::vector<const TLoudness*>& Tracks) {
    std::vector<ebur128_state*> States;
    for (const TLoudness* Track : Tracks)
        if (Track) States.push_back(Track->FState);
    double Loudness = 0;
    if (States.empty() ||
        ebur128_loudness_global_multiple(States.data(), States.size(), &Loudness) !=
            EBUR128_SUCCESS ||
        !std::isfinite(Loudness))
        return std::nullopt;
    return ReplayGainReference - Loudness;
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
    std::lock_guard Guard(FResultLock);
    return std::move(FLoudness);
}

void TLoudnessMeter::DoOpenRead() {
    TAuInput* In = Input();
    if (!In) throw EAuException("Input is not assigned");
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
        // A layout libebur128 refuses is encoded all the same, only without a measurement.
    }
    std::lock_guard Guard(FResultLock);
    FLoudness = std::move(Fresh);
}

void TLoudnessMeter::DoCloseRead() {
    FBusy = false;
    if (TAuInput* In = Input()) In->CloseRead();
}

void TLoudnessMeter::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    TAuInput* In = Input();
    if (!Busy() || !In) {
        Bytes = 0;
        return;
    }
    In->PullData(Buffer, Bytes);
    if (Bytes <= 0 || !Buffer) return;
    std::lock_guard Guard(FResultLock);
    if (!FLoudness) return;
    const std::uint8_t* Data = Buffer;
    std::size_t Size = static_cast<std::size_t>(Bytes);
    const std::size_t Frame = static_cast<std::size_t>(FFrameBytes);
    if (!FCarry.empty()) {
        std::size_t Take = std::min(Size, Frame - FCarry.size());
        FCarry.insert(FCarry.end(), Data, Data + Take);
        Data += Take;
        Size -= Take;
        if (FCarry.size() == Frame) {
            FLoudness->Add(FCarry.data(), 1, FBits);
            FCarry.clear();
        }
    }
    FLoudness->Add(Data, Size / Frame, FBits);
    FCarry.assign(Data + Size / Frame * Frame, Data + Size);
}

} // namespace bw
