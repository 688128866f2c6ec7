// Notices when the disc in the drive changes: a worker thread asks a probe which disc is
// present, when told to look (a media-change event of the drive) or at a fixed interval
// (drives without such events), and reports arrivals and removals. The probe returns the
// disc's key, empty when there is no audio disc, so a swapped disc shows as a removal
// followed by an arrival. A removal is reported only when the disc is gone on two looks in
// a row. While held (a rip or a play has the drive) it does not look; it looks once when
// let go, if a look was due meanwhile.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace bw {

// Device-change events, numbered as the desktop's volume notices are.
constexpr int DBT_DEVICEARRIVAL = 0x8000;
constexpr int DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr int DBT_DEVTYP_VOLUME = 2;

class TMediaWatcher {
public:
    using TProbe = std::function<std::string()>;
    // Called on the watcher's thread with a DBT_ event; the receiver hands it to its own
    // thread.
    using TNotify = std::function<void(int event)>;

    // An interval of 0 looks only when told to (and once more after a look found no disc).
    TMediaWatcher(TProbe probe, TNotify notify,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    ~TMediaWatcher();
    TMediaWatcher(const TMediaWatcher&) = delete;
    TMediaWatcher& operator=(const TMediaWatcher&) = delete;

    // Starts watching from the given state (the key of the disc the window already shows).
    void Start(const std::string& currentKey);
    void Stop();
    // Sets the state changes are measured against, e.g. after the window re-read the disc.
    void SetCurrentKey(const std::string& key);
    // Looks at the drive soon (it told of a media change).
    void Poke();
    void SetHeld(bool held);

private:
    void Run();
    std::chrono::steady_clock::time_point NextTimedLook() const;

    TProbe FProbe;
    TNotify FNotify;
    std::chrono::milliseconds FInterval;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopping = false;
    std::string FKey;
    int FMisses = 0;     // looks in a row that found no disc while FKey names one
    bool FPoked = false; // a look is due
    bool FHeld = false;
    std::thread FThread;
};

} // namespace bw
