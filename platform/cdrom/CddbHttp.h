// Sends CDDB commands to a server over HTTP (libcurl), with time limits and a cap on the
// reply size so that a slow or hostile server can neither hang nor flood us.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace bw {

struct TCddbServerOptions {
    std::string Server; // host, optionally with ":port"
    std::string Script = "/~cddb/cddb.cgi";
    std::string Identity;   // user identity in e-mail form, for the greeting
    std::string ClientText; // "name version"
    bool UseProxy = false;
    std::string ProxyHost;
    int ProxyPort = 80;
    long ConnectTimeoutSeconds = 10;
    long TotalTimeoutSeconds = 30;
    std::size_t MaxReplyBytes = 1 << 20;
};

struct TCddbHttpResult {
    bool Ok = false;
    std::string Reply; // the body, when Ok
    std::string Error; // why not, when not Ok
    bool Cancelled = false;
};

// The first line of a server's reply, as safe text to show (control characters blanked,
// at most 200 characters).
std::string ServerText(std::string_view reply);

// Sends one command and returns the reply body. A set cancel flag aborts the transfer
// within a fraction of a second.
TCddbHttpResult CddbHttpCommand(const TCddbServerOptions& options, const std::string& command,
                                const std::atomic<bool>* cancel = nullptr);

} // namespace bw
