#include "AuSampleRate.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace bw {

// ---- sample procedures ----------------------------------------------------------------

namespace {

std::int16_t Get16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
}
void Put16(std::uint8_t* p, int v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
int Get24(const std::uint8_t* p) {
    int v = p[0] | p[1] << 8 | p[2] << 16;
    return (v ^ 0x800000) - 0x800000;
}
void Put24(std::uint8_t* p, int v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
}

// Rounds to nearest, halves to even (the default rounding mode).
std::int64_t RoundHalfEven(long double v) {
    return static_cast<std::int64_t>(std::nearbyintl(v));
}

} // namespace

int Convert16To8(std::uint8_t* data, int bytes) {
    int n = bytes / 2;
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>((Get16(data + 2 * i) >> 8) + 128);
    return n;
}

int Convert8To16(std::uint8_t* data, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        Put16(data + 2 * i, data[i] * 256 - 32768);
    return bytes * 2;
}

int Convert24To16(std::uint8_t* data, int bytes) {
    int n = bytes / 3;
    for (int i = 0; i < n; ++i) {
        data[2 * i] = data[3 * i + 1];
        data[2 * i + 1] = data[3 * i + 2];
    }
    return n * 2;
}

int Convert16To24(std::uint8_t* data, int bytes) {
    int n = bytes / 2;
    for (int i = n - 1; i >= 0; --i) {
        std::uint8_t lo = data[2 * i], hi = data[2 * i + 1];
        data[3 * i] = 0;
        data[3 * i + 1] = lo;
        data[3 * i + 2] = hi;
    }
    return n * 3;
}

int StereoToMono8(std::uint8_t* data, int bytes) {
    int n = bytes / 2;
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>((data[2 * i] + data[2 * i + 1]) / 2);
    return n;
}

int StereoToMono16(std::uint8_t* data, int bytes) {
    int n = bytes / 4;
    for (int i = 0; i < n; ++i)
        Put16(data + 2 * i, (Get16(data + 4 * i) + Get16(data + 4 * i + 2)) / 2);
    return n * 2;
}

int StereoToMono24(std::uint8_t* data, int bytes) {
    int n = bytes / 6;
    for (int i = 0; i < n; ++i)
        Put24(data + 3 * i, (Get24(data + 6 * i) + Get24(data + 6 * i + 3)) >> 1);
    return n * 3;
}

int MonoToStereo(std::uint8_t* data, int bytes, int bitsPerSample, TMSConverterMode mode) {
    const int width = bitsPerSample / 8;
    if (width <= 0) return bytes;
    const int n = bytes / width;
    // Silence: 128 for unsigned 8-bit, 0 for the signed widths.
    const std::uint8_t silence = width == 1 ? 128 : 0;
    for (int i = n - 1; i >= 0; --i) {
        std::uint8_t sample[3];
        std::memcpy(sample, data + i * width, width);
        std::uint8_t* left = data + 2 * i * width;
        std::uint8_t* right = left + width;
        if (mode == TMSConverterMode::msmMonoToLeft) {
            std::memcpy(right, sample, width);
            std::memset(left, silence, width);
        } else if (mode == TMSConverterMode::msmMonoToRight) {
            std::memset(right, silence, width);
            std::memcpy(left, sample, width);
        } else {
            std::memcpy(right, sample, width);
            std::memcpy(left, sample, width);
        }
    }
    return n * 2 * width;
}

