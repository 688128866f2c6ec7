#include "WaveHeader.h"

#include "ImaAdpcm.h"

#include <algorithm>

namespace bw {

namespace {

class TScanner {
public:
    TScanner(std::span<const std::uint8_t> bytes, std::optional<std::uint64_t> streamSize,
             bool atEnd)
        : FBytes(bytes), FStreamSize(streamSize), FAtEnd(atEnd) {}

    TWaveHeaderInfo Run();

private:
    enum TStep { Ok, Fail, More };

    // Reads n bytes. A read that leaves the count at the limit fails without needing the
    // bytes, except the last one (the data size), which may end a few bytes beyond it.
    TStep Read(std::size_t n, bool last = false) {
        std::size_t end = FCount + n;
        if (!last && end >= WaveHeaderScanLimit) return Fail;
        if (end > FBytes.size()) {
            bool noMoreBytes = FStreamSize ? end > *FStreamSize : FAtEnd;
            if (noMoreBytes) return Fail;
            FNeed = end;
            return More;
        }
        FLast = FBytes.data() + FCount;
        FCount = end;
        return last ? Ok : Check();
    }

    // Skips a chunk body (and its pad byte) without looking at it.
    TStep Skip(std::uint64_t n) {
        if (FCount + n >= WaveHeaderScanLimit) return Fail;
        FCount += static_cast<std::size_t>(n);
        return Check();
    }

    // Every step but the last ends the scan when the stream has been read to its end.
    TStep Check() const {
        if (FStreamSize && FCount >= *FStreamSize) return Fail;
        if (!FStreamSize && FAtEnd && FCount >= FBytes.size()) return Fail;
        return Ok;
    }

    bool LastFour(const char (&id)[5]) const {
        return ChunkIdMatches(FBytes.data() + FCount - 4, id);
    }

    TStep SlideTo(const char (&id)[5]);
    void ParseFormat(const std::uint8_t* body, std::uint32_t size);

