// The CDDB query worker: sets the drive library's CDDB options from the settings, queries
// the disc in the drive, fetches records until one has the track titles, and reports to
// its window with WM_QUERYDONE (wParam 6: no match, lParam the library's error; wParam 7:
// the query is over; wParam 8: it failed, lParam the library's error). The fields it found wait in
// the thread for the window to take on the main thread, so nothing touches a window from the
// worker.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DiscRelease.h"
#include "Messages.h"

namespace bw {

constexpr int QueryNoMatch = 6;
constexpr int QueryFinished = 7;
// The query could not be done (no connection, an HTTP or CDDB error, an unreadable disc):
// the result's Error says why; the disc fields stay as they are.
constexpr int QueryFailed = 8;

// User identity and client text sent in the protocol greeting.
extern const char* const CddbUserIdentity;
extern const char* const CddbClientText;

// What a query found, to be shown in the main window.
struct TCddbQueryResult {
    bool ClearDiscFields = false; // at least one match: the disc fields start empty
    std::optional<std::string> Artist;
    std::optional<std::string> Album;
    std::optional<std::string> Year;
    std::optional<std::string> Genre; // as the record writes it; selects an exact list name
    // Titles of the list rows from the first track on, from the first record that has them.
    std::optional<std::vector<std::string>> TrackTitles;
    // What else the source tells of the release (track artists, album artist, disc number,
    // label...); replaces the disc's. None when it tells nothing beyond the fields above.
    std::optional<TDiscRelease> Release;
    std::string Error; // why a failed query failed, naming the server
};

// Sets the drive library's CDDB options from Settings (server, script, identity, client,
// and the proxy when it is used).
void SetCddbOptionsFromSettings();

// The track artists of a record whose artist is "Various" and whose titles read "Artist /
// Title": the titles keep only their own part. None for any other record.
std::optional<TDiscRelease> CddbTrackArtists(TCddbQueryResult& result, int FirstTrack);

class TQueryCDDBThread {
public:
    // Starts at once; the thread ends by itself after posting its last message.
    TQueryCDDBThread(TMessageTarget* NotifyWindow, int FirstTrack, int LastTrack, int CDHandle);
    // Stops the query, if it still runs, without waiting: nothing more is posted.
    ~TQueryCDDBThread();
    TQueryCDDBThread(const TQueryCDDBThread&) = delete;
    TQueryCDDBThread& operator=(const TQueryCDDBThread&) = delete;

    void Stop();
    // The fields found; complete once WM_QUERYDONE 7 has been posted.
    TCddbQueryResult Result() const;

    // The query itself, on the calling thread: for the command line and for tests.
    static TCddbQueryResult Execute(TMessageTarget& notify, int FirstTrack, int LastTrack,
                                    int CDHandle, const std::atomic<bool>* cancel = nullptr);

private:
    struct TState {
        std::mutex Lock;
        TCddbQueryResult Result;
        std::atomic<bool> Cancel{false};
        std::unique_ptr<TDetachableTarget> Target;
    };
    std::shared_ptr<TState> FState;
};

} // namespace bw
