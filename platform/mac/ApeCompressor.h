// One APE file being written: takes PCM through a lent buffer, compresses it a frame at a
// time into the file, and at the end fills in the header, seek table and checksum. The seek
// table comes before the audio, so its room is settled before any audio is written: for the
// announced length, or when the length is unknown, once the stream ends (the coded audio
// waits in memory) or, for a very long stream, for the most a WAV can hold. The audio is
// never moved or rewritten.
#pragma once

#include "ApeFrame.h"
#include "MACDll.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace bw::mac {

class TApeCompressor {
public:
    // holdLimit: how many coded bytes of a stream of unknown length may wait in memory.
    explicit TApeCompressor(std::size_t holdLimit = 32u << 20) : FHoldLimit(holdLimit) {}
    ~TApeCompressor();
    TApeCompressor(const TApeCompressor&) = delete;
    TApeCompressor& operator=(const TApeCompressor&) = delete;

    // Creates the file. maxAudioBytes < 0: unknown. header: the WAV file's bytes before its
    // PCM, or nullptr / headerBytes < 0 for a canonical header.
    int Start(const char* fileName, const TWaveFormatEx* format, std::int64_t maxAudioBytes,
              int level, const void* header, int headerBytes);
    std::uint8_t* Lock(int* available);
    int Unlock(int bytes);
    // terminating: bytes to store after the audio, the first wavBytes of which are the end of
    // the source WAV.
    int Finish(const std::uint8_t* terminating, int terminatingBytes, int wavBytes);

private:
    int Fail(int code);
    int EncodeFrame(std::uint32_t blocks);
    int WriteWords(bool final);
    int WriteAt(std::int64_t offset, const void* data, std::size_t size);
    std::uint32_t SlotsFor(std::uint64_t blocks) const;
    // Writes the placeholders before the audio for a table of that many slots, then any held
    // audio; from then on audio goes straight to the file.
    int LayOut(std::uint32_t slots);
    std::vector<std::uint8_t> HeaderBlock() const;
    std::vector<std::uint8_t> SeekTableBytes() const;
    void Close(bool remove);

    struct TFileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    std::filesystem::path FPath;
    std::unique_ptr<std::FILE, TFileCloser> FFile;
    std::unique_ptr<TApeFrameEncoder> FEncoder;
    int FError = 0; // sticky: the first failure of the run
    bool FStarted = false;
    int FLevel = 2000;
    int FBits = 16, FChannels = 2, FBlockAlign = 4;
    std::uint32_t FSampleRate = 44100;
    std::uint32_t FBlocksPerFrame = 0;
    std::uint64_t FMaxBytes = 0; // PCM bytes we may take
    std::uint32_t FSeekSlots = 0;
    std::vector<std::uint8_t> FWavHeader;
    bool FOwnWavHeader = true;

    std::vector<std::uint8_t> FFrame; // PCM of the frame being filled
    std::size_t FFilled = 0;
    std::uint64_t FPcmBytes = 0;
    std::uint64_t FBlocks = 0;
    std::uint32_t FFrames = 0;
    std::uint32_t FLastFrameBlocks = 0;
    std::vector<std::uint64_t> FSeekTable; // frame starts in the coded stream
    std::uint32_t FFirstFrame = 0;
    std::vector<std::uint8_t> FPending; // coded bytes not yet a whole 4-byte group
    std::vector<std::uint8_t> FWords;   // byte-swapped groups ready to write
    std::size_t FHoldLimit;
    bool FHolding = false; // audio waits in FHeld until the table's size is known
    std::vector<std::uint8_t> FHeld;
    std::uint64_t FLogical = 0; // coded bytes so far
};

} // namespace bw::mac
