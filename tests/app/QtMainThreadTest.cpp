#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "MainThread.h"
#include "QtMainThread.h"
#include "QtTestApp.h"

using namespace bw;

TEST(QtMainThreadPump, WorkersHandOverToTheEventLoop) {
    bwtest::QtApp();
    TQtMainThreadPump pump;
    std::atomic<bool> ranOnMain{false}, returned{false};
    std::thread worker([&] {
        RunOnMainThread([&] { ranOnMain = IsMainThread(); });
        returned = true;
    });
    // Nothing but the Qt event loop runs the queued call.
    EXPECT_TRUE(bwtest::WaitUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnMain);

    // A handler that throws does not end the loop; later calls still run.
    std::atomic<int> after{0};
    std::thread failing([&] {
        try {
            RunOnMainThread([] { throw std::runtime_error("handler failed"); });
        } catch (const std::exception&) {
        }
        RunOnMainThread([&] { ++after; });
    });
    EXPECT_TRUE(bwtest::WaitUntil([&] { return after.load() == 1; }));
    failing.join();
}
