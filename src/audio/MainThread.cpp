#include "MainThread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace bw {

class TMainThreadCall {
public:
    enum class TState { Pending, Running, Done, Abandoned };

    TMainThreadCall(std::function<void()> fn, const void* owner)
        : Fn(std::move(fn)), Owner(owner) {}

    std::function<void()> Fn;
    const void* Owner;
    TState State = TState::Pending; // guarded by the queue lock
    std::exception_ptr Error;
};

namespace {

struct TQueue {
    std::mutex Lock;
    std::condition_variable Changed; // a call was queued or finished, or NotifyMainThread()
    std::deque<std::shared_ptr<TMainThreadCall>> Calls;
    std::uint64_t Generation = 0;
    std::function<void()> WakeHook;
};

TQueue& Queue() {
    static TQueue queue;
    return queue;
}

// Captured during static initialisation, which runs on the thread that starts the program.
std::atomic<std::thread::id> MainThreadId{std::this_thread::get_id()};

void Wake(TQueue& q) {
    std::function<void()> hook;
    {
        std::lock_guard lock(q.Lock);
        hook = q.WakeHook;
    }
    if (hook) hook();
}

// Takes the next call (of `owner`, when given) and marks it running.
std::shared_ptr<TMainThreadCall> TakeNext(TQueue& q, const void* owner) {
    std::lock_guard lock(q.Lock);
    std::erase_if(q.Calls,
                  [](const auto& c) { return c->State == TMainThreadCall::TState::Abandoned; });
    for (auto it = q.Calls.begin(); it != q.Calls.end(); ++it) {
        if (owner && (*it)->Owner != owner) continue;
        auto call = std::move(*it);
        q.Calls.erase(it);
        call->State = TMainThreadCall::TState::Running;
        return call;
    }
    return nullptr;
}

bool HasPending(const TQueue& q, const void* owner) {
    for (const auto& c : q.Calls)
        if (c->State == TMainThreadCall::TState::Pending && (!owner || c->Owner == owner))
            return true;
    return false;
}

void Finish(TQueue& q, TMainThreadCall& call, std::exception_ptr error) {
    {
        std::lock_guard lock(q.Lock);
        call.Error = error;
        call.State = TMainThreadCall::TState::Done;
        ++q.Generation;
    }
    q.Changed.notify_all();
}

} // namespace

void BindMainThread() {
    MainThreadId = std::this_thread::get_id();
}

bool IsMainThread() {
    return MainThreadId.load() == std::this_thread::get_id();
}

void SetMainThreadWakeHook(std::function<void()> hook) {
    TQueue& q = Queue();
    std::lock_guard lock(q.Lock);
    q.WakeHook = std::move(hook);
}

namespace {
std::shared_ptr<TMainThreadCall> Enqueue(std::function<void()> fn, const void* owner) {
    TQueue& q = Queue();
    auto call = std::make_shared<TMainThreadCall>(std::move(fn), owner);
    {
        std::lock_guard lock(q.Lock);
        q.Calls.push_back(call);
        ++q.Generation;
    }
    q.Changed.notify_all();
    Wake(q);
    return call;
}
} // namespace

std::shared_ptr<TMainThreadCall> QueueMainThreadCall(std::function<void()> fn) {
    return Enqueue(std::move(fn), nullptr);
}

bool WaitMainThreadCall(const std::shared_ptr<TMainThreadCall>& call,
                        const std::atomic<bool>& abandon) {
    using S = TMainThreadCall::TState;
    TQueue& q = Queue();
    std::unique_lock lock(q.Lock);
    q.Changed.wait(lock, [&] { return call->State == S::Done || abandon.load(); });
    if (call->State == S::Pending) {
        call->State = S::Abandoned;
        return false;
    }
    // A call already running is on the main thread's stack: it will return.
    q.Changed.wait(lock, [&] { return call->State == S::Done; });
    return true;
}

void RunOnMainThread(const std::function<void()>& fn, const void* owner) {
    if (IsMainThread()) {
        fn();
        return;
    }
    static const std::atomic<bool> never{false};
    auto call = Enqueue(fn, owner);
    WaitMainThreadCall(call, never);
    if (call->Error) std::rethrow_exception(call->Error);
}

bool RunPendingMainThreadCalls(const void* owner) {
    TQueue& q = Queue();
    bool ran = false;
    while (auto call = TakeNext(q, owner)) {
        ran = true;
        try {
            call->Fn();
        } catch (...) {
            // The waiting thread learns of it; the main thread sees it too, as it would an
            // exception of any of its own event handlers. Calls still queued need a new pump.
            Finish(q, *call, std::current_exception());
            Wake(q);
            throw;
        }
        Finish(q, *call, nullptr);
    }
    return ran;
}

void NotifyMainThread() {
    TQueue& q = Queue();
    {
        std::lock_guard lock(q.Lock);
        ++q.Generation;
    }
    q.Changed.notify_all();
}

bool PumpMainThreadUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                         const void* owner) {
    TQueue& q = Queue();
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::uint64_t seen;
        {
            std::lock_guard lock(q.Lock);
            seen = q.Generation;
        }
        RunPendingMainThreadCalls(owner);
        if (done()) return true;
        std::unique_lock lock(q.Lock);
        if (!q.Changed.wait_until(lock, deadline,
                                  [&] { return q.Generation != seen || HasPending(q, owner); })) {
            lock.unlock();
            RunPendingMainThreadCalls(owner);
            return done();
        }
    }
}

} // namespace bw
