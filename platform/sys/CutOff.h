// Lets one thread cut short what another is waiting on: the worker registers how its current
// wait is ended (for a drive, cutting its handle), the owner calls Cut when it no longer wants
// the result. Safe from any thread.
#pragma once

#include <functional>
#include <mutex>

namespace bw {

class TCutOff {
public:
    // Sets how the worker's current wait is ended. When Cut came first, runs it at once and
    // returns false. The hook runs under the object's lock: it must be quick.
    bool SetHook(std::function<void()> hook);
    // Once this returns the hook no longer runs (call it before what the hook acts on goes).
    void ClearHook();
    // Marks the work as unwanted and ends its current wait.
    void Cut();
    bool IsCut() const;

private:
    mutable std::mutex FLock;
    std::function<void()> FHook;
    bool FCut = false;
};

} // namespace bw
