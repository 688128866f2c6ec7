// The main window driven through its own handlers, with image drives standing in for CD
// drives and the profile files read back as text.
#include <QComboBox>
#include <QCompleter>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "DiscIdentity.h"
#include "EditTrackName.h"
#include "Genres.h"
#include "IniFile.h"
#include "MainWindowFixture.h"
#include "MediaWatcher.h"
#include "QtMainThread.h"
#include "QtMessages.h"
#include "QueryCddb.h"
#include "ToolOracles.h"

namespace fs = std::filesystem;
using namespace bw;

namespace {

// A CD image with short tracks; seed keeps discs of equal lengths apart.
bwtest::CdImage SmallDisc(const fs::path& folder, int tracks = 3, std::uint32_t seed = 1) {
    std::vector<int> lengths;
    for (int i = 0; i < tracks; ++i)
        lengths.push_back(75 + 40 * i + static_cast<int>(seed));
    return bwtest::CdImage::Write(folder, "disc" + std::to_string(seed), lengths, seed);
}

TIniFile CacheFile() {
    return TIniFile::Load(DiscCacheFilePath());
}

} // namespace

TEST_F(MainWindowTest, WithoutDrivesTheListStaysEmptyAndRipSaysSo) {
    Settings.OutputFormat = 0;
    WriteOptions("[CommonOptions]\nOutputFormat=4\nOutputFolder=/nowhere/out\n");
    TfrmMain& w = StartWindow();
    EXPECT_EQ(w.StatusText(), "Can not find CD devices!");
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(w.CDHandle, 0);
    EXPECT_EQ(w.windowTitle(), "Brindlewave");
    // The controls show the stored settings even without a drive.
    EXPECT_EQ(w.cbOutputFormat->currentIndex(), 4);
    EXPECT_EQ(w.eOutputDir->text(), "/nowhere/out");
    EXPECT_FALSE(w.aRip->isEnabled());
    EXPECT_FALSE(w.aQueryCDDB->isEnabled());

    w.aRipExecute();
    EXPECT_EQ(LastBox(), "Please access CD devices rightly firstly!");
    EXPECT_EQ(Boxes.back().Kind, TBoxKind::Information);
    w.aQueryCDDBExecute();
    EXPECT_EQ(LastBox(), "Error while reading TOC information!");
    EXPECT_EQ(Boxes.back().Kind, TBoxKind::Error);
}

TEST_F(MainWindowTest, RowsShowStartAndLengthInMinutesAndSeconds) {
    // Track 1 starts at 00:02:00 and track 2 at 04:31:50; track 2 ends at 05:07:50, so its
    // seconds borrow a minute; track 3 ends at 05:21:00.
    auto image = bwtest::CdImage::Write(Dir.Path(), "long", {20225, 2700, 1000});
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 3);
    // The Artist column stays empty: the tracks are the disc's artist's.
    const char* expected[3][5] = {{"1", "Track01", "", "00:02", "04:29"},
                                  {"2", "Track02", "", "04:31", "00:36"},
                                  {"3", "Track03", "", "05:07", "00:14"}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(Cell(r, c), expected[r][c]) << "row " << r << " column " << c;
        EXPECT_TRUE(Ticked(r));
    }
    EXPECT_EQ(w.StatusText(), QString::fromStdString(w.DriveName));
    EXPECT_TRUE(w.StatusText().startsWith("IMAGE"));
    EXPECT_NE(w.CDHandle, 0);
    EXPECT_TRUE(w.aRip->isEnabled());
    EXPECT_TRUE(w.aQueryCDDB->isEnabled());
    EXPECT_EQ(w.ListedDiscKey(), GetDiscKey());
}

