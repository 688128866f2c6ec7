#include "DiscIdentity.h"
#include "CdImage.h"
#include "TestSupport.h"
#include "akrip32.h"

#include <cddb/cddb.h>
#include <gtest/gtest.h>
#include <memory>

using namespace bw;

namespace {

// The disc id libcddb computes for the layout the image writer produced.
unsigned LibcddbDiscId(const bwtest::CdImage& image) {
    std::unique_ptr<cddb_disc_t, void (*)(cddb_disc_t*)> disc(cddb_disc_new(), cddb_disc_destroy);
    for (int t = 1; t <= image.TrackCount(); ++t) {
        cddb_track_t* track = cddb_track_new();
        cddb_track_set_frame_offset(track, image.TrackStartSector(t) + 150);
        cddb_disc_add_track(disc.get(), track);
    }
    cddb_disc_set_length(disc.get(), static_cast<unsigned>((image.TotalSectors() + 150) / 75));
    cddb_disc_calc_discid(disc.get());
    return cddb_disc_get_discid(disc.get());
}

} // namespace

TEST(DiscKey, EqualsTheCddbDiscIdOfTheImage) {
    bwtest::TempDir dir;
    // The first layout's id has its top bit set, so its key is negative.
    for (const auto& tracks : std::vector<std::vector<int>>{
             {1483, 2527, 1697, 1231, 578, 2711, 1475, 791, 1301, 484, 443, 2398},
             {100},
             {4500, 4500}}) {
        auto image =
            bwtest::CdImage::Write(dir.Path(), "disc" + std::to_string(tracks.size()), tracks);
        bwtest::ImageDrives drive(image);
        unsigned expected = LibcddbDiscId(image);
        EXPECT_EQ(GetDiscKey(), std::to_string(static_cast<std::int32_t>(expected)));
        EXPECT_EQ(GetDiscKey(), GetDiscKey()) << "the same disc, the same key";
        if (tracks.size() == 12) {
            EXPECT_EQ(GetDiscKey().front(), '-');
        }
        EXPECT_TRUE(IsAudioDiscPresent());
    }
}

TEST(DiscKey, SkipsDrivesWithoutDiscAndIsEmptyWithoutAny) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {2000, 3000});
    {
        bwtest::ImageDrives drives((dir / "empty.cue").string() + ":" + image.CuePath().string());
        EXPECT_EQ(GetDiscKey(), std::to_string(static_cast<std::int32_t>(LibcddbDiscId(image))));
        // Only the first drive counts for "is there an audio disc".
        TCDList list = ReadDriveList();
        if (list.Count == 2) {
            EXPECT_FALSE(IsAudioDiscPresent());
        }
    }
    bwtest::ImageDrives none((dir / "empty.cue").string());
    TCDList list = ReadDriveList();
    if (list.Count == 1) {
        EXPECT_EQ(GetDiscKey(), "");
        EXPECT_FALSE(IsAudioDiscPresent());
    }
}

TEST(DiscKey, SignedDecimalText) {
    EXPECT_EQ(DiscKeyText(0x7f0a1b02u), "2131368706");
    EXPECT_EQ(DiscKeyText(0x80000001u), "-2147483647");
    EXPECT_EQ(DiscKeyText(0xffffffffu), "-1");
}
