// File-backed sources: TAuStreamedInput reads a stream, TAuFileIn opens a file by name
// (lazily, on the first question about its format) and delivers a range of frames.
//
// Threads: the main thread sets the file name or stream and asks for the format; the worker
// of the output reading this source runs OpenRead, PullData and CloseRead. The open lock
// guards the stream and the format fields; the data lock (TAuInput) is taken before it
// wherever both are needed.
//
// A concrete reader calls NotifyRemoval() and then CloseSource() first in its destructor,
// while the whole object still exists.
#pragma once

#include "AuComponents.h"
#include "AuStream.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>

namespace bw {

class TAuStreamedInput : public TAuInput {
public:
    // Reads stream (not owned) instead of opening a file; none goes back to the file.
    virtual void SetStream(TStream* Stream);
    TStream* Stream() const { return FStream; }
    bool StreamAssigned() const { return FStreamAssigned; }

    bool Seekable() const { return FSeekable; }
    void SetSeekable(bool Value) { FSeekable = Value; }
    // First frame of a run, and the last (inclusive; -1 up to the end). Reset after each run.
    std::int64_t StartSample() const { return FStartSample; }
    void SetStartSample(std::int64_t Value) { FStartSample = Value; }
    std::int64_t EndSample() const { return FEndSample; }
    void SetEndSample(std::int64_t Value) { FEndSample = Value; }
    // Starts over at StartSample whenever the end is reached.
    bool Loop() const { return FLoop; }
    void SetLoop(bool Value) { FLoop = Value; }

    // Positions the source so that the next data starts at frame SampleNum.
    virtual bool SeekSample(std::int64_t& SampleNum) = 0;

    // Counts what it hands out in Position and ends the stream when the reader has nothing
    // more to give (or starts over, with Loop).
    void PullData(std::uint8_t*& Buffer, int& Bytes) override;

protected:
    TStream* FStream = nullptr;
    bool FStreamAssigned = false;
    std::atomic<bool> FSeekable{true};
    std::atomic<std::int64_t> FStartSample{0};
    std::atomic<std::int64_t> FEndSample{-1};
    std::atomic<bool> FLoop{false};
    std::int64_t FTotalSamples = 0; // frames the current run delivers
};

class TAuFileIn : public TAuStreamedInput {
public:
    const std::filesystem::path& FileName() const { return FFileName; }
    // Closes the source first.
    void SetFileName(const std::filesystem::path& Value);

    // Whether the file was recognised; opens it when needed. False without a file name or
    // stream. Throws EAuException "Cannot open file <name>" when the file cannot be opened.
    bool Valid();
    // Moves to frame SampleNum: within the running range while busy, else as the next
    // run's StartSample. False when not seekable or beyond the known frame count.
    bool Seek(std::int64_t SampleNum);

    // The format getters open the source when it is closed.
    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    int GetTotalTime() override;
    std::int64_t GetTotalSamples() override;
    std::uint64_t GetChannelMask() override;
    // The frames a whole run is expected to give, for progress: TotalSamples, or an estimate
    // from a reader that finds its exact length only by decoding (0 or less: none).
    virtual std::int64_t ExpectedTotalSamples() { return GetTotalSamples(); }

    void ResetInput() override;
    void SetStream(TStream* Stream) override;

protected:
    // Opens the file (or takes the assigned stream) and reads its format, under the open lock,
    // doing nothing while already open. Sets FValid, the format fields, Size, and raises the
    // open count.
    virtual void OpenSource() = 0;
    // Under the open lock, when open: frees a stream the source opened, rewinds an assigned
    // seekable one, zeroes the open count. Readers extend it and call it.
    virtual void CloseSource();

    void DoOpenRead() override;
    void DoCloseRead() override;

    // For OpenSource: reads the assigned stream, or opens FileName with a TAuFileStream mode.
    void OpenStream(std::uint16_t mode);
    // The absolute byte of decoded PCM at which the current run ends (-1: no limit).
    std::int64_t RunEndByte() const { return FRunEndByte; }
    void EmptyBuffer() {
        FBufStart = 1;
        FBufEnd = 0;
    }

    std::recursive_mutex FOpenLock;
    int FOpenCount = 0;
    bool FValid = false;
    int FBitsPerSample = 0;
    int FSampleRate = 0;
    int FChannels = 0;
    int FTotalTime = 0;
    std::uint64_t FChannelMask = 0;

private:
    std::filesystem::path FFileName;
    std::unique_ptr<TStream> FOwnedStream;
    std::int64_t FStreamOrigin = 0;
    std::int64_t FRunEndByte = -1;
};

} // namespace bw
