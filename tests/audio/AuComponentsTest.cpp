#include "AuTestComponents.h"
#include "EventHandler.h"
#include "MainThread.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace bw;
using namespace bwtest;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 20s;

bool PumpUntil(const std::function<bool()>& done) {
    return PumpMainThreadUntil(done, Patience);
}

// Records the events of one output in the order the main thread sees them.
struct TEventLog {
    std::vector<std::string> Events;
    std::vector<int> Progress;
    int Done = 0;

    void Attach(TAuOutput& out) {
        out.SetOnDone([this](TAuOutput*) {
            EXPECT_TRUE(IsMainThread());
            Events.push_back("done");
            ++Done;
        });
        out.SetOnProgress([this](TAuOutput* s) {
            EXPECT_TRUE(IsMainThread());
            Progress.push_back(s->Progress());
        });
        out.SetOnThreadException([this](TAuOutput* s) {
            EXPECT_TRUE(IsMainThread());
            Events.push_back("exception:" + s->ExceptionMessage());
        });
    }
};

// Makes every block fail with "broken", opening `reached` first.
void FailEveryBlock(TCollectOutput& out, TGate& reached) {
    out.OnBlock = [&reached] {
        reached.Open();
        throw EAuException("broken");
    };
}

// A source wired into a collecting output whose events are logged.
struct TRig {
    TRig(std::vector<std::uint8_t> data, int chunk) : Source(std::move(data), chunk) {
        Out.SetInput(&Source);
        Log.Attach(Out);
    }
    TMemorySource Source;
    TCollectOutput Out;
    TEventLog Log;
};

class AuOutputTest : public ::testing::Test {
protected:
    void SetUp() override { TAuOutput::SetDoneDelay(5ms); }
    void TearDown() override {
        TAuOutput::SetDoneDelay(300ms);
        // Nothing may be left for a later test to deliver.
        RunPendingMainThreadCalls();
    }
};

} // namespace

TEST(AuInput, PullExactlyFillsAcrossShortBlocksAndReportsTheEnd) {
    TMemorySource src(Ramp(1000), 7);
    src.OpenRead();
    std::vector<std::uint8_t> buf(600);
    bool end = false;
    EXPECT_EQ(src.PullExactly(buf.data(), 0, end), 0);
    EXPECT_TRUE(end);
    EXPECT_EQ(src.PullExactly(buf.data(), 600, end), 600);
    EXPECT_FALSE(end);
    auto ramp = Ramp(1000);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), ramp.begin()));
    EXPECT_EQ(src.PullExactly(buf.data(), 600, end), 400);
    EXPECT_TRUE(end);
    EXPECT_EQ(src.PullInto(buf.data(), 10), 0);
    EXPECT_EQ(src.Position(), 1000);
}

TEST(AuInput, OpenReadSwallowsAFailedStartAndCloseReadReleasesTheLockOnFailure) {
    TMemorySource src(Ramp(10));
    src.OnOpen = [] { throw EAuException("cannot open"); };
    src.OpenRead();
    EXPECT_TRUE(src.EndOfStream());

    src.OnOpen = nullptr;
    src.OpenRead();
    EXPECT_FALSE(src.EndOfStream());
    src.OnClose = [] { throw EAuException("close failed"); };
    EXPECT_THROW(src.CloseRead(), EAuException);
    // The data lock must be free for another thread.
    bool locked = false;
    std::thread([&] {
        src.Lock();
        locked = true;
        src.Unlock();
    }).join();
    EXPECT_TRUE(locked);
    src.ResetInput(); // swallows the same failure
    EXPECT_FALSE(src.Busy());
}

