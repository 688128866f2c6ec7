#include "AppFixture.h"
#include "Folders.h"

using namespace bw;

using DiscCache = AppFolders;

namespace {
TDiscFields Fields(std::string artist, int genre) {
    TDiscFields f;
    f.Artist = std::move(artist);
    f.Album = "Album";
    f.Year = "1999";
    f.GenreIndex = genre;
    f.Comment = "Comment";
    return f;
}
} // namespace

TEST_F(DiscCache, UnknownDiscReadsAsDefaults) {
    Settings.CDArtist = "left over";
    LoadSaveDiscInfo("12345", true);
    EXPECT_EQ(Settings.CDArtist, "");
    EXPECT_EQ(Settings.CDGenre, -1);
    EXPECT_EQ(Settings.TrackCount, 100);
    EXPECT_EQ(Settings.TrackTitles[1], "Track01");
    EXPECT_EQ(Settings.TrackTitles[100], "Track100");
}

TEST_F(DiscCache, TitlesComeBackForTheSameDisc) {
    Settings.TrackCount = 3;
    Settings.TrackTitles[1] = "Intro";
    Settings.TrackTitles[2] = "";
    Settings.TrackTitles[3] = "Finale / Reprise";
    LoadSaveDiscInfo("-1207957759", false, Fields("Artist", 18));
    EXPECT_EQ(bwtest::ReadFileText(Dir / "program" / "cd.dat"),
              "[-1207957759]\nCDArtist=Artist\nCDAlbum=Album\nCDYear=1999\nCDGenre=18\n"
              "CDComment=Comment\nCDTrackNumber=3\n1=Intro\n2=\n3=Finale / Reprise\n");

    Settings = TAppSettings{};
    LoadSaveDiscInfo("-1207957759", true);
    EXPECT_EQ(Settings.CDArtist, "Artist");
    EXPECT_EQ(Settings.CDAlbum, "Album");
    EXPECT_EQ(Settings.CDYear, "1999");
    EXPECT_EQ(Settings.CDGenre, 18);
    EXPECT_EQ(Settings.CDComment, "Comment");
    EXPECT_EQ(Settings.TrackCount, 3);
    EXPECT_EQ(Settings.TrackTitles[1], "Intro");
    EXPECT_EQ(Settings.TrackTitles[2], "Track02"); // an empty title reads as the default
    EXPECT_EQ(Settings.TrackTitles[3], "Finale / Reprise");

    LoadSaveDiscInfo("777", true); // another disc
    EXPECT_EQ(Settings.CDArtist, "");
}

TEST_F(DiscCache, ShorterSaveKeepsHigherKeysButDoesNotReadThem) {
    Settings.TrackCount = 15;
    for (int n = 1; n <= 15; ++n)
        Settings.TrackTitles[n] = "Old" + std::to_string(n);
    LoadSaveDiscInfo("42", false, Fields("A", 1));
    Settings.TrackCount = 12;
    for (int n = 1; n <= 12; ++n)
        Settings.TrackTitles[n] = "New" + std::to_string(n);
    LoadSaveDiscInfo("42", false, Fields("A", 1));
    EXPECT_NE(bwtest::ReadFileText(Dir / "program" / "cd.dat").find("13=Old13"), std::string::npos);

    Settings.TrackTitles[13] = "untouched";
    LoadSaveDiscInfo("42", true);
    EXPECT_EQ(Settings.TrackCount, 12);
    EXPECT_EQ(Settings.TrackTitles[12], "New12");
    EXPECT_EQ(Settings.TrackTitles[13], "untouched");
}

TEST_F(DiscCache, CountAboveAHundredReadsAHundred) {
    std::string text = "[9]\nCDTrackNumber=250\n";
    for (int n = 1; n <= 120; ++n)
        text += std::to_string(n) + "=T" + std::to_string(n) + "\n";
    bwtest::WriteFileText(Dir / "program" / "cd.dat", text);
    LoadSaveDiscInfo("9", true);
    EXPECT_EQ(Settings.TrackCount, 250);
    EXPECT_EQ(Settings.TrackTitles[100], "T100");
    // Saving such a count writes no more than a hundred titles.
    LoadSaveDiscInfo("9", false, Fields("x", 0));
    EXPECT_NE(bwtest::ReadFileText(Dir / "program" / "cd.dat").find("101=T101"), std::string::npos);
}

