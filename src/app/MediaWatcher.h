// Notices when the disc in the drive changes: a worker thread asks a probe about once a
// second which disc is present and reports arrivals and removals. The probe returns the
// disc's key, empty when there is no audio disc, so a swapped disc shows as a removal
// followed by an arrival. A removal is reported only when the disc is gone on two looks in
// a row.
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

private:
    void Run();

    TProbe FProbe;
    TNotify FNotify;
    std::chrono::milliseconds FInterval;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopping = false;
    std::string FKey;
    int FMisses = 0; // looks in a row that found no disc while FKey names one
    std::thread FThread;
};

} // namespace bw