TEST(AuConverter, EndOfStreamSticksUntilReopenedAndSelfInputIsIgnored) {
    TMemorySource src(Ramp(100), 30);
    TPassConverter conv;
    conv.SetInput(&conv);
    EXPECT_EQ(conv.Input(), nullptr);
    conv.SetInput(&src);
    conv.OpenRead();
    std::vector<std::uint8_t> buf(100);
    bool end = false;
    EXPECT_EQ(conv.PullExactly(buf.data(), 100, end), 100);
    EXPECT_EQ(conv.Position(), 100);
    std::uint8_t* p = buf.data();
    int n = 50;
    conv.PullData(p, n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(p, nullptr);
    EXPECT_TRUE(conv.EndOfStream());
    conv.CloseRead();
    conv.OpenRead();
    EXPECT_EQ(conv.PullExactly(buf.data(), 100, end), 100);
    conv.CloseRead();
}

TEST(AuConverter, DestroyedInputUnwiresItsUsers) {
    TPassConverter conv;
    {
        TMemorySource src(Ramp(10));
        conv.SetInput(&src);
    }
    EXPECT_EQ(conv.Input(), nullptr);
}

TEST_F(AuOutputTest, RunDeliversEveryByteProgressAndOneDone) {
    auto data = Ramp(100000);
    TMemorySource src(data, 333);
    TCollectOutput out;
    TEventLog log;
    log.Attach(out);
    out.SetInput(&src);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Data, data);
    EXPECT_EQ(out.Prepares, 1);
    EXPECT_EQ(out.Finishes, 1);
    EXPECT_FALSE(out.FinishSawStopped);
    EXPECT_EQ(out.ExceptionMessage(), "");
    EXPECT_FALSE(out.Busy());
    ASSERT_FALSE(log.Progress.empty());
    EXPECT_TRUE(std::is_sorted(log.Progress.begin(), log.Progress.end()));
    EXPECT_EQ(log.Progress.back(), 100);
    EXPECT_LE(log.Progress.size(), 101u);
    EXPECT_EQ(src.Closes, 1);
}

TEST_F(AuOutputTest, StartRefusesWithoutInputAndWhileBusy) {
    TCollectOutput out;
    try {
        out.Start();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned");
    }
    TMemorySource src(Ramp(5000), 100);
    TGate gate;
    out.OnBlock = [&] { gate.Wait(); };
    out.SetInput(&src);
    TEventLog log;
    log.Attach(out);
    out.Start();
    gate.WaitForArrival(); // the worker has taken up the run
    try {
        out.Start();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "Component is Busy");
    }
    gate.Open();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Prepares, 1);
}

TEST_F(AuOutputTest, StartFromOnDoneRunsAgain) {
    auto data = Ramp(20000);
    TMemorySource src(data, 500);
    TCollectOutput out;
    out.SetInput(&src);
    int runs = 0;
    out.SetOnDone([&](TAuOutput* s) {
        EXPECT_EQ(out.Data, data);
        if (++runs < 3) s->Start();
    });
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return runs == 3; }));
    EXPECT_EQ(out.Prepares, 3);
    EXPECT_EQ(out.Finishes, 3);
}

TEST_F(AuOutputTest, ProgressFollowsTheInputSize) {
    TMemorySource src(Ramp(40000), 400);
    TCollectOutput out;
    EXPECT_EQ(out.Progress(), 0); // no input
    out.SetInput(&src);
    TEventLog log;
    log.Attach(out);

    src.SetReportedSize(-1);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    // -1 from the first block on: one event for the change from the kept 0, no more.
    EXPECT_EQ(log.Progress, std::vector<int>{-1});

    src.SetReportedSize(0);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 2; }));
    EXPECT_EQ(log.Progress, (std::vector<int>{-1, 0}));

    // A run starting where the last one left off posts nothing for an unchanged value.
    src.SetReportedSize(0);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 3; }));
    EXPECT_EQ(log.Progress.size(), 2u);
}

TEST_F(AuOutputTest, ProgressRoundsHalvesToEven) {
    TMemorySource src(Ramp(10));
    TCollectOutput out;
    out.SetInput(&src);
    src.SetReportedSize(200);
    src.OpenRead();
    struct {
        std::int64_t Position;
        int Expected;
    } cases[] = {{5, 2}, {7, 4}, {1, 0}, {3, 2}, {199, 100}, {200, 100}, {0, 0}};
    for (auto c : cases) {
        src.SetPosition(c.Position);
        EXPECT_EQ(out.Progress(), c.Expected) << c.Position << "/200";
    }
    src.CloseRead();
}

TEST_F(AuOutputTest, FailuresReportExceptionThenDoneAndSkipFinish) {
    struct TCase {
        const char* Name;
        bool InPrepare;
    } cases[] = {{"prepare", true}, {"block", false}};
    for (auto c : cases) {
        SCOPED_TRACE(c.Name);
        TMemorySource src(Ramp(5000), 100);
        TCollectOutput out;
        out.SetInput(&src);
        TEventLog log;
        log.Attach(out);
        auto fail = [] { throw EAuException("Disk is on fire"); };
        if (c.InPrepare)
            out.OnPrepare = fail;
        else
            out.OnBlock = fail;
        out.Start();
        ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
        EXPECT_EQ(log.Events, (std::vector<std::string>{"exception:Disk is on fire", "done"}));
        EXPECT_EQ(out.ExceptionMessage(), "Disk is on fire");
        EXPECT_EQ(out.Finishes, 0);
        EXPECT_FALSE(out.Busy());
        EXPECT_FALSE(out.CanOutput());

        // A new run clears the message.
        out.OnPrepare = nullptr;
        out.OnBlock = nullptr;
        out.Start();
        ASSERT_TRUE(PumpUntil([&] { return log.Done == 2; }));
        EXPECT_EQ(out.ExceptionMessage(), "");
    }
}