    std::span<const std::uint8_t> FBytes;
    std::optional<std::uint64_t> FStreamSize;
    bool FAtEnd;
    std::size_t FCount = 0;
    std::size_t FNeed = 0;
    const std::uint8_t* FLast = nullptr;
    TWaveHeaderInfo FInfo;
};

TScanner::TStep TScanner::SlideTo(const char (&id)[5]) {
    if (TStep s = Read(4); s != Ok) return s;
    while (!LastFour(id)) {
        if (TStep s = Read(1); s != Ok) return s;
    }
    return Ok;
}

void TScanner::ParseFormat(const std::uint8_t* body, std::uint32_t size) {
    TWaveHeaderInfo& f = FInfo;
    if (size < 16) return;
    f.FormatTag = GetLe16(body);
    f.Channels = GetLe16(body + 2);
    f.SampleRate = GetLe32(body + 4);
    f.BlockAlign = GetLe16(body + 12);
    f.BitsPerSample = GetLe16(body + 14);
    // sox writes every 24-bit and multichannel file with the extensible header, FFmpeg many:
    // a PCM sub-format (the standard GUID with code 1) is plain PCM.
    if (f.FormatTag == WaveFormatExtensible && size >= 40) {
        static const std::uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        f.ChannelMask = GetLe32(body + 20);
        bool standard = std::equal(guidTail, guidTail + 14, body + 26);
        if (standard && GetLe16(body + 24) == WaveFormatPcm) f.FormatTag = WaveFormatPcm;
    }
    switch (f.FormatTag) {
    case WaveFormatPcm:
        f.FormatComplete = true;
        break;
    case WaveFormatImaAdpcm:
    case WaveFormatMpegLayer3:
        if (size < 20) return;
        f.FramesPerBlock = GetLe16(body + 18);
        f.FormatComplete = true;
        break;
    case WaveFormatMsAdpcm: {
        if (size < 22) return;
        f.FramesPerBlock = GetLe16(body + 18);
        f.CoefCount = GetLe16(body + 20);
        if (f.CoefCount > MsAdpcmMaxCoefs || size < 22 + 4u * f.CoefCount) return;
        for (std::size_t i = 0; i < f.CoefCount; ++i) {
            f.Coefs[i].Coef1 = static_cast<std::int16_t>(GetLe16(body + 22 + 4 * i));
            f.Coefs[i].Coef2 = static_cast<std::int16_t>(GetLe16(body + 24 + 4 * i));
        }
        f.FormatComplete = true;
        break;
    }
    default:
        break;
    }
}

TWaveHeaderInfo TScanner::Run() {
    auto finish = [this](TStep s) {
        FInfo.Status = s == More ? TWaveScanStatus::NeedMore : TWaveScanStatus::NotFound;
        FInfo.NeedBytes = s == More ? FNeed : 0;
        return FInfo;
    };
    TStep s;
    if ((s = SlideTo("RIFF")) != Ok) return finish(s);
    if ((s = Read(4)) != Ok) return finish(s); // RIFF size, not needed
    if ((s = SlideTo("WAVE")) != Ok) return finish(s);
    if ((s = Read(4)) != Ok) return finish(s);

    enum { LookForFormat, LookForFact, LookForData } want = LookForFormat;
    for (;;) {
        bool isFormat = want == LookForFormat && LastFour("fmt ");
        bool isFact = want == LookForFact && LastFour("fact");
        bool isData = want == LookForData && LastFour("data");
        if (isData) {
            if ((s = Read(4, true)) != Ok) return finish(s);
            FInfo.DataSize = GetLe32(FLast);
            FInfo.DataSizePos = static_cast<std::uint32_t>(FCount - 4);
            FInfo.DataStart = static_cast<std::uint32_t>(FCount);
            FInfo.Status = TWaveScanStatus::Found;
            return FInfo;
        }
        if ((s = Read(4)) != Ok) return finish(s);
        std::uint32_t size = GetLe32(FLast);
        std::uint64_t padded = static_cast<std::uint64_t>(size) + (size & 1);
        if (isFormat || isFact) {
            if ((s = Read(size)) != Ok) return finish(s);
            const std::uint8_t* body = FLast;
            if ((s = Skip(padded - size)) != Ok) return finish(s);
            if (isFormat) {
                ParseFormat(body, size);
                if (WavTypeOfTag(FInfo.FormatTag) == wtUnsupported) return finish(Fail);
                want = FInfo.FormatTag == WaveFormatPcm ? LookForData : LookForFact;
            } else {
                if (size >= 4) {
                    FInfo.HasFact = true;
                    FInfo.FactFrames = GetLe32(body);
                    FInfo.FactPos = static_cast<std::uint32_t>(body - FBytes.data());
                }
                want = LookForData;
            }
        } else if ((s = Skip(padded)) != Ok) {
            return finish(s);
        }
        if ((s = Read(4)) != Ok) return finish(s);
    }
}

} // namespace

bool ChunkIdMatches(const std::uint8_t* bytes, const char (&id)[5]) {
    for (int i = 0; i < 4; ++i) {
        int expected = static_cast<unsigned char>(id[i]);
        if (bytes[i] != expected && bytes[i] != expected + 32 && bytes[i] != expected - 32)
            return false;
    }
    return true;
}

TWaveHeaderInfo ScanWaveHeader(std::span<const std::uint8_t> bytes,
                               std::optional<std::uint64_t> streamSize, bool atEnd) {
    return TScanner(bytes, streamSize, atEnd).Run();
}

TWavType WavTypeOfTag(std::uint16_t tag) {
    switch (tag) {
    case WaveFormatPcm:
        return wtPCM;
    case WaveFormatImaAdpcm:
        return wtDVIADPCM;
    case WaveFormatMsAdpcm:
        return wtMSADPCM;
    case WaveFormatMpegLayer3:
        return wtACM;
    default:
        return wtUnsupported;
    }
}

bool WaveFormatUsable(const TWaveHeaderInfo& f, std::size_t maxDecodedBlock) {
    if (f.Status != TWaveScanStatus::Found || !f.FormatComplete) return false;
    if (f.Channels == 0 || f.SampleRate == 0) return false;
    switch (WavTypeOfTag(f.FormatTag)) {
    case wtPCM: {
        if (f.BitsPerSample != 8 && f.BitsPerSample != 16 && f.BitsPerSample != 24) return false;
        return static_cast<std::size_t>(f.Channels) * f.BitsPerSample / 8 <= maxDecodedBlock;
    }
    case wtDVIADPCM: {
        if (f.Channels > 2 || f.BitsPerSample != 4 || !f.HasFact) return false;
        std::size_t frames = ImaFramesPerBlock(f.BlockAlign, f.Channels);
        return frames != 0 && frames == f.FramesPerBlock &&
               frames * f.Channels * 2 <= maxDecodedBlock;
    }
    case wtMSADPCM: {
        if (f.Channels > 2 || f.CoefCount == 0 || !f.HasFact) return false;
        std::size_t frames = MsAdpcmFramesPerBlock(f.BlockAlign, f.Channels);
        return frames != 0 && frames == f.FramesPerBlock &&
               frames * f.Channels * 2 <= maxDecodedBlock;
    }
    case wtACM:
        // Whether it decodes is for the decoder to find out.
        return true;
    default:
        return false;
    }
}

void PutLe16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t GetLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

namespace {
void PutId(std::uint8_t* p, const char (&id)[5]) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(id[i]);
}
} // namespace

