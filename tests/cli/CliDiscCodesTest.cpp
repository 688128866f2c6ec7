// The disc's catalogue number, ISRCs and pre-emphasis flags, from a cue sheet as EAC writes
// it (one WAV file per track, CATALOG and ISRC lines, CRLF), shown by `toc` and written to
// the rip's log, cue sheet and files' tags.
#include "CdImage.h"
#include "CliTestSupport.h"
#include "ImageDriveHelpers.h"

TEST(CliDiscCodes, CatalogIsrcAndPreEmphasisReachTocLogCueSheetAndTags) {
    if (!bwtest::HaveTool("sox")) GTEST_SKIP() << "no sox";
    bwtest::TempDir dir;
    for (int t = 1; t <= 2; ++t)
        ASSERT_TRUE(bwtest::SoxWav(bwtest::GeneratedAudio(30, t),
                                   dir.Path() / ("0" + std::to_string(t) + " Song.wav")));
    bwtest::WriteFileText(
        dir.Path() / "disc.cue",
        "REM GENRE Pop\r\nREM DATE 2001\r\nREM COMMENT \"ExactAudioCopy v1.6\"\r\n"
        "CATALOG 0724384260958\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\n"
        "FILE \"01 Song.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n"
        "    PERFORMER \"Band\"\r\n    ISRC GBAYE0100001\r\n    INDEX 01 00:00:00\r\n"
        "FILE \"02 Song.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n"
        "    FLAGS PRE\r\n    ISRC GBAYE0100002\r\n    INDEX 01 00:00:00\r\n");
    const TCliRun cli(dir.Path() / "config", dir.Path() / "disc.cue",
                      "BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 ");
    auto toc = cli("toc");
    ASSERT_EQ(toc.ExitCode, 0) << toc.Output;
    for (const char* line : {"Catalog number: 0724384260958\n", "ISRC track 01: GBAYE0100001\n",
                             "ISRC track 02: GBAYE0100002\n", "  pre-emphasis\n"})
        EXPECT_THAT(toc.Output, HasSubstr(line));

    // Tags read back by tools we did not write: the ISRC, and the MCN as the barcode it is.
    const std::string dump =
        "/usr/bin/python3 " + ShellQuote(BW_SOURCE_DIR "/tests/support/tag_dump.py");
    for (std::string f : {"flac", "mp3", "opus"}) {
        cli("rip --log --format " + f + " -o " + ShellQuote((dir.Path() / f).string()));
        auto tags = RunCommand((f == "flac" ? "metaflac --export-tags-to=-" : dump) + " " +
                               ShellQuote((dir.Path() / f / ("Two." + f)).string()));
        // The total is the disc's, not the count a disc never saved in cd.dat defaults to.
        const std::pair<const char*, const char*> lines[] = {
            {"ISRC=GBAYE0100002\n", "isrc=GBAYE0100002\n"},
            {"BARCODE=0724384260958", "barcode=0724384260958"},
            {"TRACKTOTAL=2\n", "total=2\n"}};
        for (const auto& [vorbis, dumped] : lines)
            EXPECT_THAT(tags.Output, HasSubstr(f == "flac" ? vorbis : dumped)) << f;
    }
    fs::path out = dir.Path() / "flac";
    std::string cue = bwtest::ReadFileText(out / "Album.cue");
    for (const char* line : {"CATALOG 0724384260958\n", "    ISRC GBAYE0100001\n    INDEX 01",
                             "    FLAGS PRE\n    ISRC GBAYE0100002\n    INDEX 01"})
        EXPECT_THAT(cue, HasSubstr(line));
    std::string log = bwtest::ReadFileText(out / "Album.log");
    EXPECT_THAT(log, HasSubstr("Catalog number: 0724384260958"));
    EXPECT_THAT(log, HasSubstr("  ISRC: GBAYE0100002\n  Pre-emphasis: yes\n"));
}

