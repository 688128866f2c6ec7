// Ctrl+C (or SIGTERM) stops a command's job: the handler only sets a flag, which the
// command's loop polls to stop the job and clean up; further ones wait for that clean-up.
#pragma once

#include <atomic>
#include <csignal>

namespace bw::cli {

// Set by the handler while a TInterruptHandler lives.
extern std::atomic<bool> Interrupted;

// The exit status of a command that Ctrl+C ended (128 + SIGINT).
constexpr int InterruptedExit = 130;

class TInterruptHandler {
public:
    TInterruptHandler();
    ~TInterruptHandler();
    TInterruptHandler(const TInterruptHandler&) = delete;
    TInterruptHandler& operator=(const TInterruptHandler&) = delete;

private:
    struct sigaction FOldInt {};
    struct sigaction FOldTerm {};
};

} // namespace bw::cli
