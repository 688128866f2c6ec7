// A disc whose first track is 2: the list shows the disc's numbers, and titles kept in
// cd.dat by row come back to the same rows however often they are saved and loaded.
#include "DiscIdentity.h"
#include "IniFile.h"
#include "MainWindowFixture.h"

namespace fs = std::filesystem;
using namespace bw;

TEST_F(MainWindowTest, DiscNumberedFromTwoKeepsItsTitlesOverSavesAndReloads) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {80, 90, 100});
    image.NumberFrom(2);
    InsertDisc(image);
    const std::string key = GetDiscKey();
    ASSERT_FALSE(key.empty());
    {
        StartWindow();
        ASSERT_EQ(Rows(), 3);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(Cell(row, colNumber), QString::number(row + 2));
            EXPECT_EQ(Cell(row, colTitle), QStringLiteral("Track0%1").arg(row + 2));
        }
        Row(0)->setText(colTitle, QStringLiteral("Opening"));
        Row(2)->setText(colTitle, QStringLiteral("Finale"));
        CloseWindow();
    }
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Settings = TAppSettings{};
        StartWindow();
        ASSERT_EQ(Rows(), 3);
        EXPECT_EQ(Cell(0, colTitle), "Opening");
        EXPECT_EQ(Cell(1, colTitle), "Track03");
        EXPECT_EQ(Cell(2, colTitle), "Finale");
        CloseWindow();
        // Key n is the n-th row, whatever the disc's number for it.
        TIniFile cache = TIniFile::Load(DiscCacheFilePath());
        EXPECT_EQ(cache.ReadString(key, "1", ""), "Opening");
        EXPECT_EQ(cache.ReadString(key, "3", ""), "Finale");
        EXPECT_EQ(cache.ReadInteger(key, "CDTrackNumber", 0), 3);
    }
}

TEST_F(MainWindowTest, CdTextOfADiscNumberedFromTwoFillsTheRowsInOrder) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {80, 90, 100});
    std::string cue = "TITLE \"Album\"\nFILE \"disc.bin\" BINARY\n";
    const char* titles[] = {"Uno", "Dos", "Tres"};
    for (int t = 1; t <= 3; ++t)
        cue += "  TRACK 0" + std::to_string(t) + " AUDIO\n    TITLE \"" + titles[t - 1] +
               "\"\n    INDEX 01 " + bwtest::Msf(image.TrackStartSector(t)) + "\n";
    bwtest::WriteFileText(image.CuePath(), cue);
    image.NumberFrom(2);
    InsertDisc(image);
    StartWindow();
    ASSERT_EQ(Rows(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Cell(row, colTitle), titles[row]);
}

// Audio before track 1's index 1 is the first row, track 0, unticked; the other rows and the
// titles kept for them stay the TOC's tracks.
TEST_F(MainWindowTest, HiddenTrackIsAnUntickedRowZeroBesideTheTocsRows) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {100, 80, 90});
    bwtest::WriteFileText(image.CuePath(), "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                           "    INDEX 00 00:00:00\n    INDEX 01 00:01:25\n"
                                           "  TRACK 02 AUDIO\n    INDEX 01 00:02:30\n");
    InsertDisc(image);
    const std::string key = GetDiscKey();
    TfrmMain& window = StartWindow();
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, colNumber), "0");
    EXPECT_EQ(window.TrackSelection(), (std::vector<std::string>{"01Track01", "02Track02"}));
    Row(0)->setCheckState(colNumber, Qt::Checked);
    Row(2)->setText(colTitle, QStringLiteral("Finale"));
    EXPECT_EQ(window.TrackSelection(),
              (std::vector<std::string>{"00Hidden Track", "01Track01", "02Finale"}));
    CloseWindow();
    TIniFile cache = TIniFile::Load(DiscCacheFilePath());
    EXPECT_EQ(cache.ReadString(key, "2", ""), "Finale");
    EXPECT_EQ(cache.ReadInteger(key, "CDTrackNumber", 0), 2);
}
