#include "CliInterrupt.h"

namespace bw::cli {

std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

namespace {

extern "C" void OnInterrupt(int) {
    Interrupted = true;
}

} // namespace

TInterruptHandler::TInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // The handler stays: a second signal while the first one's clean-up runs (Ctrl+C pressed
    // again, or `timeout` signalling the program and then its process group) must not kill
    // the program before its part files are gone.
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &FOldInt);
    sigaction(SIGTERM, &action, &FOldTerm);
}

TInterruptHandler::~TInterruptHandler() {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
}

} // namespace bw::cli
