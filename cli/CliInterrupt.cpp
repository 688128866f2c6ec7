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
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &FOldInt);
    sigaction(SIGTERM, &action, &FOldTerm);
}

TInterruptHandler::~TInterruptHandler() {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
}

} // namespace bw::cli
