#include "MediaWatcher.h"

#include "DetachedWorkers.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace bw {

// What the watch's thread uses; it outlives the watcher while a probe ends on its own.
struct TMediaWatcher::TState {
    TProbe Probe;
    TNotify Notify;
    std::chrono::milliseconds Interval{0};
    std::mutex Lock;
    std::condition_variable Wake;
    bool Stopping = false;
    std::string Key;
    int Misses = 0;     // looks in a row that found no disc while Key names one
    bool Poked = false; // a look is due
    bool Held = false;
    std::shared_ptr<TCutOff> Cut; // of the probe under way

    std::chrono::steady_clock::time_point NextTimedLook() const {
        // Far off rather than time_point::max(), which some waits overflow on.
        return std::chrono::steady_clock::now() +
               (Interval.count() > 0 ? Interval
                                     : std::chrono::milliseconds(std::chrono::hours(24)));
    }
};

TMediaWatcher::TMediaWatcher(TProbe probe, TNotify notify, std::chrono::milliseconds interval)
    : FProbe(std::move(probe)), FNotify(std::move(notify)), FInterval(interval) {}

TMediaWatcher::TMediaWatcher(std::function<std::string()> probe, TNotify notify,
                             std::chrono::milliseconds interval)
    : TMediaWatcher(TProbe([probe = std::move(probe)](TCutOff&) { return probe(); }),
                    std::move(notify), interval) {}

TMediaWatcher::~TMediaWatcher() {
    Stop();
}

void TMediaWatcher::Start(const std::string& currentKey) {
    Stop();
    auto state = std::make_shared<TState>();
    state->Probe = FProbe;
    state->Notify = FNotify;
    state->Interval = FInterval;
    state->Key = currentKey;
    state->Held = FHeld;
    FState = state;
    RunDetached("disc watch", [state] { Run(state); });
}

void TMediaWatcher::Stop() {
    if (!FState) return;
    {
        std::lock_guard lock(FState->Lock);
        FState->Stopping = true;
        if (FState->Cut) FState->Cut->Cut();
    }
    FState->Wake.notify_all();
    FState.reset();
}

void TMediaWatcher::SetCurrentKey(const std::string& key) {
    if (!FState) return;
    std::lock_guard lock(FState->Lock);
    FState->Key = key;
    FState->Misses = 0;
}

void TMediaWatcher::Poke() {
    if (!FState) return;
    {
        std::lock_guard lock(FState->Lock);
        FState->Poked = true;
    }
    FState->Wake.notify_all();
}

void TMediaWatcher::SetHeld(bool held) {
    FHeld = held;
    if (!FState) return;
    {
        std::lock_guard lock(FState->Lock);
        FState->Held = held;
    }
    FState->Wake.notify_all();
}

void TMediaWatcher::Run(const std::shared_ptr<TState>& state) {
    TState& s = *state;
    std::unique_lock lock(s.Lock);
    auto next = s.NextTimedLook();
    for (;;) {
        const bool told =
            s.Wake.wait_until(lock, next, [&s] { return s.Stopping || (s.Poked && !s.Held); });
        if (s.Stopping) return;
        if (!told) {
            next = s.NextTimedLook();
            if (s.Held) { // the drive is busy: the look waits until it is let go
                s.Poked = true;
                continue;
            }
        }
        s.Poked = false;
        auto cut = std::make_shared<TCutOff>();
        s.Cut = cut;
        lock.unlock();
        std::string key;
        try {
            key = s.Probe(*cut);
        } catch (...) {
            key.clear(); // a drive that cannot be asked holds no disc we could use
        }
        lock.lock();
        s.Cut.reset();
        if (s.Stopping) return;
        if (key == s.Key) {
            s.Misses = 0;
            continue;
        }
        // One failed look is not a removal (a drive busy for a moment, a slow spin-up):
        // rebuilding the list would lose the user's ticks. The disc must be gone twice; a
        // watcher told of changes looks again a second later by itself.
        if (key.empty() && ++s.Misses < 2) {
            const auto again = std::chrono::steady_clock::now() +
                               (s.Interval.count() > 0 ? s.Interval : std::chrono::seconds(1));
            next = std::min(next, again);
            continue;
        }
        s.Misses = 0;
        const bool removed = !s.Key.empty();
        const bool arrived = !key.empty();
        s.Key = key;
        // Under the lock: once Stop has returned, nothing more is told.
        if (removed) s.Notify(DBT_DEVICEREMOVECOMPLETE);
        if (arrived) s.Notify(DBT_DEVICEARRIVAL);
    }
}

} // namespace bw
