#include "MusicBrainzThread.h"

#include "DetachedWorkers.h"
#include "StopQueryThread.h"

namespace bw {

TQueryMusicBrainzThread::TQueryMusicBrainzThread(TMessageTarget* NotifyWindow, int CDHandle)
    : FState(std::make_shared<TState>()) {
    FState->Target = std::make_unique<TDetachableTarget>(NotifyWindow);
    // Read on the main thread: the worker must not touch the settings record.
    TMusicBrainzOptions options = MusicBrainzOptionsFromSettings();
    // The worker shares the state, so it may outlive this object after a stop.
    RunDetached("musicbrainz query", [state = FState, options, CDHandle] {
        TMusicBrainzLookup lookup = LookupMusicBrainzDrive(options, CDHandle, &state->Cancel);
        const bool found = lookup.Status == TMusicBrainzStatus::Found;
        {
            std::lock_guard lock(state->Lock);
            state->Result = std::move(lookup);
        }
        state->Target->Post(WM_QUERYDONE, found ? QueryFinished : QueryNoMatch);
    });
}

TQueryMusicBrainzThread::~TQueryMusicBrainzThread() {
    Stop();
}

void TQueryMusicBrainzThread::Stop() {
    FState->Target->Detach();
    FState->Cancel = true;
}

TMusicBrainzLookup TQueryMusicBrainzThread::Result() const {
    std::lock_guard lock(FState->Lock);
    return FState->Result;
}

} // namespace bw
