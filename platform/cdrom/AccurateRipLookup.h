// Fetches a disc's AccurateRip database file from the server and gives each ripped track
// its verdict.
#pragma once

#include "AccurateRip.h"
#include "HttpGet.h"

#include <atomic>
#include <string>
#include <vector>

namespace bw {

constexpr const char* DefaultAccurateRipServer = "www.accuraterip.com";

struct TAccurateRipLookup {
    enum class TKind { Found, NotInDatabase, Failed };
    TKind Kind = TKind::Failed;
    std::vector<TDbarSubmission> Submissions; // when Found
    std::string Error;                        // when Failed: why, for the user
};

// The address of the disc's file on a server given as "host[:port]" (an "http://" before it
// is allowed).
std::string AccurateRipUrl(const std::string& server, const TAccurateRipDiscId& id);

// GETs the disc's file (connection: all but the URL): HTTP 404 is a disc nobody has submitted;
// anything else but a whole, well-formed file is a failure that says why.
TAccurateRipLookup LookUpAccurateRip(const std::string& server, const TAccurateRipDiscId& id,
                                     const THttpRequest& connection,
                                     const std::atomic<bool>* cancel = nullptr);

// The verdict for one track (see MatchAccurateRip) after a lookup of any outcome.
TAccurateRipResult AccurateRipVerdict(const TAccurateRipLookup& lookup,
                                      const TAccurateRipDiscId& disc, std::size_t index,
                                      std::uint32_t v1, std::uint32_t v2);

} // namespace bw
