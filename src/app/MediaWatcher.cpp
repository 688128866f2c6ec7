#include "MediaWatcher.h"

#include <algorithm>

namespace bw {

TMediaWatcher::TMediaWatcher(TProbe probe, TNotify notify, std::chrono::milliseconds interval)
    : FProbe(std::move(probe)), FNotify(std::move(notify)), FInterval(interval) {}

TMediaWatcher::~TMediaWatcher() {
    Stop();
}

void TMediaWatcher::Start(const std::string& currentKey) {
    Stop();
    std::lock_guard lock(FLock);
    FStopping = false;
    FKey = currentKey;
    FMisses = 0;
    FPoked = false;
    FThread = std::thread([this] { Run(); });
}

void TMediaWatcher::Stop() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TMediaWatcher::SetCurrentKey(const std::string& key) {
    std::lock_guard lock(FLock);
    FKey = key;
    FMisses = 0;
}

void TMediaWatcher::Poke() {
    {
        std::lock_guard lock(FLock);
        FPoked = true;
    }
    FWake.notify_all();
}

void TMediaWatcher::SetHeld(bool held) {
    {
        std::lock_guard lock(FLock);
        FHeld = held;
    }
    FWake.notify_all();
}

std::chrono::steady_clock::time_point TMediaWatcher::NextTimedLook() const {
    // Far off rather than time_point::max(), which some waits overflow on.
    return std::chrono::steady_clock::now() +
           (FInterval.count() > 0 ? FInterval : std::chrono::milliseconds(std::chrono::hours(24)));
}

void TMediaWatcher::Run() {
    std::unique_lock lock(FLock);
    auto next = NextTimedLook();
    for (;;) {
        const bool told =
            FWake.wait_until(lock, next, [this] { return FStopping || (FPoked && !FHeld); });
        if (FStopping) return;
        if (!told) {
            next = NextTimedLook();
            if (FHeld) { // the drive is busy: the look waits until it is let go
                FPoked = true;
                continue;
            }
        }
        FPoked = false;
        lock.unlock();
        std::string key;
        try {
            key = FProbe();
        } catch (...) {
            key.clear(); // a drive that cannot be asked holds no disc we could use
        }
        lock.lock();
        if (FStopping) return;
        if (key == FKey) {
            FMisses = 0;
            continue;
        }
        // One failed look is not a removal (a drive busy for a moment, a slow spin-up):
        // rebuilding the list would lose the user's ticks. The disc must be gone twice; a
        // watcher told of changes looks again a second later by itself.
        if (key.empty() && ++FMisses < 2) {
            const auto again = std::chrono::steady_clock::now() +
                               (FInterval.count() > 0 ? FInterval : std::chrono::seconds(1));
            next = std::min(next, again);
            continue;
        }
        FMisses = 0;
        const bool removed = !FKey.empty();
        const bool arrived = !key.empty();
        FKey = key;
        lock.unlock();
        if (removed) FNotify(DBT_DEVICEREMOVECOMPLETE);
        if (arrived) FNotify(DBT_DEVICEARRIVAL);
        lock.lock();
    }
}

} // namespace bw
