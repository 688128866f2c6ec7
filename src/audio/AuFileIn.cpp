#include "AuFileIn.h"

#include <cmath>

namespace bw {

// ---------------------------------------------------------------------------------------
// TAuStreamedInput

void TAuStreamedInput::SetStream(TStream* Stream) {
    FStream = Stream;
    FStreamAssigned = Stream != nullptr;
}

void TAuStreamedInput::PullData(std::uint8_t*& Buffer, int& Bytes) {
    std::lock_guard lock(FDataLock);
    if (FEndOfStream) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    int requested = Bytes;
    ProduceData(Buffer, Bytes);
    // Starting over is only worth it when the lap delivered something; an empty source
    // would loop forever.
    if (Bytes == 0 && FLoop && FPosition > 0) {
        if (FSeekable) {
            std::int64_t start = FStartSample;
            SeekSample(start);
        } else {
            CloseRead();
            OpenRead();
        }
        FPosition = 0;
        Bytes = requested;
        ProduceData(Buffer, Bytes);
    }
    if (Bytes <= 0) {
        Bytes = 0;
        Buffer = nullptr;
        FEndOfStream = true;
    }
    FPosition += Bytes;
}

// ---------------------------------------------------------------------------------------
// TAuFileIn

void TAuFileIn::SetFileName(const std::filesystem::path& Value) {
    // The data lock keeps a running reader from using the stream while it goes away.
    std::lock_guard data(FDataLock);
    CloseSource();
    FFileName = Value;
}

void TAuFileIn::SetStream(TStream* Stream) {
    std::lock_guard data(FDataLock);
    CloseSource();
    TAuStreamedInput::SetStream(Stream);
}

void TAuFileIn::OpenStream(std::uint16_t mode) {
    if (FStreamAssigned) {
        FStream = TAuStreamedInput::Stream();
    } else {
        FOwnedStream = std::make_unique<TAuFileStream>(FFileName, mode);
        FStream = FOwnedStream.get();
    }
    FStreamOrigin = FStream->Position();
    if (FStreamOrigin < 0) FStreamOrigin = 0;
}

void TAuFileIn::CloseSource() {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount <= 0) return;
    if (FOwnedStream) {
        FOwnedStream.reset();
        FStream = nullptr;
    } else if (FStream && FSeekable) {
        FStream->SetPosition(FStreamOrigin);
    }
    FOpenCount = 0;
}

bool TAuFileIn::Valid() {
    std::lock_guard lock(FOpenLock);
    if (!FStreamAssigned && FFileName.empty()) return false;
    if (FSeekable) OpenSource();
    return FValid;
}

int TAuFileIn::GetBitsPerSample() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FBitsPerSample;
}

int TAuFileIn::GetChannels() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FChannels;
}

int TAuFileIn::GetSampleRate() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FSampleRate;
}

int TAuFileIn::GetTotalTime() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    if (FSampleRate == 0 || FChannels == 0 || FBitsPerSample / 8 == 0) return 0;
    double seconds = static_cast<double>(FSize) /
                     (static_cast<double>(FSampleRate) * FChannels * (FBitsPerSample / 8));
    return static_cast<int>(std::nearbyint(seconds)); // halves to even
}

std::int64_t TAuFileIn::GetTotalSamples() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    std::int64_t frameBytes = static_cast<std::int64_t>(FChannels) * FBitsPerSample / 8;
    FTotalSamples = FSize > 0 && frameBytes > 0 ? FSize / frameBytes : -1;
    return FTotalSamples;
}

std::uint64_t TAuFileIn::GetChannelMask() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FChannelMask;
}

void TAuFileIn::DoOpenRead() {
    if (FBusy) throw EAuException("The component is Busy");
    if (!FStreamAssigned && FFileName.empty()) throw EAuException("The file name is not assigned");
    FBusy = true;
    FPosition = 0;
    std::lock_guard lock(FOpenLock);
    OpenSource();
    std::int64_t frameBytes = static_cast<std::int64_t>(FChannels) * FBitsPerSample / 8;
    FSampleSize = static_cast<std::uint16_t>(frameBytes);
    std::int64_t total = frameBytes > 0 ? FSize / frameBytes : 0;
    FTotalSamples = total;
    FTotalTime = FSampleRate > 0 ? static_cast<int>(total / FSampleRate) : 0;
    FRunEndByte = FSize;
    EmptyBuffer();

    std::int64_t start = FStartSample;
    if (start > 0) {
        // Straight to the absolute frame: Seek() counts from the start of a running range.
        std::int64_t sample = start;
        SeekSample(sample);
        FPosition = 0;
    }
    if (start <= 0 && FEndSample == -1) return;

    if (FEndSample >= total) FEndSample = -1;
    std::int64_t last = FEndSample != -1 ? static_cast<std::int64_t>(FEndSample) : total - 1;
    std::int64_t frames = std::max<std::int64_t>(0, last - std::max<std::int64_t>(start, 0) + 1);
    FTotalSamples = frames;
    FSize = frames * frameBytes;
    FRunEndByte = (last + 1) * frameBytes;
    EmptyBuffer();
}

void TAuFileIn::DoCloseRead() {
    CloseSource();
    FStartSample = 0;
    FEndSample = -1;
    // The run's frame count must not limit a Seek that prepares the next run.
    FTotalSamples = 0;
    FBusy = false;
}

void TAuFileIn::ResetInput() {
    TAuStreamedInput::ResetInput();
    std::lock_guard lock(FOpenLock);
    FOpenCount = 0;
}

bool TAuFileIn::Seek(std::int64_t SampleNum) {
    if (!FSeekable || SampleNum < 0) return false;
    std::lock_guard data(FDataLock);
    if (FTotalSamples != 0 && FTotalSamples < SampleNum) return false;
    if (FBusy) {
        std::int64_t start = FStartSample;
        SampleNum += start;
        bool ok = false;
        try {
            ok = SeekSample(SampleNum);
        } catch (const EAuException&) {
            ok = false;
        }
        FPosition = (SampleNum - start) * FSampleSize;
        // There is data again after a seek back from the end.
        if (ok) FEndOfStream = false;
        return ok;
    }
    FStartSample = SampleNum;
    FPosition = SampleNum * FSampleSize;
    FEndSample = -1;
    return true;
}

} // namespace bw