TEST_F(DiscCache, EmptyKeyDoesNothing) {
    Settings.CDArtist = "kept";
    Settings.TrackCount = 1;
    LoadSaveDiscInfo("", true);
    LoadSaveDiscInfo("", false, Fields("x", 0));
    EXPECT_EQ(Settings.CDArtist, "kept");
    EXPECT_FALSE(std::filesystem::exists(Dir / "program" / "cd.dat"));
}

TEST_F(DiscCache, UnwritableProgramFolderKeepsTheCacheWithTheSettings) {
    SetProgramFolder(Dir / "no-such-program-folder");
    Settings.TrackCount = 1;
    Settings.TrackTitles[1] = "One";
    LoadSaveDiscInfo("5", false, Fields("x", 0));
    EXPECT_TRUE(std::filesystem::exists(OptionsPath().parent_path() / "cd.dat"));
    EXPECT_EQ(DefaultOutputFolder(), (UserMusicFolder() / "Brindlewave").string());
}

// Where the cache and the default output folder go for each shape of program folder: only
// a writable folder that is not the bin folder of an installed tree keeps them.
TEST_F(DiscCache, DataStaysBesideOnlyAProgramThatIsNotInstalled) {
    struct TCase {
        const char* Program; // under Dir
        bool MakeInstalledDocs;
        bool Beside;
    } cases[] = {
        {"build", false, true},
        {"unpacked/bin", false, true},       // a bin folder without an installed tree around it
        {"prefix/bin", true, false},         // cmake --install, run by someone who may write there
        {"installed-doc/build", true, true}, // docs beside, but not a bin folder
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Program);
        const std::filesystem::path program = Dir / c.Program;
        std::filesystem::create_directories(program);
        if (c.MakeInstalledDocs)
            std::filesystem::create_directories(program.parent_path() / "share" / "doc" /
                                                "brindlewave");
        SetProgramFolder(program);
        EXPECT_EQ(DiscCacheFilePath() == program / "cd.dat", c.Beside);
        EXPECT_EQ(DefaultOutputFolder() == (program / "Output").string(), c.Beside);
        if (!c.Beside) {
            EXPECT_EQ(DiscCacheFilePath(), OptionsPath().parent_path() / "cd.dat");
            EXPECT_EQ(DefaultOutputFolder(), (UserMusicFolder() / "Brindlewave").string());
        }
    }
}

// The release beyond the disc fields comes back with the disc; a later save without a field
// leaves no stale value, and a section of an older version reads an empty release.
TEST_F(DiscCache, ReleaseComesBackAndAnOlderSectionReadsWithoutOne) {
    Settings.TrackCount = 2;
    TDiscRelease& release = Settings.CDRelease;
    release.AlbumArtist = "Various Artists";
    release.AlbumArtistIds = {"89ad", "ff00"};
    release.DiscNumber = 2;
    release.DiscTotal = 5;
    release.Label = "One Little Indian";
    release.Date = "1986-03";
    release.HiddenTrackTitle = "Hidden";
    release.Tracks[1] = {"Ann feat. Bo", "Ann, A feat. Bo", {"Ann", "Bo"}, {"a1", "b2"}, "t1"};
    release.Tracks[2].Artist = "Cy";
    const TDiscRelease saved = release;
    LoadSaveDiscInfo("5", false, Fields("Various Artists", 1));
    Settings = TAppSettings{};
    LoadSaveDiscInfo("5", true);
    EXPECT_EQ(Settings.CDRelease, saved);
    EXPECT_EQ(Settings.CDRelease.TrackArtist(1), "Ann feat. Bo");
    EXPECT_EQ(Settings.CDRelease.TrackArtist(3), "");

    Settings.CDRelease.Label.clear();
    Settings.CDRelease.Tracks.erase(2);
    LoadSaveDiscInfo("5", false, Fields("Various Artists", 1));
    const std::string text = bwtest::ReadFileText(Dir / "program" / "cd.dat");
    EXPECT_NE(text.find("Label=\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TrackArtist2=\n"), std::string::npos) << text;
    Settings = TAppSettings{};
    LoadSaveDiscInfo("5", true);
    EXPECT_EQ(Settings.CDRelease.Label, "");
    EXPECT_EQ(Settings.CDRelease.Tracks.count(2), 0u);

    bwtest::WriteFileText(Dir / "program" / "cd.dat",
                          "[6]\nCDArtist=Old\nCDAlbum=Disc\nCDTrackNumber=1\n1=One\n");
    LoadSaveDiscInfo("6", true);
    EXPECT_EQ(Settings.CDArtist, "Old");
    EXPECT_EQ(Settings.CDRelease, TDiscRelease{});
}
