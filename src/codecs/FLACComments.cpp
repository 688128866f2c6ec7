#include "FLACComments.h"

#include <cstring>

namespace bw {

namespace {

constexpr std::size_t MaxBodyLength = 0xFFFFFF;

void PutLE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
    PutLE32(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace

std::vector<std::uint8_t> BuildFLACCommentBlock(bool IsLast,
                                                const std::vector<std::string>& comments) {
    const std::string vendor = FLACVendorString;
    std::size_t body = 4 + vendor.size() + 4;
    std::vector<const std::string*> kept;
    for (const auto& comment : comments) {
        if (body + 4 + comment.size() > MaxBodyLength) continue;
        body += 4 + comment.size();
        kept.push_back(&comment);
    }
    std::vector<std::uint8_t> block;
    block.reserve(4 + body);
    block.push_back(static_cast<std::uint8_t>(4 | (IsLast ? 0x80 : 0)));
    block.push_back(static_cast<std::uint8_t>(body >> 16));
    block.push_back(static_cast<std::uint8_t>(body >> 8));
    block.push_back(static_cast<std::uint8_t>(body));
    PutText(block, vendor);
    PutLE32(block, static_cast<std::uint32_t>(kept.size()));
    for (const auto* comment : kept)
        PutText(block, *comment);
    return block;
}

} // namespace bw
