#include "CdPlayer.h"
#include "CdImage.h"
#include "CdTray.h"
#include "DetachedWorkers.h"
#include "Messages.h"
#include "StalledSoundServer.h"
#include "TestSupport.h"
#include "akrip32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace bw;
using bwtest::CdImage;
using bwtest::ImageDrives;
using bwtest::TStalledServer;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The notices a player sends, waited for by the test.
class TNotices {
public:
    TCdPlayer::TNotify Callback() {
        return [this](TPlayResult result, std::uint64_t play, const std::string& why) {
            std::lock_guard lock(FLock);
            FNotices.push_back({result, play});
            FWhy = why;
            FChanged.notify_all();
        };
    }
    bool WaitFor(std::size_t count) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return FNotices.size() >= count; });
    }
    std::vector<std::pair<TPlayResult, std::uint64_t>> All() { return Locked(FNotices); }
    std::string LastWhy() { return Locked(FWhy); }

private:
    template <typename T>
    T Locked(const T& value) {
        std::lock_guard lock(FLock);
        return value;
    }
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::pair<TPlayResult, std::uint64_t>> FNotices;
    std::string FWhy;
};

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

TGetCDHandle FirstDrive() {
    TCDList list = ReadDriveList();
    EXPECT_GT(list.Count, 0);
    return HandleRequestFor(list.Entries[0]);
}

class CdPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("BRINDLEWAVE_CD_IMAGES");
        // Three tracks of 25, 37 and 12 sectors: not multiples of the read size.
        Image = std::make_unique<CdImage>(CdImage::Write(Dir.Path(), "disc", {25, 37, 12}, 7));
        Drives = std::make_unique<ImageDrives>(*Image);
        Player.SetOutputFactory(Sink.Factory());
        Player.SetNotify(Notices.Callback());
    }

    // The bytes of the data file from the start of one track to the start of another
    // (the end of the disc when last is past the last track).
    Bytes ImageBytes(int first, int last) const {
        const Bytes bin = bwtest::ReadFileBytes(Image->BinPath());
        const std::size_t from = std::size_t(Image->TrackStartSector(first)) * CDSectorBytes;
        const std::size_t to = last > Image->TrackCount()
                                   ? bin.size()
                                   : std::size_t(Image->TrackStartSector(last)) * CDSectorBytes;
        return Bytes(bin.begin() + from, bin.begin() + to);
    }

    // A play whose first write waits in the held sink.
    std::uint64_t PlayHeld() {
        Sink.Hold();
        const std::uint64_t play = Player.Play();
        EXPECT_TRUE(WaitUntil([&] { return Sink.WriteWaiting(); }));
        return play;
    }

    bwtest::TempDir Dir;
    std::unique_ptr<CdImage> Image;
    std::unique_ptr<ImageDrives> Drives;
    TNullAudioSink Sink;
    TNotices Notices;
    TCdPlayer Player; // declared last: stopped before the sink and notices go

    void TearDown() override {
        // Stopped plays end on their own threads; they use the sink until then.
        Player.Stop();
        Sink.Release();
        EXPECT_TRUE(WaitUntil([&] { return Player.ThreadsEnded(); }));
    }
};

TEST_F(CdPlayerTest, PlaysExactlyTheRangeFromTheImage) {
    struct Case {
        int Start;
        int End; // 0: no end set, the play runs to the end of the disc
        int ExpectedFirst, ExpectedEnd;
    };
    const Case cases[] = {
        {1, 2, 1, 2}, // first track alone
        {2, 3, 2, 3}, // middle track
        {3, 0, 3, 4}, // last track to the end of the disc
        {2, 0, 2, 4}, // from the middle to the end
        {1, 4, 1, 4}, // up to the lead-out's position
    };
    std::uint64_t play = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.Start << " end " << c.End);
        Player.Open(FirstDrive());
        Player.SetStartPos(Player.TrackPosition(c.Start));
        if (c.End) Player.SetEndPos(Player.TrackPosition(c.End));
        play = Player.Play();
        ASSERT_TRUE(Notices.WaitFor(play));
        EXPECT_EQ(Notices.All().back(), std::make_pair(TPlayResult::Successful, play));
        EXPECT_TRUE(Sink.LastRecording() == ImageBytes(c.ExpectedFirst, c.ExpectedEnd));
        EXPECT_TRUE(WaitUntil([&] { return Player.Mode() == TPlayerMode::Stopped; }));
        Player.Close();
        EXPECT_EQ(Player.Mode(), TPlayerMode::NotOpen);
    }
    EXPECT_EQ(Sink.Recordings(), std::size(cases));
}

