#include "MediaWatcher.h"

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

void TMediaWatcher::Run() {
    std::unique_lock lock(FLock);
    while (!FWake.wait_for(lock, FInterval, [this] { return FStopping; })) {
        lock.unlock();
        std::string key;
        try {
            key = FProbe();
        } catch (...) {
            key.clear(); // a drive that cannot be asked holds no disc we could use
        }
        lock.lock();
        if (FStopping) continue;
        if (key == FKey) {
            FMisses = 0;
            continue;
        }
        // One failed look is not a removal (a drive busy for a moment, a slow spin-up):
        // rebuilding the list would lose the user's ticks. The disc must be gone twice.
        if (key.empty() && ++FMisses < 2) continue;
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
