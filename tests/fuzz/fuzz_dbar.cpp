// An AccurateRip database file from the network must never crash the parse or the verdict,
// and a parse either succeeds whole or gives nothing and a reason.
#include "AccurateRip.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bw::TDbarParse parse = bw::ParseDbar(bytes);
    if (parse.Ok != parse.Error.empty()) std::abort();
    if (!parse.Ok && !parse.Submissions.empty()) std::abort();
    std::size_t used = 0;
    for (const auto& s : parse.Submissions)
        used += 13 + 9 * s.Tracks.size();
    if (parse.Ok && used != size) std::abort();
    bw::TAccurateRipDiscId disc =
        parse.Submissions.empty() ? bw::TAccurateRipDiscId{} : parse.Submissions.front().Disc;
    for (std::size_t index : {0u, 1u, 98u, 255u})
        bw::MatchAccurateRip(parse.Submissions, disc, index, 0x12345678u, 0x9abcdef0u);
    return 0;
}
