// The hand-over queue that runs calls on the main (user-interface) thread.
//
// A worker queues a call and waits for it; the main thread runs the pending calls in queue
// order when it is woken. The desktop program installs a wake hook that posts an event to
// its event loop, whose handler calls RunPendingMainThreadCalls(); the command line and the
// tests pump the queue themselves with PumpMainThreadUntil().
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace bw {

// The thread that counts as the main thread: the one that initialised the program, unless
// BindMainThread() names another.
void BindMainThread();
bool IsMainThread();

// Called (from any thread, without locks held) whenever a call has been queued. It must not
// run the calls itself; it only arranges for the main thread to do so soon.
void SetMainThreadWakeHook(std::function<void()> hook);

// Runs `call` on the main thread and returns when it has run. On the main thread the call
// runs at once. An exception thrown by the call is rethrown here. `owner` tags the call so
// that a pump may run only the calls of one owner.
void RunOnMainThread(const std::function<void()>& call, const void* owner = nullptr);

// Runs the pending calls in queue order: all of them, or only those of `owner`. Main thread
// only. Returns true when any ran. An exception thrown by a call (an event handler) comes out
// here, as it would from any event handler of the main thread; the calls still queued wait
// for the next pump, and the wake hook is called again for them.
bool RunPendingMainThreadCalls(const void* owner = nullptr);

// Runs pending calls (all, or those of `owner`) until `done` holds or the timeout passes;
// true when `done` held. Wakes whenever a call is queued or NotifyMainThread() is called.
bool PumpMainThreadUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                         const void* owner = nullptr);

// Wakes any PumpMainThreadUntil() so that it checks its condition again. Threads call this
// after changing state that the main thread may be waiting for.
void NotifyMainThread();

// A queued call whose caller may give up waiting (the event dispatcher when it is told to
// terminate).
class TMainThreadCall;
std::shared_ptr<TMainThreadCall> QueueMainThreadCall(std::function<void()> call);
// Waits until the call has run, or until `abandon` is set; an abandoned call that has not
// started never runs. True when the call ran (an exception of the call counts as run).
// Whoever sets `abandon` must call NotifyMainThread() afterwards.
bool WaitMainThreadCall(const std::shared_ptr<TMainThreadCall>& call,
                        const std::atomic<bool>& abandon);

} // namespace bw
