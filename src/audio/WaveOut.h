// TWaveOut: writes PCM or IMA ADPCM WAVE files, new or appended to.
#pragma once

#include "AuFileOut.h"
#include "ImaAdpcm.h"
#include "WaveHeader.h"

#include <cstdint>
#include <vector>

namespace bw {

class TWaveOut : public TAuFileOut {
public:
    TWaveOut() = default;
    ~TWaveOut() override;

    TWavType WavType() const { return FWavType; }
    // Takes wtPCM or wtDVIADPCM while not busy; other values are ignored.
    void SetWavType(TWavType Value);
    std::uint16_t BlockSize() const { return FBlockSize; }
    // Takes a non-zero multiple of 4 while not busy; other values are ignored.
    void SetBlockSize(std::uint16_t Value);
    void SetFileMode(TFileOutputMode Value) override { FFileMode = Value; }

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    // What an existing file holds, for appending to it.
    struct TAppendTarget {
        TWaveHeaderInfo Header;
        std::int64_t FileSize = 0;
        std::int64_t DataBytes = 0; // sample data already in the file
    };

    void PrepareAppend();
    void PrepareNew();
    void WriteImaBlock();
    void FixHeader();
    void WriteLe32At(std::int64_t position, std::uint32_t value);
    // Closes the input and frees the destination, then throws message.
    [[noreturn]] void Abandon(const char* message);
    // Closes what the run opened after a failure, so neither stays held.
    void ReleaseAfterFailure();

    TWavType FWavType = wtPCM;
    std::uint16_t FBlockSize = 512;
    TImaEncoderState FIma;

    // Per run.
    bool FEndOfInput = false;
    bool FAppending = false;
    TAppendTarget FTarget;
    std::int64_t FOrigin = 0;                 // stream position of the RIFF header
    std::int64_t FHeaderSize = PcmHeaderSize; // of a new PCM file's header
    std::int64_t FAnnounced = 0;              // data bytes the input announced (-1: unknown)
    std::int64_t FDataWritten = 0;            // sample data bytes written this run
    std::int64_t FFramesEncoded = 0;          // input frames encoded this run (ADPCM)
    int FChannels = 0;
    int FBits = 0;
    std::vector<std::uint8_t> FPcmBlock;
    std::vector<std::int16_t> FSamples;
    std::vector<std::uint8_t> FCodeBlock;
};

} // namespace bw
