// The pull pipeline: sources (TAuInput), filters (TAuConverter) and sinks (TAuOutput).
//
// Which thread owns what:
// - The main thread creates and destroys components, wires Input, assigns the event
//   handlers, calls Start and Stop, and receives every event (OnDone, OnProgress,
//   OnThreadException) through the hand-over queue of MainThread.h.
// - Each output's worker (TAuThread) runs PrepareOutput, OutputBlock and FinishOutput, and
//   so every OpenRead, PullData and CloseRead down its chain.
// - An input's data lock makes OpenRead, CloseRead and PullData mutually exclusive, so the
//   main thread may rewire a converter while a sink pulls through it. Locks are taken
//   downstream first, then upstream.
// - Flags read across threads are atomics; Position and Size are atomics so that the main
//   thread may read Progress while the worker runs.
//
// A concrete output must call Shutdown() first thing in its destructor: the worker calls the
// output's virtual functions, so it has to be stopped while the whole object still exists.
// For the same reason a concrete input calls NotifyRemoval() first in its destructor, so that
// an output still running on it is stopped while the input is whole. Better still, destroy
// outputs before their inputs.
#pragma once

#include "AuException.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bw {

class TAuInput;
class TAuOutput;
class TAuThread;

// Something that holds a TAuInput as its Input and must hear when that input goes away.
class TAuInputUser {
public:
    virtual void InputRemoved(TAuInput* input) = 0;

protected:
    ~TAuInputUser() = default;
};

// A source of interleaved little-endian PCM (8-bit unsigned, 16 or 24-bit signed).
class TAuInput {
public:
    TAuInput() = default;
    virtual ~TAuInput();
    TAuInput(const TAuInput&) = delete;
    TAuInput& operator=(const TAuInput&) = delete;

    virtual int GetBitsPerSample() = 0;
    virtual int GetChannels() = 0;
    virtual int GetSampleRate() = 0;
    virtual int GetTotalTime() { return 0; }             // whole seconds
    virtual std::int64_t GetTotalSamples() { return 0; } // frames
    // The channels' layout as WAV channel-mask bits (front left 1, front right 2, centre 4,
    // LFE 8, ...); 0 when the source names none (the usual layout for its count).
    virtual std::uint64_t GetChannelMask() { return 0; }

    int BitsPerSample() { return GetBitsPerSample(); }
    int Channels() { return GetChannels(); }
    int SampleRate() { return GetSampleRate(); }
    int TotalTime() { return GetTotalTime(); }
    std::int64_t TotalSamples() { return GetTotalSamples(); }

    // The pull protocol: Bytes holds the most the caller takes; on return Buffer points into
    // the source's own memory (valid until the next call) and Bytes holds what it handed
    // out. Bytes 0 means exhausted, and stays so until the next OpenRead.
    virtual void PullData(std::uint8_t*& Buffer, int& Bytes);
    // CloseRead ignoring any failure, then not Busy.
    virtual void ResetInput();
    virtual void PauseInput() {}
    virtual void ResumeInput() {}

    // Starts reading; never raises: a source that cannot start reports end of stream.
    void OpenRead();
    // Ends reading; a failure propagates (the lock is released all the same).
    void CloseRead();
    // One PullData of at most Count bytes, copied into Buffer; 0 at the end of input.
    int PullInto(void* Buffer, int Count);
    // PullInto until Count bytes are in or a call gives 0 (then EndOfInput is true).
    int PullExactly(void* Buffer, int Count, bool& EndOfInput);

    // The data lock, for subclasses and owners that must change wiring atomically.
    void Lock() { FDataLock.lock(); }
    void Unlock() { FDataLock.unlock(); }

    std::int64_t Position() const { return FPosition; }
    std::int64_t Size() const { return FSize; }
    std::uint16_t SampleSize() const { return FSampleSize; }
    bool Busy() const { return FBusy; }
    bool EndOfStream() const { return FEndOfStream; }

    // Users register themselves to hear of this input's destruction.
    void AddUser(TAuInputUser* user);
    void RemoveUser(TAuInputUser* user);

protected:
    virtual void DoOpenRead() = 0;
    virtual void DoCloseRead() = 0;
    virtual void ProduceData(std::uint8_t*& Buffer, int& Bytes) = 0;

    // Tells every user that this input is going away. The destructor does it; a subclass may
    // do it earlier in its own destructor.
    void NotifyRemoval();

    std::atomic<std::int64_t> FPosition{0}; // bytes handed out since OpenRead
    std::atomic<std::int64_t> FSize{0};     // bytes in all; -1 when unknown
    std::atomic<std::uint16_t> FSampleSize{0};
    std::atomic<bool> FBusy{false};
    std::int32_t FBufStart = 0; // cursors into the subclass's buffer; meaning is its own
    std::int32_t FBufEnd = 0;
    std::atomic<bool> FEndOfStream{false};
    std::recursive_mutex FDataLock;

private:
    std::vector<TAuInputUser*> FUsers; // main thread only
};

// A source that pulls from another source and transforms what it gets.
class TAuConverter : public TAuInput, protected TAuInputUser {
public:
    ~TAuConverter() override;

    TAuInput* Input() const { return FInput; }
    // Rewires atomically: when busy, closes the old input and opens the new one.
    virtual void SetInput(TAuInput* Value);

    void PullData(std::uint8_t*& Buffer, int& Bytes) override;
    void PauseInput() override;
    void ResumeInput() override;
    // The input's, while the channels pass through unchanged.
    std::uint64_t GetChannelMask() override;

protected:
    void InputRemoved(TAuInput* input) override;

