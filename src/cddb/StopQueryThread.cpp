#include "StopQueryThread.h"

#include <array>
#include <thread>

#include "CdLibrary.h"
#include "CddbLibrary.h"
#include "CddbRecord.h"
#include "Global.h"

namespace bw {

const char* const CddbUserIdentity = "brindlewave@localhost";
const char* const CddbClientText = "program 1.0";

void SetCddbOptionsFromSettings() {
    CDDBSetOption(CDDB_OPT_SERVER, Settings.CDDBServer.c_str(), 0);
    CDDBSetOption(CDDB_OPT_CGI, Settings.CDDBScript.c_str(), 0);
    CDDBSetOption(CDDB_OPT_USER, CddbUserIdentity, 0);
    CDDBSetOption(CDDB_OPT_AGENT, CddbClientText, 0);
    CDDBSetOption(CDDB_OPT_USECDPLAYERINI, "", 0);
    if (Settings.UseProxy) {
        CDDBSetOption(CDDB_OPT_USEPROXY, "", 1);
        CDDBSetOption(CDDB_OPT_PROXYPORT, "", ProxyPortOf(Settings.Port));
        CDDBSetOption(CDDB_OPT_PROXY, Settings.ProxyAddress.c_str(), 0);
    } else {
        // Without this a proxy set for an earlier query would stay in force.
        CDDBSetOption(CDDB_OPT_USEPROXY, "", 0);
    }
}

std::optional<TDiscRelease> CddbTrackArtists(TCddbQueryResult& result, int FirstTrack) {
    // A compilation's record names the artist of each track in its title: "Artist / Title".
    if (!result.Artist || !result.TrackTitles) return std::nullopt;
    if (*result.Artist != "Various" && *result.Artist != "Various Artists") return std::nullopt;
    TDiscRelease release;
    release.AlbumArtist = *result.Artist;
    for (std::size_t i = 0; i < result.TrackTitles->size(); ++i) {
        std::string artist;
        if (SplitCddbTrackArtist((*result.TrackTitles)[i], artist) && !artist.empty()) {
            TTrackCredit& credit = release.Tracks[FirstTrack + static_cast<int>(i)];
            credit.Artist = artist;
            credit.Artists = {artist};
        }
    }
    return release;
}

TCddbQueryResult TQueryCDDBThread::Execute(TMessageTarget& notify, int FirstTrack, int LastTrack,
                                           int CDHandle, const std::atomic<bool>* cancel) {
    TCddbQueryResult result;
    std::array<TCDDBMatch, CDDBMaxMatches> matches{};
    TCDDBQueryList list{CDDBMaxMatches, matches.data()};
    SetCddbOptionsFromSettings();
    CDDBSetCancelFlag(cancel);
    struct TForgetCancel {
        ~TForgetCancel() { CDDBSetCancelFlag(nullptr); }
    } forget;

    if (CDDBQuery(CDHandle, &list) != 1) {
        result.Error = CDDBLastErrorText();
        notify.Post(WM_QUERYDONE, QueryFailed, GetAspiLibError());
        return result;
    }
    if (list.Count < 1) {
        notify.Post(WM_QUERYDONE, QueryNoMatch, GetAspiLibError());
        return result;
    }
    std::vector<char> text(32000);
    for (std::uint32_t i = 0; i < list.Count && i < CDDBMaxMatches; ++i) {
        if (cancel && cancel->load()) break;
        if (CDDBGetDiskInfo(&matches[i], text.data(), static_cast<int>(text.size())) != 1) {
            result.Error = CDDBLastErrorText();
            continue;
        }
        // The fields are cleared once a record is in hand, so that a query whose every
        // record fails to come leaves them as they were.
        result.ClearDiscFields = true;
        result.Error.clear();
        auto fields = ParseCddbRecord(text.data(), FirstTrack, LastTrack);
        if (fields.Artist) result.Artist = fields.Artist;
        if (fields.Album) result.Album = fields.Album;
        if (fields.Year) result.Year = fields.Year;
        if (fields.Genre) result.Genre = fields.Genre;
        if (fields.TrackTitles) {
            result.TrackTitles = std::move(fields.TrackTitles);
            break;
        }
    }
    if (!result.ClearDiscFields && !(cancel && cancel->load())) {
        notify.Post(WM_QUERYDONE, QueryFailed, GetAspiLibError());
        return result;
    }
    result.Error.clear();
    result.Release = CddbTrackArtists(result, FirstTrack);
    notify.Post(WM_QUERYDONE, QueryFinished);
    return result;
}

TQueryCDDBThread::TQueryCDDBThread(TMessageTarget* NotifyWindow, int FirstTrack, int LastTrack,
                                   int CDHandle)
    : FState(std::make_shared<TState>()) {
    FState->Target = std::make_unique<TDetachableTarget>(NotifyWindow);
    // The worker shares the state, so it may outlive this object after a stop.
    std::thread([state = FState, FirstTrack, LastTrack, CDHandle] {
        // The messages wait until the result they announce is in place.
        TMessageQueue held;
        TCddbQueryResult result = Execute(held, FirstTrack, LastTrack, CDHandle, &state->Cancel);
        {
            std::lock_guard lock(state->Lock);
            state->Result = std::move(result);
        }
        for (auto& message : held.TakeAll())
            state->Target->PostMessage(std::move(message));
    }).detach();
}

TQueryCDDBThread::~TQueryCDDBThread() {
    Stop();
}

void TQueryCDDBThread::Stop() {
    FState->Target->Detach();
    FState->Cancel = true;
}

TCddbQueryResult TQueryCDDBThread::Result() const {
    std::lock_guard lock(FState->Lock);
    return FState->Result;
}

} // namespace bw