TEST_F(MainWindowTest, TitlesAndDiscFieldsComeFromTheCacheAndSurviveARestart) {
    auto image = SmallDisc(Dir.Path(), 8);
    InsertDisc(image);
    const std::string key = GetDiscKey();
    ASSERT_FALSE(key.empty());
    bwtest::WriteFileText(DiscCacheFilePath(), "[" + key +
                                                   "]\nCDArtist=The Band\nCDAlbum=Live\nCDYear="
                                                   "1999\nCDGenre=18\nCDComment=first press\n"
                                                   "CDTrackNumber=8\n1=Intro\n2=Song\n7=\n");
    {
        TfrmMain& w = StartWindow();
        ASSERT_EQ(Rows(), 8);
        EXPECT_EQ(Cell(0, colTitle), "Intro");
        EXPECT_EQ(Cell(1, colTitle), "Song");
        EXPECT_EQ(Cell(6, colTitle), "Track07"); // left empty in the cache
        EXPECT_EQ(w.ID3artist->text(), "The Band");
        EXPECT_EQ(w.ID3album->text(), "Live");
        EXPECT_EQ(w.ID3year->text(), "1999");
        EXPECT_EQ(w.ID3genre->currentText(), "Blues");
        EXPECT_EQ(w.ID3comment->text(), "first press");
        const TDiscTagFields tags = w.DiscTagFields();
        EXPECT_EQ(tags.Genre, "Blues");
        EXPECT_EQ(tags.Artist, "The Band");
        EXPECT_EQ(w.DiscFields().GenreIndex, 18);

        // The user double-clicks a track, renames it and changes the disc fields.
        bwtest::WhenModal([](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmEditTrackName*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->eName->text(), "Track03");
            dialog->eName->setText(QStringLiteral("Ballad for Ann"));
            dialog->aOK->trigger();
        });
        const QPoint title = w.ListView1->visualItemRect(Row(2)).center();
        QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, {}, title);
        QTest::mouseDClick(w.ListView1->viewport(), Qt::LeftButton, {}, title);
        EXPECT_EQ(Cell(2, colTitle), "Ballad for Ann");
        // Cancel leaves the title as it was.
        bwtest::WhenModal([](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmEditTrackName*>(modal);
            dialog->eName->setText(QStringLiteral("discarded"));
            dialog->btCancel->click();
        });
        w.aEditTrackName->trigger();
        EXPECT_EQ(Cell(2, colTitle), "Ballad for Ann");
        w.ID3artist->setText(QStringLiteral("The Other Band"));
        w.ID3genre->setCurrentIndex(96);
        w.cbOutputFormat->setCurrentIndex(2);
        CloseWindow();
    }
    TIniFile cache = CacheFile();
    EXPECT_EQ(cache.ReadString(key, "3", ""), "Ballad for Ann");
    EXPECT_EQ(cache.ReadString(key, "7", ""), "Track07");
    EXPECT_EQ(cache.ReadInteger(key, "CDTrackNumber", 0), 8);
    EXPECT_EQ(cache.ReadInteger(key, "CDGenre", 0), 96);
    EXPECT_EQ(TIniFile::Load(OptionsPath()).ReadInteger("CommonOptions", "OutputFormat", -1), 2);

    Settings = TAppSettings{};
    TfrmMain& again = StartWindow();
    ASSERT_EQ(Rows(), 8);
    EXPECT_EQ(Cell(2, colTitle), "Ballad for Ann");
    EXPECT_EQ(again.ID3artist->text(), "The Other Band");
    EXPECT_EQ(again.ID3genre->currentText(), "Other");
    EXPECT_EQ(again.cbOutputFormat->currentIndex(), 2);
}

TEST_F(MainWindowTest, CachedTextsLongerThanTheFieldsAreKeptWhole) {
    auto image = SmallDisc(Dir.Path(), 2);
    InsertDisc(image);
    const std::string longArtist(45, 'a');
    bwtest::WriteFileText(DiscCacheFilePath(),
                          "[" + GetDiscKey() + "]\nCDArtist=" + longArtist + "\nCDGenre=400\n");
    TfrmMain& w = StartWindow();
    EXPECT_EQ(w.ID3artist->text().toStdString(), longArtist);
    EXPECT_EQ(w.ID3genre->currentIndex(), -1); // an index the list does not have
    // Typing stops at the year's width; the texts take what is typed.
    w.ID3year->clear();
    QTest::keyClicks(w.ID3year, QStringLiteral("199912"));
    EXPECT_EQ(w.ID3year->text(), "1999");
}

TEST_F(MainWindowTest, TicksDecideWhetherRipIsEnabled) {
    auto image = SmallDisc(Dir.Path(), 4);
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 4);
    EXPECT_TRUE(w.tbRip->isEnabled());

    w.aSelectNoneExecute();
    for (int r = 0; r < 4; ++r)
        EXPECT_FALSE(Ticked(r));
    EXPECT_FALSE(w.aRip->isEnabled());
    EXPECT_FALSE(w.tbRip->isEnabled());

    // Ctrl+click on a row flips its tick and nothing else.
    QRect rect = w.ListView1->visualItemRect(Row(2));
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    EXPECT_TRUE(Ticked(2));
    EXPECT_FALSE(Ticked(0) || Ticked(1) || Ticked(3));
    EXPECT_TRUE(w.aRip->isEnabled());
    EXPECT_TRUE(w.tbRip->isEnabled());
    // Also on the tick box itself it flips once, not twice.
    QRect box = w.ListView1->visualItemRect(Row(1));
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      QPoint(box.left() + 8, box.center().y()));
    EXPECT_TRUE(Ticked(1));
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    EXPECT_FALSE(Ticked(2));

    w.aInvertSelectionExecute();
    EXPECT_TRUE(Ticked(0) && !Ticked(1) && Ticked(2) && Ticked(3));
    w.aSelectAllExecute();
    EXPECT_TRUE(Ticked(0) && Ticked(1) && Ticked(2) && Ticked(3));
}

