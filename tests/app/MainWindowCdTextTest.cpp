// CD-Text fills the fields of a disc the title cache does not know, from cue sheets and
// cdrdao TOC files as other programs write them.
#include "DiscIdentity.h"
#include "MainWindowFixture.h"

#include <QLineEdit>

using namespace bw;

namespace {

// A cue sheet in the style rippers write, with the disc's and each track's CD-Text.
std::string CueSheet(const bwtest::CdImage& image) {
    std::string cue = "REM GENRE Rock\r\nREM DATE 1999\r\nPERFORMER \"Cue Artist\"\r\n"
                      "TITLE \"Cue Album\"\r\nFILE \"disc.bin\" BINARY\r\n";
    const char* titles[] = {"Opening", "Side/Step", "Caf\xc3\xa9 Close"};
    for (int t = 1; t <= image.TrackCount(); ++t) {
        cue += "  TRACK 0" + std::to_string(t) + " AUDIO\r\n    TITLE \"" + titles[t - 1] +
               "\"\r\n    PERFORMER \"Cue Artist\"\r\n    INDEX 01 " +
               bwtest::Msf(image.TrackStartSector(t)) + "\r\n";
    }
    return cue;
}

// A TOC file as cdrdao read-toc writes it, CD_TEXT blocks and all.
std::string CdrdaoToc(const bwtest::CdImage& image) {
    std::string toc = "CD_DA\n\nCD_TEXT {\n  LANGUAGE_MAP {\n    0 : EN\n  }\n\n"
                      "  LANGUAGE 0 {\n    TITLE \"Toc Album\"\n    PERFORMER \"\"\n  }\n}\n";
    const char* performers[] = {"Toc Artist", "Toc Artist", "Toc Artist"};
    const char* titles[] = {"Uno", "Dos", "Tres"};
    for (int t = 1; t <= image.TrackCount(); ++t) {
        toc += "\n// Track " + std::to_string(t) +
               "\nTRACK AUDIO\nNO COPY\nNO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\nCD_TEXT {\n"
               "  LANGUAGE 0 {\n    TITLE \"" +
               std::string(titles[t - 1]) + "\"\n    PERFORMER \"" + performers[t - 1] +
               "\"\n  }\n}\nDATAFILE \"disc.bin\" #" +
               std::to_string(std::int64_t(image.TrackStartSector(t)) * 2352) + " " +
               bwtest::Msf(image.TrackSectors(t)) + "\n";
    }
    return toc;
}

} // namespace

TEST_F(MainWindowTest, CdTextFillsTheFieldsOfAnUnknownDiscOnly) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {120, 90, 150});
    struct Case {
        const char* Name;
        std::string File, Text, Artist, Album;
        std::vector<QString> Titles;
    };
    const std::vector<Case> cases = {
        {"cue sheet",
         "disc.cue",
         CueSheet(image),
         "Cue Artist",
         "Cue Album",
         {"Opening", "Side/Step", QString::fromUtf8("Caf\xc3\xa9 Close")}},
        // The disc's performer is empty; the tracks all name the same one.
        {"cdrdao TOC file",
         "disc.toc",
         CdrdaoToc(image),
         "Toc Artist",
         "Toc Album",
         {"Uno", "Dos", "Tres"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bwtest::WriteFileText(Dir / c.File, c.Text);
        setenv("BRINDLEWAVE_CD_IMAGES", (Dir / c.File).c_str(), 1);
        const std::string key = GetDiscKey();
        ASSERT_FALSE(key.empty());
        std::filesystem::remove(DiscCacheFilePath());

        TfrmMain& w = StartWindow();
        ASSERT_EQ(Rows(), 3);
        EXPECT_EQ(w.ID3artist->text().toStdString(), c.Artist);
        EXPECT_EQ(w.ID3album->text().toStdString(), c.Album);
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(Cell(row, colTitle), c.Titles[row]);
        w.ID3comment->setText("typed");
        CloseWindow(); // the disc is known from now on

        // What the cache knows wins over the disc's CD-Text.
        bwtest::WriteFileText(DiscCacheFilePath(), "[" + key +
                                                       "]\nCDArtist=Cached\nCDAlbum=\n"
                                                       "CDTrackNumber=3\n1=Mine\n");
        TfrmMain& again = StartWindow();
        EXPECT_EQ(again.ID3artist->text(), "Cached");
        EXPECT_EQ(again.ID3album->text(), "");
        EXPECT_EQ(Cell(0, colTitle), "Mine");
        EXPECT_EQ(Cell(1, colTitle), "Track02");
        CloseWindow();
    }
}
