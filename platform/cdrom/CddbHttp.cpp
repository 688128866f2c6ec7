#include "CddbHttp.h"

#include "CddbProtocol.h"
#include "HttpGet.h"

namespace bw {

std::string ServerText(std::string_view reply) {
    auto lines = SplitCddbLines(reply);
    std::string text;
    for (char c : lines.empty() ? std::string_view() : lines.front()) {
        if (text.size() == 200) break;
        text += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

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
        // Servers often say why in the body's first line.
        std::string said = ServerText(response.Body);
        if (!said.empty()) result.Error += " (" + said + ")";
        result.Error += ProxyNote(request);
    } else {
        result.Ok = true;
        result.Reply = std::move(response.Body);
    }
    return result;
}

} // namespace bw
