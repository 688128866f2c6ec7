// Private messages that worker threads post to windows, and the small interface they
// post through. Windows implement it with posted Qt events (the event type is the message
// number); tests and the command line implement it with a queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace bw {

constexpr int WM_RIPFAILED = 2125;
constexpr int WM_RIPPROGRESS = 2126;
constexpr int WM_QUERYDONE = 2129;
constexpr int WM_NEXTFILE = 2130;
constexpr int WM_SHOWINSTANCE = 2131;

// Progress record posted with WM_RIPPROGRESS; the receiver owns it.
struct TProcessInfo {
    int Percent = 0;   // 1..100 progress; 999 normalizing; 1000 ripped; 2000 encoded
    int ErrorCode = 0; // 0 ok; 3 read error; 4 encoding skipped; 5 file not creatable
};

struct TPostedMessage {
    int Msg = 0;
    std::intptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::unique_ptr<TProcessInfo> Info; // set for WM_RIPPROGRESS
};

// Receiver of posted messages. PostMessage may be called from any thread and must keep
// the posting order.
class TMessageTarget {
public:
    virtual ~TMessageTarget() = default;
    virtual void PostMessage(TPostedMessage message) = 0;

    void Post(int msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
    void PostProgress(int percent, int errorCode = 0);
};

// Forwards posts to a target until detached; afterwards posts are dropped. Lets a worker
// that outlives its window keep posting safely.
class TDetachableTarget : public TMessageTarget {
public:
    explicit TDetachableTarget(TMessageTarget* target) : FTarget(target) {}
    void PostMessage(TPostedMessage message) override;
    void Detach();

private:
    std::mutex FLock;
    TMessageTarget* FTarget;
};

// A thread-safe queue of posted messages, read by the thread that owns it.
class TMessageQueue : public TMessageTarget {
public:
    void PostMessage(TPostedMessage message) override;

    // The next message, waiting up to timeout; nothing when none came.
    std::optional<TPostedMessage> WaitNext(std::chrono::milliseconds timeout);
    // Every message queued so far, in posting order.
    std::vector<TPostedMessage> TakeAll();

private:
    std::mutex FLock;
    std::condition_variable FPosted;
    std::deque<TPostedMessage> FQueue;
};

} // namespace bw
