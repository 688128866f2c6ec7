#include "ripthread.h"
#include "CdFaults.h"
#include "RipFixture.h"

#include <fcntl.h>
#include <filesystem>

using namespace bw;
using bwtest::ReadFileBytes;

namespace {

// Decodes a WAV file with FFmpeg into raw 16-bit little-endian stereo.
std::vector<std::uint8_t> DecodeWithFfmpeg(const std::filesystem::path& wav,
                                           const std::filesystem::path& raw) {
    auto result = bwtest::RunCommand("ffmpeg -v error -y -i " + bwtest::ShellQuote(wav) +
                                     " -f s16le -ac 2 -ar 44100 " + bwtest::ShellQuote(raw));
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    return ReadFileBytes(raw);
}

// The header every rip must carry, written out by hand.
std::vector<std::uint8_t> ExpectedHeader(std::uint32_t dataSize) {
    auto le32 = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8),
                                         std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    };
    std::vector<std::uint8_t> h = {'R', 'I', 'F', 'F'};
    auto add = [&h](const std::vector<std::uint8_t>& part) {
        h.insert(h.end(), part.begin(), part.end());
    };
    add(le32(dataSize + 36));
    add({'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0});
    add({0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'});
    add(le32(dataSize));
    return h;
}

// Forwards to a queue and asks the thread to stop once the first block has been reported.
class StopAfterFirstBlock : public TMessageTarget {
public:
    explicit StopAfterFirstBlock(TCDRipThread& thread) : FThread(thread) {}
    void PostMessage(TPostedMessage message) override {
        if (message.Msg == WM_RIPPROGRESS && message.Info && message.Info->Percent <= 100)
            FThread.StopRequested = true;
        Queue.PostMessage(std::move(message));
    }
    TMessageQueue Queue;

private:
    TCDRipThread& FThread;
};

} // namespace

class RipThread : public RipFixture {};

TEST_F(RipThread, FirstMiddleAndLastTracksEqualTheImageBytes) {
    InsertDisc({37, 25, 61});
    for (int track = 1; track <= 3; ++track) {
        std::string title = "Track" + TwoDigits(track);
        auto outcome = Rip(track, title);
        EXPECT_EQ(outcome.Finished, std::vector<int>{0});
        EXPECT_TRUE(outcome.Failed.empty());
        const auto& expected = Image->TrackBytes(track);
        auto file = ReadFileBytes(WavPath(title));
        ASSERT_EQ(file.size(), 44 + expected.size());
        EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 44),
                  ExpectedHeader(static_cast<std::uint32_t>(expected.size())));
        EXPECT_TRUE(WavData(title) == expected) << "track " << track;
        EXPECT_TRUE(DecodeWithFfmpeg(WavPath(title), Dir / "decoded.raw") == expected)
            << "FFmpeg reads track " << track << " differently";
    }
}

TEST_F(RipThread, OneTrackDiscAndAnExistingFileIsReplaced) {
    InsertDisc({123});
    bwtest::WriteFileText(WavPath("Only"), std::string(500000, 'x'));
    auto outcome = Rip(1, "Only");
    EXPECT_EQ(outcome.Finished, std::vector<int>{0});
    EXPECT_TRUE(WavData("Only") == Image->TrackBytes(1));
    EXPECT_EQ(HeaderDataSize("Only"), 123u * 2352);
}

TEST_F(RipThread, ReadsInBlocksOfTenWithOneProgressMessageEach) {
    InsertDisc({25, 30, 7});
    EXPECT_EQ(Rip(1, "a").Progress, (std::vector<int>{40, 80, 100}));
    EXPECT_EQ(Rip(2, "b").Progress, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(Rip(3, "c").Progress, (std::vector<int>{100}));
    EXPECT_TRUE(WavData("a") == Image->TrackBytes(1));
    EXPECT_TRUE(WavData("b") == Image->TrackBytes(2));
    EXPECT_TRUE(WavData("c") == Image->TrackBytes(3));
}

TEST_F(RipThread, StopMidTrackLeavesAConsistentFileAndNoFinishedMessage) {
    InsertDisc({5, 95});
    TMessageQueue* queue;
    {
        TCDRipThread thread(2, "stopped");
        StopAfterFirstBlock target(thread);
        queue = &target.Queue;
        thread.CDHandle = Handle;
        thread.Window = &target;
        thread.Start();
        thread.WaitFor();
        auto outcome = SortMessages(queue->TakeAll());
        EXPECT_EQ(outcome.Progress, std::vector<int>{10});
        EXPECT_TRUE(outcome.Finished.empty());
    }
    auto data = WavData("stopped");
    EXPECT_EQ(HeaderDataSize("stopped"), data.size());
    ASSERT_EQ(data.size(), 10u * 2352);
    const auto& track = Image->TrackBytes(2);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), track.begin()));
}

