#include "EventHandler.h"

#include "MainThread.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace bw {

namespace {

// Everything the dispatcher shares between threads, under one lock: the queue of the
// running dispatcher, the reference count, the live outputs with their epochs and the
// blocked senders.
struct TDispatchState {
    std::mutex Lock;
    int RefCount = 0;
    std::unique_ptr<TEventHandler> Current;
    // Dispatchers told to end while the main thread was inside one of their handlers; they
    // are joined once that handler has returned.
    std::vector<std::unique_ptr<TEventHandler>> Retired;
    std::unordered_map<TAuOutput*, std::uint64_t> Epochs;
    std::vector<TAuOutput*> Blocked;
    std::uint64_t NextEpoch = 0;

    ~TDispatchState() {
        // At exit: end whatever is left without waiting for a main thread that no longer
        // pumps.
        Current.reset();
        Retired.clear();
    }
};

TDispatchState& State() {
    static TDispatchState state;
    return state;
}

// Depth of dispatcher-delivered handlers on the main thread's stack.
int DeliveryDepth = 0;

bool IsBlocked(const TDispatchState& s, TAuOutput* sender) {
    return std::find(s.Blocked.begin(), s.Blocked.end(), sender) != s.Blocked.end();
}

void DropLocked(std::deque<std::unique_ptr<TAuEventRecord>>& queue, TAuOutput* sender) {
    std::erase_if(queue, [&](const auto& r) { return r->Sender == sender; });
}

} // namespace

TEventHandler::TEventHandler() : FThread([this] { Execute(); }) {}

TEventHandler::~TEventHandler() {
    Terminate();
}

void TEventHandler::SignalEnd() {
    FTerminated = true;
    if (FAwaiting) {
        std::lock_guard syncLock(FAwaiting->Lock);
        FAwaiting->Changed.notify_all();
    }
    FWake.notify_all();
}

void TEventHandler::Terminate() {
    {
        std::lock_guard lock(State().Lock);
        SignalEnd();
    }
    NotifyMainThread(); // releases a wait for a main-thread hand-over
    if (FThread.joinable()) FThread.join();
}

void TEventHandler::AddRef() {
    TDispatchState& s = State();
    std::vector<std::unique_ptr<TEventHandler>> retired;
    {
        std::lock_guard lock(s.Lock);
        if (s.RefCount++ == 0) s.Current = std::make_unique<TEventHandler>();
        if (DeliveryDepth == 0 && IsMainThread()) retired.swap(s.Retired);
    }
    retired.clear(); // joins
}

void TEventHandler::Release() {
    TDispatchState& s = State();
    std::unique_ptr<TEventHandler> ending;
    std::vector<std::unique_ptr<TEventHandler>> retired;
    {
        std::lock_guard lock(s.Lock);
        if (--s.RefCount > 0) return;
        ending = std::move(s.Current);
        if (DeliveryDepth > 0) {
            // The dispatcher waits for the handler we are in: joining it here would never
            // return. Tell it to end and join it later.
            ending->SignalEnd();
            s.Retired.push_back(std::move(ending));
            return;
        }
        retired.swap(s.Retired);
    }
    ending.reset();
    retired.clear();
}

bool TEventHandler::Running() {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    return s.Current != nullptr;
}

void TEventHandler::Post(std::unique_ptr<TAuEventRecord> record) {
    TDispatchState& s = State();
    TEventHandler* handler = nullptr;
    {
        std::lock_guard lock(s.Lock);
        auto it = s.Epochs.find(record->Sender);
        if (!s.Current || it == s.Epochs.end() || IsBlocked(s, record->Sender)) return;
        record->Epoch = it->second;
        handler = s.Current.get();
        handler->FQueue.push_back(std::move(record));
        handler->FWake.notify_all();
    }
}

