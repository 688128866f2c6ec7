// A CUETools database reply from the network must never crash the parse, and a parse either
// succeeds with well-formed entries or gives nothing and a reason.
#include "CtdbReply.h"
#include "CtdbSyndromes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view xml(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto reply = bw::ParseCtdbReply(xml, &error);
    if (reply.has_value() == !error.empty()) std::abort();
    if (!reply) return 0;
    for (const auto& e : reply->Entries) {
        if (e.Syndrome.size() > std::size_t(bw::CtdbMaxNpar) || e.TrackCrcs.size() > 99 ||
            e.Confidence < 0 || e.Npar < 0)
            std::abort();
    }
    return 0;
}