TEST_F(MainWindowTest, RowCommandsNeedASelectedRowAndPlaybackStateRulesPauseAndStop) {
    auto image = SmallDisc(Dir.Path(), 2);
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    w.ListView1->clearSelection();
    EXPECT_FALSE(w.aPlay->isEnabled());
    EXPECT_FALSE(w.aEditTrackName->isEnabled());
    EXPECT_FALSE(w.tbPlay->isEnabled());
    w.ListView1->setCurrentItem(Row(1));
    EXPECT_TRUE(w.aPlay->isEnabled());
    EXPECT_TRUE(w.aEditTrackName->isEnabled());
    EXPECT_FALSE(w.aPause->isEnabled());
    EXPECT_FALSE(w.aStop->isEnabled());
    w.IsPlaying = true;
    w.UpdateActions();
    EXPECT_TRUE(w.aPause->isEnabled());
    EXPECT_TRUE(w.aStop->isEnabled());
    w.IsPaused = true;
    w.UpdateActions();
    EXPECT_FALSE(w.aPause->isEnabled());
    EXPECT_TRUE(w.tbStop->isEnabled());
}

TEST_F(MainWindowTest, RipChecksTicksAndTheOutputFolder) {
    auto image = SmallDisc(Dir.Path(), 3);
    InsertDisc(image);
    TfrmMain& w = StartWindow();

    w.aSelectNoneExecute();
    w.aRipExecute();
    EXPECT_EQ(LastBox(), "Please select a track at least!");

    Row(0)->setCheckState(colNumber, Qt::Checked);
    Row(2)->setCheckState(colNumber, Qt::Checked);
    Row(2)->setText(colTitle, QStringLiteral("Finale"));
    EXPECT_EQ(w.TrackSelection(), (std::vector<std::string>{"01Track01", "03Finale"}));

    const fs::path out = Dir / "music";
    Settings.OutputFolder = out.string();
    Boxes.clear();
    QuestionAnswer = TBoxAnswer::No;
    w.aRipExecute();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TBoxKind::Question);
    EXPECT_EQ(Boxes[0].Text, QString::fromStdString(out.string()) +
                                 ",the output folder does not exist.\ncreates a new folder?");
    EXPECT_FALSE(fs::exists(out));

    Boxes.clear();
    QuestionAnswer = TBoxAnswer::Yes;
    Settings.OutputFormat = 1; // WAV
    w.aRipExecute();           // the rip window rips the two tracks and closes
    EXPECT_TRUE(fs::is_directory(out));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(fs::exists(out / "Track01.wav"));
    EXPECT_TRUE(fs::exists(out / "Finale.wav"));
    // The tests' database is a closed port: nothing could be checked, and the status says so.
    EXPECT_EQ(w.StatusText(), "AccurateRip: 0 of 2 tracks accurate, 2 not checked (the database "
                              "could not be reached)");

    // The whole path is made, as the command line makes it.
    const fs::path deep = Dir / "a" / "b";
    Settings.OutputFolder = deep.string();
    Boxes.clear();
    w.aRipExecute();
    EXPECT_TRUE(fs::exists(deep / "Finale.wav"));
    // A path that cannot be made says why.
    bwtest::WriteFileText(Dir / "file", "");
    const fs::path blocked = Dir / "file" / "b";
    Settings.OutputFolder = blocked.string();
    Boxes.clear();
    w.aRipExecute();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Kind, TBoxKind::Error);
    EXPECT_EQ(Boxes[1].Text,
              "Cannot create " + QString::fromStdString(blocked.string()) + ": Not a directory");
}

TEST_F(MainWindowTest, DiscRemovalAndArrival) {
    // Two discs written under the same name, so one can replace the other in the drive.
    // Two discs kept aside; the drive reads whichever was copied into its image files.
    fs::create_directories(Dir / "a");
    fs::create_directories(Dir / "b");
    fs::create_directories(Dir / "drive");
    auto kept = bwtest::CdImage::Write(Dir / "a", "disc", {100, 140, 180}, 1);
    auto second = bwtest::CdImage::Write(Dir / "b", "disc", {77, 117, 157, 197, 237}, 2);
    const fs::path driveCue = Dir / "drive" / "disc.cue";
    auto swapIn = [&](const bwtest::CdImage& image) {
        fs::copy_file(image.BinPath(), Dir / "drive" / "disc.bin",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(image.CuePath(), driveCue, fs::copy_options::overwrite_existing);
    };
    swapIn(kept);
    setenv("BRINDLEWAVE_CD_IMAGES", driveCue.c_str(), 1);
    const std::string firstKey = GetDiscKey();
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 3);
    w.ID3artist->setText(QStringLiteral("Typed Artist"));
    Row(0)->setText(colTitle, QStringLiteral("Typed Title"));

    fs::remove(driveCue);
    w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(w.aRip->isEnabled());
    EXPECT_FALSE(w.aQueryCDDB->isEnabled());
    // What was typed for the removed disc is kept in the cache.
    EXPECT_EQ(CacheFile().ReadString(firstKey, "1", ""), "Typed Title");
    EXPECT_EQ(CacheFile().ReadString(firstKey, "CDArtist", ""), "Typed Artist");

    // Another disc arrives: listed, and the previous disc's fields are gone.
    swapIn(second);
    const std::string secondKey = GetDiscKey();
    ASSERT_NE(secondKey, firstKey);
    w.WMDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    WaitForDisc();
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(w.ListedDiscKey(), secondKey);
    EXPECT_TRUE(w.ID3artist->text().isEmpty());
    EXPECT_EQ(w.ID3genre->currentIndex(), -1);

    // The first disc comes back: the cache's fields and titles show again.
    w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME);
    swapIn(kept);
    w.WMDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    WaitForDisc();
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, colTitle), "Typed Title");
    EXPECT_EQ(w.ID3artist->text(), "Typed Artist");

    // Other device types are not volumes.
    w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, 5);
    EXPECT_EQ(Rows(), 3);
}

