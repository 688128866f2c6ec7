// Threads nobody joins: a worker the window let go of (a stopped play, a stopped rip still in
// its read, a search or probe left behind) ends on its own time. They are counted here by
// kind, so that a new user of the drive can wait for an old one off the window's thread, and
// so that the program can wait for them (for a while) before its static objects go.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace bw {

// Runs work on a thread of its own, counted under kind until it returns. What work throws is
// caught and logged: a worker never ends the program.
void RunDetached(const std::string& kind, std::function<void()> work);

// Workers of that kind still running (every kind for an empty name).
int DetachedRunning(const std::string& kind = {});

// Waits until no worker of the kind runs; true then. Returns false early when stop is set or
// the time is up.
bool WaitForDetached(const std::string& kind, const std::atomic<bool>* stop = nullptr,
                     std::chrono::milliseconds timeout = std::chrono::hours(24));

// At the program's end: waits up to timeout for every worker; false when some still run
// (the caller then ends the process without destroying the static objects they use).
bool WaitForAllDetached(std::chrono::milliseconds timeout);

} // namespace bw