    std::atomic<TAuInput*> FInput{nullptr};
};

using TOutputDoneEvent = std::function<void(TAuOutput* Sender)>;
using TOutputProgressEvent = std::function<void(TAuOutput* Sender)>;
using TThreadExceptionEvent = std::function<void(TAuOutput* Sender)>;

// What a done event waits for: the worker having finished a run. Shared so that a queued
// event may outlive the worker.
struct TWorkerSync {
    std::mutex Lock;
    std::condition_variable Changed;
    std::uint64_t RunsEnded = 0; // runs that reached their end (step 7)
    bool Exited = false;
};

// The worker of one output. Parked between runs; Start wakes it.
class TAuThread {
public:
    explicit TAuThread(TAuOutput& owner);
    ~TAuThread();
    TAuThread(const TAuThread&) = delete;
    TAuThread& operator=(const TAuThread&) = delete;

    std::string ErrorMessage; // written by the worker before it hands over to the main thread
    std::atomic<bool> NotifyDone{true};
    std::atomic<bool> Finished{false};
    std::atomic<bool> StopRequested{false};
    std::atomic<int> Delay{0};

    bool Suspended() const;
    // Parked, or done with its run.
    bool ParkedOrFinished() const;
    // Wakes any wait of the worker (Delay sleep, the pause before OnDone).
    void Interrupt();
    // Ends the thread; returns once it has exited.
    void Terminate();
    const std::shared_ptr<TWorkerSync>& Sync() const { return FSync; }

private:
    friend class TAuOutput;
    enum class TState { Parked, Waking, Running };

    void Execute();
    void RunOnce();
    // Start's part: throws when busy; wakes a parked worker, or asks a finishing one to run
    // again; does nothing for a worker that is waking up.
    void StartRun();
    void PostDone();
    void ReportFailure(const char* what);

    TAuOutput& FOwner;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    TState FState = TState::Parked;
    bool FRunAgain = false;
    bool FTerminated = false;
    std::uint64_t FRun = 0; // worker only
    std::shared_ptr<TWorkerSync> FSync = std::make_shared<TWorkerSync>();
    std::thread FThread; // last: starts after everything above exists
};

// A sink: drives its chain from its own worker thread.
class TAuOutput : protected TAuInputUser {
public:
    TAuOutput();
    virtual ~TAuOutput();
    TAuOutput(const TAuOutput&) = delete;
    TAuOutput& operator=(const TAuOutput&) = delete;

    // Begins a run. Throws EAuException "Component is Busy" or "Input is not assigned".
    void Start();
    // Ends a run. Async: returns at once and OnDone follows as usual. Otherwise (main thread
    // only) waits for the worker, running main-thread hand-overs meanwhile, and no OnDone is
    // delivered for the run. Called from the output's own OnThreadException, a synchronous
    // stop cannot wait (the worker waits for that handler); it returns at once, and the run
    // still ends without OnDone. An output must not be destroyed inside its own
    // OnThreadException.
    void Stop(bool Async);

    // Percentage done: 0 without input or with an empty one, -1 when the size is unknown.
    int Progress() const;
    int Delay() const { return FThread->Delay; }
    // Values above 100 ms are ignored.
    void SetDelay(int Value);

    bool Busy() const { return FBusy; }
    bool Stopped() const { return FStopped; }
    bool CanOutput() const { return FCanOutput; }
    const std::string& ExceptionMessage() const { return FExceptionMessage; }

    TAuInput* Input() const { return FInput; }
    // When busy: stop synchronously, rewire, start again.
    virtual void SetInput(TAuInput* Value);

    void SetOnDone(TOutputDoneEvent handler);
    void SetOnProgress(TOutputProgressEvent handler);
    void SetOnThreadException(TThreadExceptionEvent handler);
    const TOutputDoneEvent& OnDone() const { return FOnDone; }
    const TOutputProgressEvent& OnProgress() const { return FOnProgress; }
    const TThreadExceptionEvent& OnThreadException() const { return FOnThreadException; }

    TAuThread& Thread() { return *FThread; }

    // The pause between the end of a run and its OnDone (300 ms). Tests shorten it.
    static void SetDoneDelay(std::chrono::milliseconds delay);
    static std::chrono::milliseconds DoneDelay();

protected:
    // Worker thread: process one block; false when the run is complete. Abort asks to end now.
    virtual bool OutputBlock(bool Abort) = 0;
    // Worker thread: complete and close what PrepareOutput opened, then CloseRead the input.
    virtual void FinishOutput() = 0;
    // Worker thread: open the destination, OpenRead the input, write any header.
    virtual void PrepareOutput() = 0;

    // Stops any run and ends the worker. Idempotent; concrete outputs call it first in their
    // destructor.
    void Shutdown();

    void InputRemoved(TAuInput* input) override;

    std::atomic<bool> FStopped{false};
    std::atomic<bool> FCanOutput{false};
    std::atomic<bool> FBusy{false};

private:
    friend class TAuThread;

    void HandleException(); // main thread
    void WhenDone();        // worker

    std::string FExceptionMessage;
    std::atomic<int> FCurrentProgress{0};
    std::atomic<TAuInput*> FInput{nullptr};
    TOutputDoneEvent FOnDone;
    TOutputProgressEvent FOnProgress;
    TThreadExceptionEvent FOnThreadException;
    std::atomic<bool> FHasOnDone{false};
    std::atomic<bool> FHasOnProgress{false};
    std::unique_ptr<TAuThread> FThread;
    bool FShutDown = false;
    bool FInExceptionHandler = false; // main thread: inside OnThreadException
};

} // namespace bw
