#include "WaveIn.h"

#include "ImaAdpcm.h"
#include "MsAdpcm.h"
#include "WaveConverter.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace bw {

static_assert(std::endian::native == std::endian::little,
              "decoded samples are copied out as little-endian PCM");

TWaveIn::~TWaveIn() {
    NotifyRemoval();
    CloseSource();
}

TWavType TWaveIn::WavType() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FWavType;
}

TWaveHeaderInfo TWaveIn::ReadHeader() {
    TStream& stream = *FStream;
    std::int64_t origin = std::max<std::int64_t>(stream.Position(), 0);
    std::int64_t size = stream.Size();
    std::vector<std::uint8_t> bytes;
    TWaveHeaderInfo info;
    if (size >= 0) {
        // Seekable: read what the scan can ever need at once, then go to the data.
        std::int64_t available = std::max<std::int64_t>(size - origin, 0);
        bytes.resize(
            static_cast<std::size_t>(std::min<std::int64_t>(available, WaveHeaderScanLimit + 4)));
        bytes.resize(static_cast<std::size_t>(stream.ReadSome(bytes.data(), bytes.size())));
        info = ScanWaveHeader(bytes, static_cast<std::uint64_t>(available));
        if (info.Status == TWaveScanStatus::Found) stream.SetPosition(origin + info.DataStart);
    } else {
        // A stream that cannot seek: read exactly what the scan asks for, so that it is left
        // at the first byte of sample data.
        bool atEnd = false;
        for (;;) {
            info = ScanWaveHeader(bytes, std::nullopt, atEnd);
            if (info.Status != TWaveScanStatus::NeedMore) break;
            std::size_t have = bytes.size();
            bytes.resize(info.NeedBytes);
            std::int64_t got = stream.ReadSome(bytes.data() + have, bytes.size() - have);
            bytes.resize(have + static_cast<std::size_t>(got));
            atEnd = bytes.size() < info.NeedBytes;
        }
    }
    FDataStart = origin + info.DataStart;
    FDataBytes = info.DataSize;
    if (size >= 0) FDataBytes = std::min(FDataBytes, std::max<std::int64_t>(size - FDataStart, 0));
    return info;
}

void TWaveIn::OpenSource() {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount > 0) return;
    FValid = true;
    FWavType = wtUnsupported;
    FBitsPerSample = FSampleRate = FChannels = 0;
    FChannelMask = 0;
    FSize = 0;
    FPcmEnd = FPcmPos = FDataRead = FSkipBytes = 0;
    FDecodeError.clear();
    EmptyBuffer();
    OpenStream(fmOpenRead | fmShareDenyWrite);

    std::int64_t origin = std::max<std::int64_t>(FStream->Position(), 0);
    FHeader = ReadHeader();
    if (FHeader.Status == TWaveScanStatus::Found) FWavType = WavTypeOfTag(FHeader.FormatTag);
    if (!WaveFormatUsable(FHeader, ReadBufferSize) ||
        (FWavType == wtACM &&
         (FStream->Seek(origin, TSeekOrigin::soBeginning) < 0 || !OpenDecoded()))) {
        FValid = false;
    } else {
        FChannels = FHeader.Channels;
        FChannelMask = FHeader.ChannelMask;
        FSampleRate = static_cast<int>(FHeader.SampleRate);
        if (FWavType == wtPCM || FWavType == wtACM) {
            FBitsPerSample = FHeader.BitsPerSample;
            FFrameBytes = FChannels * FBitsPerSample / 8;
            FPcmEnd = FDataBytes / FFrameBytes * FFrameBytes;
        } else {
            // ADPCM: as many frames as the "fact" chunk says, but no more than the blocks
            // in the file can give.
            FBitsPerSample = 16;
            FFrameBytes = FChannels * 2;
            std::int64_t blocks = (FDataBytes + FHeader.BlockAlign - 1) / FHeader.BlockAlign;
            std::int64_t frames =
                std::min<std::int64_t>(FHeader.FactFrames, blocks * FHeader.FramesPerBlock);
            FPcmEnd = frames * FFrameBytes;
            FBlock.resize(FHeader.BlockAlign);
            FDecoded.resize(static_cast<std::size_t>(FHeader.FramesPerBlock) * FChannels);
        }
        FSize = FPcmEnd;
    }
    ++FOpenCount;
    // Open, though invalid, so that closing it releases the file as usual.
    if (!FDecodeError.empty())
        throw EAuException(FStream->Describe() + " cannot be decoded: " + FDecodeError);
}

