#include "CoverArt.h"

#include "FileTags.h"
#include "Global.h"
#include "HttpGet.h"

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

TCoverArt FetchFrontCover(const std::string& Server, const std::string& ReleaseId,
                          const std::atomic<bool>* Cancel) {
    TCoverArt Cover;
    if (!IsMusicBrainzId(ReleaseId)) {
        Cover.Error = "No cover: \"" + ReleaseId + "\" is not a MusicBrainz release id.";
        return Cover;
    }
    THttpRequest Request;
    Request.Url = Trimmed(Server) + "/release/" + ReleaseId + "/front-500";
    Request.UserAgent = "Brindlewave/" BW_VERSION;
    Request.Protocols = "http,https";
    // The archive answers with a redirect to where the image is stored.
    Request.RedirectProtocols = "https";
    Request.UseProxy = Settings.UseProxy;
    Request.ProxyHost = Settings.ProxyAddress;
    Request.ProxyPort = ProxyPortOf(Settings.Port);
    Request.MaxReplyBytes = MaxCoverBytes;
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

std::string CoverFileName(const std::string& MimeType) {
    return MimeType == "image/png" ? "cover.png" : "cover.jpg";
}

} // namespace bw
