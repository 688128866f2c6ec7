// The message queue a command's job posts to: it wakes the command's main-thread pump on
// every message, so that one wait covers both the job's messages and the pipeline's
// hand-overs.
#pragma once

#include "MainThread.h"
#include "Messages.h"

#include <atomic>
#include <vector>

namespace bw::cli {

class TPumpedQueue : public TMessageQueue {
public:
    void PostMessage(TPostedMessage message) override {
        TMessageQueue::PostMessage(std::move(message));
        FPending = true;
        NotifyMainThread();
    }
    std::vector<TPostedMessage> Take() {
        FPending = false;
        return TakeAll();
    }
    bool Pending() const { return FPending; }

private:
    std::atomic<bool> FPending{false};
};

} // namespace bw::cli
