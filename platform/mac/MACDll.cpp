// The exported entry points: thin C wrappers over TApeCompressor that turn every failure,
// allocation included, into an error code, since no exception may cross a C boundary.
#include "MACDll.h"

#include "ApeCompressor.h"

#include <new>

#define BW_EXPORT extern "C" __attribute__((visibility("default")))

using bw::mac::TApeCompressor;

namespace {

TApeCompressor* Compressor(APE_COMPRESS_HANDLE handle) {
    return static_cast<TApeCompressor*>(handle);
}

} // namespace

BW_EXPORT int FillWaveFormatEx(TWaveFormatEx* format, int sampleRate, int bitsPerSample,
                               int channels) {
    if (!format) return bw::mac::ErrorInvalidFunctionParameter;
    format->FormatTag = 1;
    format->Channels = static_cast<std::uint16_t>(channels);
    format->SamplesPerSec = static_cast<std::uint32_t>(sampleRate);
    format->BlockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    format->AvgBytesPerSec = format->SamplesPerSec * format->BlockAlign;
    format->BitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    format->ExtraSize = 0;
    return bw::mac::ErrorSuccess;
}

BW_EXPORT APE_COMPRESS_HANDLE c_APECompress_Create(int* errorCode) {
    auto* compressor = new (std::nothrow) TApeCompressor;
    if (errorCode)
        *errorCode = compressor ? bw::mac::ErrorSuccess : bw::mac::ErrorInsufficientMemory;
    return compressor;
}

BW_EXPORT void c_APECompress_Destroy(APE_COMPRESS_HANDLE handle) {
    delete Compressor(handle);
}

BW_EXPORT int c_APECompress_Start(APE_COMPRESS_HANDLE handle, const char* outputFileName,
                                  const TWaveFormatEx* format, int maxAudioBytes,
                                  int compressionLevel, const void* headerData, int headerBytes) {
    if (!handle) return bw::mac::ErrorInvalidFunctionParameter;
    try {
        return Compressor(handle)->Start(outputFileName, format, maxAudioBytes, compressionLevel,
                                         headerData, headerBytes);
    } catch (const std::bad_alloc&) {
        return bw::mac::ErrorInsufficientMemory;
    } catch (...) {
        return bw::mac::ErrorInvalidOutputFile;
    }
}

BW_EXPORT unsigned char* c_APECompress_LockBuffer(APE_COMPRESS_HANDLE handle, int* bytesAvailable) {
    if (!handle) {
        if (bytesAvailable) *bytesAvailable = 0;
        return nullptr;
    }
    return Compressor(handle)->Lock(bytesAvailable);
}

BW_EXPORT int c_APECompress_UnlockBuffer(APE_COMPRESS_HANDLE handle, int bytesAdded, int) {
    if (!handle) return bw::mac::ErrorInvalidFunctionParameter;
    try {
        return Compressor(handle)->Unlock(bytesAdded);
    } catch (...) {
        return bw::mac::ErrorInsufficientMemory;
    }
}

BW_EXPORT int c_APECompress_Finish(APE_COMPRESS_HANDLE handle, unsigned char* terminatingData,
                                   int terminatingBytes, int wavTerminatingBytes) {
    if (!handle) return bw::mac::ErrorInvalidFunctionParameter;
    try {
        return Compressor(handle)->Finish(terminatingData, terminatingBytes, wavTerminatingBytes);
    } catch (...) {
        return bw::mac::ErrorInsufficientMemory;
    }
}
