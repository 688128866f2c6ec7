#include "MusicBrainzQuery.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "CddbProtocol.h"
#include "Global.h"
#include "HttpGet.h"
#include "akrip32.h"

namespace bw {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto RequestInterval = std::chrono::seconds(1);
constexpr int MaxRetryAfterSeconds = 30;

// Waits until the time, in short steps so that a stop is noticed; false when stopped.
bool SleepUntil(Clock::time_point until, const std::atomic<bool>* cancel) {
    while (Clock::now() < until) {
        if (cancel && cancel->load()) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(20)));
    }
    return !(cancel && cancel->load());
}

// The service allows one request a second from a client; this spaces ours, whichever
// thread sends them.
bool WaitForRequestSlot(const std::atomic<bool>* cancel) {
    static std::mutex lock;
    static Clock::time_point next{};
    Clock::time_point mine;
    {
        std::lock_guard guard(lock);
        mine = std::max(next, Clock::now());
        next = mine + RequestInterval;
    }
    return SleepUntil(mine, cancel);
}

int RetryAfterSeconds(const std::string& value) {
    int seconds = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return 1; // an HTTP date or junk: one second
        seconds = std::min(seconds * 10 + (c - '0'), MaxRetryAfterSeconds);
    }
    return value.empty() ? 1 : std::max(seconds, 1);
}

struct TAnswer {
    THttpResponse Response;
    bool Stopped = false;
};

TAnswer Get(const TMusicBrainzOptions& options, const std::string& url,
            const std::atomic<bool>* cancel) {
    THttpRequest request;
    request.Url = url;
    request.UserAgent = MusicBrainzUserAgent();
    request.Protocols = "http,https";
    request.RedirectProtocols = "https";
    request.Headers = {"Accept: application/json"};
    request.UseProxy = options.UseProxy;
    request.ProxyHost = options.ProxyHost;
    request.ProxyPort = options.ProxyPort;
    request.MaxReplyBytes = 4 << 20;
    TAnswer answer;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!WaitForRequestSlot(cancel)) {
            answer.Stopped = true;
            return answer;
        }
        answer.Response = HttpGet(request, cancel);
        if (answer.Response.Cancelled) {
            answer.Stopped = true;
            return answer;
        }
        if (!answer.Response.Answered || answer.Response.Status != 503 || attempt == 1) break;
        // Rate limited: try once more after the delay the service names.
        auto delay = std::chrono::seconds(RetryAfterSeconds(answer.Response.RetryAfter));
        if (!SleepUntil(Clock::now() + delay, cancel)) {
            answer.Stopped = true;
            return answer;
        }
    }
    return answer;
}

TMusicBrainzLookup Failure(TMusicBrainzLookup lookup, TMusicBrainzStatus status,
                           std::string message) {
    lookup.Status = status;
    lookup.Message = std::move(message);
    lookup.Releases.clear();
    return lookup;
}

std::string RefusalText(const THttpResponse& response) {
    std::string text = "MusicBrainz answered HTTP " + std::to_string(response.Status);
    std::string error = MusicBrainzErrorText(response.Body);
    return error.empty() ? text + "." : text + ": " + error;
}

} // namespace

std::string MusicBrainzBaseUrl(const std::string& server) {
    std::string url = server;
    while (!url.empty() && (url.back() == '/' || url.back() == ' '))
        url.pop_back();
    while (!url.empty() && url.front() == ' ')
        url.erase(url.begin());
    if (url.empty()) url = DefaultMusicBrainzServer;
    if (url.find("://") == std::string::npos) url = "https://" + url;
    return url;
}

TMusicBrainzOptions MusicBrainzOptionsFromSettings() {
    TMusicBrainzOptions options;
    options.Server = Settings.MusicBrainzServer;
    options.UseProxy = Settings.UseProxy;
    options.ProxyHost = Settings.ProxyAddress;
    options.ProxyPort = ProxyPortOf(Settings.Port);
    return options;
}