TEST_F(AuOutputTest, FailureToFinishIsReportedToo) {
    TRig rig(Ramp(500), 100);
    auto& [src, out, log] = rig;
    out.OnFinish = [] { throw std::runtime_error("No space left on device"); };
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"exception:No space left on device", "done"}));
    EXPECT_FALSE(out.Busy());
}

TEST_F(AuOutputTest, StopBothWays) {
    TRig rig(Ramp(1 << 20), 64);
    auto& [src, out, log] = rig;
    out.Block = 64;

    // Idle: returns at once, no OnDone.
    out.Stop(false);
    EXPECT_FALSE(PumpMainThreadUntil([&] { return log.Done > 0; }, 100ms));

    // Asynchronous: the run winds up and OnDone follows.
    TGate gate;
    out.OnBlock = [&] { gate.Wait(); };
    out.Start();
    gate.WaitForArrival();
    out.Stop(true);
    gate.Open();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_TRUE(out.FinishSawStopped);
    EXPECT_FALSE(out.Stopped());
    EXPECT_LT(out.Data.size(), 1u << 20);

    // Synchronous: FinishOutput runs, no OnDone ever comes.
    TGate gate2;
    out.OnBlock = [&] { gate2.Wait(); };
    out.Start();
    gate2.WaitForArrival();
    std::thread opener([&] {
        std::this_thread::sleep_for(20ms);
        gate2.Open();
    });
    out.Stop(false);
    opener.join();
    EXPECT_FALSE(out.Busy());
    EXPECT_EQ(out.Finishes, 2);
    EXPECT_FALSE(PumpMainThreadUntil([&] { return log.Done > 1; }, 200ms));
}

TEST_F(AuOutputTest, SynchronousStopRunsTheWorkersHandOver) {
    TRig rig(Ramp(5000), 100);
    auto& [src, out, log] = rig;
    TGate thrown;
    FailEveryBlock(out, thrown);
    out.Start();
    // Let the worker get stuck waiting for its failure report on the main thread, which
    // does not pump until Stop does.
    thrown.Wait();
    out.Stop(false);
    EXPECT_EQ(log.Events, std::vector<std::string>{"exception:broken"});
    EXPECT_EQ(out.ExceptionMessage(), "broken");
    EXPECT_FALSE(PumpMainThreadUntil([&] { return log.Done > 0; }, 100ms));
}

TEST_F(AuOutputTest, StopRightAfterStartEndsTheRun) {
    TMemorySource src(Ramp(1 << 22), 64);
    TCollectOutput out;
    out.Block = 64;
    out.SetInput(&src);
    TGate gate;
    out.OnPrepare = [&] { gate.Wait(); };
    out.Start();
    gate.WaitForArrival();
    std::thread opener([&] {
        std::this_thread::sleep_for(20ms);
        gate.Open();
    });
    out.Stop(false); // must not wait for the whole input
    opener.join();
    EXPECT_LT(out.Data.size(), 1u << 22);
    EXPECT_EQ(out.Finishes, 1);
}

TEST_F(AuOutputTest, StartRightAfterSynchronousStopIsNotLost) {
    auto data = Ramp(3000);
    TRig rig(data, 100);
    auto& [src, out, log] = rig;
    for (int i = 0; i < 20; ++i) {
        out.Start();
        out.Stop(false);
    }
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Data, data);
}

TEST_F(AuOutputTest, DelayAbove100IsIgnored) {
    TCollectOutput out;
    EXPECT_EQ(out.Delay(), 0);
    out.SetDelay(11);
    EXPECT_EQ(out.Delay(), 11);
    out.SetDelay(101);
    EXPECT_EQ(out.Delay(), 11);
    out.SetDelay(100);
    EXPECT_EQ(out.Delay(), 100);
}

TEST_F(AuOutputTest, DelayedRunStillCompletes) {
    auto data = Ramp(5000);
    TMemorySource src(data, 1000);
    TCollectOutput out;
    out.SetInput(&src);
    out.SetDelay(6);
    TEventLog log;
    log.Attach(out);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Data, data);
}

