#include "DriveFaults.h"
#include "CdImage.h"
#include "CdLibrary.h"
#include "ImageDriveHelpers.h"
#include "TestSupport.h"

#include <chrono>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace bw;
using bwtest::OpenLastDrive;
using bwtest::ReadSectors;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using K = TSectorFaultKind;

struct TParseCase {
    const char* Text;
    std::vector<TSectorFault> Sectors;
    double Speed;
};

bool Same(const TSectorFault& a, const TSectorFault& b) {
    return a.Kind == b.Kind && a.First == b.First && a.Last == b.Last && a.Reads == b.Reads;
}

// A drive of `sectors` sectors whose sector s holds the byte s & 0xff throughout.
struct TFakeDisc {
    int Reads = 0;
    bool Read(std::uint8_t* audio, std::int64_t first, std::uint32_t count) {
        ++Reads;
        for (std::uint32_t i = 0; i < count; ++i)
            std::memset(audio + i * 2352, int((first + i) & 0xff), 2352);
        return true;
    }
};

// Reads sectors [first, first+count) through the faults; empty when the read failed.
std::vector<std::uint8_t> Read(TDriveFaultState& state, TFakeDisc& disc, std::int64_t first,
                               std::uint32_t count) {
    std::vector<std::uint8_t> audio(count * 2352);
    auto reader = [&](std::uint8_t* a, std::int64_t f, std::uint32_t n) {
        return disc.Read(a, f, n);
    };
    if (!state.Read(audio.data(), first, count, reader)) return {};
    return audio;
}

bool SectorRight(const std::vector<std::uint8_t>& audio, int index, std::int64_t sector) {
    for (std::size_t i = 0; i < 2352; ++i)
        if (audio[index * 2352 + i] != std::uint8_t(sector & 0xff)) return false;
    return true;
}

} // namespace

TEST(DriveFaults, ParsesEveryKindOfEntry) {
    const TParseCase cases[] = {
        {"", {}, 0},
        {"  ", {}, 0},
        {"flaky:10-20:3", {{K::Flaky, 10, 20, 3}}, 0},
        {"error:5:2", {{K::Error, 5, 5, 2}}, 0},
        {"unstable:0-0", {{K::Unstable, 0, 0, 0}}, 0},
        {"speed:40", {}, 40},
        {"speed:0.5", {}, 0.5},
        {" flaky:1-2:0 , unstable:7-9,speed:8,", {{K::Flaky, 1, 2, 0}, {K::Unstable, 7, 9, 0}}, 8},
        {"error:100-200:5,error:150-300:1", {{K::Error, 100, 200, 5}, {K::Error, 150, 300, 1}}, 0},
        {"error:7-8", {{K::Error, 7, 8, EveryRead}}, 0},
        {"sticky:9,sticky:20:3", {{K::Sticky, 9, 9, 0}, {K::Sticky, 20, 22, 0}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TDriveFaultList list = ParseDriveFaults(c.Text);
        ASSERT_EQ(list.Sectors.size(), c.Sectors.size());
        for (std::size_t i = 0; i < c.Sectors.size(); ++i)
            EXPECT_TRUE(Same(list.Sectors[i], c.Sectors[i])) << i;
        EXPECT_EQ(list.Speed, c.Speed);
        EXPECT_EQ(list.Empty(), c.Sectors.empty() && c.Speed == 0);
    }
}

TEST(DriveFaults, RefusesMalformedEntriesNamingThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"flaky:10-20", "expected flaky:FIRST-LAST:K"},
        {"flaky:10-20:3:4", "expected flaky"},
        {"unstable:1-2:3", "expected unstable:FIRST-LAST"},
        {"error:20-10:1", "LAST comes before FIRST"},
        {"error:-5:1", "not FIRST-LAST"},
        {"error:1-2-3:1", "not FIRST-LAST"},
        {"error:1-x:1", "not FIRST-LAST"},
        {"error:+1-2:1", "not FIRST-LAST"},
        {"error:1-9999999999:1", "not FIRST-LAST"},
        {"flaky:1-2:-1", "K is not"},
        {"flaky:1-2:", "K is not"},
        {"speed:0", "speed is not"},
        {"speed:-3", "speed is not"},
        {"speed:1e3", "speed is not"},
        {"speed:inf", "speed is not"},
        {"speed:1.2.3", "speed is not"},
        {"speed:20000", "speed is not"},
        {"speed:4,speed:8", "given twice"},
        {"Flaky:1-2:1", "unknown fault"},
        {"scratch:1-2", "unknown fault"},
        {"flaky:1-2:1 unstable:3-4", "expected flaky"},
        {"sticky:5:0", "COUNT is not"},
        {"sticky:1-2", "SECTOR is not"},
        {"cache:0", "N is not"},
        {"cache:10001", "not a number from"},
    };
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(text);
        try {
            ParseDriveFaults(text);
            ADD_FAILURE() << "accepted";
        } catch (const EDriveFaults& e) {
            EXPECT_THAT(e.what(), HasSubstr("BRINDLEWAVE_CD_FAULTS"));
            EXPECT_THAT(e.what(), HasSubstr(why));
        }
    }
    // A long or binary entry is quoted short and printable.
    try {
        ParseDriveFaults(std::string("bogus\x01\n") + std::string(500, 'x'));
        ADD_FAILURE();
    } catch (const EDriveFaults& e) {
        EXPECT_LT(std::string(e.what()).size(), 200u);
        EXPECT_THAT(e.what(), Not(HasSubstr("\n")));
    }
    EXPECT_THROW(ParseDriveFaults(std::string(1001, ',') + "x"), EDriveFaults);
}

