// CDDB servers are outside our control: their replies may hold anything.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "CddbProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto reply = bw::ParseCddbQueryReply(text, 10);
    if (reply.Matches.size() > 10) std::abort();
    if (reply.Status == bw::TCddbQueryStatus::Matches && reply.Matches.empty()) std::abort();
    for (const auto& match : reply.Matches) {
        if (match.DiscId.empty() || match.DiscId.size() > 8 || match.Category.empty()) std::abort();
    }
    std::string record;
    if (bw::ParseCddbReadReply(text, record) && record.size() > size) std::abort();
    return 0;
}
