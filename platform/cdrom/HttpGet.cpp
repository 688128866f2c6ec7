#include "HttpGet.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

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

THttpResult HttpGet(const std::string& url, const THttpOptions& options,
                    const std::atomic<bool>* cancel) {
    GlobalInit();
    THttpResult result;
    TCurlHandle curl(curl_easy_init());
    if (!curl) {
        result.Error = "cannot start an HTTP transfer";
        return result;
    }
    TTransfer transfer;
    transfer.Limit = options.MaxBodyBytes;
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
    curl_easy_setopt(h, CURLOPT_USERAGENT, options.UserAgent.c_str());
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
        else
            result.Error = curl_easy_strerror(code);
        return result;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.Status);
    result.Ok = true;
    result.Body = std::move(transfer.Body);
    return result;
}

} // namespace bw