// An enhanced CD as EAC writes it, one WAV file per track with each pregap appended to the
// track before: the data track comes after the last audio track's FILE line, with its titles
// and only an INDEX 00, and a mode that names no sector size.
TEST(CliDiscCodes, EnhancedCdSheetWithUnsizedDataTrackOpens) {
    if (!bwtest::HaveTool("sox")) GTEST_SKIP() << "no sox";
    bwtest::TempDir dir;
    std::string cue = "REM GENRE Pop\r\nREM DATE 2001\r\nREM DISCID B30A5E0D\r\n"
                      "REM COMMENT \"ExactAudioCopy v1.6\"\r\nCATALOG 0724384260958\r\n"
                      "PERFORMER \"Band\"\r\nTITLE \"Album\"\r\n";
    for (int t = 1; t <= 12; ++t) {
        const std::string n = (t < 10 ? "0" : "") + std::to_string(t);
        const std::string file = n + " Song " + n + ".wav";
        ASSERT_TRUE(bwtest::SoxWav(bwtest::GeneratedAudio(20, t), dir.Path() / file));
        const std::string track = "  TRACK " + n + " AUDIO\r\n    TITLE \"Song " + n +
                                  "\"\r\n    PERFORMER \"Band\"\r\n    ISRC GBAYE01000" + n +
                                  "\r\n";
        // A pregap of 5 sectors at the end of the previous file for tracks 2 to 7.
        const std::string pregap = t >= 2 && t <= 7 ? "    INDEX 00 00:00:15\r\n" : "";
        cue += t == 1 ? "FILE \"" + file + "\" WAVE\r\n" + track + "    INDEX 01 00:00:00\r\n"
                      : track + pregap + "FILE \"" + file + "\" WAVE\r\n    INDEX 01 00:00:00\r\n";
    }
    cue += "  TRACK 13 MODEx/2xxx\r\n    TITLE \"Data\"\r\n    PERFORMER \"Band\"\r\n"
           "    INDEX 00 00:00:20\r\n";
    // Line 86, as in the sheet that was refused.
    const auto data = cue.find("\r\n  TRACK 13 MODEx/2xxx\r\n");
    ASSERT_EQ(std::count(cue.begin(), cue.begin() + std::ptrdiff_t(data) + 2, '\n'), 85);
    bwtest::WriteFileText(dir.Path() / "disc.cue", cue);
    const TCliRun cli(dir.Path() / "config", dir.Path() / "disc.cue",
                      "BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 ");
    auto toc = cli("toc");
    ASSERT_EQ(toc.ExitCode, 0) << toc.Output;
    EXPECT_THAT(toc.Output, HasSubstr("Last track: 13\n"));
    EXPECT_THAT(toc.Output, HasSubstr("   12  "));
    EXPECT_THAT(toc.Output, HasSubstr("  data  session 2\n"));
    EXPECT_EQ(toc.Output.find("  data"), toc.Output.rfind("  data")); // the last track only
    for (const char* line : {"Catalog number: 0724384260958\n", "ISRC track 01: GBAYE0100001\n",
                             "ISRC track 12: GBAYE0100012\n"})
        EXPECT_THAT(toc.Output, HasSubstr(line));

    const fs::path out = dir.Path() / "flac";
    auto rip = cli("rip --log --format flac -o " + Q(out));
    ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
    auto tags = RunCommand("metaflac --export-tags-to=- " + Q(out / "Song 12.flac"));
    for (const char* line : {"ISRC=GBAYE0100012\n", "BARCODE=0724384260958", "TRACKTOTAL=12\n"})
        EXPECT_THAT(tags.Output, HasSubstr(line));
    const std::string ripCue = bwtest::ReadFileText(out / "Album.cue");
    for (const char* line : {"CATALOG 0724384260958\n", "    ISRC GBAYE0100007\n",
                             "    ISRC GBAYE0100012\n    INDEX 01"})
        EXPECT_THAT(ripCue, HasSubstr(line));
}
