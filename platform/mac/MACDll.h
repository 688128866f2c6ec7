// The C interface of libMACDll.so, our Monkey's Audio encoder. The program loads the library
// at run time and calls these seven functions; the layout of TWaveFormatEx and the error codes
// are fixed because callers rely on them.
#pragma once

#include <cstdint>

extern "C" {

#pragma pack(push, 1)
// PCM format record, 18 bytes, in the classic WAVEFORMATEX layout.
struct TWaveFormatEx {
    std::uint16_t FormatTag;
    std::uint16_t Channels;
    std::uint32_t SamplesPerSec;
    std::uint32_t AvgBytesPerSec;
    std::uint16_t BlockAlign;
    std::uint16_t BitsPerSample;
    std::uint16_t ExtraSize;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18);

using APE_COMPRESS_HANDLE = void*;

int FillWaveFormatEx(TWaveFormatEx* format, int sampleRate, int bitsPerSample, int channels);
APE_COMPRESS_HANDLE c_APECompress_Create(int* errorCode);
void c_APECompress_Destroy(APE_COMPRESS_HANDLE handle);
// headerBytes -1 (or no header data): the library writes a canonical 44-byte WAV header.
// maxAudioBytes -1: the PCM length is not known in advance.
int c_APECompress_Start(APE_COMPRESS_HANDLE handle, const char* outputFileName,
                        const TWaveFormatEx* format, int maxAudioBytes, int compressionLevel,
                        const void* headerData, int headerBytes);
// A region the caller may fill with PCM, and its size (above 0) in *bytesAvailable; nullptr
// when the compressor is not started or has failed.
unsigned char* c_APECompress_LockBuffer(APE_COMPRESS_HANDLE handle, int* bytesAvailable);
int c_APECompress_UnlockBuffer(APE_COMPRESS_HANDLE handle, int bytesAdded, int process);
int c_APECompress_Finish(APE_COMPRESS_HANDLE handle, unsigned char* terminatingData,
                         int terminatingBytes, int wavTerminatingBytes);
}

namespace bw::mac {

enum : int {
    ErrorSuccess = 0,
    ErrorIORead = 1000,
    ErrorIOWrite = 1001,
    ErrorInvalidInputFile = 1002,
    ErrorInvalidOutputFile = 1003,
    ErrorInputFileTooLarge = 1004,
    ErrorUnsupportedBitDepth = 1005,
    ErrorUnsupportedSampleRate = 1006,
    ErrorUnsupportedChannelCount = 1007,
    ErrorInputFileTooSmall = 1008,
    ErrorInvalidFunctionParameter = 1012,
    ErrorInsufficientMemory = 2000,
    ErrorBadParameter = 5000,
    ErrorTooMuchData = 6000,
};

} // namespace bw::mac