TEST(DriveFaults, FlakyErrorAndUnstableSectorsBehaveAsTheirReadsCount) {
    TDriveFaultState state(ParseDriveFaults("flaky:10-11:2,error:20-20:3,unstable:30-31"));
    TFakeDisc disc;
    // Sectors 8..13: 10 and 11 are wrong on their first two reads, each time differently.
    auto first = Read(state, disc, 8, 6);
    auto second = Read(state, disc, 8, 6);
    auto third = Read(state, disc, 8, 6);
    for (int i = 0; i < 6; ++i) {
        const bool flaky = i == 2 || i == 3;
        EXPECT_NE(SectorRight(first, i, 8 + i), flaky) << i;
        EXPECT_NE(SectorRight(second, i, 8 + i), flaky) << i;
        if (!flaky) continue;
        EXPECT_FALSE(std::equal(first.begin() + i * 2352, first.begin() + (i + 1) * 2352,
                                second.begin() + i * 2352));
        EXPECT_TRUE(SectorRight(third, i, 8 + i));
    }
    // A read touching sector 20 fails three times (the drive is not even asked), then works.
    int before = disc.Reads;
    EXPECT_TRUE(Read(state, disc, 15, 6).empty());
    EXPECT_TRUE(Read(state, disc, 20, 1).empty());
    EXPECT_EQ(disc.Reads, before);
    EXPECT_FALSE(Read(state, disc, 0, 20).empty()); // next to it: fine
    EXPECT_TRUE(Read(state, disc, 19, 2).empty());
    auto healed = Read(state, disc, 19, 2);
    ASSERT_FALSE(healed.empty());
    EXPECT_TRUE(SectorRight(healed, 1, 20));
    // Unstable sectors never read right, nor the same twice.
    std::vector<std::uint8_t> previous;
    for (int round = 0; round < 5; ++round) {
        auto audio = Read(state, disc, 31, 2);
        EXPECT_FALSE(SectorRight(audio, 0, 31));
        EXPECT_TRUE(SectorRight(audio, 1, 32));
        EXPECT_NE(audio, previous);
        previous = audio;
    }
}

// A cache answers re-reads with what it holds, wrong data included, until it is read away;
// a sticky sector reads the same wrong data every time.
TEST(DriveFaults, CacheAndStickySectorsRepeatTheirWrongData) {
    TDriveFaultState state(ParseDriveFaults("cache:20,flaky:5:1,sticky:40,error:60"));
    TFakeDisc disc;
    const auto first = Read(state, disc, 0, 10);
    EXPECT_FALSE(SectorRight(first, 5, 5));
    EXPECT_EQ(Read(state, disc, 5, 1),
              std::vector<std::uint8_t>(first.begin() + 5 * 2352, first.begin() + 6 * 2352));
    EXPECT_EQ(state.CacheHits(), 1u);
    Read(state, disc, 100, 20); // 20 other sectors: the cache holds none of the first now
    EXPECT_TRUE(SectorRight(Read(state, disc, 5, 1), 0, 5));
    const auto sticky = Read(state, disc, 40, 1);
    Read(state, disc, 200, 20);
    EXPECT_FALSE(SectorRight(sticky, 0, 40));
    EXPECT_EQ(Read(state, disc, 40, 1), sticky);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Read(state, disc, 59, 2).empty());
}

TEST(DriveFaults, SpeedLimitPacesReads) {
    TDriveFaultState state(ParseDriveFaults("speed:20")); // 1500 sectors a second
    TFakeDisc disc;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        Read(state, disc, i * 30, 30);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 300.0 / 1500 * 0.95);
}

TEST(DriveFaults, ImageDrivesReadThroughTheEnvironmentsFaults) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {40, 40});
    bwtest::ImageDrives drives(image);
    const auto& track2 = image.TrackBytes(2);
    std::vector<std::uint8_t> expected(track2.begin(), track2.begin() + 10 * 2352);
    {
        // Sector 45 is the sixth of track 2; a read offset shifts which sectors are read.
        bwtest::FaultyDrives faults("flaky:45-45:1,error:41-41:1");
        int handle = OpenLastDrive();
        ASSERT_NE(handle, 0);
        TTOC toc;
        ASSERT_EQ(ReadTOC(handle, &toc), 1);
        EXPECT_TRUE(ReadSectors(handle, 40, 10).empty());
        EXPECT_EQ(GetAspiLibError(), CDERR_READ_FAILED);
        auto spoiled = ReadSectors(handle, 40, 10);
        ASSERT_EQ(spoiled.size(), expected.size());
        EXPECT_NE(spoiled, expected);
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 5 * 2352, spoiled.begin()));
        EXPECT_EQ(ReadSectors(handle, 40, 10), expected);
        CloseCDHandle(handle);
    }
    {
        bwtest::FaultyDrives faults("flaky:1-2");
        int handle = OpenLastDrive();
        ASSERT_NE(handle, 0);
        TTOC toc;
        EXPECT_EQ(ReadTOC(handle, &toc), 0);
        EXPECT_THAT(GetCDDiscError(handle), HasSubstr("BRINDLEWAVE_CD_FAULTS"));
        CloseCDHandle(handle);
    }
}