TEST_F(AuOutputTest, ConverterRewiredWhileItsSinkRuns) {
    auto a = Ramp(50000);
    std::vector<std::uint8_t> b(50000, 0xEE);
    TMemorySource srcA(a, 100), srcB(b, 100);
    TPassConverter conv;
    conv.SetInput(&srcA);
    TCollectOutput out;
    out.Block = 100;
    out.SetInput(&conv);
    TEventLog log;
    log.Attach(out);
    TGate halfway;
    TGate resume;
    std::atomic<int> blocks{0};
    out.OnBlock = [&] {
        if (++blocks == 101) {
            halfway.Open();
            resume.Wait();
        }
    };
    out.Start();
    halfway.Wait();
    conv.SetInput(&srcB);
    EXPECT_EQ(srcA.Closes, 1);
    EXPECT_EQ(srcB.Opens, 1);
    resume.Open();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    ASSERT_EQ(out.Data.size(), 10000u + 50000u);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 10000, out.Data.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), out.Data.begin() + 10000));
}

TEST_F(AuOutputTest, SetInputOnABusyOutputRestartsOnTheNewInput) {
    auto b = Ramp(3000);
    TMemorySource srcA(Ramp(1 << 22), 64), srcB(b, 100);
    TCollectOutput out;
    out.Block = 64;
    out.SetInput(&srcA);
    TEventLog log;
    log.Attach(out);
    // The first run holds at its first block until the rewiring has asked it to stop, so
    // it cannot finish on its own first however the threads are scheduled.
    TGate started;
    std::atomic<bool> held{false};
    out.OnBlock = [&] {
        if (held.exchange(true)) return;
        started.Open();
        for (int i = 0; i < 10000 && !out.Thread().StopRequested; ++i)
            std::this_thread::sleep_for(1ms);
    };
    out.Start();
    started.Wait();
    out.SetInput(&srcB);
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Prepares, 2);
    EXPECT_EQ(out.Data, b);
}

TEST_F(AuOutputTest, DestroyingARunningOutputStopsItAndDeliversNothingAfter) {
    TMemorySource src(Ramp(1 << 22), 64);
    int events = 0;
    {
        TGate started; // outlives the output, whose worker opens it
        TCollectOutput out;
        out.Block = 64;
        out.SetInput(&src);
        out.SetOnDone([&](TAuOutput*) { ++events; });
        out.SetOnProgress([&](TAuOutput*) { ++events; });
        out.OnBlock = [&] { started.Open(); };
        out.Start();
        started.Wait();
    }
    int before = events;
    PumpMainThreadUntil([] { return false; }, 100ms);
    EXPECT_EQ(events, before);
    EXPECT_FALSE(TEventHandler::Running());
    EXPECT_FALSE(src.Busy()); // FinishOutput closed it
}

TEST_F(AuOutputTest, AnOutputMayBeDestroyedInItsOwnOnDone) {
    TMemorySource src(Ramp(1000), 100);
    auto out = std::make_unique<TCollectOutput>();
    out->SetInput(&src);
    bool done = false;
    out->SetOnDone([&](TAuOutput*) {
        out.reset(); // the last output: the dispatcher ends after this handler
        done = true;
    });
    out->Start();
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_FALSE(TEventHandler::Running());
    // And a new one works at once.
    TCollectOutput again;
    again.SetInput(&src);
    TEventLog log;
    log.Attach(again);
    again.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
}

TEST_F(AuOutputTest, TheDoneEventWaitsForTheDelay) {
    TAuOutput::SetDoneDelay(300ms);
    TRig rig(Ramp(100), 100);
    auto& [src, out, log] = rig;
    auto t0 = std::chrono::steady_clock::now();
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 300ms);
}

TEST_F(AuOutputTest, WakeHookIsCalledForEveryHandOver) {
    std::atomic<int> wakes{0};
    SetMainThreadWakeHook([&] {
        ++wakes;
        NotifyMainThread();
    });
    TRig rig(Ramp(100), 100);
    auto& [src, out, log] = rig;
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    // One progress and the done event; the dispatcher calls the hook after queueing, so the
    // second call may come just after the pump ran the event.
    EXPECT_TRUE(PumpUntil([&] { return wakes >= 2; }));
    SetMainThreadWakeHook(nullptr);
}

TEST_F(AuOutputTest, SecondStartEitherRefusesOrRunsOnceMore) {
    auto data = Ramp(1 << 20);
    TRig rig(data, 64);
    auto& [src, out, log] = rig;
    out.Block = 64;
    for (int i = 1; i <= 10; ++i) {
        out.Start();
        try {
            out.Start(); // refused while busy; a further run when the first has just ended
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), "Component is Busy");
        }
        // Every run that began ends with exactly one done event and the whole input.
        ASSERT_TRUE(
            PumpUntil([&] { return out.Thread().Suspended() && log.Done == out.Prepares; }));
        EXPECT_EQ(out.Data, data);
    }
    EXPECT_GE(out.Prepares, 10);
}

