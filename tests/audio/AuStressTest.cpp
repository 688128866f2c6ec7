// Many short runs of several outputs at once, started, stopped both ways, failed and
// destroyed from their own and each other's handlers. Built under ThreadSanitizer too.
#include "AuTestComponents.h"
#include "EventHandler.h"
#include "MainThread.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

using namespace bw;
using namespace bwtest;
using namespace std::chrono_literals;

namespace {

struct TChain {
    std::vector<std::uint8_t> Expected;
    std::unique_ptr<TMemorySource> Source;
    std::unique_ptr<TPassConverter> Converter;
    std::unique_ptr<TCollectOutput> Output;
    bool Running = false; // started, OnDone still to come
    bool Stopped = false; // an asynchronous stop was asked for this run
    std::shared_ptr<std::atomic<bool>> FailNext = std::make_shared<std::atomic<bool>>(false);
};

class TStress {
public:
    explicit TStress(unsigned seed) : FRandom(seed) {}

    std::vector<TChain> Chains;
    std::set<TAuOutput*> Alive;
    int DoneCount = 0;
    int Exceptions = 0;
    int Verified = 0;
    int Destroyed = 0;
    int EventsForDead = 0;

    void Build(std::size_t i) {
        TChain& c = Chains[i];
        if (c.Output) {
            Alive.erase(c.Output.get());
            c.Output.reset();
            ++Destroyed;
        }
        c.Expected = Ramp(100 + Pick(20000));
        c.Source = std::make_unique<TMemorySource>(c.Expected, 1 + Pick(3000));
        c.Converter.reset();
        c.Output = std::make_unique<TCollectOutput>();
        c.Output->Block = 1 + Pick(4000);
        auto failNext = c.FailNext;
        c.Output->OnBlock = [failNext] {
            if (failNext->exchange(false)) throw EAuException("injected");
        };
        if (Pick(2)) {
            c.Converter = std::make_unique<TPassConverter>();
            c.Converter->SetInput(c.Source.get());
            c.Output->SetInput(c.Converter.get());
        } else {
            c.Output->SetInput(c.Source.get());
        }
        c.Running = false;
        c.Stopped = false;
        TAuOutput* out = c.Output.get();
        Alive.insert(out);
        out->SetOnDone([this, i](TAuOutput* s) { OnDone(i, s); });
        out->SetOnProgress([this, i](TAuOutput* s) { OnProgress(i, s); });
        out->SetOnThreadException([this](TAuOutput* s) {
            Check(s);
            ++Exceptions;
        });
    }

    void StartChain(std::size_t i) {
        TChain& c = Chains[i];
        if (c.Running) return;
        c.FailNext->store(Pick(8) == 0);
        c.Stopped = false;
        c.Running = true;
        c.Output->Start();
    }

private:
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(FRandom); }

    bool Check(TAuOutput* s) {
        if (Alive.count(s)) return true;
        ++EventsForDead;
        ADD_FAILURE() << "event for a destroyed output";
        return false;
    }

    void OnDone(std::size_t i, TAuOutput* s) {
        if (!Check(s)) return;
        TChain& c = Chains[i];
        EXPECT_EQ(c.Output.get(), s);
        EXPECT_TRUE(c.Running) << "OnDone without a run";
        c.Running = false;
        ++DoneCount;
        if (s->ExceptionMessage().empty() && !c.Stopped) {
            EXPECT_EQ(c.Output->Data, c.Expected);
            ++Verified;
        } else if (!s->ExceptionMessage().empty()) {
            EXPECT_EQ(s->ExceptionMessage(), "injected");
        }
        Act(i);
    }

    void OnProgress(std::size_t i, TAuOutput* s) {
        if (!Check(s)) return;
        if (Pick(20) == 0) {
            Chains[i].Stopped = true;
            s->Stop(true);
        }
    }

    // Something random to this chain and maybe another.
    void Act(std::size_t i) {
        std::size_t other = Pick(static_cast<unsigned>(Chains.size()));
        switch (Pick(8)) {
        case 0: // stop another synchronously: its OnDone will not come
            if (other != i) {
                Chains[other].Output->Stop(false);
                Chains[other].Running = false;
            }
            break;
        case 1: // replace another (or this one) while it may be running
            Build(other);
            break;
        case 2:
            if (Chains[other].Running) {
                Chains[other].Stopped = true;
                Chains[other].Output->Stop(true);
            }
            break;
        case 3: // rewire a running output to its own input: a synchronous restart
            Chains[other].Output->SetInput(Chains[other].Output->Input());
            break;
        case 4: // rewire a converter under a running sink: its source starts over
            if (Chains[other].Converter) {
                Chains[other].Converter->SetInput(Chains[other].Source.get());
                Chains[other].Stopped = true; // the data no longer matches one pass
            }
            break;
        default:
            break;
        }
        if (DoneCount < Target) {
            StartChain(i);
            StartChain(other);
        }
    }

public:
    int Target = 0;

private:
    std::mt19937 FRandom;
};

} // namespace

TEST(AuStress, ManyShortRunsFromHandlers) {
    TAuOutput::SetDoneDelay(1ms);
    {
        TStress stress(20261207);
        stress.Target = 1500;
        stress.Chains.resize(5);
        for (std::size_t i = 0; i < stress.Chains.size(); ++i)
            stress.Build(i);
        for (std::size_t i = 0; i < stress.Chains.size(); ++i)
            stress.StartChain(i);
        bool reached = PumpMainThreadUntil(
            [&] {
                if (stress.DoneCount >= stress.Target) return true;
                // A chain may have been stopped synchronously with nobody to restart it.
                bool anyRunning = false;
                for (auto& c : stress.Chains)
                    anyRunning |= c.Running;
                if (!anyRunning) stress.StartChain(0);
                return false;
            },
            240s);
        EXPECT_TRUE(reached) << "done " << stress.DoneCount;
        EXPECT_GT(stress.Verified, 200);
        EXPECT_GT(stress.Exceptions, 0);
        EXPECT_GT(stress.Destroyed, 0);
        EXPECT_EQ(stress.EventsForDead, 0);
        // Tear down mid-flight: nothing may be delivered afterwards.
        for (auto& c : stress.Chains) {
            stress.Alive.erase(c.Output.get());
            c.Output.reset();
        }
        PumpMainThreadUntil([] { return false; }, 50ms);
        EXPECT_EQ(stress.EventsForDead, 0);
    }
    EXPECT_FALSE(TEventHandler::Running());
    TAuOutput::SetDoneDelay(300ms);
}