TEST_F(MainWindowTest, TheWatcherNoticesADiscGoingAndComing) {
    auto image = SmallDisc(Dir.Path(), 2);
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    w.StartMediaWatch(50);
    const fs::path away = Dir / "away.cue";
    fs::rename(image.CuePath(), away);
    EXPECT_TRUE(bwtest::WaitUntil([&] { return Rows() == 0; }));
    fs::rename(away, image.CuePath());
    EXPECT_TRUE(bwtest::WaitUntil([&] { return Rows() == 2; }));
    EXPECT_EQ(Cell(1, colStart), "00:03");
}

// A disc change while a modal window is open waits for it to close: the dialog may be
// editing a row that the change deletes (the program died of that), and nothing the user
// does in the dialog may be lost.
TEST_F(MainWindowTest, DiscChangesWaitUntilTheModalWindowCloses) {
    auto image = SmallDisc(Dir.Path(), 3);
    InsertDisc(image);
    const std::string key = GetDiscKey();
    TfrmMain& w = StartWindow();
    struct Case {
        const char* Name;
        std::function<void()> Open;
        std::function<void(QWidget*)> Finish;
    };
    std::vector<Case> cases = {
        {"edit title",
         [&] {
             w.ListView1->setCurrentItem(Row(1));
             w.aEditTrackName->trigger();
         },
         [](QWidget* modal) {
             auto* dialog = qobject_cast<TfrmEditTrackName*>(modal);
             ASSERT_NE(dialog, nullptr);
             dialog->eName->setText(QStringLiteral("Typed While Ejecting"));
             dialog->aOK->trigger();
         }},
        {"CDDB", [&] { w.aQueryCDDBExecute(); },
         [](QWidget* modal) {
             auto* dialog = qobject_cast<TfrmQueryCDDB*>(modal);
             ASSERT_NE(dialog, nullptr);
             dialog->bCloseClick();
         }},
    };
    const fs::path away = Dir / "away.cue";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        w.WMDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
        WaitForDisc();
        ASSERT_EQ(Rows(), 3);
        int rowsWhileOpen = -1;
        bwtest::WhenModal([&](QWidget* modal) {
            fs::rename(image.CuePath(), away);
            w.WMDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME);
            QTest::qWait(300);
            rowsWhileOpen = Rows();
            c.Finish(modal);
        });
        c.Open();
        EXPECT_EQ(rowsWhileOpen, 3) << "held while the window was open";
        EXPECT_TRUE(bwtest::WaitUntil([&] { return Rows() == 0; })) << "applied after it";
        fs::rename(away, image.CuePath());
    }
    EXPECT_EQ(CacheFile().ReadString(key, "2", ""), "Typed While Ejecting");
}

TEST_F(MainWindowTest, RefreshWithoutAnAudioDiscClearsTheList) {
    auto image = SmallDisc(Dir.Path(), 2);
    InsertDisc(image);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    Row(0)->setText(colTitle, QStringLiteral("Edited"));
    w.miRefreshClick();
    WaitForDisc();
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, colTitle), "Edited"); // a refresh does not throw typing away
    EXPECT_EQ(w.StatusText(), QString::fromStdString(w.DriveName));

    fs::remove(image.CuePath());
    w.miRefreshClick();
    WaitForDisc();
    EXPECT_EQ(Rows(), 0);
    // The drive's reason follows the fixed text.
    EXPECT_EQ(w.StatusText(), "Can not find audio CD in your CD device. Image file not found: " +
                                  QString::fromStdString(image.CuePath().string()));
}

TEST_F(MainWindowTest, ADriveWithoutAnAudioDiscSaysSoAtEveryActivation) {
    bwtest::WriteFileBytes(Dir / "data.bin", std::vector<std::uint8_t>(2352 * 300, 0));
    bwtest::WriteFileText(
        Dir / "data.cue",
        "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    setenv("BRINDLEWAVE_CD_IMAGES", (Dir / "data.cue").c_str(), 1);
    TfrmMain& w = StartWindow();
    EXPECT_NE(w.CDHandle, 0);
    EXPECT_TRUE(w.NoAudioDisc);
    EXPECT_EQ(Rows(), 0);
    QWidget other; // takes the activation the window got while its disc was read
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    w.SetStatusText(QStringLiteral("something else"));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.StatusText(), "Can not find audio CD in your CD device.");

    // An audio disc arrives later: listed, and activations no longer deny it.
    auto audio = bwtest::CdImage::Write(Dir.Path(), "audio", {120, 80});
    fs::copy_file(audio.BinPath(), Dir / "data.bin", fs::copy_options::overwrite_existing);
    std::string cue = bwtest::ReadFileText(audio.CuePath());
    bwtest::WriteFileText(Dir / "data.cue", cue.replace(cue.find("audio.bin"), 9, "data.bin"));
    w.WMDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    WaitForDisc();
    ASSERT_EQ(Rows(), 2);
    EXPECT_FALSE(w.NoAudioDisc);
    w.hide();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.StatusText(), QString::fromStdString(w.DriveName));
}

