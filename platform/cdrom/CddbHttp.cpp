#include "CddbHttp.h"

#include "CddbProtocol.h"
#include "HttpGet.h"

namespace bw {

TCddbHttpResult CddbHttpCommand(const TCddbServerOptions& options, const std::string& command,
                                const std::atomic<bool>* cancel) {
    THttpRequest request;
    request.Url =
        "http://" + options.Server +
        CddbRequestTarget(options.Script, command, MakeHello(options.Identity, options.ClientText));
    request.UserAgent = options.ClientText;
    request.UseProxy = options.UseProxy;
    request.ProxyHost = options.ProxyHost;
    request.ProxyPort = options.ProxyPort;
    request.ConnectTimeoutSeconds = options.ConnectTimeoutSeconds;
    request.TotalTimeoutSeconds = options.TotalTimeoutSeconds;
    request.MaxReplyBytes = options.MaxReplyBytes;

    THttpResponse response = HttpGet(request, cancel);
    TCddbHttpResult result;
    result.Cancelled = response.Cancelled;
    if (!response.Answered) {
        result.Error = response.Error;
    } else if (response.Status != 200) {
        result.Error = "the server answered HTTP " + std::to_string(response.Status);
    } else {
        result.Ok = true;
        result.Reply = std::move(response.Body);
    }
    return result;
}

} // namespace bw