std::string MusicBrainzUserAgent() {
    return "Brindlewave/" BW_VERSION " ( https://vellamor.org/brindlewave/ )";
}

TMusicBrainzLookup LookupMusicBrainz(const TMusicBrainzOptions& options,
                                     const TMusicBrainzDisc& disc,
                                     const std::atomic<bool>* cancel) {
    TMusicBrainzLookup lookup;
    lookup.Disc = disc;
    const std::string base = MusicBrainzBaseUrl(options.Server) + "/ws/2/discid/";
    // What the disc fields and tags are taken from: credits, labels, track titles and ids,
    // and the release group (its genres, type and first date).
    const std::string include =
        "inc=artist-credits+labels+recordings+genres+release-groups&cdstubs=no&fmt=json";
    TMusicBrainzDiscLayout layout = MusicBrainzLayoutOf(disc.Id, disc.Toc);
    layout.TrackCount = disc.LastTrack - disc.FirstTrack + 1;
    const std::string urls[] = {
        base + UrlEncode(disc.Id) + "?" + include,
        // "-" asks for the TOC search alone.
        base + "-?toc=" + UrlEncode(disc.Toc) + "&" + include,
    };
    for (const std::string& url : urls) {
        TAnswer answer = Get(options, url, cancel);
        if (answer.Stopped) return Failure(lookup, TMusicBrainzStatus::Stopped, "Stopped.");
        const THttpResponse& response = answer.Response;
        if (!response.Answered)
            return Failure(lookup, TMusicBrainzStatus::Failed,
                           "Cannot reach MusicBrainz at " + MusicBrainzBaseUrl(options.Server) +
                               ": " + response.Error);
        if (response.Status == 404) continue; // nothing attached to the id: try the TOC
        if (response.Status != 200)
            return Failure(lookup, TMusicBrainzStatus::Failed, RefusalText(response));
        try {
            lookup.Releases = ParseMusicBrainzReleases(response.Body, layout);
        } catch (const EMusicBrainzReply& e) {
            return Failure(lookup, TMusicBrainzStatus::Failed,
                           std::string("MusicBrainz sent a reply that cannot be read: ") +
                               e.what());
        }
        if (!lookup.Releases.empty()) {
            lookup.Status = TMusicBrainzStatus::Found;
            return lookup;
        }
    }
    return Failure(lookup, TMusicBrainzStatus::NotFound, NoMusicBrainzEntryText);
}

TMusicBrainzLookup LookupMusicBrainzDrive(const TMusicBrainzOptions& options, int CDHandle,
                                          const std::atomic<bool>* cancel) {
    TTOC toc{};
    if (ModifyCDParms(CDHandle, CDP_MSF, 1) == 0 || ReadTOC(CDHandle, &toc) != 1)
        return Failure({}, TMusicBrainzStatus::Failed, "Error while reading TOC information!");
    auto disc = MusicBrainzDiscOf(toc);
    if (!disc)
        return Failure({}, TMusicBrainzStatus::Failed, "The disc has no audio track to look up.");
    return LookupMusicBrainz(options, *disc, cancel);
}

TMusicBrainzIds MusicBrainzIdsOf(const TMusicBrainzLookup& lookup, int chosen, int firstTrack) {
    TMusicBrainzIds ids;
    if (chosen < 0 || chosen >= static_cast<int>(lookup.Releases.size())) return ids;
    const TMusicBrainzRelease& release = lookup.Releases[static_cast<std::size_t>(chosen)];
    ids.AlbumId = release.Id;
    ids.DiscId = lookup.Disc.Id;
    for (std::size_t i = 0; i < release.RecordingIds.size(); ++i)
        if (!release.RecordingIds[i].empty())
            ids.TrackIds[firstTrack + static_cast<int>(i)] = release.RecordingIds[i];
    return ids;
}

} // namespace bw
