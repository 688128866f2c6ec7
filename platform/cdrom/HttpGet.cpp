#include "HttpGet.h"

// The entry points are called through pointers: no type-checking wrapper macros.
#define CURL_DISABLE_TYPECHECK
#include <cctype>
#include <curl/curl.h>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace bw {

namespace {

// libcurl (and the TLS, Kerberos and LDAP libraries beneath it) is loaded by the first
// lookup, not when the program starts: most commands never go online.
struct TCurlApi {
    decltype(&::curl_global_init) curl_global_init = nullptr;
    decltype(&::curl_easy_init) curl_easy_init = nullptr;
    decltype(&::curl_easy_setopt) curl_easy_setopt = nullptr;
    decltype(&::curl_easy_perform) curl_easy_perform = nullptr;
    decltype(&::curl_easy_getinfo) curl_easy_getinfo = nullptr;
    decltype(&::curl_easy_strerror) curl_easy_strerror = nullptr;
    decltype(&::curl_easy_cleanup) curl_easy_cleanup = nullptr;
    decltype(&::curl_slist_append) curl_slist_append = nullptr;
    decltype(&::curl_slist_free_all) curl_slist_free_all = nullptr;
};

// The entry points, loaded once for the program's whole life and initialised; nullptr when
// the library or one of them is missing.
const TCurlApi* Curl() {
    static const TCurlApi* const api = []() -> const TCurlApi* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static TCurlApi loaded;
        bool complete = true;
        auto resolve = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(library, name));
            complete = complete && slot;
        };
        resolve(loaded.curl_global_init, "curl_global_init");
        resolve(loaded.curl_easy_init, "curl_easy_init");
        resolve(loaded.curl_easy_setopt, "curl_easy_setopt");
        resolve(loaded.curl_easy_perform, "curl_easy_perform");
        resolve(loaded.curl_easy_getinfo, "curl_easy_getinfo");
        resolve(loaded.curl_easy_strerror, "curl_easy_strerror");
        resolve(loaded.curl_easy_cleanup, "curl_easy_cleanup");
        resolve(loaded.curl_slist_append, "curl_slist_append");
        resolve(loaded.curl_slist_free_all, "curl_slist_free_all");
        if (!complete || loaded.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
        return &loaded;
    }();
    return api;
}

struct TCurlDeleter {
    void operator()(CURL* curl) const { Curl()->curl_easy_cleanup(curl); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;

struct TSlistDeleter {
    void operator()(curl_slist* list) const { Curl()->curl_slist_free_all(list); }
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

} // namespace

std::string ProxyNote(const THttpRequest& request) {
    if (!request.UseProxy) return {};
    return " (through the proxy " + request.ProxyHost + ":" + std::to_string(request.ProxyPort) +
           ")";
}

THttpResponse HttpGet(const THttpRequest& request, const std::atomic<bool>* cancel) {
    THttpResponse response;
    if (!Curl()) {
        response.Error = "libcurl.so.4 library could not be loaded.";
        return response;
    }
    TCurlHandle curl(Curl()->curl_easy_init());
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
        curl_slist* grown = Curl()->curl_slist_append(headers.get(), header.c_str());
        if (!grown) break;
        headers.release();
        headers.reset(grown);
    }

    CURL* h = curl.get();
    Curl()->curl_easy_setopt(h, CURLOPT_URL, request.Url.c_str());
    Curl()->curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, request.Protocols.c_str());
    if (request.RedirectProtocols.empty()) {
        Curl()->curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    } else {
        Curl()->curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        Curl()->curl_easy_setopt(h, CURLOPT_MAXREDIRS, 3L);
        Curl()->curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, request.RedirectProtocols.c_str());
    }
    Curl()->curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl()->curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, request.ConnectTimeoutSeconds);
    Curl()->curl_easy_setopt(h, CURLOPT_TIMEOUT, request.TotalTimeoutSeconds);
    Curl()->curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    Curl()->curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    Curl()->curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    Curl()->curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    Curl()->curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    Curl()->curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    Curl()->curl_easy_setopt(h, CURLOPT_USERAGENT, request.UserAgent.c_str());
    if (headers) Curl()->curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.UseProxy) {
        Curl()->curl_easy_setopt(h, CURLOPT_PROXY, request.ProxyHost.c_str());
        Curl()->curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(request.ProxyPort));
    } else {
        // The program's own proxy setting decides, not the environment.
        Curl()->curl_easy_setopt(h, CURLOPT_PROXY, "");
    }

    CURLcode code = Curl()->curl_easy_perform(h);
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
            response.Error = Curl()->curl_easy_strerror(code);
        if (!response.Cancelled) response.Error += ProxyNote(request);
        response.Body.clear();
        return response;
    }
    Curl()->curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.Status);
    response.Answered = true;
    return response;
}

} // namespace bw
