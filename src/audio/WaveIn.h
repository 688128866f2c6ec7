// TWaveIn: reads RIFF WAVE files (PCM, IMA ADPCM, Microsoft ADPCM, MPEG layer 3) and hands
// out PCM.
#pragma once

#include "AuFileIn.h"
#include "WaveHeader.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace bw {

class TWaveIn : public TAuFileIn {
public:
    // Decoded data must fit this buffer; files with larger ADPCM blocks are not Valid.
    static constexpr int ReadBufferSize = 16384;

    TWaveIn() = default;
    ~TWaveIn() override;

    // The kind of data found; opens the source when needed.
    TWavType WavType();

    bool SeekSample(std::int64_t& SampleNum) override;

protected:
    void OpenSource() override;
    void CloseSource() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    TWaveHeaderInfo ReadHeader();
    // Counts what the compressed file decodes to, then reads it as a PCM WAVE file decoded
    // piece by piece; false when it cannot be decoded.
    bool OpenDecoded();
    // Refills the buffer with the next PCM; false when there is none.
    bool FillBuffer();
    bool ReadPcm();
    bool DecodeBlock();
    // Reads up to count bytes of sample data, never past the data chunk.
    std::int64_t ReadData(std::uint8_t* buffer, std::int64_t count);

    TWavType FWavType = wtUnsupported;
    TWaveHeaderInfo FHeader;
    int FFrameBytes = 0;         // bytes of one decoded frame
    std::int64_t FDataStart = 0; // stream offset of the sample data
    std::int64_t FDataBytes = 0; // sample data the stream really holds
    std::int64_t FDataRead = 0;  // sample data bytes consumed so far
    std::int64_t FPcmEnd = 0;    // decoded bytes in the whole file
    std::int64_t FPcmPos = 0;    // decoded byte of the buffer's start
    std::int64_t FSkipBytes = 0; // decoded bytes to drop after a seek into a block
    std::array<std::uint8_t, ReadBufferSize> FBuffer{};
    std::vector<std::uint8_t> FBlock;
    std::vector<std::int16_t> FDecoded;
    std::unique_ptr<TStream> FDecodedFile; // a compressed file decoded to PCM
    TStream* FKeptStream = nullptr;        // the file's stream meanwhile
    std::string FDecodeError;              // why a compressed file could not be decoded
};

} // namespace bw
