// Notices when the disc in the drive changes: a worker thread asks a probe which disc is
// present, when told to look (a media-change event of the drive) or at a fixed interval
// (drives without such events), and reports arrivals and removals. The probe returns the
// disc's key, empty when there is no audio disc, so a swapped disc shows as a removal
// followed by an arrival. A removal is reported only when the disc is gone on two looks in
// a row. While held (a rip or a play has the drive) it does not look; it looks once when
// let go, if a look was due meanwhile. Stopping never waits for a probe: the probe is cut
// short (its drive handle cut) and its thread left to end on its own, reporting nothing.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "CutOff.h"

namespace bw {

// Device-change events, numbered as the desktop's volume notices are.
constexpr int DBT_DEVICEARRIVAL = 0x8000;
constexpr int DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr int DBT_DEVTYP_VOLUME = 2;

class TMediaWatcher {
public:
    // Asks the drive for its disc's key; `cut` is cut when the watcher stops meanwhile.
    using TProbe = std::function<std::string(TCutOff& cut)>;
    // Called on the watcher's thread with a DBT_ event; the receiver hands it to its own
    // thread. Never called once Stop has returned.
    using TNotify = std::function<void(int event)>;

    // An interval of 0 looks only when told to (and once more after a look found no disc).
    TMediaWatcher(TProbe probe, TNotify notify,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    // A probe that cannot be cut short.
    TMediaWatcher(std::function<std::string()> probe, TNotify notify,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    ~TMediaWatcher();
    TMediaWatcher(const TMediaWatcher&) = delete;
    TMediaWatcher& operator=(const TMediaWatcher&) = delete;

    // Starts watching from the given state (the key of the disc the window already shows).
    void Start(const std::string& currentKey);
    // Returns at once: a probe under way is cut short and its result dropped.
    void Stop();
    // Sets the state changes are measured against, e.g. after the window re-read the disc.
    void SetCurrentKey(const std::string& key);
    // Looks at the drive soon (it told of a media change).
    void Poke();
    void SetHeld(bool held);

private:
    struct TState;
    static void Run(const std::shared_ptr<TState>& state);

    TProbe FProbe;
    TNotify FNotify;
    std::chrono::milliseconds FInterval;
    bool FHeld = false;
    std::shared_ptr<TState> FState; // of the running watch; none when stopped
};

} // namespace bw
