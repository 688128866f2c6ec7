#include "AuComponents.h"

#include "EventHandler.h"
#include "MainThread.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace bw {

// ---------------------------------------------------------------------------------------
// TAuInput

TAuInput::~TAuInput() {
    NotifyRemoval();
}

void TAuInput::NotifyRemoval() {
    // A user's handler removes itself from the list; work on a copy.
    auto users = std::move(FUsers);
    FUsers.clear();
    for (TAuInputUser* user : users)
        user->InputRemoved(this);
}

void TAuInput::AddUser(TAuInputUser* user) {
    if (std::find(FUsers.begin(), FUsers.end(), user) == FUsers.end()) FUsers.push_back(user);
}

void TAuInput::RemoveUser(TAuInputUser* user) {
    std::erase(FUsers, user);
}

void TAuInput::PullData(std::uint8_t*& Buffer, int& Bytes) {
    std::lock_guard lock(FDataLock);
    ProduceData(Buffer, Bytes);
}

void TAuInput::ResetInput() {
    try {
        CloseRead();
    } catch (...) {
        // A forced reset must succeed whatever state the source was in.
    }
    FBusy = false;
}

void TAuInput::OpenRead() {
    std::lock_guard lock(FDataLock);
    FEndOfStream = false;
    try {
        DoOpenRead();
    } catch (...) {
        // A source that cannot start simply has nothing to give.
        FEndOfStream = true;
    }
}

void TAuInput::CloseRead() {
    std::lock_guard lock(FDataLock);
    DoCloseRead();
}

int TAuInput::PullInto(void* Buffer, int Count) {
    if (Count <= 0) return 0;
    std::uint8_t* data = nullptr;
    int bytes = Count;
    PullData(data, bytes);
    // Never trust a source to stay within the request: the caller's buffer is only Count long.
    bytes = std::clamp(bytes, 0, Count);
    if (bytes > 0 && data) std::memcpy(Buffer, data, static_cast<std::size_t>(bytes));
    return data ? bytes : 0;
}

int TAuInput::PullExactly(void* Buffer, int Count, bool& EndOfInput) {
    EndOfInput = Count <= 0;
    int filled = 0;
    auto* out = static_cast<std::uint8_t*>(Buffer);
    while (filled < Count) {
        int got = PullInto(out + filled, Count - filled);
        if (got == 0) {
            EndOfInput = true;
            break;
        }
        filled += got;
    }
    return filled;
}

// ---------------------------------------------------------------------------------------
// TAuConverter

TAuConverter::~TAuConverter() {
    if (TAuInput* input = FInput) input->RemoveUser(this);
}

void TAuConverter::SetInput(TAuInput* Value) {
    if (Value == this) return;
    std::lock_guard lock(FDataLock);
    TAuInput* old = FInput;
    if (Busy()) {
        if (old) old->CloseRead();
        if (Value) Value->OpenRead();
    }
    FInput = Value;
    if (old && old != Value) old->RemoveUser(this);
    if (Value) Value->AddUser(this);
}

void TAuConverter::PullData(std::uint8_t*& Buffer, int& Bytes) {
    std::lock_guard lock(FDataLock);
    if (FEndOfStream) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    ProduceData(Buffer, Bytes);
    FPosition += Bytes;
    if (Bytes == 0) {
        FEndOfStream = true;
        Buffer = nullptr;
    }
}

std::uint64_t TAuConverter::GetChannelMask() {
    TAuInput* input = FInput;
    return input && input->Channels() == Channels() ? input->GetChannelMask() : 0;
}

void TAuConverter::PauseInput() {
    if (TAuInput* input = FInput) input->PauseInput();
}

void TAuConverter::ResumeInput() {
    if (TAuInput* input = FInput) input->ResumeInput();
}

void TAuConverter::InputRemoved(TAuInput* input) {
    // The input is being destroyed: it can no longer be closed, only forgotten.
    std::lock_guard lock(FDataLock);
    if (input == FInput) FInput = nullptr;
}

// ---------------------------------------------------------------------------------------
// TAuThread

namespace {
std::atomic<int> DoneDelayMs{300};
constexpr auto Forever = std::chrono::hours(24 * 365);
} // namespace

TAuThread::TAuThread(TAuOutput& owner) : FOwner(owner), FThread([this] { Execute(); }) {}

TAuThread::~TAuThread() {
    Terminate();
}