TEST_F(AuOutputTest, OnDoneComesAfterTheRunHasWoundUp) {
    TMemorySource src(Ramp(10000), 100);
    TCollectOutput out;
    out.SetInput(&src);
    bool checked = false;
    out.SetOnDone([&](TAuOutput* s) {
        EXPECT_TRUE(s->Thread().Finished);
        EXPECT_FALSE(s->Busy());
        EXPECT_EQ(out.Finishes, 1);
        checked = true;
    });
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return checked; }));
}

TEST_F(AuOutputTest, AStopWhileIdleDoesNotCutTheNextRunShort) {
    auto data = Ramp(30000);
    TRig rig(data, 100);
    auto& [src, out, log] = rig;
    out.Stop(true);
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_EQ(out.Data, data);
}

TEST_F(AuOutputTest, DestroyedWhileItsFailureWaitsForTheMainThread) {
    TMemorySource src(Ramp(5000), 100);
    int reports = 0;
    TGate thrown;
    {
        TCollectOutput out;
        out.SetInput(&src);
        out.SetOnThreadException([&](TAuOutput*) { ++reports; });
        out.SetOnDone([&](TAuOutput*) { ++reports; });
        FailEveryBlock(out, thrown);
        out.Start();
        thrown.Wait();
    } // must not hang on the worker's pending report
    PumpMainThreadUntil([] { return false; }, 50ms);
    EXPECT_EQ(reports, 0);
}

TEST_F(AuOutputTest, TheDispatcherLivesWhileAnyOutputDoes) {
    EXPECT_FALSE(TEventHandler::Running());
    auto a = std::make_unique<TCollectOutput>();
    EXPECT_TRUE(TEventHandler::Running());
    auto b = std::make_unique<TCollectOutput>();
    a.reset();
    EXPECT_TRUE(TEventHandler::Running());
    b.reset();
    EXPECT_FALSE(TEventHandler::Running());
}

TEST_F(AuOutputTest, SynchronousStopFromItsOwnFailureHandler) {
    TRig rig(Ramp(5000), 100);
    auto& [src, out, log] = rig;
    out.OnBlock = [] { throw EAuException("broken"); };
    bool stopped = false;
    out.SetOnThreadException([&](TAuOutput* s) {
        s->Stop(false); // must not wait for the worker that waits for us
        stopped = true;
    });
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return stopped && out.Thread().Suspended(); }));
    EXPECT_FALSE(PumpMainThreadUntil([&] { return log.Done > 0; }, 100ms));
    // The next run reports as usual.
    out.OnBlock = nullptr;
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
}

TEST_F(AuOutputTest, AThrowingHandlerReachesThePumpAndLeavesTheOutputUsable) {
    TRig rig(Ramp(5000), 100);
    auto& [src, out, log] = rig;
    TGate thrown;
    FailEveryBlock(out, thrown);
    out.SetOnThreadException([](TAuOutput*) { throw std::runtime_error("handler failed"); });
    out.Start();
    thrown.Wait();
    EXPECT_THROW(out.Stop(false), std::runtime_error);
    out.Stop(false); // the run winds up
    EXPECT_FALSE(out.Busy());
    // Not left blocked: the next run's OnDone arrives.
    out.OnBlock = nullptr;
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
}

TEST_F(AuOutputTest, ASourceThatCannotOpenGivesAnEmptyRun) {
    TRig rig(Ramp(5000), 100);
    auto& [src, out, log] = rig;
    src.OnOpen = [] { throw EAuException("Cannot open file x.wav"); };
    out.Start();
    ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
    EXPECT_TRUE(out.Data.empty());
    EXPECT_EQ(out.ExceptionMessage(), "");
    EXPECT_EQ(log.Events, std::vector<std::string>{"done"});
}

namespace {
// Hands out more than it is asked for, as a faulty source might.
class TGreedySource : public TMemorySource {
public:
    using TMemorySource::TMemorySource;

protected:
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override {
        Bytes += 16;
        TMemorySource::ProduceData(Buffer, Bytes);
    }
};
} // namespace

TEST(AuInput, PullIntoNeverWritesPastTheCallersBuffer) {
    TGreedySource src(Ramp(1000), 1000);
    src.OpenRead();
    auto buf = std::make_unique<std::uint8_t[]>(10); // ASan watches the end
    EXPECT_EQ(src.PullInto(buf.get(), 10), 10);
    src.CloseRead();
}