// The failing block is read again sector by sector: every sector before the bad one stays.
TEST_F(RipThread, ReadFailureMidTrackKeepsTheSectorsBeforeItAndAZeroHeader) {
    InsertDisc({40, 60});
    TCDFaults faults;
    faults.FailReadsFromSector = 40 + 35; // inside the fourth block of track 2
    ASSERT_TRUE(SetCDHandleFaults(Handle, faults));
    auto outcome = Rip(2, "broken");
    EXPECT_EQ(outcome.Progress, (std::vector<int>{16, 33, 50, 66}));
    EXPECT_EQ(outcome.Finished, std::vector<int>{3});
    EXPECT_EQ(HeaderDataSize("broken"), 0u);
    auto data = WavData("broken");
    ASSERT_EQ(data.size(), 35u * 2352);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), Image->TrackBytes(2).begin()));
}

TEST_F(RipThread, DataFileEndingInsideTheLastTrackIsAReadError) {
    InsertDisc({30, 30, 30});
    // Cut inside a sector of the last track: that sector fails to read, never reads short.
    std::filesystem::resize_file(Image->BinPath(), 75 * 2352 + 1000);
    auto outcome = Rip(3, "short");
    EXPECT_EQ(outcome.Finished, std::vector<int>{3});
    EXPECT_EQ(HeaderDataSize("short"), 0u);
    auto data = WavData("short");
    ASSERT_EQ(data.size(), 15u * 2352);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), Image->TrackBytes(3).begin()));
}

TEST_F(RipThread, RefusedParameterAndFailedTocPostRipFailedAndCreateNoFile) {
    InsertDisc({20});
    TCDFaults faults;
    faults.RefuseParameters = true;
    ASSERT_TRUE(SetCDHandleFaults(Handle, faults));
    auto refused = Rip(1, "x");
    EXPECT_EQ(refused.Failed, std::vector<std::intptr_t>{1});
    EXPECT_TRUE(refused.Finished.empty() && refused.Progress.empty());

    faults = TCDFaults();
    faults.FailTOC = true;
    ASSERT_TRUE(SetCDHandleFaults(Handle, faults));
    auto noToc = Rip(1, "x");
    EXPECT_EQ(noToc.Failed, std::vector<std::intptr_t>{2});
    EXPECT_TRUE(noToc.Finished.empty() && noToc.Progress.empty());

    // A track the disc does not have is no better than an unreadable TOC.
    ASSERT_TRUE(SetCDHandleFaults(Handle, TCDFaults()));
    EXPECT_EQ(Rip(2, "x").Failed, std::vector<std::intptr_t>{2});
    EXPECT_EQ(Rip(0, "x").Failed, std::vector<std::intptr_t>{2});
    EXPECT_TRUE(Listing(Output).empty());
}

TEST_F(RipThread, UnsafeTitlesCreateNothingAnywhere) {
    InsertDisc({12});
    std::filesystem::create_directories(Dir / "out" / "sub");
    auto outsideBefore = Listing(Dir.Path());
    auto subBefore = Listing(Output / "sub");
    for (std::string title :
         {std::string("../escape"), std::string("sub/../x"), std::string(""), std::string("."),
          std::string(".."), std::string("sub//x"), std::string("sub/"), std::string("nul\0byte", 8), (Dir / "absolute").string()}) {
        auto outcome = Rip(1, title);
        EXPECT_EQ(outcome.Finished, std::vector<int>{5}) << title;
        EXPECT_TRUE(outcome.Progress.empty());
    }
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"sub"});
    EXPECT_EQ(Listing(Output / "sub"), subBefore);
    EXPECT_EQ(Listing(Dir.Path()), outsideBefore);
    // Names that merely look odd are fine.
    EXPECT_EQ(Rip(1, "...").Finished, std::vector<int>{0});
    EXPECT_EQ(Rip(1, "AC\\DC: Back in Black?").Finished, std::vector<int>{0});
    // Folders within the output folder, as a file name template makes them.
    EXPECT_EQ(Rip(1, "Artist/Album/01 Title").Finished, std::vector<int>{0});
    EXPECT_TRUE(std::filesystem::exists(Output / "Artist" / "Album" / "01 Title.wav"));
}

TEST_F(RipThread, FileHeldElsewhereOrMissingFolderIsErrorFiveAndLeftAlone) {
    InsertDisc({12});
    bwtest::WriteFileText(WavPath("busy"), "someone else's data");
    {
        auto holder = OpenShared(WavPath("busy"), O_RDWR, TShareMode::DenyAll);
        ASSERT_TRUE(holder.IsOpen());
        EXPECT_EQ(Rip(1, "busy").Finished, std::vector<int>{5});
    }
    EXPECT_EQ(bwtest::ReadFileText(WavPath("busy")), "someone else's data");

    Settings.OutputFolder = (Dir / "missing").string();
    EXPECT_EQ(Rip(1, "t").Finished, std::vector<int>{5});
    EXPECT_FALSE(std::filesystem::exists(Dir / "missing"));
}
