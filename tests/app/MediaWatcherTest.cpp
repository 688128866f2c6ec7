#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

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
    TScriptedDrive drive({"", "", "111", "111", "", "222", "333", "333"});
    TMessageQueue queue;
    TMediaWatcher watcher([&] { return drive.Probe(); }, [&](int event) { queue.Post(event); },
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
    TScriptedDrive drive({"111", "111", "throw"});
    TMessageQueue queue;
    TMediaWatcher watcher([&] { return drive.Probe(); }, [&](int event) { queue.Post(event); },
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
        TScriptedDrive drive(c.Looks);
        TMessageQueue queue;
        TMediaWatcher watcher([&] { return drive.Probe(); }, [&](int event) { queue.Post(event); },
                              1ms);
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
    std::atomic<int> looks{0};
    std::atomic<bool> present{true};
    TMessageQueue queue;
    TMediaWatcher watcher(
        [&] {
            ++looks;
            return present ? std::string("111") : std::string();
        },
        [&](int event) { queue.Post(event); }, 0ms);
    watcher.Start("");
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(looks, 0);
    watcher.Poke();
    EXPECT_EQ(Events(queue, 1), std::vector<int>{DBT_DEVICEARRIVAL});

    watcher.SetHeld(true);
    present = false;
    watcher.Poke();
    watcher.Poke();
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(looks, 1);
    watcher.SetHeld(false);
    // The catching-up look misses the disc; the look a second later confirms the removal.
    EXPECT_EQ(Events(queue, 1), std::vector<int>{DBT_DEVICEREMOVECOMPLETE});
    EXPECT_EQ(looks, 3);
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(looks, 3);

    // Let go without a look due: no look.
    watcher.SetHeld(true);
    watcher.SetHeld(false);
    EXPECT_FALSE(queue.WaitNext(50ms));
    EXPECT_EQ(looks, 3);
}
