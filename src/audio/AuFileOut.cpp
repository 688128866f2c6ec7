#include "AuFileOut.h"

namespace bw {

bool TAuFileOut::OpenDestination(bool append) {
    CloseDestination();
    if (FStreamAssigned) {
        FStream = FAssignedStream;
        return append && FStream->Size() > 0;
    }
    if (FFileName.empty()) throw EAuException("File name is not assigned.");
    std::error_code ec;
    bool appending = append && std::filesystem::exists(FFileName, ec);
    FOwnedStream = std::make_unique<TAuFileStream>(
        FFileName, appending ? fmOpenReadWrite | fmShareExclusive : fmCreate);
    FStream = FOwnedStream.get();
    return appending;
}

} // namespace bw
