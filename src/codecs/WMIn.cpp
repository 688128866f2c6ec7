#include "WMIn.h"

#include "AudioStream.h"
#include "MediaReader.h"

#include <cmath>

namespace bw {

TWmDuration WmDurationOf(std::int64_t duration100ns, int sampleRate) {
    TWmDuration d;
    d.Hundredths = static_cast<std::int64_t>(std::nearbyint(duration100ns / 100000.0));
    d.TotalSamples = static_cast<std::int64_t>(d.Hundredths / 100.0 * sampleRate);
    return d;
}

TWMIn::TWMIn() = default;

TWMIn::~TWMIn() {
    NotifyRemoval();
    CloseSource();
}

TId3v2Tags& TWMIn::Id3v2Tags() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return TAuTaggedFileIn::Id3v2Tags();
}

void TWMIn::ReleaseReader() {
    FReader.reset();
    FAdapter.reset();
    FSample = nullptr;
    FSampleSize = FHandedOut = 0;
}

void TWMIn::OpenSource() {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount > 0) return;
    if (!StreamAssigned() && FileName().empty()) throw EAuException("File name is not assigned");
    FValid = false;
    FChannels = FSampleRate = FBitsPerSample = 0;
    FChannelMask = 0;
    FSize = 0;
    FDuration = 0;
    FLength = {};
    FExpectedFrames = 0;
    ReleaseReader();
    OpenStream(fmOpenRead);
    FAdapter = std::make_unique<TAudioStream>(*FStream);
    FReader = std::make_unique<media::TMediaReader>(*FAdapter);
    if (!FReader->Open(FExactLength)) {
        // Counted as open but not Valid, like a file without audio, so that the file is
        // closed again by CloseSource.
        ReleaseReader();
        ++FOpenCount;
        return;
    }
    FValid = FReader->HasAudio();
    if (FReader->Protected()) {
        ReleaseReader();
        ++FOpenCount;
        CloseSource();
        throw EAuException("File is protected");
    }
    FDuration = FValid ? FReader->Duration() : 0;
    FChannels = FReader->Channels();
    FChannelMask = FReader->ChannelMask();
    FSampleRate = FReader->SampleRate();
    FBitsPerSample = FReader->BitsPerSample();
    FLength = WmDurationOf(FDuration, FSampleRate);
    // From a damaged header the duration may be anything: only a sane one is believed.
    const double expected = static_cast<double>(FDuration) / 1e7 * FSampleRate;
    FExpectedFrames = expected > 0 && expected < 1e15 ? static_cast<std::int64_t>(expected) : 0;
    // The decoder's own count where it is known: the duration's hundredths would pad or cut
    // the encoder's delay and padding.
    const bool exact = FValid && FReader->Frames() >= 0;
    if (exact) FLength.TotalSamples = FExpectedFrames = FReader->Frames();
    FSize = FLength.TotalSamples * FChannels * (FBitsPerSample / 8);
    // Without the exact length the decoder alone says where the audio ends, as in FFmpeg's
    // own decoding: a header may announce samples that no frame holds.
    if (FValid && !FExactLength) FSize = -1;
    FSeekable = true;
    TId3v2Tags& tags = TAuTaggedFileIn::Id3v2Tags();
    tags.SetArtist(FReader->Attribute("Author"));
    tags.SetTitle(FReader->Attribute("Title"));
    tags.SetAlbum(FReader->Attribute("WM/AlbumTitle"));
    tags.SetGenre(FReader->Attribute("WM/Genre"));
    tags.SetTrack(FReader->Attribute("WM/Track"));
    tags.SetYear(FReader->Attribute("WM/Year"));
    tags.SetComment(FReader->Attribute("Copyright"));
    ++FOpenCount;
}

void TWMIn::CloseSource() {
    std::lock_guard lock(FOpenLock);
    if (FOpenCount <= 0) return;
    ReleaseReader();
    TAuFileIn::CloseSource();
}

void TWMIn::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    std::lock_guard lock(FOpenLock);
    Buffer = nullptr;
    if (FOpenCount == 0 || !FReader || Bytes <= 0) {
        Bytes = 0;
        return;
    }
    // No more than Size in all, whatever the decoder gives.
    if (FSize > 0 && FSize - FPosition < Bytes)
        Bytes = static_cast<int>(std::max<std::int64_t>(FSize - FPosition, 0));
    // Whole frames only, so that a cut never splits one.
    int frameBytes = FChannels * FBitsPerSample / 8;
    if (frameBytes > 0) Bytes -= Bytes % frameBytes;
    for (;;) {
        if (FSample && FHandedOut < FSampleSize) {
            Buffer = const_cast<std::uint8_t*>(FSample) + FHandedOut;
            Bytes = static_cast<int>(
                std::min<std::size_t>(static_cast<std::size_t>(Bytes), FSampleSize - FHandedOut));
            FHandedOut += static_cast<std::size_t>(Bytes);
            return;
        }
        FSample = nullptr;
        FHandedOut = 0;
        if (!FReader->NextSample(FSample, FSampleSize)) {
            FSample = nullptr;
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
    }
}

std::int64_t TWMIn::ExpectedTotalSamples() {
    std::lock_guard lock(FOpenLock);
    OpenSource();
    return FExpectedFrames;
}

bool TWMIn::SeekSample(std::int64_t& SampleNum) {
    std::lock_guard lock(FOpenLock);
    if (!FBusy || !FReader || FSampleRate <= 0) return false;
    double hundredths = FLength.TotalSamples > 0
                            ? double(SampleNum) / double(FLength.TotalSamples) * FLength.Hundredths
                            : double(SampleNum) / FSampleRate * 100.0;
    std::int64_t target = static_cast<std::int64_t>(std::nearbyint(hundredths));
    if (!FReader->SetRange(target * 100000)) return false;
    // What was left of the block before the seek belongs to the old position.
    FSample = nullptr;
    FHandedOut = 0;
    return true;
}

} // namespace bw
