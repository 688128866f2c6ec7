#include "AccurateRipLookup.h"

namespace bw {

std::string AccurateRipUrl(const std::string& server, const TAccurateRipDiscId& id) {
    std::string host = server;
    if (host.rfind("http://", 0) == 0) host.erase(0, 7);
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    return "http://" + host + "/accuraterip/" + AccurateRipPath(id);
}

TAccurateRipLookup LookUpAccurateRip(const std::string& server, const TAccurateRipDiscId& id,
                                     const THttpRequest& connection,
                                     const std::atomic<bool>* cancel) {
    TAccurateRipLookup lookup;
    if (server.empty()) {
        lookup.Error = "no AccurateRip server is set";
        return lookup;
    }
    THttpRequest request = connection;
    request.Url = AccurateRipUrl(server, id);
    THttpResponse reply = HttpGet(request, cancel);
    if (!reply.Answered) {
        lookup.Error = "the database could not be reached (" + reply.Error + ")";
        return lookup;
    }
    if (reply.Status == 404) {
        lookup.Kind = TAccurateRipLookup::TKind::NotInDatabase;
        return lookup;
    }
    if (reply.Status != 200) {
        lookup.Error = "the database server answered HTTP " + std::to_string(reply.Status);
        return lookup;
    }
    TDbarParse parse = ParseDbar(reply.Body);
    if (!parse.Ok) {
        // Part of a file could turn a good rip into "not accurate": trust none of it.
        lookup.Error = "the database's reply is damaged (" + parse.Error + ")";
        return lookup;
    }
    lookup.Kind = TAccurateRipLookup::TKind::Found;
    lookup.Submissions = std::move(parse.Submissions);
    return lookup;
}

TAccurateRipResult AccurateRipVerdict(const TAccurateRipLookup& lookup,
                                      const TAccurateRipDiscId& disc, std::size_t index,
                                      std::uint32_t v1, std::uint32_t v2) {
    TAccurateRipResult result;
    switch (lookup.Kind) {
    case TAccurateRipLookup::TKind::Found:
        return MatchAccurateRip(lookup.Submissions, disc, index, v1, v2);
    case TAccurateRipLookup::TKind::NotInDatabase:
        result.Status = TAccurateRipStatus::NotInDatabase;
        return result;
    case TAccurateRipLookup::TKind::Failed:
        break;
    }
    result.Status = TAccurateRipStatus::NotChecked;
    result.Reason = lookup.Error;
    return result;
}

} // namespace bw
