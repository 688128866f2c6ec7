#include "MACOut.h"

#include "FileShare.h"

#include <algorithm>
#include <cstring>

namespace bw {

namespace {

const TMACApi& Mac() {
    return MACLibrary().Api();
}

} // namespace

std::string APEErrorText(int code) {
    switch (code) {
    case 0:
        return "OK";
    case 1000:
        return "I/O read error";
    case 1001:
        return "I/O write error";
    case 1002:
        return "invalid input file";
    case 1003:
        return "invalid output file";
    case 1004:
        return "input file file too large";
    case 1005:
        return "input file unsupported bit depth";
    case 1006:
        return "input file unsupported sample rate";
    case 1007:
        return "input file unsupported channel count";
    case 1008:
        return "input file too small";
    case 1009:
        return "invalid checksum";
    case 1010:
        return "decompressing frame";
    case 1011:
        return "initializing unmac";
    case 1012:
        return "invalid function parameter";
    case 1013:
        return "unsupported file type";
    case 2000:
        return "insufficient memory";
    case 3000:
        return "loading MAC.dll";
    case 3001:
        return "loading MACinfo.dll";
    case 3002:
        return "loading UnMAC.dll";
    case 4000:
        return "user stopped processing";
    case 4001:
        return "skipped...";
    case 5000:
        return "bad parameter";
    case 6000:
        return "APE compress too much data";
    default:
        return "undefined (" + std::to_string(code) + ")";
    }
}

TAPECompress::TAPECompress() {
    FHandle = Mac().c_APECompress_Create(&FErrorCode);
    if (FErrorCode != 0 || !FHandle) {
        if (FHandle) Mac().c_APECompress_Destroy(FHandle);
        throw EAPEException(FErrorCode != 0 ? FErrorCode : 2000);
    }
}

TAPECompress::~TAPECompress() {
    if (FHandle) Mac().c_APECompress_Destroy(FHandle);
}

int TAPECompress::Start(const char* fileName, const TWaveFormatEx* format, int maxAudioBytes,
                        int compressionLevel, const void* headerData, int headerBytes) {
    return Mac().c_APECompress_Start(FHandle, fileName, format, maxAudioBytes, compressionLevel,
                                     headerData, headerBytes);
}

unsigned char* TAPECompress::LockBuffer(int& bytesAvailable) {
    bytesAvailable = 0;
    return Mac().c_APECompress_LockBuffer(FHandle, &bytesAvailable);
}

int TAPECompress::UnlockBuffer(int bytesAdded, bool process) {
    return Mac().c_APECompress_UnlockBuffer(FHandle, bytesAdded, process ? 1 : 0);
}

int TAPECompress::Finish(unsigned char* terminatingData, int terminatingBytes,
                         int wavTerminatingBytes) {
    return Mac().c_APECompress_Finish(FHandle, terminatingData, terminatingBytes,
                                      wavTerminatingBytes);
}

TMACOut::TMACOut() {
    if (!MACLoaded()) throw EAuException(MACLibrary().NotLoadedMessage());
}

TMACOut::~TMACOut() {
    Shutdown();
    FCompress.reset();
}

void TMACOut::SetCompressionLevel(int value) {
    FCompressionLevel = value == 1000 || value == 3000 || value == 4000 ? value : 2000;
}

void TMACOut::FailRun() {
    // The library removes the unfinished file with its compressor.
    FCompress.reset();
    if (TAuInput* input = Input()) input->ResetInput();
}

void TMACOut::PrepareOutput() {
    if (FileName().empty()) throw EAuException("File name is not assigned.");
    // The library opens the name itself: a FIFO there would hold it forever.
    if (std::string reason = NotAFileReason(FileName()); !reason.empty())
        throw EAuException("Cannot create file " + FileName().string() + ": it " + reason);
    try {
        FCompress.reset();
        TAuInput& input = *Input();
        input.OpenRead();
        FEndOfInput = false;
        FCompress = std::make_unique<TAPECompress>();
        Mac().FillWaveFormatEx(&FFormat, input.GetSampleRate(), input.GetBitsPerSample(),
                               input.GetChannels());
        // Names are bytes on Linux; the library takes them as they are.
        const int code = FCompress->Start(FileName().c_str(), &FFormat, MaxAudioBytes,
                                          FCompressionLevel, nullptr, -1);
        FCanOutput = code == 0;
        if (code != 0) throw EAuException("Error starting APECompress.\r\n" + APEErrorText(code));
    } catch (...) {
        FailRun();
        throw;
    }
}

bool TMACOut::OutputBlock(bool Abort) {
    if (Abort || FEndOfInput) return false;
    try {
        const int frame = Input()->GetChannels() * (Input()->GetBitsPerSample() / 8);
        const int block = frame > 0 ? 65536 - 65536 % frame : 65536;
        bool end = false;
        const int bytes = Input()->PullExactly(FBlock.data(), block, end);
        if (end) FEndOfInput = true;
        for (int done = 0; done < bytes;) {
            int available = 0;
            unsigned char* region = FCompress->LockBuffer(available);
            // A library that lends nothing cannot take the block; going on would spin.
            if (!region || available <= 0)
                throw EAuException("APECompress.LockBuffer Error: no buffer");
            const int n = std::min(available, bytes - done);
            std::memcpy(region, FBlock.data() + done, n);
            if (const int code = FCompress->UnlockBuffer(n))
                throw EAuException("APECompress.UnlockBuffer Error: " + std::to_string(code));
            done += n;
        }
        return true;
    } catch (...) {
        FailRun();
        throw;
    }
}

void TMACOut::FinishOutput() {
    const int code = FCompress ? FCompress->Finish(nullptr, 0, 0) : 0;
    FCompress.reset();
    Input()->CloseRead();
    // A file the library could not complete is no success (a run the user stopped before
    // any audio has nothing to report).
    if (code != 0 && !Stopped()) throw EAPEException(code);
}

} // namespace bw
