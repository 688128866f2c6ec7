#include "CddbHttp.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

#include "CddbProtocol.h"

namespace bw {

namespace {

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;

struct TTransfer {
    std::string Body;
    std::size_t Limit = 0;
    bool TooLarge = false;
    const std::atomic<bool>* Cancel = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<TTransfer*>(user);
    std::size_t bytes = size * count;
    if (transfer->Body.size() + bytes > transfer->Limit) {
        transfer->TooLarge = true;
        return 0; // makes curl stop with a write error
    }
    transfer->Body.append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<TTransfer*>(user);
    return transfer->Cancel && transfer->Cancel->load() ? 1 : 0;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

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
    GlobalInit();
    TCddbHttpResult result;
    TCurlHandle curl(curl_easy_init());
    if (!curl) {
        result.Error = "cannot start an HTTP transfer";
        return result;
    }
    const std::string url =
        "http://" + options.Server +
        CddbRequestTarget(options.Script, command, MakeHello(options.Identity, options.ClientText));

    TTransfer transfer;
    transfer.Limit = options.MaxReplyBytes;
    transfer.Cancel = cancel;
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options.ConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, options.TotalTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_USERAGENT, options.ClientText.c_str());
    if (options.UseProxy) {
        curl_easy_setopt(h, CURLOPT_PROXY, options.ProxyHost.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(options.ProxyPort));
    } else {
        // The program's own proxy setting decides, not the environment.
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    }

    CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        if (transfer.TooLarge)
            result.Error = "the server's reply is too large";
        else if (code == CURLE_ABORTED_BY_CALLBACK)
            result.Cancelled = true, result.Error = "stopped";
        else if (code == CURLE_COULDNT_CONNECT)
            result.Error = "the connection was refused or the server is unreachable";
        else if (code == CURLE_OPERATION_TIMEDOUT)
            result.Error = "the server did not answer in time";
        else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY)
            result.Error = "the host name is not known";
        else
            result.Error = curl_easy_strerror(code);
        return result;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        result.Error = "the server answered HTTP " + std::to_string(status);
        // Servers often say why in the body's first line.
        std::string said = ServerText(transfer.Body);
        if (!said.empty()) result.Error += " (" + said + ")";
        return result;
    }
    result.Ok = true;
    result.Reply = std::move(transfer.Body);
    return result;
}

} // namespace bw