// Played by tracks, the drive is opened and read on the play's thread: a drive that takes a
// second to become ready never holds the caller, and what fails comes as the play's notice.
TEST_F(CdPlayerTest, PlayingByTracksOpensTheDriveOnThePlaysThread) {
    bwtest::FaultyDrives faults("notready:1");
    const auto before = std::chrono::steady_clock::now();
    std::uint64_t play = Player.PlayTracks(FirstDrive(), 2, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    ASSERT_TRUE(Notices.WaitFor(play));
    EXPECT_EQ(Notices.All().back(), std::make_pair(TPlayResult::Successful, play));
    EXPECT_TRUE(Sink.LastRecording() == ImageBytes(2, 3));
    // To the end of the disc, and a track that is not there.
    play = Player.PlayTracks(FirstDrive(), 3, 1000);
    ASSERT_TRUE(Notices.WaitFor(play));
    EXPECT_TRUE(Sink.LastRecording() == ImageBytes(3, 4));
    play = Player.PlayTracks(FirstDrive(), 9, 1000);
    ASSERT_TRUE(Notices.WaitFor(play));
    EXPECT_EQ(Notices.All().back(), std::make_pair(TPlayResult::Failed, play));
    EXPECT_EQ(Notices.LastWhy(), "Track 9 is not on the disc");
}

// Ten plays stopped while the drive becomes ready (8 s) each let go of the handle their
// thread opened at once: the table of ten handles never fills.
TEST_F(CdPlayerTest, AStoppedPlayClosesItsHandleAndEndsItsWaitAtOnce) {
    bwtest::FaultyDrives faults("notready:8");
    for (int i = 0; i < 10; ++i) {
        Player.PlayTracks(FirstDrive(), 1, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // opened, waiting
        Player.Stop();
    }
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return Player.ThreadsEnded(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
    std::vector<int> handles;
    const TGetCDHandle drive = FirstDrive();
    for (int i = 0; i < CDMaxHandles; ++i)
        handles.push_back(GetCDHandle(&drive));
    for (int handle : handles) {
        EXPECT_NE(handle, 0);
        CloseCDHandle(handle);
    }
    EXPECT_TRUE(Notices.All().empty()) << "a stopped play sends no notice";
}

// A notice under way when the player goes has been delivered before the destructor returns;
// none comes after (it would reach a window already gone).
TEST(CdPlayerNotice, NoNoticeArrivesAfterThePlayerIsGone) {
    bwtest::TempDir dir;
    CdImage image = CdImage::Write(dir.Path(), "disc", {5});
    ImageDrives drives(image);
    TNullAudioSink sink;
    auto alive = std::make_shared<std::atomic<bool>>(true);
    auto late = std::make_shared<std::atomic<int>>(0);
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto player = std::make_unique<TCdPlayer>(sink.Factory());
    player->SetNotify([alive, late, entered](TPlayResult, std::uint64_t, const std::string&) {
        *entered = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // a slow receiver
        if (!*alive) ++*late;
    });
    player->PlayTracks(FirstDrive(), 1, 2);
    ASSERT_TRUE(WaitUntil([&] { return entered->load(); }));
    player.reset();
    *alive = false;
    EXPECT_TRUE(WaitForDetached("play", nullptr, std::chrono::seconds(5)));
    EXPECT_EQ(*late, 0);
}

// Audio in the first track's pregap plays as track 0, up to track 1; a silent pregap is none.
TEST_F(CdPlayerTest, HiddenTrackOneAudioPlaysAsTrackZero) {
    const Bytes pregap = bwtest::GeneratedAudio(100, 3), rest = bwtest::GeneratedAudio(300, 4);
    for (bool audio : {true, false}) {
        SCOPED_TRACE(audio ? "audio in the pregap" : "silent pregap");
        Bytes bin = audio ? pregap : Bytes(pregap.size(), 0);
        bin.insert(bin.end(), rest.begin(), rest.end());
        bwtest::WriteFileBytes(Dir.Path() / "hidden.bin", bin);
        bwtest::WriteFileText(Dir.Path() / "hidden.cue",
                              "FILE \"hidden.bin\" BINARY\n  TRACK 01 AUDIO\n"
                              "    INDEX 00 00:00:00\n    INDEX 01 00:01:25\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:03:25\n");
        ImageDrives drives((Dir.Path() / "hidden.cue").string());
        Player.Open(FirstDrive());
        if (!audio) {
            EXPECT_THROW(Player.TrackPosition(0), ECdPlayerError);
            continue;
        }
        ASSERT_EQ(Player.TrackPosition(0), -100);
        Player.SetStartPos(Player.TrackPosition(0));
        Player.SetEndPos(Player.TrackPosition(1));
        const std::uint64_t play = Player.Play();
        ASSERT_TRUE(Notices.WaitFor(play));
        EXPECT_EQ(Notices.All().back(), std::make_pair(TPlayResult::Successful, play));
        EXPECT_TRUE(Sink.LastRecording() == pregap);
        Player.Close();
    }
}

TEST_F(CdPlayerTest, PauseKeepsThePlaceAndStopOrReplaySendsNoNotice) {
    Player.Open(FirstDrive());
    const std::uint64_t first = PlayHeld();
    EXPECT_EQ(Player.Mode(), TPlayerMode::Playing);

    // Paused: the block in hand is delivered, then nothing more until Resume.
    Player.Pause();
    EXPECT_EQ(Player.Mode(), TPlayerMode::Paused);
    Sink.Release();
    ASSERT_TRUE(WaitUntil([&] { return Sink.TotalBytes() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::size_t atPause = Sink.TotalBytes();
    EXPECT_LT(atPause, ImageBytes(1, 4).size());
    EXPECT_EQ(Player.Mode(), TPlayerMode::Paused);
    Player.Resume();
    ASSERT_TRUE(Notices.WaitFor(1));
    EXPECT_TRUE(Sink.Recording(0) == ImageBytes(1, 4)); // nothing lost or repeated

    // A play replaced by another, and a stopped play, send nothing.
    Player.SetStartPos(Player.TrackPosition(1));
    PlayHeld();
    Player.SetStartPos(Player.TrackPosition(2));
    Player.SetEndPos(Player.TrackPosition(3));
    const std::uint64_t third = PlayHeld();
    Sink.Release();
    ASSERT_TRUE(Notices.WaitFor(2));
    EXPECT_TRUE(Sink.LastRecording() == ImageBytes(2, 3));
    PlayHeld();
    Player.Stop();
    EXPECT_EQ(Player.Mode(), TPlayerMode::Stopped);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto notices = Notices.All();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].second, first);
    EXPECT_EQ(notices[1].second, third);
}

TEST_F(CdPlayerTest, FailuresAreReportedNotPlayed) {
    // A disc whose later sectors cannot be read ends its play with a failure notice.
    Player.Open(FirstDrive());
    std::filesystem::resize_file(Image->BinPath(), 30 * CDSectorBytes);
    const std::uint64_t play = Player.Play();
    ASSERT_TRUE(Notices.WaitFor(1));
    EXPECT_EQ(Notices.All().back(), std::make_pair(TPlayResult::Failed, play));
    EXPECT_EQ(Notices.LastWhy(), "Cannot read sector 30");
    EXPECT_LE(Sink.LastRecording().size(), std::size_t(30) * CDSectorBytes);

    EXPECT_THROW(Player.TrackPosition(5), ECdPlayerError);
    EXPECT_THROW(Player.TrackPosition(0), ECdPlayerError);
    Player.SetStartPos(Player.TrackPosition(4)); // the lead-out: nothing left to play
    EXPECT_THROW(Player.Play(), ECdPlayerError);
    Player.Close();
    EXPECT_THROW(Player.Play(), ECdPlayerError);
    EXPECT_THROW(Player.TrackPosition(1), ECdPlayerError);

    // A drive without its disc.
    ImageDrives missing((Dir / "gone.cue").string());
    EXPECT_THROW(Player.Open(FirstDrive()), ECdPlayerError);
    EXPECT_EQ(Player.Mode(), TPlayerMode::NotOpen);
}

TEST_F(CdPlayerTest, NothingWaitsForAStalledSoundServer) {
    using TWhere = TStalledServer::TWhere;
    for (TWhere where : {TWhere::Connect, TWhere::Write}) {
        SCOPED_TRACE(where == TWhere::Connect ? "connecting" : "writing");
        TStalledServer server(where);
        Player.SetOutputFactory(server.Factory());
        Player.Open(FirstDrive());
        // Each command returns at once although the play's thread is held.
        auto quick = [](const std::function<void()>& command) {
            const auto start = std::chrono::steady_clock::now();
            command();
            return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500);
        };
        EXPECT_TRUE(quick([&] { Player.Play(); }));
        ASSERT_TRUE(WaitUntil([&] { return server.Stalling(); }));
        EXPECT_TRUE(quick([&] { Player.Stop(); }));
        EXPECT_EQ(Player.Mode(), TPlayerMode::Stopped);
        EXPECT_TRUE(quick([&] { Player.Play(); })); // a new play beside the held one
        EXPECT_TRUE(quick([&] { Player.Close(); }));
        EXPECT_EQ(Player.Mode(), TPlayerMode::NotOpen);
        EXPECT_FALSE(Player.ThreadsEnded());
        server.LetGo();
        EXPECT_TRUE(WaitUntil([&] { return Player.ThreadsEnded(); }));
        EXPECT_TRUE(Notices.All().empty()); // stopped plays send nothing
    }
    Player.SetOutputFactory(Sink.Factory());
}

TEST(PlayableEnd, StopsBeforeDataTracksAndTheSessionGap) {
    struct Case {
        std::vector<int> Starts;
        std::vector<bool> Audio;
        int Start, Expected;
    };
    const Case cases[] = {
        {{0, 100, 200}, {true, true}, 0, 200},                // all audio: the lead-out
        {{0, 20000, 40000}, {true, false}, 0, 20000 - 11400}, // audio, then a data session
        {{0, 5000, 9000}, {true, false}, 0, 5000},            // data right after short audio
        {{0, 3000, 6000}, {false, true}, 3000, 6000},         // data first, then audio
        {{0, 100, 200, 300}, {true, false, true}, 0, 100},    // audio, data, audio
        {{0, 100, 200, 300}, {true, false, true}, 200, 300},  // after the data track
    };
    for (const Case& c : cases) {
        TDiscTracks disc;
        disc.FirstTrack = 1;
        disc.Starts = c.Starts;
        disc.Audio = c.Audio;
        EXPECT_EQ(PlayableEnd(disc, c.Start), c.Expected);
    }
}

TEST(AudioOutput, PulseWithoutAServerFailsWithItsReason) {
    bwtest::TempDir dir;
    bwtest::ScopedVariable server("PULSE_SERVER", "unix:" + (dir / "no-server").string());
    EXPECT_THAT([] { OpenPulseOutput(); },
                testing::ThrowsMessage<EAudioOutputError>(
                    testing::HasSubstr("Cannot connect to the sound server: ")));
}

TEST(CdTray, ImageDrivesAndUnknownDrivesHaveNoTray) {
    bwtest::TempDir dir;
    CdImage image = CdImage::Write(dir.Path(), "disc", {10});
    ImageDrives drives(image);
    const int image0 = ReadDriveList().Count - 1; // images follow the physical drives
    EXPECT_EQ(MoveDriveTray(image0, true), TTrayResult::NoTray);
    EXPECT_EQ(MoveDriveTray(image0, false), TTrayResult::NoTray);
    EXPECT_EQ(MoveDriveTray(-1, true), TTrayResult::NoTray);
    EXPECT_EQ(MoveDriveTray(image0 + 1, true), TTrayResult::NoTray);

    // Shared with the tray's thread, which may end after the tray object.
    auto results = std::make_shared<TMessageQueue>();
    {
        TCdTray tray(
            [results](int, bool, TTrayResult result) { results->Post(static_cast<int>(result)); });
        tray.Open(image0);
        tray.Close(image0);
        for (int i = 0; i < 2; ++i) {
            auto result = results->WaitNext(std::chrono::seconds(5));
            ASSERT_TRUE(result);
            EXPECT_EQ(result->Msg, static_cast<int>(TTrayResult::NoTray));
        }
    }
    // Going, the tray waits for no command: those not begun are dropped, none is reported.
    {
        TCdTray tray(
            [results](int, bool, TTrayResult result) { results->Post(static_cast<int>(result)); });
        for (int i = 0; i < 50; ++i)
            tray.Open(image0);
    }
    int reported = 0;
    while (results->WaitNext(std::chrono::milliseconds(50)))
        ++reported;
    EXPECT_LT(reported, 50);
    // The image is untouched by a tray command.
    EXPECT_TRUE(bwtest::ReadFileBytes(image.BinPath()) == image.TrackBytes(1));
}

} // namespace
