// Asks the CUETools database about a disc (lookup2.php), and fetches an entry's recovery data
// in ranged steps (4, then 8, then 16 syndromes a column) until a repair succeeds.
#pragma once

#include "CtdbReply.h"
#include "CtdbToc.h"
#include "CtdbVerify.h"
#include "HttpGet.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace bw {

constexpr const char* DefaultCtdbServer = "http://db.cuetools.net";

// "{server}/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=<TOC string>"; a server
// given without a scheme gets "http://".
std::string CtdbLookupUrl(const std::string& server, const TCtdbToc& toc);

struct TCtdbLookup {
    enum class TKind { Found, NotInDatabase, Failed };
    TKind Kind = TKind::Failed;
    std::vector<TCtdbEntry> Entries; // when Found
    std::string Error;               // when Failed: why, for the user
    bool Cancelled = false;
};

TCtdbLookup LookUpCtdb(const std::string& server, const TCtdbToc& toc,
                       const THttpRequest& connection, const std::atomic<bool>* cancel = nullptr);

// The recovery data's address: the entry's absolute URL, or its path on the server.
std::string CtdbParityUrl(const std::string& server, const TCtdbEntry& entry);

// Downloads the entry's recovery data step by step and plans the repair at each step; the
// first plan that succeeds is returned, else the last failure (a download that failed says
// why). note receives one line a step ("fetch npar=4 bytes=0..94079" ...).
TCtdbRepairPlan RepairFromCtdb(const std::string& server, const TCtdbEntry& entry,
                               const TCtdbSyndromes& rip, const TCtdbLayout& layout, int offset,
                               std::uint32_t ripCrcAtMinusOffset, const THttpRequest& connection,
                               const std::atomic<bool>* cancel = nullptr,
                               const std::function<void(const std::string&)>& note = {});

} // namespace bw
