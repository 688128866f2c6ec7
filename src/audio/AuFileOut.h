// File-backed sinks: TAuStreamedOutput writes a stream, TAuFileOut creates (or appends to) a
// file by name. Concrete writers supply the run operations of TAuOutput.
#pragma once

#include "AuComponents.h"
#include "AuStream.h"

#include <filesystem>
#include <memory>

namespace bw {

class TAuStreamedOutput : public TAuOutput {
public:
    // Writes stream (not owned) instead of a file; none goes back to the file.
    void SetStream(TStream* Stream) {
        FAssignedStream = Stream;
        FStreamAssigned = Stream != nullptr;
    }
    bool StreamAssigned() const { return FStreamAssigned; }

protected:
    TStream* FAssignedStream = nullptr;
    bool FStreamAssigned = false;
};

enum TFileOutputMode { foRewrite, foAppend };

class TAuFileOut : public TAuStreamedOutput {
public:
    const std::filesystem::path& FileName() const { return FFileName; }
    void SetFileName(const std::filesystem::path& Value) { FFileName = Value; }

    TFileOutputMode FileMode() const { return FFileMode; }
    // Only writers that can append keep foAppend; the base always stores foRewrite.
    virtual void SetFileMode(TFileOutputMode) { FFileMode = foRewrite; }

protected:
    // For PrepareOutput: the assigned stream, or FileName opened for reading and writing
    // without sharing when appending to an existing file, else created. Throws
    // EAuException "File name is not assigned." or the file stream's error. Returns true
    // when an existing file or stream was opened to append to.
    bool OpenDestination(bool append);
    // Frees a stream OpenDestination opened; an assigned one stays.
    void CloseDestination() { FOwnedStream.reset(), FStream = nullptr; }

    TStream* FStream = nullptr; // the destination of the current run
    TFileOutputMode FFileMode = foRewrite;

private:
    std::filesystem::path FFileName;
    std::unique_ptr<TStream> FOwnedStream;
};

} // namespace bw
