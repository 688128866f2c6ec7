// The MusicBrainz lookup worker of the stop window: looks the disc of an open drive up and
// reports to its window with WM_QUERYDONE (wParam 6: nothing to show, with the reason in
// the lookup's Message; wParam 7: releases found). The lookup waits in the thread for the
// window to take on the main thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "Messages.h"
#include "MusicBrainzQuery.h"

namespace bw {

class TQueryMusicBrainzThread {
public:
    // Starts at once with the options of the settings; the thread ends by itself after
    // posting its message.
    TQueryMusicBrainzThread(TMessageTarget* NotifyWindow, int CDHandle);
    // Stops the lookup, if it still runs, without waiting: nothing more is posted.
    ~TQueryMusicBrainzThread();
    TQueryMusicBrainzThread(const TQueryMusicBrainzThread&) = delete;
    TQueryMusicBrainzThread& operator=(const TQueryMusicBrainzThread&) = delete;

    void Stop();
    // Complete once WM_QUERYDONE has been posted.
    TMusicBrainzLookup Result() const;

private:
    struct TState {
        std::mutex Lock;
        TMusicBrainzLookup Result;
        std::atomic<bool> Cancel{false};
        std::unique_ptr<TDetachableTarget> Target;
    };
    std::shared_ptr<TState> FState;
};

} // namespace bw