bool TWaveIn::OpenDecoded() {
    TWaveConverter converter;
    converter.LoadWaveFile(*FStream);
    if (converter.SuggestFormat() != WaveConvertOk || converter.ConvertData() != WaveConvertOk) {
        FDecodeError = converter.LastError();
        return false;
    }
    try {
        FDecodedFile = converter.OpenDecoded();
    } catch (const std::exception& e) {
        FDecodeError = e.what();
        return false;
    }
    FKeptStream = FStream;
    FStream = FDecodedFile.get();
    FHeader = ReadHeader();
    return FHeader.Status == TWaveScanStatus::Found && FHeader.FormatTag == WaveFormatPcm &&
           WaveFormatUsable(FHeader, ReadBufferSize);
}

void TWaveIn::CloseSource() {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount <= 0) return;
    if (FDecodedFile) {
        FStream = FKeptStream;
        FDecodedFile.reset();
        FKeptStream = nullptr;
    }
    TAuFileIn::CloseSource();
    EmptyBuffer();
}

std::int64_t TWaveIn::ReadData(std::uint8_t* buffer, std::int64_t count) {
    std::int64_t n = std::min(count, FDataBytes - FDataRead);
    if (n <= 0) return 0;
    std::int64_t got = FStream->ReadSome(buffer, n);
    FDataRead += got;
    return got;
}

bool TWaveIn::ReadPcm() {
    std::int64_t want = ReadBufferSize / FFrameBytes * FFrameBytes;
    std::int64_t got = ReadData(FBuffer.data(), want) / FFrameBytes * FFrameBytes;
    if (got <= 0) return false;
    FBufStart = 1;
    FBufEnd = static_cast<std::int32_t>(got);
    return true;
}

bool TWaveIn::DecodeBlock() {
    for (;;) {
        std::int64_t got = ReadData(FBlock.data(), static_cast<std::int64_t>(FBlock.size()));
        if (got <= 0) return false;
        // A short last block is completed with silence codes.
        std::fill(FBlock.begin() + got, FBlock.end(), 0);
        std::size_t frames =
            FWavType == wtDVIADPCM
                ? ImaDecodeBlock(FBlock, FChannels, FDecoded)
                : MsAdpcmDecodeBlock(FBlock, FChannels,
                                     std::span(FHeader.Coefs.data(), FHeader.CoefCount), FDecoded);
        if (frames == 0) throw EAuException("Damaged ADPCM data in " + FStream->Describe());
        std::int64_t bytes = static_cast<std::int64_t>(frames) * FFrameBytes;
        if (FSkipBytes >= bytes) { // a seek into a later block
            FSkipBytes -= bytes;
            continue;
        }
        std::memcpy(FBuffer.data(), FDecoded.data(), static_cast<std::size_t>(bytes));
        FBufStart = static_cast<std::int32_t>(1 + FSkipBytes);
        FBufEnd = static_cast<std::int32_t>(bytes);
        FSkipBytes = 0;
        return true;
    }
}

bool TWaveIn::FillBuffer() {
    EmptyBuffer();
    return FWavType == wtPCM || FWavType == wtACM ? ReadPcm() : DecodeBlock();
}

void TWaveIn::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    if (!FBusy) throw EAuException("The Stream is not opened");
    std::lock_guard lock(FOpenLock);
    Buffer = nullptr;
    std::int64_t limit = FPcmEnd;
    if (RunEndByte() >= 0) limit = std::min(limit, RunEndByte());
    if (FOpenCount == 0 || !FValid || !FStream || FPcmPos >= limit ||
        (FBufEnd < FBufStart && !FillBuffer())) {
        Bytes = 0;
        return;
    }
    std::int64_t n = std::max(Bytes, 0) / FFrameBytes * FFrameBytes;
    n = std::min<std::int64_t>(n, FBufEnd - FBufStart + 1);
    n = std::min(n, limit - FPcmPos);
    Buffer = FBuffer.data() + (FBufStart - 1);
    FBufStart += static_cast<std::int32_t>(n);
    FPcmPos += n;
    Bytes = static_cast<int>(n);
}

bool TWaveIn::SeekSample(std::int64_t& SampleNum) {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount == 0 || !FValid || !FStream || SampleNum < 0) return false;
    EmptyBuffer();
    std::int64_t dataOffset = SampleNum * FFrameBytes;
    FSkipBytes = 0;
    if (FWavType == wtDVIADPCM || FWavType == wtMSADPCM) {
        std::int64_t block = SampleNum / FHeader.FramesPerBlock;
        dataOffset = block * FHeader.BlockAlign;
        // The block starts before the frame asked for: drop the frames in between.
        FSkipBytes = (SampleNum % FHeader.FramesPerBlock) * FFrameBytes;
    }
    if (FStream->Seek(FDataStart + dataOffset, TSeekOrigin::soBeginning) < 0) return false;
    FDataRead = dataOffset;
    FPcmPos = SampleNum * FFrameBytes;
    return true;
}

} // namespace bw
