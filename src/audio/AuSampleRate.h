// Filters that change the shape of PCM: TResampler changes the sample rate (libsamplerate),
// TAudioConverter the channel count (mono and stereo) and the bit depth (8, 16, 24 bits).
// The resample job chains them as reader -> TResampler -> TAudioConverter -> writer.
#pragma once

#include "AuComponents.h"
#include "libsamplerate.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace bw {

// In-place sample procedures on interleaved little-endian PCM. Counts are in bytes; each
// returns the byte count after the conversion. The widening ones need room for the result
// and run from the end backwards.
int Convert16To8(std::uint8_t* data, int bytes);
int Convert8To16(std::uint8_t* data, int bytes);
int Convert24To16(std::uint8_t* data, int bytes);
int Convert16To24(std::uint8_t* data, int bytes);
int StereoToMono8(std::uint8_t* data, int bytes);
int StereoToMono16(std::uint8_t* data, int bytes);
int StereoToMono24(std::uint8_t* data, int bytes);

enum class TMSConverterMode { msmMonoToBoth, msmMonoToLeft, msmMonoToRight };
int MonoToStereo(std::uint8_t* data, int bytes, int bitsPerSample, TMSConverterMode mode);

// float -> 16-bit as floor(value * 32768), limited to the 16-bit range so that full-scale
// peaks clip instead of wrapping around.
void FloatToShortClamped(const float* in, std::int16_t* out, std::size_t count);

enum class TResamplerQuality { rqBest, rqMedium, rqFastest };

class TResampler : public TAuConverter {
public:
    static constexpr int RawBufferSize = 2097152;   // bytes of 16-bit PCM
    static constexpr int FloatBufferSize = 1048576; // samples

    // Raises "libsamplerate.so.0 library could not be loaded." when the library is missing.
    TResampler();
    ~TResampler() override;

    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override { return static_cast<int>(FOutSampleRate); }

    TResamplerQuality Quality() const { return FQuality; }
    void SetQuality(TResamplerQuality value) { FQuality = value; }
    std::uint32_t OutSampleRate() const { return FOutSampleRate; }
    // Values outside 2001..999999 Hz store 44100.
    void SetOutSampleRate(std::uint32_t value);

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    struct TStateDeleter {
        void operator()(SRC_STATE* state) const;
    };

    void Refill();
    void ProcessBlock();
    TAuInput& RequireInput();

    TResamplerQuality FQuality = TResamplerQuality::rqBest;
    std::uint32_t FOutSampleRate = 44100;
    bool FPassThrough = false;
    std::unique_ptr<SRC_STATE, TStateDeleter> FState;
    SRC_DATA FData{};
    int FInBits = 16;
    int FChannels = 2;
    std::vector<std::uint8_t> FRaw; // 16-bit input waiting for conversion
    int FRawFill = 0;
    std::vector<std::uint8_t> FOut; // output ready to hand out, [FBufStart, FBufEnd)
    std::vector<float> FFloatIn;
    std::vector<float> FFloatOut;
    bool FInputExhausted = false;
    bool FDrained = false; // the library has given out all it held after the input ended
};

class TAudioConverter : public TAuConverter {
public:
    ~TAudioConverter() override;

    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;

    TMSConverterMode Mode() const { return FMode; }
    void SetMode(TMSConverterMode value) { FMode = value; }
    int OutBitsPerSample() const { return FOutBitsPerSample; }
    void SetOutBitsPerSample(int value) { FOutBitsPerSample = value; } // 0: as the input
    int OutChannels() const { return FOutChannels; }
    void SetOutChannels(int value) { FOutChannels = value; } // 0: as the input

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    bool FRefused = false; // asked to change a channel count other than mono and stereo
    TMSConverterMode FMode = TMSConverterMode::msmMonoToBoth;
    int FOutBitsPerSample = 0;
    int FOutChannels = 0;
    bool FBorrowed = false;
    int FChunk = 0;
    std::vector<std::uint8_t> FOwn;
    std::uint8_t* FWork = nullptr; // the data being handed out: own buffer or the input's
    int FInBits = 0, FInChannels = 0, FOutBits = 0, FOutCh = 0;
    bool FInputEnded = false;
};

} // namespace bw