std::array<std::uint8_t, PcmHeaderSize> MakePcmHeader(int channels, std::uint32_t sampleRate,
                                                      int bitsPerSample, std::uint32_t dataSize) {
    std::array<std::uint8_t, PcmHeaderSize> h{};
    auto blockAlign = static_cast<std::uint16_t>(bitsPerSample * channels / 8);
    PutId(&h[0], "RIFF");
    PutLe32(&h[4], dataSize + 36);
    PutId(&h[8], "WAVE");
    PutId(&h[12], "fmt ");
    PutLe32(&h[16], 16);
    PutLe16(&h[20], WaveFormatPcm);
    PutLe16(&h[22], static_cast<std::uint16_t>(channels));
    PutLe32(&h[24], sampleRate);
    PutLe32(&h[28], sampleRate * blockAlign);
    PutLe16(&h[32], blockAlign);
    PutLe16(&h[34], static_cast<std::uint16_t>(bitsPerSample));
    PutId(&h[36], "data");
    PutLe32(&h[40], dataSize);
    return h;
}

std::array<std::uint8_t, ExtensibleHeaderSize>
MakeExtensibleHeader(int channels, std::uint32_t sampleRate, int bitsPerSample, std::uint32_t mask,
                     std::uint32_t dataSize) {
    static const std::uint8_t PcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const auto plain = MakePcmHeader(channels, sampleRate, bitsPerSample, dataSize);
    std::array<std::uint8_t, ExtensibleHeaderSize> h{};
    std::copy(plain.begin(), plain.begin() + 36, h.begin());
    PutLe32(&h[4], dataSize + 60);
    PutLe32(&h[16], 40);
    PutLe16(&h[20], WaveFormatExtensible);
    PutLe16(&h[36], 22);
    PutLe16(&h[38], static_cast<std::uint16_t>(bitsPerSample));
    PutLe32(&h[40], mask);
    std::copy(PcmSubFormat, PcmSubFormat + 16, h.begin() + 44);
    PutId(&h[60], "data");
    PutLe32(&h[64], dataSize);
    return h;
}

std::uint16_t ImaWriterFramesPerBlock(int channels, std::uint16_t blockSize) {
    return static_cast<std::uint16_t>((2 / channels) * (blockSize - 4 * channels) + 1);
}

std::array<std::uint8_t, ImaHeaderSize> MakeImaHeader(int channels, std::uint32_t sampleRate,
                                                      std::uint16_t blockSize,
                                                      std::uint32_t frameCount,
                                                      std::uint32_t dataSize) {
    std::array<std::uint8_t, ImaHeaderSize> h{};
    std::uint16_t framesPerBlock = ImaWriterFramesPerBlock(channels, blockSize);
    PutId(&h[0], "RIFF");
    PutLe32(&h[4], dataSize + ImaHeaderSize - 8);
    PutId(&h[8], "WAVE");
    PutId(&h[12], "fmt ");
    PutLe32(&h[16], 20);
    PutLe16(&h[20], WaveFormatImaAdpcm);
    PutLe16(&h[22], static_cast<std::uint16_t>(channels));
    PutLe32(&h[24], sampleRate);
    PutLe32(&h[28], sampleRate / framesPerBlock * blockSize);
    PutLe16(&h[32], blockSize);
    PutLe16(&h[34], 4);
    PutLe16(&h[36], 2);
    PutLe16(&h[38], framesPerBlock);
    PutId(&h[40], "fact");
    PutLe32(&h[44], 4);
    PutLe32(&h[48], frameCount);
    PutId(&h[52], "data");
    PutLe32(&h[56], dataSize);
    return h;
}

} // namespace bw
