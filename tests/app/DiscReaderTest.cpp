// The window's disc reads off its thread, on an image drive that answers "becoming ready"
// for a while after each open.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "CdFaults.h"
#include "CdImage.h"
#include "DiscIdentity.h"
#include "DiscReader.h"
#include "TestSupport.h"

using namespace bw;
using namespace std::chrono_literals;

namespace {

class DiscReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {100, 140});
        setenv("BRINDLEWAVE_CD_IMAGES", image.CuePath().c_str(), 1);
        Key = GetDiscKey();
        // Each open holds the TOC read 2 s (8 s scaled).
        setenv("BRINDLEWAVE_CD_FAULTS", "notready:8", 1);
        SetNotReadyTimeScale(0.25);
    }
    void TearDown() override {
        SetNotReadyTimeScale(1);
        unsetenv("BRINDLEWAVE_CD_FAULTS");
        unsetenv("BRINDLEWAVE_CD_IMAGES");
    }

    static TDiscRead Job(std::uint64_t serial) {
        TDiscRead read;
        read.Serial = serial;
        return read;
    }
    void Done(TDiscRead read) {
        std::lock_guard lock(Lock);
        Results.push_back(std::move(read));
        Wake.notify_all();
    }
    bool WaitForResults(std::size_t count) {
        std::unique_lock lock(Lock);
        return Wake.wait_for(lock, 10s, [&] { return Results.size() >= count; });
    }
    static double Seconds(std::chrono::steady_clock::time_point since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

    bwtest::TempDir Dir;
    std::string Key;
    std::mutex Lock;
    std::condition_variable Wake;
    std::vector<TDiscRead> Results;
};

} // namespace

TEST_F(DiscReaderTest, ANewerReadCutsOffOneWaitingForTheDriveAndStoppingDoesNotWait) {
    const auto begin = std::chrono::steady_clock::now();
    auto reader = std::make_unique<TDiscReader>([this](TDiscRead read) { Done(std::move(read)); });
    reader->Start(Job(1));
    std::this_thread::sleep_for(200ms); // opened, waiting for the drive
    reader->Start(Job(2));
    ASSERT_TRUE(WaitForResults(1));
    {
        std::lock_guard lock(Lock);
        EXPECT_EQ(Results[0].Serial, 1u);
        EXPECT_LT(Seconds(begin), 1.5) << "the first read was left to wait";
        // Its handle was closed when it was cut off: nothing for the receiver to close.
        EXPECT_FALSE(Results[0].Opened);
        EXPECT_EQ(Results[0].Handle, 0);
        EXPECT_FALSE(Results[0].HasTOC);
    }
    ASSERT_TRUE(WaitForResults(2));
    const TDiscRead second = Results[1];
    EXPECT_GE(Seconds(begin), 2.0) << "the drive was ready before its time";
    EXPECT_TRUE(second.Opened);
    EXPECT_TRUE(second.HasTOC);
    EXPECT_EQ(second.DiscKey, Key);
    EXPECT_EQ(second.DriveCount, 1);
    EXPECT_TRUE(second.IsImage);
    EXPECT_EQ(CloseCDHandle(second.Handle), 1);

    // Destroyed while a read waits for the drive: it lets go at once and reports nothing.
    reader->Start(Job(3));
    std::this_thread::sleep_for(200ms);
    const auto stopping = std::chrono::steady_clock::now();
    reader.reset();
    EXPECT_LT(Seconds(stopping), 1.0);
    EXPECT_EQ(Results.size(), 2u);
}
