// The window's disc reads off its thread, on an image drive that answers "becoming ready"
// for 2 s after each open (notready:8, scaled).
#include <gtest/gtest.h>

#include "CdFaults.h"
#include "CdImage.h"
#include "DiscIdentity.h"
#include "DiscReader.h"
#include "ImageDriveHelpers.h"
#include "Messages.h"
#include "TestSupport.h"

using namespace bw;
using namespace std::chrono_literals;

TEST(DiscReaderTest, ANewerReadCutsOffOneWaitingForTheDriveAndStoppingDoesNotWait) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {100, 140});
    setenv("BRINDLEWAVE_CD_IMAGES", image.CuePath().c_str(), 1);
    const std::string key = GetDiscKey();
    setenv("BRINDLEWAVE_CD_FAULTS", "notready:8", 1);
    SetNotReadyTimeScale(0.25);
    auto seconds = [begin = std::chrono::steady_clock::now()] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    TMessageQueue done; // Msg: the read's serial; the reads kept in order beside it
    std::vector<TDiscRead> reads(4);
    auto reader = std::make_unique<TDiscReader>([&](TDiscRead read) {
        const auto serial = static_cast<int>(read.Serial);
        reads[serial] = std::move(read);
        done.Post(serial);
    });
    auto start = [&](std::uint64_t serial) {
        TDiscRead read;
        read.Serial = serial;
        reader->Start(read);
        std::this_thread::sleep_for(200ms); // opened, waiting for the drive
    };
    start(1);
    start(2);
    auto first = done.WaitNext(5s);
    ASSERT_TRUE(first && first->Msg == 1);
    EXPECT_LT(seconds(), 1.5) << "the first read was left to wait";
    // Its handle was closed when it was cut off: nothing for the receiver to close.
    EXPECT_FALSE(reads[1].Opened || reads[1].Handle != 0 || reads[1].HasTOC);
    auto second = done.WaitNext(5s);
    ASSERT_TRUE(second && second->Msg == 2);
    EXPECT_GE(seconds(), 2.0) << "the drive was ready before its time";
    EXPECT_TRUE(reads[2].Opened && reads[2].HasTOC && reads[2].IsImage);
    EXPECT_EQ(reads[2].DiscKey, key);
    EXPECT_EQ(CloseCDHandle(reads[2].Handle), 1);

    // Destroyed while a read waits for the drive: it lets go at once and reports nothing.
    start(3);
    const double stopping = seconds();
    reader.reset();
    EXPECT_LT(seconds() - stopping, 1.0);
    EXPECT_FALSE(done.WaitNext(10ms));
    SetNotReadyTimeScale(1);
    unsetenv("BRINDLEWAVE_CD_FAULTS");
    unsetenv("BRINDLEWAVE_CD_IMAGES");
}

// The window closes its handle (a drive change) while a read borrows it and waits for the
// drive: the read lets go at once, the worker closes the handle after it, and the result
// comes without it.
TEST(DiscReaderTest, ClosingABorrowedHandleCutsTheReadAndTheWorkerClosesIt) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {100, 140});
    bwtest::ImageDrives drives(image);
    bwtest::FaultyDrives faults("notready:8");
    SetNotReadyTimeScale(0.25);
    const int handle = bwtest::OpenLastDrive();
    ASSERT_NE(handle, 0);
    TMessageQueue done;
    auto found = std::make_shared<TDiscRead>();
    TDiscReader reader([&done, found](TDiscRead read) {
        *found = std::move(read);
        done.Post(1);
    });
    TDiscRead read;
    read.Handle = handle;
    reader.Start(read);
    std::this_thread::sleep_for(200ms); // waiting for the drive
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(reader.CloseHandle(handle));
    ASSERT_TRUE(done.WaitNext(1s));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
    EXPECT_FALSE(found->HasTOC || found->Handle != 0);
    EXPECT_EQ(CloseCDHandle(handle), 0) << "the worker left the handle open";
    SetNotReadyTimeScale(1);
}
