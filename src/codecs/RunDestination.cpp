#include "RunDestination.h"

#include <system_error>

namespace bw {

void TRunDestination::Open(TAuFileOut& output, bool append) {
    Close();
    if (output.StreamAssigned()) {
        FStream = output.Stream();
        return;
    }
    const auto& name = output.FileName();
    if (name.empty()) throw EAuException("File name is not assigned.");
    std::error_code ec;
    if (append && std::filesystem::exists(name, ec))
        FFile = std::make_unique<TAuFileStream>(name, fmOpenReadWrite | fmShareExclusive);
    else
        FFile = std::make_unique<TAuFileStream>(name, fmCreate);
    FStream = FFile.get();
}

void TRunDestination::Close() {
    FStream = nullptr;
    FFile.reset();
}

} // namespace bw
