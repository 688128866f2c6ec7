// Where one encoder run writes: the stream assigned to the output, or the named file, which
// the run opens and closes itself.
#pragma once

#include "AuFileOut.h"
#include "AuStream.h"

#include <memory>

namespace bw {

class TRunDestination {
public:
    // Throws EAuException "File name is not assigned." without a stream or a name, or the
    // file stream's own message. Appending opens an existing file for reading and writing
    // without sharing and leaves the position where it was; otherwise the file is created.
    void Open(TAuFileOut& output, bool append);
    TStream& Stream() { return *FStream; }
    bool IsOpen() const { return FStream != nullptr; }
    // Frees the file the run opened (closing it); an assigned stream stays.
    void Close();

private:
    std::unique_ptr<TAuFileStream> FFile;
    TStream* FStream = nullptr;
};

} // namespace bw