void FloatToShortClamped(const float* in, std::int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        float v = std::floor(in[i] * 32768.0f);
        out[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
}

// ---- TResampler -------------------------------------------------------------------------

void TResampler::TStateDeleter::operator()(SRC_STATE* state) const {
    SampleRateLibrary().Api().src_delete(state);
}

TResampler::TResampler() {
    if (!SampleRateLoaded()) throw EAuException(SampleRateLibrary().NotLoadedMessage());
    // All buffers live as long as the filter, so a run allocates nothing.
    FRaw.resize(RawBufferSize);
    FOut.resize(RawBufferSize);
    FFloatIn.resize(FloatBufferSize);
    FFloatOut.resize(FloatBufferSize);
}

// Users hear of the removal while the whole filter still exists.
TResampler::~TResampler() {
    NotifyRemoval();
}

void TResampler::SetOutSampleRate(std::uint32_t value) {
    FOutSampleRate = (value > 2000 && value < 1000000) ? value : 44100;
}

TAuInput& TResampler::RequireInput() {
    TAuInput* input = Input();
    if (!input) throw EAuException("Input not assigned");
    return *input;
}

int TResampler::GetBitsPerSample() {
    TAuInput& input = RequireInput();
    int bits = input.BitsPerSample();
    if (bits == 24 && input.SampleRate() != static_cast<int>(FOutSampleRate)) return 16;
    return bits;
}

int TResampler::GetChannels() {
    return RequireInput().Channels();
}

void TResampler::DoOpenRead() {
    if (Busy()) throw EAuException("The component is busy.");
    TAuInput& input = RequireInput();
    FInputExhausted = false;
    FDrained = false;
    FRawFill = 0;
    FBufStart = FBufEnd = 0;
    FBusy = true;
    input.OpenRead();
    FPosition = 0;
    try {
        const int inRate = input.SampleRate();
        FInBits = input.BitsPerSample();
        FChannels = input.Channels();
        const auto& api = SampleRateLibrary().Api();
        const double ratio = inRate > 0 ? double(FOutSampleRate) / inRate : 0.0;
        if (FChannels <= 0 || api.src_is_valid_ratio(ratio) == 0) {
            char text[80];
            std::snprintf(text, sizeof text, "Frequences ratio %g is invalid", ratio);
            throw EAuException(text);
        }
        FData = SRC_DATA{};
        FData.data_in = FFloatIn.data();
        FData.data_out = FFloatOut.data();
        FData.src_ratio = ratio;
        int error = 0;
        const int type = static_cast<int>(FQuality); // best 0, medium 1, fastest 2
        FState.reset(api.src_new(type, FChannels, &error));
        if (error != 0 || !FState) {
            FState.reset();
            throw EAuException("Failed to initialize the resampler");
        }
        FPassThrough = inRate == static_cast<int>(FOutSampleRate);
        const std::int64_t inSize = input.Size();
        if (FPassThrough || inSize < 0) {
            FSize = inSize;
        } else {
            std::int64_t size = RoundHalfEven((long double)inSize * FOutSampleRate / inRate);
            std::int64_t frame = std::int64_t(FInBits) * FChannels / 8;
            if (FInBits == 24) {
                size = RoundHalfEven((long double)size * 2 / 3);
                frame = 2 * FChannels;
            }
            FSize = frame > 0 ? size - size % frame : size;
        }
    } catch (...) {
        // Leave the filter closed, so that the next run can start.
        FState.reset();
        input.ResetInput();
        FBusy = false;
        throw;
    }
}

void TResampler::DoCloseRead() {
    TAuInput* input = Input();
    FBusy = false;
    FState.reset();
    if (input) input->CloseRead();
}

void TResampler::Refill() {
    TAuInput& input = *Input();
    const int frame16 = 2 * FChannels;
    std::uint8_t* free = FRaw.data() + FRawFill;
    int freeBytes = RawBufferSize - FRawFill;
    int got = 0;
    if (FInBits == 8) {
        int want = freeBytes / 2;
        want -= want % FChannels;
        got = Convert8To16(free, input.PullInto(free, want));
    } else if (FInBits == 24) {
        int want = freeBytes - freeBytes % (3 * FChannels * 2);
        got = Convert24To16(free, input.PullInto(free, want));
    } else {
        int want = freeBytes - freeBytes % frame16;
        got = input.PullInto(free, want);
    }
    if (got == 0) FInputExhausted = true;
    FRawFill += got;
}

void TResampler::ProcessBlock() {
    const auto& api = SampleRateLibrary().Api();
    const int frame16 = 2 * FChannels;
    int bytes = std::min(FRawFill, FloatBufferSize);
    bytes -= bytes % frame16;
    api.src_short_to_float_array(reinterpret_cast<const short*>(FRaw.data()), FFloatIn.data(),
                                 bytes / 2);
    FData.input_frames = bytes / frame16;
    FData.output_frames = FloatBufferSize / FChannels;
    FData.end_of_input = (FInputExhausted && FRawFill <= FloatBufferSize) ? 1 : 0;
    const int result = api.src_process(FState.get(), &FData);
    if (result != 0) {
        FInputExhausted = true;
        FBufEnd = 0;
        throw EAuException(api.src_strerror(result));
    }
    const std::size_t samples = std::size_t(FChannels) * FData.output_frames_gen;
    FloatToShortClamped(FFloatOut.data(), reinterpret_cast<std::int16_t*>(FOut.data()), samples);
    FBufEnd = static_cast<std::int32_t>(samples * 2);
    int used = static_cast<int>(FData.input_frames_used) * frame16;
    if (used == 0 && FData.output_frames_gen == 0 && FData.end_of_input) {
        used = FRawFill; // the library holds nothing more; never spin on a remainder
        FDrained = true;
    }
    std::memmove(FRaw.data(), FRaw.data() + used, FRawFill - used);
    FRawFill -= used;
    if (FInBits == 8) FBufEnd = Convert16To8(FOut.data(), FBufEnd);
}

void TResampler::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    if (FPassThrough) {
        Input()->PullData(Buffer, Bytes);
        return;
    }
    if (FBufStart >= FBufEnd) {
        FBufStart = FBufEnd = 0;
        // A short pull or a block the library swallows whole yields no output yet: go on
        // until there is some or the input is done.
        while (FBufEnd == 0) {
            if (FRawFill < RawBufferSize && !FInputExhausted) Refill();
            // Once the input is done the library still holds the last frames of its filter:
            // end-of-input calls with no new input drain them before any padding.
            if (FRawFill > 0 || (FInputExhausted && !FDrained)) {
                ProcessBlock();
                continue;
            }
            // Input done: pad with silence up to the announced size, a buffer at a time.
            FInputExhausted = true;
            const std::int64_t left = FSize - FPosition;
            FBufEnd = static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, RawBufferSize));
            FBufEnd -= FBufEnd % std::max(1, FInBits == 8 ? FChannels : 2 * FChannels);
            std::memset(FOut.data(), FInBits == 8 ? 128 : 0, FBufEnd);
            break;
        }
    }
    if (FBufEnd == 0) {
        FInputExhausted = true;
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    std::int64_t n = std::min<std::int64_t>(Bytes, FBufEnd - FBufStart);
    // Never hand out more than the announced size.
    if (FSize >= 0) n = std::min<std::int64_t>(n, std::max<std::int64_t>(0, FSize - FPosition));
    Buffer = FOut.data() + FBufStart;
    Bytes = static_cast<int>(n);
    FBufStart += Bytes;
}

