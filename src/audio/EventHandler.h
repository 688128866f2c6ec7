// The process-wide event dispatcher: outputs' workers queue progress and done events here,
// and its thread hands them, one at a time and in queue order, to the main thread.
#pragma once

#include "AuComponents.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>

namespace bw {

// Which of the sender's handlers an event calls; read on the main thread at delivery.
using TAuEventHandlerRef = const std::function<void(TAuOutput*)>& (TAuOutput::*)() const;

struct TAuEventRecord {
    enum : std::uint8_t { Progress = 0, Done = 1 };
    std::uint8_t Kind = Progress;
    TAuOutput* Sender = nullptr;
    TAuEventHandlerRef Handler = nullptr;
    std::shared_ptr<TWorkerSync> Worker; // done events: delivered once this run has ended
    std::uint64_t Run = 0;
    std::uint64_t Epoch = 0; // the sender's epoch at posting; a synchronous stop changes it
};

class TEventHandler {
public:
    // The reference count kept by outputs: the first reference creates the dispatcher
    // thread, the last one ends it.
    static void AddRef();
    static void Release();
    static bool Running();

    // Any thread. An event of a blocked sender is discarded.
    static void PostNonBlockingEvent(TAuOutput* Sender, TAuEventHandlerRef Handler);
    static void PostBlockingEvent(TAuOutput* Sender, std::shared_ptr<TWorkerSync> Worker,
                                  std::uint64_t Run, TAuEventHandlerRef Handler);
    // Removes every queued event of the sender.
    static void DropEvents(TAuOutput* Sender);

    // A synchronous stop blocks its sender: queued events are dropped, new ones discarded,
    // and one already on its way to the main thread is not delivered.
    static void BlockSender(TAuOutput* Sender);
    static void UnblockSender(TAuOutput* Sender);

    // Outputs register for their lifetime; events of an output that is gone are never
    // delivered.
    static void Register(TAuOutput* Sender);
    static void Unregister(TAuOutput* Sender);

    TEventHandler();
    ~TEventHandler();
    TEventHandler(const TEventHandler&) = delete;
    TEventHandler& operator=(const TEventHandler&) = delete;

private:
    void Execute();
    void Terminate();
    void SignalEnd(); // with the dispatcher lock held
    static void Deliver(const TAuEventRecord& record);
    static void Post(std::unique_ptr<TAuEventRecord> record);

    std::deque<std::unique_ptr<TAuEventRecord>> FQueue; // guarded by the dispatcher lock
    std::condition_variable FWake;
    std::atomic<bool> FTerminated{false};
    std::shared_ptr<TWorkerSync> FAwaiting; // the worker a done event waits for
    std::thread FThread;
};

} // namespace bw
