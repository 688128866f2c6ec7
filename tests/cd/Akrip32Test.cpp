#include "akrip32.h"
#include "CdImage.h"
#include "TestSupport.h"

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using namespace bw;

TEST(Akrip32, DisplayNameIsVendorThenProductWithinTwentySixCharacters) {
    TCDEntry entry{};
    std::memcpy(entry.Vendor, "HL-DT-ST", 9);
    std::memcpy(entry.Product, "DVDRAM GH24NSD1 ", 17);
    EXPECT_EQ(DriveDisplayName(entry), "HL-DT-STDVDRAM GH24NSD1");
    std::memcpy(entry.Vendor, "IMAGE   ", 9);
    std::memcpy(entry.Product, "disc.cue", 9);
    EXPECT_EQ(DriveDisplayName(entry), "IMAGE   disc.cue");
}

// A full table is the caller's error: nobody else's handle is closed to make room, and the
// words say so. Each thread learns its own call's result.
TEST(Akrip32, AFullTableClosesNoOtherOwnersHandleAndEachThreadSeesItsOwnError) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {20});
    bwtest::ImageDrives drive(image);
    TCDList list = ReadDriveList();
    ASSERT_GE(list.Count, 1);
    TGetCDHandle request = HandleRequestFor(list.Entries[list.Count - 1]);
    for (int i = 1; i <= CDMaxHandles; ++i)
        ASSERT_EQ(GetCDHandle(&request), i);
    ASSERT_EQ(GetCDHandle(&request), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_TOO_MANY_HANDLES);
    EXPECT_THAT(DriveOpenProblem(list.Entries[list.Count - 1]),
                testing::HasSubstr("every drive handle is in use"));
    // Another thread's failure meanwhile does not change what this one learns.
    std::thread([] {
        EXPECT_EQ(CloseCDHandle(0), 0);
        EXPECT_EQ(GetAspiLibError(), CDERR_BAD_HANDLE);
    }).join();
    EXPECT_EQ(GetAspiLibError(), CDERR_TOO_MANY_HANDLES);
    TTOC toc;
    for (int i = 1; i <= CDMaxHandles; ++i)
        EXPECT_EQ(ReadTOC(i, &toc), 1) << "handle " << i;

    // A cut handle fails at once but keeps its number until its opener closes it.
    EXPECT_EQ(CutCDHandle(3), 1);
    EXPECT_EQ(ReadTOC(3, &toc), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_BAD_HANDLE);
    EXPECT_EQ(GetCDHandle(&request), 0);
    for (int i = 1; i <= CDMaxHandles; ++i)
        EXPECT_EQ(CloseCDHandle(i), 1);
}

TEST(Akrip32, TocHelpersReadMsfEntries) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {300, 20205});
    bwtest::ImageDrives drive(image);
    TCDList list = ReadDriveList();
    TGetCDHandle request = HandleRequestFor(list.Entries[list.Count - 1]);
    int handle = GetCDHandle(&request);
    ASSERT_NE(handle, 0);
    TTOC toc;
    ASSERT_EQ(ModifyCDParms(handle, CDP_MSF, 1), 1);
    ASSERT_EQ(ReadTOC(handle, &toc), 1);
    EXPECT_EQ(TOCEntryCount(toc), 3);
    EXPECT_EQ(TOCStartFrames(toc), (std::vector<int>{150, 450, 20655}));
    EXPECT_TRUE(IsAudioEntry(toc.Tracks[0]));
    CloseCDHandle(handle);
}

// A drive that will not open is no reason to close another part's live handle.
TEST(Akrip32, FailedOpenClosesNoLiveHandle) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {20});
    bwtest::ImageDrives drive(image);
    TCDList list = ReadDriveList();
    TGetCDHandle request = HandleRequestFor(list.Entries[list.Count - 1]);
    int live = GetCDHandle(&request);
    ASSERT_NE(live, 0);
    TGetCDHandle nowhere = request;
    nowhere.Target = 200;
    EXPECT_EQ(GetCDHandle(&nowhere), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_NO_SUCH_DRIVE);
    TTOC toc;
    EXPECT_EQ(ReadTOC(live, &toc), 1);
    EXPECT_EQ(CloseCDHandle(live), 1);
}