// ---- TAudioConverter ------------------------------------------------------------------

TAudioConverter::~TAudioConverter() {
    NotifyRemoval();
}

int TAudioConverter::GetBitsPerSample() {
    if (FOutBitsPerSample != 0) return FOutBitsPerSample;
    TAuInput* input = Input();
    return input ? input->BitsPerSample() : 0;
}

int TAudioConverter::GetChannels() {
    if (FOutChannels != 0) return FOutChannels;
    TAuInput* input = Input();
    return input ? input->Channels() : 0;
}

int TAudioConverter::GetSampleRate() {
    TAuInput* input = Input();
    return input ? input->SampleRate() : 0;
}

void TAudioConverter::DoOpenRead() {
    TAuInput* input = Input();
    if (!input) throw EAuException("Input is not assigned");
    input->OpenRead();
    FBusy = true;
    FPosition = 0;
    FBufStart = FBufEnd = 0;
    FInputEnded = false;
    FInBits = input->BitsPerSample();
    FInChannels = input->Channels();
    FOutBits = GetBitsPerSample();
    FOutCh = GetChannels();
    // Only mono and stereo are turned into each other; other counts would come out as noise
    // under a header that misstates them. Opening a source never fails aloud, so the refusal
    // comes with the first pull, where it ends the reader's run with this text.
    FRefused =
        FInChannels != FOutCh && (FInChannels < 1 || FInChannels > 2 || FOutCh < 1 || FOutCh > 2);
    if (FRefused) {
        FSize = 0;
        return;
    }
    const int inFrame = std::max(1, FInBits / 8 * FInChannels);
    FChunk = 12288 - 12288 % inFrame;
    const int inFrameBits = std::max(1, FInBits * FInChannels);
    const int outFrameBits = FOutBits * FOutCh;
    FBorrowed = !(outFrameBits >= inFrameBits || FInBits == 24);
    if (FBorrowed)
        FOwn.clear();
    else
        FOwn.assign(std::size_t(outFrameBits / inFrameBits + 1) * FChunk, 0);
    const std::int64_t inSize = input->Size();
    if (inSize < 0) {
        FSize = -1;
    } else {
        std::int64_t size = RoundHalfEven((long double)inSize * outFrameBits / inFrameBits);
        const std::int64_t outFrame = std::max(1, outFrameBits / 8);
        FSize = size - size % outFrame;
    }
}