TEST_F(MainWindowTest, CloseSavesCacheAndOptionsEvenWhenOneCannotBeWritten) {
    auto image = SmallDisc(Dir.Path(), 2);
    InsertDisc(image);
    const std::string key = GetDiscKey();
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2) << w.StatusText().toStdString();
    Row(1)->setText(colTitle, QStringLiteral("Second"));
    w.cbOutputFormat->setCurrentIndex(5);
    // The cache cannot be written: a folder stands where the file should be.
    fs::create_directory(DiscCacheFilePath());
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.CDHandle, 0);
    EXPECT_EQ(TIniFile::Load(OptionsPath()).ReadInteger("CommonOptions", "OutputFormat", -1), 5);
    Window.reset();
    fs::remove(DiscCacheFilePath());

    // The other way round: options cannot be written, the cache still is.
    TfrmMain& again = StartWindow();
    ASSERT_EQ(Rows(), 2);
    Row(0)->setText(colTitle, QStringLiteral("First"));
    fs::remove(OptionsPath());
    fs::create_directory(OptionsPath());
    again.close();
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(CacheFile().ReadString(key, "1", ""), "First");
    EXPECT_EQ(CacheFile().ReadString(key, "2", ""), "Track02");
    EXPECT_TRUE(Boxes.empty()); // failed saves at exit show nothing
}

TEST_F(MainWindowTest, OutputFolderCommands) {
    TfrmMain& w = StartWindow();
    const fs::path out = Dir / "out";
    Settings.OutputFolder = out.string();
    w.miJumpOutputFolderClick();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TBoxKind::Error);
    EXPECT_EQ(Boxes[0].Text,
              QString::fromStdString(out.string()) + ",the output folder does not exist.");
    EXPECT_FALSE(w.CheckOutputFolder());
    EXPECT_EQ(LastBox(),
              "the output folder does not exist.Please check the output directory setting.");

    fs::create_directory(out);
    EXPECT_TRUE(w.CheckOutputFolder());
    w.tbFolder->click();
    ASSERT_EQ(OpenedUrls.size(), 1u);
    EXPECT_EQ(OpenedUrls[0], QUrl::fromLocalFile(QString::fromStdString(out.string())));

    FolderAnswer.clear(); // cancelled
    w.bBrowser->click();
    EXPECT_EQ(PickerTitles.back(), "Please select the folder to save the audio file");
    EXPECT_EQ(Settings.OutputFolder, out.string());
    FolderAnswer = QStringLiteral("/srv/music");
    w.bBrowser->click();
    EXPECT_EQ(Settings.OutputFolder, "/srv/music");
    EXPECT_EQ(w.eOutputDir->text(), "/srv/music");
    EXPECT_FALSE(w.eOutputDir->isEnabled());

    w.cbOutputFormat->setCurrentIndex(3);
    EXPECT_EQ(Settings.OutputFormat, 3);
}

TEST_F(MainWindowTest, ConvertersAskForFilesThenCheckTheOutputFolder) {
    TfrmMain& w = StartWindow();
    Settings.OutputFolder = (Dir / "none").string();
    w.tbConvert->click();
    ASSERT_EQ(FileRequests.size(), 1u);
    EXPECT_EQ(FileRequests[0].Title, "Wav to Mp3 Converter");
    EXPECT_TRUE(FileRequests[0].Filters.front().contains("*.wav"));
    EXPECT_TRUE(Boxes.empty()); // cancelled: nothing more

    FilesAnswer = {QStringLiteral("/tmp/a.wma")};
    w.miConverters[10]->trigger();
    EXPECT_EQ(FileRequests.back().Title, "Wma to Mp3 Converter");
    EXPECT_TRUE(FileRequests.back().Filters.front().contains("*.wma"));
    EXPECT_EQ(LastBox(),
              "the output folder does not exist.Please check the output directory setting.");
    w.miConverters[ConverterWavToOpus]->trigger();
    EXPECT_EQ(FileRequests.back().Title, "Wav to Opus Converter");
    EXPECT_TRUE(FileRequests.back().Filters.front().contains("*.wav"));
    fs::create_directory(Dir / "none");
    w.miConverters[7]->trigger();
    EXPECT_EQ(FileRequests.back().Title, "Mp3 to Wav Converter");
    // The conversion window opens, says why it cannot read the file, and closes.
    EXPECT_TRUE(LastBox().startsWith("/tmp/a.wma: ")) << LastBox().toStdString();

    EXPECT_EQ(ConverterEntry(42).DialogTitle, "Audio Converter");
    EXPECT_FALSE(w.miConverters[ConverterResample]->isVisible());
}

