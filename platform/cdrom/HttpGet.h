// One HTTP GET over libcurl with the limits every lookup of ours needs: connection and total
// time limits, a cap on the body so that a hostile server cannot flood us, plain HTTP
// without redirects, the program's own proxy setting, and a cancel flag.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace bw {

struct THttpOptions {
    std::string UserAgent;
    bool UseProxy = false;
    std::string ProxyHost;
    int ProxyPort = 80;
    long ConnectTimeoutSeconds = 10;
    long TotalTimeoutSeconds = 30;
    std::size_t MaxBodyBytes = 1 << 20;
};

struct THttpResult {
    bool Ok = false;   // a reply arrived whole (of any status)
    long Status = 0;   // its HTTP status, when Ok
    std::string Body;  // when Ok
    std::string Error; // why not, when not Ok
    bool Cancelled = false;
};

// A set cancel flag aborts the transfer within a fraction of a second.
THttpResult HttpGet(const std::string& url, const THttpOptions& options,
                    const std::atomic<bool>* cancel = nullptr);

} // namespace bw
