// One HTTP GET over libcurl for the lookups: time limits, a cap on the reply size so that a
// slow or hostile server can neither hang nor flood us, the program's own proxy setting,
// and a cancel flag.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace bw {

struct THttpRequest {
    std::string Url;
    std::string UserAgent;
    std::string Protocols = "http";   // what the URL may use, in libcurl's list form
    std::string RedirectProtocols;    // where redirects may lead; none are followed when empty
    std::vector<std::string> Headers; // extra request headers, "Name: value"
    bool UseProxy = false;
    std::string ProxyHost;
    int ProxyPort = 80;
    long ConnectTimeoutSeconds = 10;
    long TotalTimeoutSeconds = 30;
    std::size_t MaxReplyBytes = 1 << 20;
};

struct THttpResponse {
    bool Answered = false; // a reply arrived, whatever its status
    long Status = 0;
    std::string Body;
    std::string RetryAfter; // the Retry-After header, when the reply had one
    std::string Error;      // why there is no reply
    bool Cancelled = false;
};

// " (through the proxy HOST:PORT)" when the request goes through a proxy, else empty: a
// failure through a proxy names it, as the proxy may be what failed.
std::string ProxyNote(const THttpRequest& request);

// Sends the request and waits for the whole reply. A set cancel flag aborts the transfer
// within a fraction of a second.
THttpResponse HttpGet(const THttpRequest& request, const std::atomic<bool>* cancel = nullptr);

} // namespace bw
