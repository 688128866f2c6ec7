#include "HttpGet.h"

#include <cctype>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace bw {

namespace {

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;

struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

struct TTransfer {
    THttpResponse* Response = nullptr;
    std::size_t Limit = 0;
    bool TooLarge = false;
    const std::atomic<bool>* Cancel = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<TTransfer*>(user);
    std::size_t bytes = size * count;
    if (transfer->Response->Body.size() + bytes > transfer->Limit) {
        transfer->TooLarge = true;
        return 0; // makes curl stop with a write error
    }
    transfer->Response->Body.append(data, bytes);
    return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<TTransfer*>(user);
    const std::size_t bytes = size * count;
    std::string line(data, bytes);
    static const std::string name = "retry-after:";
    if (line.size() > name.size()) {
        bool match = true;
        for (std::size_t i = 0; i < name.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(line[i])) == name[i];
        if (match) {
            std::string value = line.substr(name.size());
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front())))
                value.erase(value.begin());
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
                value.pop_back();
            transfer->Response->RetryAfter = value;
        }
    }
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

std::string ProxyNote(const THttpRequest& request) {
    if (!request.UseProxy) return {};
    return " (through the proxy " + request.ProxyHost + ":" + std::to_string(request.ProxyPort) +
           ")";
}

THttpResponse HttpGet(const THttpRequest& request, const std::atomic<bool>* cancel) {
    GlobalInit();
    THttpResponse response;
    TCurlHandle curl(curl_easy_init());
    if (!curl) {
        response.Error = "cannot start an HTTP transfer";
        return response;
    }
    TTransfer transfer;
    transfer.Response = &response;
    transfer.Limit = request.MaxReplyBytes;
    transfer.Cancel = cancel;
    TSlist headers;
    for (const auto& header : request.Headers) {
        curl_slist* grown = curl_slist_append(headers.get(), header.c_str());
        if (!grown) break;
        headers.release();
        headers.reset(grown);
    }

    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, request.Url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, request.Protocols.c_str());
    if (request.RedirectProtocols.empty()) {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    } else {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 3L);
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, request.RedirectProtocols.c_str());
    }
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, request.ConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, request.TotalTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.UserAgent.c_str());
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.UseProxy) {
        curl_easy_setopt(h, CURLOPT_PROXY, request.ProxyHost.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(request.ProxyPort));
    } else {
        // The program's own proxy setting decides, not the environment.
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    }

    CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        if (transfer.TooLarge)
            response.Error = "the server's reply is too large";
        else if (code == CURLE_ABORTED_BY_CALLBACK)
            response.Cancelled = true, response.Error = "stopped";
        else if (code == CURLE_COULDNT_CONNECT)
            response.Error = "the connection was refused or the server is unreachable";
        else if (code == CURLE_OPERATION_TIMEDOUT)
            response.Error = "the server did not answer in time";
        else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY)
            response.Error = "the host name is not known";
        else
            response.Error = curl_easy_strerror(code);
        if (!response.Cancelled) response.Error += ProxyNote(request);
        response.Body.clear();
        return response;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.Status);
    response.Answered = true;
    return response;
}

} // namespace bw
