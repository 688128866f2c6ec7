#include "CoverArt.h"

#include "FileTags.h"
#include "Global.h"
#include "HttpGet.h"

#include <fstream>

namespace bw {

namespace {

bool IsMusicBrainzId(const std::string& Id) {
    if (Id.size() != 36) return false;
    for (char c : Id)
        if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == '-')) return false;
    return true;
}

std::string Trimmed(std::string Server) {
    while (!Server.empty() && (Server.back() == '/' || Server.back() == ' '))
        Server.pop_back();
    while (!Server.empty() && Server.front() == ' ')
        Server.erase(Server.begin());
    if (Server.empty()) Server = DefaultCoverArtServer;
    if (Server.find("://") == std::string::npos) Server = "https://" + Server;
    return Server;
}

} // namespace

TCoverProxy CoverProxyFromSettings() {
    return TCoverProxy{Settings.UseProxy, Settings.ProxyAddress, ProxyPortOf(Settings.Port)};
}

TCoverArt FetchFrontCover(const std::string& Server, const std::string& ReleaseId,
                          const std::atomic<bool>* Cancel, int Size, std::size_t MaxBytes,
                          const TCoverProxy& Proxy) {
    TCoverArt Cover;
    if (!IsMusicBrainzId(ReleaseId)) {
        Cover.Error = "No cover: \"" + ReleaseId + "\" is not a MusicBrainz release id.";
        return Cover;
    }
    THttpRequest Request;
    Request.Url = Trimmed(Server) + "/release/" + ReleaseId + "/front-" + std::to_string(Size);
    Request.UserAgent = "Brindlewave/" BW_VERSION;
    Request.Protocols = "http,https";
    // The archive answers with a redirect to where the image is stored.
    Request.RedirectProtocols = "https";
    Request.UseProxy = Proxy.Use;
    Request.ProxyHost = Proxy.Host;
    Request.ProxyPort = Proxy.Port;
    Request.MaxReplyBytes = MaxBytes;
    THttpResponse Response = HttpGet(Request, Cancel);
    const std::string Where = " (" + Request.Url + ")";
    if (Response.Cancelled) {
        Cover.Error = "No cover: the download was stopped.";
    } else if (!Response.Answered) {
        Cover.Error = "No cover: the cover server did not answer" + Where + ": " + Response.Error;
    } else if (Response.Status == 404) {
        Cover.Error =
            "No cover: the Cover Art Archive has no front cover for this release" + Where + ".";
    } else if (Response.Status != 200) {
        Cover.Error = "No cover: the cover server answered HTTP " +
                      std::to_string(Response.Status) + Where + ".";
    } else {
        std::vector<unsigned char> Bytes(Response.Body.begin(), Response.Body.end());
        std::string Mime = ImageMimeType(Bytes);
        if (Mime != "image/jpeg" && Mime != "image/png") {
            Cover.Error =
                "No cover: the cover server's answer is not a JPEG or PNG image" + Where + ".";
        } else {
            Cover.Bytes = std::move(Bytes);
            Cover.MimeType = Mime;
        }
    }
    return Cover;
}

TCoverArt ReadCoverFile(const std::string& Path) {
    TCoverArt Cover;
    std::ifstream In(Path, std::ios::binary);
    if (!In) {
        Cover.Error = "No cover: " + Path + " cannot be read.";
        return Cover;
    }
    std::vector<unsigned char> Bytes(MaxCoverBytes + 1);
    In.read(reinterpret_cast<char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    Bytes.resize(static_cast<std::size_t>(In.gcount()));
    if (In.bad()) {
        Cover.Error = "No cover: " + Path + " cannot be read.";
    } else if (Bytes.size() > MaxCoverBytes) {
        Cover.Error =
            "No cover: " + Path + " is larger than " + std::to_string(MaxCoverBytes >> 20) + " MB.";
    } else if (std::string Mime = ImageMimeType(Bytes);
               Mime != "image/jpeg" && Mime != "image/png") {
        Cover.Error = "No cover: " + Path + " is not a JPEG or PNG image.";
    } else {
        Cover.Bytes = std::move(Bytes);
        Cover.MimeType = Mime;
    }
    return Cover;
}

std::string CoverFileName(const std::string& MimeType) {
    return MimeType == "image/png" ? "cover.png" : "cover.jpg";
}

} // namespace bw
