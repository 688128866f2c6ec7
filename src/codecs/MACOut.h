// The APE sink: feeds PCM pulled from its input to our Monkey's Audio encoder library, which
// creates and writes the file itself. The library lends its own buffer; the output copies
// each block into it in as many pieces as the library offers.
#pragma once

#include "AuFileOut.h"
#include "MACLibrary.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace bw {

// The text of a library error code ("undefined (N)" for codes the table lacks).
std::string APEErrorText(int code);

// A library error: "MACDll error: " and the code's text.
class EAPEException : public std::runtime_error {
public:
    explicit EAPEException(int code)
        : std::runtime_error("MACDll error: " + APEErrorText(code)), FCode(code) {}
    int Code() const { return FCode; }

private:
    int FCode;
};

// One compressor handle of the library.
class TAPECompress {
public:
    // Raises EAPEException when the library cannot make a compressor.
    TAPECompress();
    ~TAPECompress();
    TAPECompress(const TAPECompress&) = delete;
    TAPECompress& operator=(const TAPECompress&) = delete;

    int Start(const char* fileName, const TWaveFormatEx* format, int maxAudioBytes,
              int compressionLevel, const void* headerData, int headerBytes);
    unsigned char* LockBuffer(int& bytesAvailable);
    int UnlockBuffer(int bytesAdded, bool process = true);
    int Finish(unsigned char* terminatingData, int terminatingBytes, int wavTerminatingBytes);

private:
    APE_COMPRESS_HANDLE FHandle = nullptr;
    int FErrorCode = 0;
};

class TMACOut : public TAuFileOut {
public:
    // Raises "libMACDll.so library could not be loaded." when the library is missing.
    TMACOut();
    ~TMACOut() override;

    int CompressionLevel() const { return FCompressionLevel; }
    // 1000, 2000, 3000 or 4000; anything else is stored as 2000.
    void SetCompressionLevel(int value);
    // The expected number of PCM bytes, -1 when not known.
    std::int32_t MaxAudioBytes = -1;

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    void FailRun();

    int FCompressionLevel = 2000;
    std::unique_ptr<TAPECompress> FCompress;
    TWaveFormatEx FFormat{};
    bool FEndOfInput = false;
    std::array<std::uint8_t, 65536> FBlock{};
};

} // namespace bw