TEST_F(MainWindowTest, CommandsCarryTheirCaptionsShortcutsAndHints) {
    TfrmMain& w = StartWindow();
    struct {
        QAction* Action;
        const char* Caption;
        QKeySequence Shortcut;
    } actions[] = {
        {w.aSelectAll, "&Select All", {}},
        {w.aSelectNone, "&Unselect All", {}},
        {w.aInvertSelection, "&Invert Selection", {}},
        {w.aQueryCDDB, "&Query CDDB...", {}},
        {w.aRip, "&Rip Selected Tracks...", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {w.aOptions, "&Options...", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {w.aPlay, "&Play", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {w.aPause, "P&ause", {}},
        {w.aStop, "&Stop", {}},
        {w.aEditTrackName, "&Edit Track's Title...", QKeySequence(Qt::CTRL | Qt::Key_F2)},
        {w.aHelp, "&Online Help", QKeySequence(Qt::Key_F1)},
        {w.aHomepage, "&Home Page", {}},
    };
    for (const auto& a : actions) {
        EXPECT_EQ(a.Action->text(), a.Caption);
        EXPECT_EQ(a.Action->shortcut(), a.Shortcut) << a.Caption;
    }
    EXPECT_EQ(w.aSelectAll->toolTip(), "Select all tracks");
    EXPECT_EQ(w.aSelectNone->toolTip(), "Cancel all selected track");
    EXPECT_EQ(w.aEditTrackName->toolTip(), "Rename the current track title");
    // A menu entry's hint shows in the status bar while the entry is under the mouse.
    QMenu* edit = w.menuBar()->actions()[1]->menu();
    edit->popup(w.mapToGlobal(QPoint(0, 0)));
    edit->setActiveAction(w.aSelectNone);
    EXPECT_EQ(w.statusBar()->currentMessage(), "Cancel all selected track");
    edit->setActiveAction(w.aSelectAll);
    EXPECT_EQ(w.statusBar()->currentMessage(), "Select all tracks");
    EXPECT_EQ(w.aEditTrackName->statusTip(), "Rename the current track title");
    edit->close();
    EXPECT_EQ(w.tbCDDB->statusTip(), "Query CDDB");

    QStringList captions, hints;
    for (QToolButton* b : {w.tbRip, w.tbConvert, w.tbCDDB, w.tbFolder, w.tbPlay, w.tbPause,
                           w.tbStop, w.tbOptions, w.tbHelp, w.tbHome}) {
        captions << b->text();
        hints << b->toolTip();
    }
    EXPECT_EQ(captions.join(','), "Rip,Convert,CDDB,Folder,Play,Pause,Stop,Options,Help,Home");
    EXPECT_EQ(hints.join(','), "Rip selected tracks,Wav to Mp3 Converter,Query CDDB,Open the "
                               "output folder,Play the selected track,Pause,Stop,Options,Help,"
                               "Visit our home page");

    QStringList menus;
    for (QAction* m : w.menuBar()->actions())
        menus << m->text();
    EXPECT_EQ(menus.join(','), "File,Edit,Tools,Help");

    QStringList columns;
    for (int c = 0; c < 5; ++c)
        columns << w.ListView1->headerItem()->text(c);
    EXPECT_EQ(columns.join(','), "No.,Title,Artist,Start Time,Length(min)");
    EXPECT_EQ(w.cbOutputFormat->itemText(5), "APE FILE(*.APE)");

    // The genre list: an empty first entry and the names in their fixed order.
    ASSERT_EQ(w.ID3genre->count(), 149);
    EXPECT_EQ(w.ID3genre->itemText(0), "");
    EXPECT_EQ(w.ID3genre->itemText(1), "A Cappella");
    EXPECT_EQ(w.ID3genre->itemText(18), "Blues");
    EXPECT_EQ(w.ID3genre->itemText(44), "Drum & Base");
    EXPECT_EQ(w.ID3genre->itemText(51), "Euro-House");
    EXPECT_EQ(w.ID3genre->itemText(101), "Pop-Folk");
    EXPECT_EQ(w.ID3genre->itemText(148), "Vocal");

    w.aHelp->trigger();
    w.tbHome->click();
    ASSERT_EQ(OpenedUrls.size(), 2u);
    EXPECT_EQ(OpenedUrls[0].scheme(), "https");
    EXPECT_EQ(OpenedUrls[1].scheme(), "https");
    // The user guide, as each layout adds a copy: the source tree's above a build folder,
    // the one built beside the program, the installed one, which wins over both.
    for (const char* guide : {"docs/user-guide.md", "program/docs/user-guide.html",
                              "share/doc/brindlewave/user-guide.html"}) {
        std::filesystem::create_directories((Dir / guide).parent_path());
        bwtest::WriteFileText(Dir / guide, "Brindlewave user guide\n");
        w.tbHelp->click();
        EXPECT_EQ(OpenedUrls.back(),
                  QUrl::fromLocalFile(QString::fromStdString((Dir / guide).string())));
    }
}

TEST_F(MainWindowTest, ResizingKeepsTheLayoutProportional) {
    TfrmMain& w = StartWindow();
    EXPECT_EQ(w.minimumWidth(), 678);
    w.resize(1000, 700);
    QCoreApplication::processEvents();
    const int client = w.centralWidget()->width();
    const int group = client - 6;
    EXPECT_EQ(w.gbDisc->width(), group);
    EXPECT_EQ(w.lArtist->x(), 8);
    EXPECT_EQ(w.ID3year->width(), group * 45 / 665);
    EXPECT_EQ(w.ID3genre->width(), group * 109 / 665);
    EXPECT_EQ(w.ID3artist->x(), w.lArtist->geometry().right() + 2);
    EXPECT_EQ(w.lAlbum->x(), w.ID3artist->geometry().right() + 7);
    // The comment fills what the cover at the group's right end leaves.
    EXPECT_EQ(w.imCover->geometry().right() + 1, group - 5);
    EXPECT_EQ(w.ID3comment->geometry().right() + 1, group - 5 - 70);
    EXPECT_EQ(w.gbOutputFolder->geometry().bottom() + 1, w.centralWidget()->height() - 3);
    EXPECT_EQ(w.ListView1->geometry().bottom() + 4, w.gbOutputFolder->y());
    EXPECT_EQ(w.bBrowser->geometry().right() + 9, w.gbOutputFolder->width());
    // The last column keeps its width however wide the list grows.
    EXPECT_EQ(w.ListView1->columnWidth(colLength), 100);
}

TEST_F(MainWindowTest, ASecondStartBringsTheWindowBack) {
    TfrmMain& w = StartWindow();
    TQtMessageTarget target(&w);
    w.showMinimized();
    ASSERT_TRUE(bwtest::WaitUntil([&] { return w.isMinimized(); }));
    target.Post(WM_SHOWINSTANCE);
    EXPECT_TRUE(bwtest::WaitUntil([&] { return !w.isMinimized() && w.isVisible(); }));

    // Also while a modal dialog is up: the request is handled inside the dialog's loop.
    auto image = SmallDisc(Dir.Path(), 1);
    w.hide();
    bool restoredUnderDialog = false;
    bwtest::WhenModal([&](QWidget* modal) {
        target.Post(WM_SHOWINSTANCE);
        restoredUnderDialog = bwtest::WaitUntil([&] { return w.isVisible(); });
        EXPECT_TRUE(modal->isVisible());
        static_cast<QDialog*>(modal)->reject();
    });
    TfrmEditTrackName dialog(&w);
    dialog.exec();
    EXPECT_TRUE(restoredUnderDialog);
}

TEST_F(MainWindowTest, ChangingDrivesListsThatDrivesDiscUnderItsOwnKey) {
    fs::create_directories(Dir / "a");
    fs::create_directories(Dir / "b");
    auto a = bwtest::CdImage::Write(Dir / "a", "disc", {100, 140}, 1);
    auto b = bwtest::CdImage::Write(Dir / "b", "disc", {90, 90, 90, 90}, 2);
    setenv("BRINDLEWAVE_CD_IMAGES", b.CuePath().c_str(), 1);
    const std::string keyB = GetDiscKey();
    setenv("BRINDLEWAVE_CD_IMAGES", (a.CuePath().string() + ":" + b.CuePath().string()).c_str(), 1);
    const std::string keyA = GetDiscKey();
    ASSERT_NE(keyA, keyB);
    LoadSaveDiscInfo(keyB, false, TDiscFields{"Artist B", "", "", -1, "", ""});

    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(w.ListedDiscKey(), keyA);
    w.ChangeDrive(1);
    WaitForDisc();
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(w.ListedDiscKey(), keyB);
    EXPECT_EQ(w.ID3artist->text(), "Artist B");
    Row(3)->setText(colTitle, QStringLiteral("Fourth"));
    w.miRefreshClick(); // refreshes this drive, not the first
    WaitForDisc();
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(3, colTitle), "Fourth");

    w.ChangeDrive(7); // no such drive
    WaitForDisc();
    EXPECT_EQ(w.StatusText(), "CD device information error in your configration!");
    EXPECT_EQ(w.CDHandle, 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(CacheFile().ReadString(keyB, "4", ""), "Fourth");
    EXPECT_FALSE(CacheFile().HasKey(keyA, "4"));
}

TEST_F(MainWindowTest, TheDemoDiscShowsItsNamedTracks) {
    const fs::path cacheFile = DiscCacheFilePath();
    auto made = bwtest::RunCommand("BW_DEMO_CD_DAT=" + bwtest::ShellQuote(cacheFile.string()) +
                                   " " BW_SOURCE_DIR "/scripts/make-demo-disc " +
                                   bwtest::ShellQuote((Dir / "demo").string()));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    setenv("BRINDLEWAVE_CD_IMAGES", (Dir / "demo" / "demo.cue").c_str(), 1);
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Rows(), 4);
    // The script names the disc by the key the program computes for it.
    EXPECT_EQ(Cell(0, colTitle), "Morning Bell");
    EXPECT_EQ(Cell(3, colTitle), "Slow Chorus");
    EXPECT_EQ(w.ID3genre->currentText(), "Electronic");
    EXPECT_EQ(Cell(1, colStart), "00:24");
    EXPECT_EQ(Cell(1, colLength), "00:27");

    // A second run keeps what the user changed since.
    w.close();
    LoadSaveDiscInfo(w.ListedDiscKey().empty() ? GetDiscKey() : w.ListedDiscKey(), false,
                     TDiscFields{"Mine", "", "", -1, "", ""});
    made = bwtest::RunCommand("BW_DEMO_CD_DAT=" + bwtest::ShellQuote(cacheFile.string()) +
                              " " BW_SOURCE_DIR "/scripts/make-demo-disc " +
                              bwtest::ShellQuote((Dir / "demo").string()));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    EXPECT_EQ(CacheFile().ReadString(GetDiscKey(), "CDArtist", ""), "Mine");
}

TEST_F(MainWindowTest, TypedDiscFieldsAndTrackArtistReachTheTagsWholeAndTheId3v1BlockCut) {
    auto image = SmallDisc(Dir.Path(), 1);
    InsertDisc(image);
    TQtMainThreadPump pump;
    TfrmMain& w = StartWindow();
    const QString album = QString(60, QChar('a')).replace(29, 2, QStringLiteral("YZ"));
    w.ID3album->clear();
    QTest::keyClicks(w.ID3album, album);
    ASSERT_EQ(w.ID3album->text(), album);
    // The list's names come as completions of what is typed, in any case and anywhere in it.
    w.ID3genre->setFocus();
    QTest::keyClicks(w.ID3genre, QStringLiteral("techno"));
    EXPECT_GE(w.ID3genre->completer()->completionCount(), 3); // Techno, Euro-Techno, ...
    // A name of the list in other letters is that entry; any other text stays as typed.
    EXPECT_EQ(w.DiscFields().GenreIndex, GenreListIndexOf("Techno", false));
    w.ID3genre->clearEditText();
    QTest::keyClicks(w.ID3genre, QStringLiteral("Chiptune"));
    EXPECT_EQ(w.DiscFields().GenreIndex, -1);
    EXPECT_EQ(w.DiscFields().Genre, "Chiptune");

    // The Artist column is edited as the title is: a double-click on it, the dialog's field.
    w.ID3artist->setText(QStringLiteral("The Band"));
    bwtest::WhenModalOf<TfrmEditTrackName>([](TfrmEditTrackName* dialog) {
        EXPECT_TRUE(dialog->eArtist->hasFocus());
        EXPECT_EQ(dialog->eArtist->placeholderText(), "The Band");
        dialog->eArtist->setText(QStringLiteral("Guest Star"));
        dialog->aOK->trigger();
    });
    const QPoint artist =
        w.ListView1->visualRect(w.ListView1->model()->index(0, colArtist)).center();
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, {}, artist);
    QTest::mouseDClick(w.ListView1->viewport(), Qt::LeftButton, {}, artist);
    EXPECT_EQ(Cell(0, colArtist), "Guest Star");
    QTest::keyClicks(w.eDiscNumber, QStringLiteral("2x"));
    QTest::keyClicks(w.eDiscTotal, QStringLiteral("5"));
    EXPECT_EQ(w.eDiscNumber->text(), "2"); // digits only

    Settings.OutputFormat = 0; // MP3: an ID3v2 tag and the ID3v1 block
    Settings.OutputFolder = (Dir / "out").string();
    fs::create_directories(Dir / "out");
    w.aRipExecute();
    const fs::path mp3 = Dir / "out" / "Track01.mp3";
    auto tags = bwtest::MutagenTags(mp3);
    EXPECT_EQ(tags["album"], album.toStdString());
    EXPECT_EQ(tags["genre"], "Chiptune");
    EXPECT_EQ(tags["artist"], "Guest Star");
    EXPECT_EQ(tags["albumartist"], "The Band");
    EXPECT_EQ(tags["disc"], "2");
    EXPECT_EQ(tags["disctotal"], "5");
    const std::string bytes = bwtest::ReadFileText(mp3);
    ASSERT_GE(bytes.size(), 128u);
    const std::string v1 = bytes.substr(bytes.size() - 128);
    ASSERT_EQ(v1.substr(0, 3), "TAG");
    EXPECT_EQ(v1.substr(63, 30), album.left(30).toStdString()); // cut in its own copy only
    EXPECT_EQ(static_cast<unsigned char>(v1[127]), 255);        // a genre of no number

    CloseWindow();
    Settings = TAppSettings{};
    TfrmMain& again = StartWindow();
    EXPECT_EQ(again.ID3album->text(), album);
    EXPECT_EQ(again.ID3genre->currentText(), "Chiptune");
    EXPECT_EQ(Cell(0, colArtist), "Guest Star");
    EXPECT_EQ(again.eDiscTotal->text(), "5");
}
