#include "DetachedWorkers.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace bw {

namespace {

struct TRegistry {
    std::mutex Lock;
    std::condition_variable Ended;
    std::map<std::string, int> Running;
    int Total = 0;
};

// Never destroyed: a worker that outlives main() may still count itself out.
TRegistry& Registry() {
    static auto* registry = new TRegistry;
    return *registry;
}

bool NoneRunning(TRegistry& r, const std::string& kind) {
    if (kind.empty()) return r.Total == 0;
    auto found = r.Running.find(kind);
    return found == r.Running.end() || found->second == 0;
}

} // namespace

void RunDetached(const std::string& kind, std::function<void()> work) {
    TRegistry& r = Registry();
    {
        std::lock_guard lock(r.Lock);
        ++r.Running[kind];
        ++r.Total;
    }
    try {
        std::thread([&r, kind, work = std::move(work)] {
            try {
                work();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "brindlewave: %s worker failed: %s\n", kind.c_str(), e.what());
            } catch (...) {
                std::fprintf(stderr, "brindlewave: %s worker failed\n", kind.c_str());
            }
            std::lock_guard lock(r.Lock);
            --r.Running[kind];
            --r.Total;
            r.Ended.notify_all();
        }).detach();
    } catch (...) {
        std::lock_guard lock(r.Lock);
        --r.Running[kind];
        --r.Total;
        throw;
    }
}

int DetachedRunning(const std::string& kind) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    if (kind.empty()) return r.Total;
    auto found = r.Running.find(kind);
    return found == r.Running.end() ? 0 : found->second;
}

bool WaitForDetached(const std::string& kind, const std::atomic<bool>* stop,
                     std::chrono::milliseconds timeout) {
    TRegistry& r = Registry();
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(r.Lock);
    while (!NoneRunning(r, kind)) {
        if ((stop && *stop) || std::chrono::steady_clock::now() >= until) return false;
        // In short steps: the stop flag is set without telling us.
        r.Ended.wait_for(lock, std::chrono::milliseconds(25));
    }
    return true;
}

bool WaitForAllDetached(std::chrono::milliseconds timeout) {
    return WaitForDetached({}, nullptr, timeout);
}

} // namespace bw
