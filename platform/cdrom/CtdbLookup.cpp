#include "CtdbLookup.h"

#include <algorithm>

namespace bw {

namespace {

// A real lookup reply is a few kilobytes per entry.
constexpr std::size_t MaxReplyBytes = 4 << 20;
constexpr std::size_t ParityStepBytes = std::size_t(CtdbStrideWords) * 2; // one syndrome a column

std::string ServerBase(std::string server) {
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    if (server.find("://") == std::string::npos) server = "http://" + server;
    return server;
}

std::string Unreachable(const THttpResponse& reply) {
    return "the database could not be reached (" + reply.Error + ")";
}

} // namespace

std::string CtdbLookupUrl(const std::string& server, const TCtdbToc& toc) {
    return ServerBase(server) +
           "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=" + CtdbTocString(toc);
}

TCtdbLookup LookUpCtdb(const std::string& server, const TCtdbToc& toc,
                       const THttpRequest& connection, const std::atomic<bool>* cancel) {
    TCtdbLookup lookup;
    if (server.empty()) {
        lookup.Error = "no CUETools database server is set";
        return lookup;
    }
    THttpRequest request = connection;
    request.Url = CtdbLookupUrl(server, toc);
    request.Protocols = "http,https";
    request.MaxReplyBytes = MaxReplyBytes;
    THttpResponse reply = HttpGet(request, cancel);
    if (!reply.Answered) {
        lookup.Cancelled = reply.Cancelled;
        lookup.Error = reply.Cancelled ? "stopped" : Unreachable(reply);
        return lookup;
    }
    if (reply.Status != 200) {
        lookup.Error = "the database server answered HTTP " + std::to_string(reply.Status);
        return lookup;
    }
    std::string why;
    auto parsed = ParseCtdbReply(reply.Body, &why);
    if (!parsed) {
        lookup.Error = "the database's reply is damaged (" + why + ")";
        return lookup;
    }
    lookup.Entries = std::move(parsed->Entries);
    lookup.Kind =
        lookup.Entries.empty() ? TCtdbLookup::TKind::NotInDatabase : TCtdbLookup::TKind::Found;
    return lookup;
}

std::string CtdbParityUrl(const std::string& server, const TCtdbEntry& entry) {
    const std::string& url = entry.ParityUrl;
    if (url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) return url;
    return ServerBase(server) + (url.empty() || url[0] != '/' ? "/" : "") + url;
}

TCtdbRepairPlan RepairFromCtdb(const std::string& server, const TCtdbEntry& entry,
                               const TCtdbSyndromes& rip, const TCtdbLayout& layout, int offset,
                               std::uint32_t ripCrcAtMinusOffset, const THttpRequest& connection,
                               const std::atomic<bool>* cancel,
                               const std::function<void(const std::string&)>& note) {
    TCtdbRepairPlan plan;
    if (entry.ParityUrl.empty() || entry.Npar < 1) {
        plan.Why = "the database has no recovery data for the disc";
        return plan;
    }
    const int most = std::min({entry.Npar, rip.Npar(), CtdbMaxNpar});
    std::string parity;
    for (int npar : {4, 8, 16}) {
        if (npar > most) npar = most;
        if (npar * ParityStepBytes <= parity.size()) break;
        THttpRequest request = connection;
        request.Url = CtdbParityUrl(server, entry);
        request.Protocols = "http,https";
        const std::size_t from = parity.size(), to = std::size_t(npar) * ParityStepBytes;
        request.Headers.push_back("Range: bytes=" + std::to_string(from) + "-" +
                                  std::to_string(to - 1));
        request.MaxReplyBytes = std::size_t(CtdbMaxNpar) * ParityStepBytes;
        if (note)
            note("fetch npar=" + std::to_string(npar) + " bytes=" + std::to_string(from) + ".." +
                 std::to_string(to - 1));
        THttpResponse reply = HttpGet(request, cancel);
        if (!reply.Answered) {
            plan.Why = reply.Cancelled ? "stopped" : Unreachable(reply);
            return plan;
        }
        if (reply.Status == 200 && reply.Body.size() >= to) {
            // A server that ignores the range sends the whole file.
            parity = reply.Body.substr(0, to);
        } else if (reply.Status == 206 || reply.Status == 200) {
            if (reply.Body.size() != to - from) {
                plan.Why = "the database's recovery data has the wrong size";
                return plan;
            }
            parity += reply.Body;
        } else {
            plan.Why = "the database server answered HTTP " + std::to_string(reply.Status) +
                       " for the recovery data";
            return plan;
        }
        plan = PlanCtdbRepair(rip, parity, npar, entry, layout, offset, ripCrcAtMinusOffset);
        if (note)
            note("verifyparity npar=" + std::to_string(npar) +
                 (plan.Ok ? " repairable" : ": " + plan.Why));
        if (plan.Ok || plan.Why != "too much damage for the recovery data") return plan;
    }
    return plan;
}

} // namespace bw
