// RIFF WAVE headers as pure functions of bytes: the chunk scan that finds the format, the
// "fact" frame count and the sample data, the checks that make a found format usable, and
// the headers our writer produces.
#pragma once

#include "MsAdpcm.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bw {

enum TWavType { wtUnsupported, wtPCM, wtDVIADPCM, wtMSADPCM, wtACM };

constexpr std::uint16_t WaveFormatPcm = 1;
constexpr std::uint16_t WaveFormatMsAdpcm = 2;
constexpr std::uint16_t WaveFormatImaAdpcm = 17;
constexpr std::uint16_t WaveFormatMpegLayer3 = 85;
// Read as PCM when its sub-format is PCM (FormatTag then reads WaveFormatPcm).
constexpr std::uint16_t WaveFormatExtensible = 0xFFFE;

// The scan gives up once this many bytes have been read without reaching the sample data.
constexpr std::size_t WaveHeaderScanLimit = 8192;

// True when four bytes name the chunk id; each byte may also differ by 32 (lower case).
bool ChunkIdMatches(const std::uint8_t* bytes, const char (&id)[5]);

enum class TWaveScanStatus {
    Found,    // the sample data was reached; every field below is set
    NotFound, // not a WAVE file we read, or the data lies too far or beyond the end
    NeedMore, // the bytes end before a verdict: read up to NeedBytes and scan again
};

struct TWaveHeaderInfo {
    TWaveScanStatus Status = TWaveScanStatus::NotFound;
    std::size_t NeedBytes = 0;

    std::uint16_t FormatTag = 0;
    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0;
    std::uint16_t BlockAlign = 0;
    std::uint16_t BitsPerSample = 0;
    std::uint16_t FramesPerBlock = 0; // ADPCM and MPEG only
    std::uint16_t CoefCount = 0;      // Microsoft ADPCM only
    std::uint32_t ChannelMask = 0;    // the extensible header's speaker positions
    std::array<TMsAdpcmCoef, MsAdpcmMaxCoefs> Coefs{};
    bool FormatComplete = false; // the format chunk held every field of its tag

    bool HasFact = false;
    std::uint32_t FactFrames = 0;
    std::uint32_t FactPos = 0;     // offset of the frame count in the bytes
    std::uint32_t DataSize = 0;    // as written in the file, possibly beyond its end
    std::uint32_t DataSizePos = 0; // offset of the data size field
    std::uint32_t DataStart = 0;   // offset of the first byte of sample data
};

// Scans bytes, a prefix of a stream starting at its first byte, for a WAVE header: a sliding
// search for "RIFF" and "WAVE" (junk may precede them), then "fmt ", then "fact" for every
// format but PCM, then "data"; other chunks are skipped (RIFF pads odd chunk sizes to even).
// streamSize is the whole stream's length when known; the scan fails once it runs past it.
// Without it (a stream that cannot tell), the scan fails only at the end of bytes when
// atEnd is set, else it asks for more. The scan also fails once WaveHeaderScanLimit bytes
// have been read, and on a format tag other than PCM, IMA or Microsoft ADPCM, or MPEG.
TWaveHeaderInfo ScanWaveHeader(std::span<const std::uint8_t> bytes,
                               std::optional<std::uint64_t> streamSize, bool atEnd = true);

// The reader's type for a format tag.
TWavType WavTypeOfTag(std::uint16_t tag);

// True when a found header can be decoded safely: a known tag with every field it needs,
// 1 or 2 channels for ADPCM (PCM: at least one), 8, 16 or 24 bits for PCM and 4 for IMA
// ADPCM, a non-zero sample rate, a block layout that agrees with the frames per block and
// whose decoded block fits maxDecodedBlock bytes, a "fact" count for ADPCM, and 1 to 32
// coefficient pairs for Microsoft ADPCM.
bool WaveFormatUsable(const TWaveHeaderInfo& info, std::size_t maxDecodedBlock);

constexpr std::size_t PcmHeaderSize = 44;
constexpr std::size_t ExtensibleHeaderSize = 68;
constexpr std::size_t ImaHeaderSize = 60;

std::array<std::uint8_t, PcmHeaderSize> MakePcmHeader(int channels, std::uint32_t sampleRate,
                                                      int bitsPerSample, std::uint32_t dataSize);

// WAVE_FORMAT_EXTENSIBLE with PCM samples, for more than two channels: mask gives their
// speaker positions.
std::array<std::uint8_t, ExtensibleHeaderSize>
MakeExtensibleHeader(int channels, std::uint32_t sampleRate, int bitsPerSample, std::uint32_t mask,
                     std::uint32_t dataSize);

// Frames per block of our IMA ADPCM writer for a block size (a multiple of 4).
std::uint16_t ImaWriterFramesPerBlock(int channels, std::uint16_t blockSize);

std::array<std::uint8_t, ImaHeaderSize> MakeImaHeader(int channels, std::uint32_t sampleRate,
                                                      std::uint16_t blockSize,
                                                      std::uint32_t frameCount,
                                                      std::uint32_t dataSize);

// Field offsets of our IMA ADPCM header, for fixing it at the end of a run.
constexpr std::size_t ImaHeaderFactPos = 48;
constexpr std::size_t ImaHeaderDataSizePos = 56;
constexpr std::size_t PcmHeaderDataSizePos = 40;
constexpr std::size_t RiffSizePos = 4;

void PutLe16(std::uint8_t* p, std::uint16_t value);
void PutLe32(std::uint8_t* p, std::uint32_t value);
std::uint16_t GetLe16(const std::uint8_t* p);
std::uint32_t GetLe32(const std::uint8_t* p);

} // namespace bw
