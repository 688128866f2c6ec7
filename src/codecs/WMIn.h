// TWMIn decodes WMA files, and through TMP3In MP3 files, into 16-bit PCM for the pipeline,
// with the title attributes of the file (ASF attributes, ID3v2 and ID3v1 tags) in Id3v2Tags.
#pragma once

#include "AuTaggedFile.h"

#include <cstdint>
#include <memory>

namespace bw {

namespace media {
class TMediaReader;
}
class TAudioStream;

// The reader's duration arithmetic: hundredths of a second (rounded), then whole frames at
// the given rate (truncated).
struct TWmDuration {
    std::int64_t Hundredths = 0;
    std::int64_t TotalSamples = 0;
};
TWmDuration WmDurationOf(std::int64_t duration100ns, int sampleRate);

class TWMIn : public TAuTaggedFileIn {
public:
    TWMIn();
    ~TWMIn() override;

    // Opens the file first, so the tags of a closed file are read from it.
    TId3v2Tags& Id3v2Tags();

    bool SeekSample(std::int64_t& SampleNum) override;

    // Whether opening the file finds its exact length (the default), which for most codecs
    // means decoding it once more. Without, opening reads little more than the container's
    // header: Size is unknown (-1), a run hands out every sample the decoder gives, and
    // ExpectedTotalSamples is the container's duration. Runs of a range (StartSample, EndSample)
    // need the exact length.
    void SetExactLength(bool Value) { FExactLength = Value; }
    std::int64_t ExpectedTotalSamples() override;

protected:
    // Throws EAuException "File name is not assigned" without a file or stream, and
    // "File is protected" for DRM content. A file that cannot be read, or has no audio, is
    // not Valid.
    void OpenSource() override;
    void CloseSource() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    void ReleaseReader();

    std::unique_ptr<TAudioStream> FAdapter;
    std::unique_ptr<media::TMediaReader> FReader;
    const std::uint8_t* FSample = nullptr; // the block being handed out
    std::size_t FSampleSize = 0;
    std::size_t FHandedOut = 0;
    std::int64_t FDuration = 0; // 100 ns units
    TWmDuration FLength;
    bool FExactLength = true;
    std::int64_t FExpectedFrames = 0;
};

// MP3 files: the same reader.
class TMP3In : public TWMIn {};

} // namespace bw