void TEventHandler::PostNonBlockingEvent(TAuOutput* Sender, TAuEventHandlerRef Handler) {
    auto record = std::make_unique<TAuEventRecord>();
    record->Kind = TAuEventRecord::Progress;
    record->Sender = Sender;
    record->Handler = Handler;
    Post(std::move(record));
}

void TEventHandler::PostBlockingEvent(TAuOutput* Sender, std::shared_ptr<TWorkerSync> Worker,
                                      std::uint64_t Run, TAuEventHandlerRef Handler) {
    auto record = std::make_unique<TAuEventRecord>();
    record->Kind = TAuEventRecord::Done;
    record->Sender = Sender;
    record->Handler = Handler;
    record->Worker = std::move(Worker);
    record->Run = Run;
    Post(std::move(record));
}

void TEventHandler::DropEvents(TAuOutput* Sender) {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    if (s.Current) DropLocked(s.Current->FQueue, Sender);
    for (auto& retired : s.Retired)
        DropLocked(retired->FQueue, Sender);
}

void TEventHandler::BlockSender(TAuOutput* Sender) {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    s.Blocked.push_back(Sender);
    auto it = s.Epochs.find(Sender);
    if (it != s.Epochs.end()) it->second = ++s.NextEpoch;
    if (s.Current) DropLocked(s.Current->FQueue, Sender);
}

void TEventHandler::UnblockSender(TAuOutput* Sender) {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find(s.Blocked.begin(), s.Blocked.end(), Sender);
    if (it != s.Blocked.end()) s.Blocked.erase(it);
}

void TEventHandler::Register(TAuOutput* Sender) {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    s.Epochs[Sender] = ++s.NextEpoch;
}

void TEventHandler::Unregister(TAuOutput* Sender) {
    TDispatchState& s = State();
    std::lock_guard lock(s.Lock);
    s.Epochs.erase(Sender);
    if (s.Current) DropLocked(s.Current->FQueue, Sender);
    for (auto& retired : s.Retired)
        DropLocked(retired->FQueue, Sender);
}

void TEventHandler::Deliver(const TAuEventRecord& record) {
    {
        TDispatchState& s = State();
        std::lock_guard lock(s.Lock);
        auto it = s.Epochs.find(record.Sender);
        if (it == s.Epochs.end() || it->second != record.Epoch || IsBlocked(s, record.Sender))
            return;
    }
    // A copy: the handler may reassign or destroy its own output.
    auto handler = (record.Sender->*record.Handler)();
    if (!handler) return;
    ++DeliveryDepth;
    struct TLeave {
        ~TLeave() { --DeliveryDepth; }
    } leave;
    handler(record.Sender);
}

void TEventHandler::Execute() {
    TDispatchState& s = State();
    std::unique_lock lock(s.Lock);
    while (!FTerminated) {
        if (FQueue.empty()) {
            FWake.wait(lock, [&] { return FTerminated || !FQueue.empty(); });
            continue;
        }
        std::shared_ptr<TAuEventRecord> record = std::move(FQueue.front());
        FQueue.pop_front();
        if (record->Kind == TAuEventRecord::Done) {
            // Deliver only once the worker is done with its run, so that the handler may
            // start it again at once.
            FAwaiting = record->Worker;
            lock.unlock();
            {
                TWorkerSync& w = *record->Worker;
                std::unique_lock syncLock(w.Lock);
                w.Changed.wait(syncLock, [&] {
                    return w.RunsEnded >= record->Run || w.Exited || FTerminated;
                });
            }
            lock.lock();
            FAwaiting.reset();
            if (FTerminated) break;
            // Progress of the run just ended is stale now; a later run's done event, queued
            // while we waited (a run started again at once), must still arrive.
            std::erase_if(FQueue, [&](const auto& r) {
                return r->Sender == record->Sender && r->Kind != TAuEventRecord::Done;
            });
        }
        lock.unlock();
        auto call = QueueMainThreadCall([record] { Deliver(*record); });
        WaitMainThreadCall(call, FTerminated);
        lock.lock();
    }
}

} // namespace bw
