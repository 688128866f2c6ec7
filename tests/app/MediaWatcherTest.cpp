#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "DetachedWorkers.h"
#include "MediaWatcher.h"
#include "Messages.h"

using namespace bw;
using namespace std::chrono_literals;

namespace {

// Answers the watcher's questions from a script; the last answer repeats.
class TScriptedDrive {
public:
    explicit TScriptedDrive(std::deque<std::string> keys) : FKeys(std::move(keys)) {}
    std::string Probe() {
        std::lock_guard lock(FLock);
        if (FKeys.size() > 1) {
            std::string key = FKeys.front();
            FKeys.pop_front();
            return key;
        }
        if (FKeys.front() == "throw") throw std::runtime_error("drive gone");
        return FKeys.front();
    }

private:
    std::mutex FLock;
    std::deque<std::string> FKeys;
};

std::vector<int> Events(TMessageQueue& queue, std::size_t count) {
    std::vector<int> events;
    while (events.size() < count) {
        auto message = queue.WaitNext(5s);
        if (!message) break;
        events.push_back(message->Msg);
    }
    return events;
}

} // namespace

TEST(MediaWatcherTest, ReportsArrivalsRemovalsAndSwaps) {
    auto drive = std::make_shared<TScriptedDrive>(
        std::deque<std::string>{"", "", "111", "111", "", "222", "333", "333"});
    TMessageQueue queue;
    TMediaWatcher watcher([drive] { return drive->Probe(); }, [&](int event) { queue.Post(event); },
                          1ms);
    watcher.Start("");
    const std::vector<int> expected = {
        DBT_DEVICEARRIVAL,                           // "" -> 111
        DBT_DEVICEREMOVECOMPLETE,                    // 111 -> ""
        DBT_DEVICEARRIVAL,                           // "" -> 222
        DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL, // 222 -> 333: swapped
    };
    EXPECT_EQ(Events(queue, expected.size()), expected);
    watcher.Stop();
    EXPECT_FALSE(queue.WaitNext(20ms)); // nothing more once the disc stays
}

TEST(MediaWatcherTest, StartsFromTheShownDiscAndTreatsAFailingDriveAsEmpty) {
    auto drive = std::make_shared<TScriptedDrive>(std::deque<std::string>{"111", "111", "throw"});
    TMessageQueue queue;
    TMediaWatcher watcher([drive] { return drive->Probe(); }, [&](int event) { queue.Post(event); },
                          1ms);
    watcher.Start("111"); // already listed: no arrival
    EXPECT_EQ(Events(queue, 1), std::vector<int>{DBT_DEVICEREMOVECOMPLETE});
    watcher.Stop();
    watcher.Stop(); // twice is harmless
}

// A removal needs the disc gone on two looks in a row; a single failed look is a glitch.
TEST(MediaWatcherTest, OneFailedLookIsNotARemoval) {
    struct Case {
        std::deque<std::string> Looks;
        std::vector<int> Events;
    };
    std::vector<Case> cases = {
        {{"", "111", "111"}, {}},
        {{"", "111", "", "111", "111"}, {}},
        {{"", "", "111", "111"}, {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL}},
        {{"", "222", "222"}, {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL}}, // swapped
    };
    for (auto& c : cases) {
        auto drive = std::make_shared<TScriptedDrive>(c.Looks);
        TMessageQueue queue;
        TMediaWatcher watcher([drive] { return drive->Probe(); },
                              [&](int event) { queue.Post(event); }, 1ms);
        watcher.Start("111");
        EXPECT_EQ(Events(queue, c.Events.size()), c.Events);
        EXPECT_FALSE(queue.WaitNext(30ms));
        watcher.Stop();
    }
}

TEST(MediaWatcherTest, StopReturnsPromptlyWithALongInterval) {
    TMessageQueue queue;
    TMediaWatcher watcher([] { return std::string(); }, [&](int event) { queue.Post(event); },
                          std::chrono::hours(1));
    watcher.Start("");
    auto begin = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

// A watcher told of changes looks only when told, never while held (a rip or a play has the
// drive), and once after being let go when a look came due meanwhile.
TEST(MediaWatcherTest, LooksWhenToldAndCatchesUpOnceAfterAHold) {
    // Shared with the probe: a stopped watcher's thread may end after the test.
    auto looks = std::make_shared<std::atomic<int>>(0);
    auto present = std::make_shared<std::atomic<bool>>(true);
    TMessageQueue queue;
    TMediaWatcher watcher(
        [looks, present] {
            ++*looks;
            return *present ? std::string("111") : std::string();
        },
        [&](int event) { queue.Post(event); }, 0ms);
    watcher.Start("");
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(*looks, 0);
    watcher.Poke();
    EXPECT_EQ(Events(queue, 1), std::vector<int>{DBT_DEVICEARRIVAL});

    watcher.SetHeld(true);
    *present = false;
    watcher.Poke();
    watcher.Poke();
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(*looks, 1);
    watcher.SetHeld(false);
    // The catching-up look misses the disc; the look a second later confirms the removal.
    EXPECT_EQ(Events(queue, 1), std::vector<int>{DBT_DEVICEREMOVECOMPLETE});
    EXPECT_EQ(*looks, 3);
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(*looks, 3);

    // Let go without a look due: no look.
    watcher.SetHeld(true);
    watcher.SetHeld(false);
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(*looks, 3);
}

// Stopping during a look that waits for the drive (until cut, or 5 s) cuts it short and
// returns at once; that look tells nothing.
TEST(MediaWatcherTest, StopCutsALookShortAndTellsNothingAfter) {
    struct TSlowDrive {
        std::mutex Lock;
        std::condition_variable Wake;
        bool Cut = false;
        std::atomic<bool> Looking{false};
    };
    auto drive = std::make_shared<TSlowDrive>();
    auto told = std::make_shared<std::atomic<int>>(0);
    TMediaWatcher watcher(
        [drive](TCutOff& cut) {
            drive->Looking = true;
            cut.SetHook([drive] {
                std::lock_guard lock(drive->Lock);
                drive->Cut = true;
                drive->Wake.notify_all();
            });
            std::unique_lock lock(drive->Lock);
            drive->Wake.wait_for(lock, 5s, [&] { return drive->Cut; });
            return std::string("111");
        },
        [told](int) { ++*told; }, 0ms);
    watcher.Start("");
    watcher.Poke();
    for (int i = 0; i < 200 && !drive->Looking; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(drive->Looking);
    const auto begin = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 200ms);
    EXPECT_TRUE(WaitForDetached("disc watch", nullptr, 2s)) << "the look was not cut short";
    EXPECT_EQ(*told, 0);
}
