#include "CddbHttp.h"

#include "CddbProtocol.h"
#include "HttpGet.h"

namespace bw {

TCddbHttpResult CddbHttpCommand(const TCddbServerOptions& options, const std::string& command,
                                const std::atomic<bool>* cancel) {
    const std::string url =
        "http://" + options.Server +
        CddbRequestTarget(options.Script, command, MakeHello(options.Identity, options.ClientText));
    THttpOptions http;
    http.UserAgent = options.ClientText;
    http.UseProxy = options.UseProxy;
    http.ProxyHost = options.ProxyHost;
    http.ProxyPort = options.ProxyPort;
    http.ConnectTimeoutSeconds = options.ConnectTimeoutSeconds;
    http.TotalTimeoutSeconds = options.TotalTimeoutSeconds;
    http.MaxBodyBytes = options.MaxReplyBytes;
    THttpResult reply = HttpGet(url, http, cancel);

    TCddbHttpResult result;
    result.Cancelled = reply.Cancelled;
    if (!reply.Ok) {
        result.Error = reply.Error;
        return result;
    }
    if (reply.Status != 200) {
        result.Error = "the server answered HTTP " + std::to_string(reply.Status);
        return result;
    }
    result.Ok = true;
    result.Reply = std::move(reply.Body);
    return result;
}

} // namespace bw