void TAudioConverter::DoCloseRead() {
    TAuInput* input = Input();
    FOwn.clear();
    FOwn.shrink_to_fit();
    FWork = nullptr;
    FBusy = false;
    if (input) input->CloseRead();
}

void TAudioConverter::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    if (!Busy()) throw EAuException("The Stream is not opened");
    if (FRefused) throw EAuException("Channel conversion takes mono or stereo input.");
    if (FBufStart >= FBufEnd) {
        FBufStart = FBufEnd = 0;
        TAuInput* input = Input();
        if (!FInputEnded && input) {
            if (FBorrowed) {
                int got = FChunk;
                input->PullData(FWork, got);
                FBufEnd = got;
            } else {
                // The input's end is remembered here rather than in EndOfStream, so that
                // the last chunk is handed out in full before the stream ends.
                FWork = FOwn.data();
                while (FBufEnd < FChunk) {
                    int got = input->PullInto(FWork + FBufEnd, FChunk - FBufEnd);
                    if (got == 0) {
                        FInputEnded = true;
                        break;
                    }
                    FBufEnd += got;
                }
            }
        }
        if (FBufEnd == 0) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
        int end = FBufEnd;
        if (FInChannels == 2 && FOutCh == 1) {
            end = FInBits == 8    ? StereoToMono8(FWork, end)
                  : FInBits == 24 ? StereoToMono24(FWork, end)
                                  : StereoToMono16(FWork, end);
        } else if (FInChannels == 1 && FOutCh == 2) {
            end = MonoToStereo(FWork, end, FInBits, FMode);
        }
        if (FInBits == 24 && FOutBits != 24) end = Convert24To16(FWork, end);
        if (FInBits == 8 && FOutBits != 8)
            end = Convert8To16(FWork, end);
        else if (FInBits != 8 && FOutBits == 8)
            end = Convert16To8(FWork, end);
        if (FInBits != 24 && FOutBits == 24) end = Convert16To24(FWork, end);
        FBufEnd = end;
    }
    Bytes = std::min(Bytes, FBufEnd - FBufStart);
    Buffer = FWork + FBufStart;
    FBufStart += Bytes;
}

} // namespace bw