bool TAuThread::Suspended() const {
    std::lock_guard lock(FLock);
    return FState == TState::Parked;
}

bool TAuThread::ParkedOrFinished() const {
    std::lock_guard lock(FLock);
    return FState == TState::Parked || Finished;
}

void TAuThread::Interrupt() {
    { std::lock_guard lock(FLock); }
    FWake.notify_all();
}

void TAuThread::Terminate() {
    {
        std::lock_guard lock(FLock);
        FTerminated = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TAuThread::StartRun() {
    std::lock_guard lock(FLock);
    if (FOwner.FBusy) throw EAuException("Component is Busy");
    if (!FOwner.FInput.load()) throw EAuException("Input is not assigned");
    // A stop that arrived while no run was going on must not end the new one; a stop that
    // comes after this point must (even before PrepareOutput has returned).
    StopRequested = false;
    NotifyDone = true;
    switch (FState) {
    case TState::Parked:
        FState = TState::Waking;
        FWake.notify_all();
        break;
    case TState::Waking: // the run it is waking for has not begun yet
        break;
    case TState::Running: // past its run (not busy) but not parked yet: go round once more
        FRunAgain = true;
        break;
    }
}

void TAuThread::Execute() {
    std::uint64_t run = 0;
    for (;;) {
        {
            std::unique_lock lock(FLock);
            FWake.wait(lock, [&] { return FTerminated || FState != TState::Parked; });
            if (FTerminated) break;
        }
        ++run;
        FRun = run;
        RunOnce();
        Finished = true;
        {
            std::lock_guard syncLock(FSync->Lock);
            FSync->RunsEnded = run;
        }
        FSync->Changed.notify_all();
        {
            std::lock_guard lock(FLock);
            if (FTerminated) break;
            FState = FRunAgain ? TState::Waking : TState::Parked;
            FRunAgain = false;
        }
        NotifyMainThread();
    }
    {
        std::lock_guard lock(FLock);
        FState = TState::Parked;
    }
    {
        std::lock_guard syncLock(FSync->Lock);
        FSync->Exited = true;
    }
    FSync->Changed.notify_all();
    NotifyMainThread();
}

void TAuThread::ReportFailure(const char* what) {
    ErrorMessage = what;
    try {
        RunOnMainThread([this] { FOwner.HandleException(); }, this);
    } catch (...) {
        // The handler's own failure has already surfaced on the main thread, which ran it.
    }
}

void TAuThread::RunOnce() {
    {
        std::lock_guard lock(FLock);
        FState = TState::Running;
        FOwner.FBusy = true;
    }
    std::string failure;
    bool failed = false;
    try {
        FOwner.PrepareOutput();
        FOwner.FCanOutput = true;
        bool goOn = true;
        while (!StopRequested && goOn) {
            int delay = Delay;
            if (delay > 5) {
                std::unique_lock lock(FLock);
                FWake.wait_for(lock, std::chrono::milliseconds(delay),
                               [&] { return StopRequested || FTerminated; });
            }
            int progress = FOwner.Progress();
            if (progress != FOwner.FCurrentProgress) {
                FOwner.FCurrentProgress = progress;
                if (FOwner.FHasOnProgress)
                    TEventHandler::PostNonBlockingEvent(&FOwner, &TAuOutput::OnProgress);
            }
            goOn = FOwner.OutputBlock(StopRequested);
        }
    } catch (const std::exception& e) {
        failed = true;
        failure = e.what();
    } catch (...) {
        failed = true;
        failure = "Unknown error";
    }
    if (failed) ReportFailure(failure.c_str());
    StopRequested = false;
    try {
        FOwner.WhenDone();
    } catch (const std::exception& e) {
        // Closing the destination can fail too (a full disk); report it like any failure.
        ReportFailure(e.what());
    } catch (...) {
        ReportFailure("Unknown error");
    }
    FOwner.FStopped = false;
    if (NotifyDone && FOwner.FHasOnDone) PostDone();
}

void TAuThread::PostDone() {
    {
        std::unique_lock lock(FLock);
        FWake.wait_for(lock, TAuOutput::DoneDelay(), [&] { return !NotifyDone || FTerminated; });
    }
    // A synchronous stop that came meanwhile wants no OnDone.
    if (NotifyDone) TEventHandler::PostBlockingEvent(&FOwner, FSync, FRun, &TAuOutput::OnDone);
}

// ---------------------------------------------------------------------------------------
// TAuOutput

TAuOutput::TAuOutput() {
    TEventHandler::AddRef();
    TEventHandler::Register(this);
    FThread = std::make_unique<TAuThread>(*this);
}

TAuOutput::~TAuOutput() {
    Shutdown();
}

void TAuOutput::Shutdown() {
    if (FShutDown) return;
    FShutDown = true;
    Stop(false);
    FThread->Terminate();
    TEventHandler::Unregister(this);
    if (TAuInput* input = FInput) input->RemoveUser(this);
    FInput = nullptr;
    TEventHandler::Release();
}

void TAuOutput::SetDoneDelay(std::chrono::milliseconds delay) {
    DoneDelayMs = static_cast<int>(delay.count());
}

std::chrono::milliseconds TAuOutput::DoneDelay() {
    return std::chrono::milliseconds(DoneDelayMs);
}

void TAuOutput::Start() {
    FExceptionMessage.clear();
    FThread->StartRun();
}

void TAuOutput::Stop(bool Async) {
    TAuThread& worker = *FThread;
    FStopped = true;
    worker.NotifyDone = Async;
    worker.Finished = false;
    worker.StopRequested = true;
    worker.Interrupt();
    if (Async) return;

    TEventHandler::BlockSender(this);
    if (FInExceptionHandler) {
        // The worker waits for the handler we are in. NotifyDone stays false, so the run
        // ends without OnDone; the next Start restores it.
        TEventHandler::UnblockSender(this);
        return;
    }
    // Undone on every way out: a failure handler run by the pump below may throw.
    struct TUnblock {
        TAuOutput* Output;
        ~TUnblock() {
            TEventHandler::UnblockSender(Output);
            Output->FThread->NotifyDone = true;
        }
    } unblock{this};
    auto parked = [&] { return worker.ParkedOrFinished(); };
    if (IsMainThread()) {
        // The worker may be waiting for a main-thread hand-over (its failure report). Only
        // its own calls run here: other outputs' handlers could destroy this very output.
        PumpMainThreadUntil(parked, Forever, &worker);
    } else {
        TWorkerSync& sync = *worker.Sync();
        std::unique_lock lock(sync.Lock);
        sync.Changed.wait(lock, [&] { return parked() || sync.Exited; });
    }
}

int TAuOutput::Progress() const {
    TAuInput* input = FInput;
    if (!input) return 0;
    std::int64_t size = input->Size();
    if (size == -1) return -1;
    if (size == 0) return 0;
    // lrint rounds to nearest with halves to even in the default rounding mode.
    return static_cast<int>(
        std::lrint(static_cast<double>(input->Position()) * 100.0 / static_cast<double>(size)));
}

void TAuOutput::SetDelay(int Value) {
    if (Value <= 100) FThread->Delay = Value;
}

void TAuOutput::SetInput(TAuInput* Value) {
    TAuInput* old = FInput;
    bool restart = FBusy;
    if (restart) Stop(false);
    FInput = Value;
    if (old && old != Value) old->RemoveUser(this);
    if (Value) Value->AddUser(this);
    // Rewiring to nothing stops the output; there is nothing to start again on.
    if (restart && Value) Start();
}

void TAuOutput::InputRemoved(TAuInput* input) {
    if (input == FInput) SetInput(nullptr);
}

void TAuOutput::SetOnDone(TOutputDoneEvent handler) {
    FOnDone = std::move(handler);
    FHasOnDone = static_cast<bool>(FOnDone);
}

void TAuOutput::SetOnProgress(TOutputProgressEvent handler) {
    FOnProgress = std::move(handler);
    FHasOnProgress = static_cast<bool>(FOnProgress);
}

void TAuOutput::SetOnThreadException(TThreadExceptionEvent handler) {
    FOnThreadException = std::move(handler);
}

void TAuOutput::HandleException() {
    FCanOutput = false;
    FBusy = false;
    FExceptionMessage = FThread->ErrorMessage;
    // An output being destroyed tells nobody: its owner is taking it apart.
    if (FOnThreadException && !FShutDown) {
        auto handler = FOnThreadException;
        FInExceptionHandler = true;
        struct TLeave {
            bool& Flag;
            ~TLeave() { Flag = false; }
        } leave{FInExceptionHandler};
        handler(this);
    }
}

void TAuOutput::WhenDone() {
    if (!FBusy) return;
    FCanOutput = false;
    FinishOutput();
    FStopped = false;
    FBusy = false;
}

} // namespace bw
