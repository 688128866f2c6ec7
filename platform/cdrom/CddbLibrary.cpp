#include "CddbLibrary.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "CdLibrary.h"
#include "CddbHttp.h"
#include "CddbProtocol.h"

namespace bw {

namespace {

struct TSharedOptions {
    std::mutex Lock;
    TCddbServerOptions Options;
    int HttpPort = 0;
};

TSharedOptions& Shared() {
    static TSharedOptions shared;
    return shared;
}

thread_local const std::atomic<bool>* CancelFlag = nullptr;
thread_local std::string LastErrorText;

TCddbServerOptions CurrentOptions() {
    auto& shared = Shared();
    std::lock_guard lock(shared.Lock);
    TCddbServerOptions options = shared.Options;
    if (shared.HttpPort > 0 && options.Server.find(':') == std::string::npos)
        options.Server += ":" + std::to_string(shared.HttpPort);
    return options;
}

void CopyText(char* target, std::size_t capacity, const std::string& text) {
    std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

int Failed(int code, std::string text = {}) {
    SetAspiLibError(code);
    LastErrorText = std::move(text);
    return 0;
}

int TransferFailed(const TCddbServerOptions& options, const TCddbHttpResult& reply) {
    if (reply.Cancelled) return Failed(CDERR_CDDB_STOPPED, "The CDDB query was stopped.");
    return Failed(CDERR_CDDB_NETWORK, "The CDDB server " + options.Server +
                                          " could not be asked: " + reply.Error + ".");
}

int ServerRefused(const TCddbServerOptions& options, const std::string& reply, bool protocol) {
    std::string said = ServerText(reply);
    if (protocol)
        return Failed(CDERR_CDDB_PROTOCOL, "The CDDB server " + options.Server +
                                               " sent a reply that is not CDDB: \"" + said + "\"");
    return Failed(CDERR_CDDB_SERVER,
                  "The CDDB server " + options.Server + " refused the query: \"" + said + "\"");
}

// The table of contents as absolute frame addresses, through the drive library.
bool ReadCddbToc(int handle, TCddbToc& toc) {
    if (ModifyCDParms(handle, CDP_MSF, 1) == 0) return false;
    TTOC raw{};
    if (ReadTOC(handle, &raw) != 1) return false;
    int entries = raw.LastTrack - raw.FirstTrack + 2; // tracks and the lead-out
    if (entries < 2 || entries > CDMaxTOCEntries) return false;
    for (int i = 0; i < entries; ++i) {
        const auto& a = raw.Tracks[i].Address;
        int frames = a[1] * 4500 + a[2] * 75 + a[3];
        if (i + 1 < entries)
            toc.TrackOffsets.push_back(frames);
        else
            toc.LeadOut = frames;
    }
    return true;
}

} // namespace

void CDDBSetOption(int option, const char* text, int value) {
    auto& shared = Shared();
    std::lock_guard lock(shared.Lock);
    auto& o = shared.Options;
    const std::string t = text ? text : "";
    switch (option) {
    case CDDB_OPT_SERVER:
        o.Server = t;
        break;
    case CDDB_OPT_PROXY:
        o.ProxyHost = t;
        break;
    case CDDB_OPT_USEPROXY:
        o.UseProxy = value != 0;
        break;
    case CDDB_OPT_AGENT:
        o.ClientText = t;
        break;
    case CDDB_OPT_USER:
        o.Identity = t;
        break;
    case CDDB_OPT_PROXYPORT:
        o.ProxyPort = value;
        break;
    case CDDB_OPT_CGI:
        o.Script = t;
        break;
    case CDDB_OPT_HTTPPORT:
        shared.HttpPort = value;
        break;
    default:
        break;
    }
}

std::string CDDBLastErrorText() {
    return LastErrorText;
}

void CDDBSetCancelFlag(const std::atomic<bool>* flag) {
    CancelFlag = flag;
}

int CDDBQuery(int handle, TCDDBQueryList* list) {
    if (!list || !list->Matches) return Failed(CDERR_BAD_ARGUMENT);
    const std::size_t capacity = std::min<std::uint32_t>(list->Count, CDDBMaxMatches);
    TCddbToc toc;
    LastErrorText.clear();
    if (!ReadCddbToc(handle, toc)) {
        std::string why = GetCDDiscError(handle);
        LastErrorText = "The disc in the drive cannot be read" + (why.empty() ? "." : ": " + why);
        return 0; // the drive library has set the code
    }

    const TCddbServerOptions options = CurrentOptions();
    auto reply = CddbHttpCommand(options, CddbQueryCommand(toc), CancelFlag);
    if (!reply.Ok) return TransferFailed(options, reply);
    auto parsed = ParseCddbQueryReply(reply.Reply, capacity);
    switch (parsed.Status) {
    case TCddbQueryStatus::NoMatch:
        list->Count = 0;
        SetAspiLibError(CDERR_CDDB_NOMATCH);
        return 1;
    case TCddbQueryStatus::Error:
        return ServerRefused(options, reply.Reply, parsed.Code == 0);
    case TCddbQueryStatus::Matches:
        break;
    }
    std::memset(list->Matches, 0, capacity * sizeof(TCDDBMatch));
    for (std::size_t i = 0; i < parsed.Matches.size(); ++i) {
        auto& m = list->Matches[i];
        CopyText(m.Category, sizeof m.Category, parsed.Matches[i].Category);
        CopyText(m.DiscId, sizeof m.DiscId, parsed.Matches[i].DiscId);
        CopyText(m.Title, sizeof m.Title, parsed.Matches[i].Title);
    }
    list->Count = static_cast<std::uint32_t>(parsed.Matches.size());
    return 1;
}

int CDDBGetDiskInfo(const TCDDBMatch* match, char* text, int size) {
    LastErrorText.clear();
    if (!match || !text || size < 1) return Failed(CDERR_BAD_ARGUMENT);
    text[0] = '\0';
    std::string category(match->Category, strnlen(match->Category, sizeof match->Category));
    std::string discId(match->DiscId, strnlen(match->DiscId, sizeof match->DiscId));
    if (category.empty() || discId.empty()) return Failed(CDERR_BAD_ARGUMENT);

    const TCddbServerOptions options = CurrentOptions();
    auto reply = CddbHttpCommand(options, CddbReadCommand(category, discId), CancelFlag);
    if (!reply.Ok) return TransferFailed(options, reply);
    std::string record;
    if (!ParseCddbReadReply(reply.Reply, record)) return ServerRefused(options, reply.Reply, false);
    CopyText(text, static_cast<std::size_t>(size), record);
    return 1;
}

} // namespace bw
