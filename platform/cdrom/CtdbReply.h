// The CUETools database's lookup reply: an XML document whose <entry> elements are the
// pressings submitted for a TOC. Parsed with expat; the reply comes from a server, so every
// attribute is checked and sizes are capped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

struct TCtdbEntry {
    std::int64_t Id = 0;
    std::uint32_t Crc32 = 0;
    int Confidence = 0;
    int Npar = 0;
    int Stride = 0;                      // samples
    std::string ParityUrl;               // the "hasparity" address; empty without recovery data
    std::vector<std::uint16_t> Syndrome; // column 0's, npar words (from "parity" on old replies)
    std::vector<std::uint32_t> TrackCrcs;
    std::string Toc;
};

struct TCtdbReply {
    std::string Status; // the root's status attribute, when it has one
    std::vector<TCtdbEntry> Entries;
};

// Nothing when the text is not a well-formed reply (not XML, another root element, a
// malformed entry attribute); the reason in error when given.
std::optional<TCtdbReply> ParseCtdbReply(std::string_view xml, std::string* error = nullptr);

} // namespace bw
