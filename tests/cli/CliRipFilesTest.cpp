// What `rip` writes into a folder that already holds files, what it leaves when Ctrl+C stops
// it, and the numbers and titles of a disc whose first track is not 1. Run as a user would,
// with the audio checked against the image's bytes and FFmpeg's decoding.
#include "CdImage.h"
#include "CliTestSupport.h"

namespace {

class CliRipFiles : public ::testing::Test {
protected:
    // The program (by default the build's; cd.dat lives beside it) on a cue sheet.
    TCliRun Cli(const fs::path& cue, const std::string& program = BW_CLI) {
        return {Dir / "config", cue, "", program};
    }
    TCliRun Cli(const bwtest::CdImage& image) { return Cli(image.CuePath()); }
    std::string DiscKey(const bwtest::CdImage& image) {
        auto toc = Cli(image)("toc");
        auto at = toc.Output.find("Disc key: ");
        if (at == std::string::npos) return {};
        return toc.Output.substr(at + 10, toc.Output.find('\n', at) - at - 10);
    }
    // The samples of any file FFmpeg decodes (decoded outside the folder looked at).
    std::vector<std::uint8_t> Decoded(const fs::path& file) {
        return bwtest::FFmpegPcm(file, "s16le", Dir / "decoded.raw");
    }
    std::string Out() { return Q(Dir / "out"); }

    bwtest::TempDir Dir;
};

} // namespace

TEST_F(CliRipFiles, ASecondRipNeverReplacesTheFirstsFilesWithoutForce) {
    // Two discs nobody named: both give Track01, Track02 and Rip.log, Rip.cue.
    auto first = bwtest::CdImage::Write(Dir.Path(), "first", {30, 20}, 1);
    auto second = bwtest::CdImage::Write(Dir.Path(), "second", {30, 20}, 2);
    for (const std::string format : {"wav", "flac"}) {
        SCOPED_TRACE(format);
        fs::remove_all(Dir / "out");
        const std::string args = "rip --log -f " + format + " -o " + Out();
        ASSERT_EQ(Cli(first)(args).ExitCode, 0);
        const std::string log = bwtest::ReadFileText(Dir / "out/Rip.log");

        auto kept = Cli(second)(args);
        EXPECT_EQ(kept.ExitCode, 1) << kept.Output;
        for (const std::string& name :
             {"Track01." + format, "Track02." + format, std::string("Rip.log")})
            EXPECT_THAT(kept.Output, HasSubstr((Dir / "out" / name).string() + " exists already"));
        EXPECT_EQ(Decoded(Dir / "out" / ("Track01." + format)), first.TrackBytes(1));
        EXPECT_EQ(Decoded(Dir / "out" / ("Track02." + format)), first.TrackBytes(2));
        EXPECT_EQ(bwtest::ReadFileText(Dir / "out/Rip.log"), log);

        auto forced = Cli(second)(args + " --force");
        EXPECT_EQ(forced.ExitCode, 0) << forced.Output;
        EXPECT_EQ(Decoded(Dir / "out" / ("Track01." + format)), second.TrackBytes(1));
        EXPECT_NE(bwtest::ReadFileText(Dir / "out/Rip.log"), log);
        // Nothing but the files themselves: no part files left over.
        EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 4);
    }
}

TEST_F(CliRipFiles, AFailedEncodeLeavesWhatWasThereBefore) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {30});
    // A folder of the output's name: even --force cannot put the file there, and the folder
    // is not the program's to remove.
    fs::create_directories(Dir / "out/Track01.flac");
    auto r = Cli(image)("rip -f flac --force -o " + Out());
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_THAT(r.Output, HasSubstr((Dir / "out/Track01.flac").string()));
    EXPECT_TRUE(fs::is_directory(Dir / "out/Track01.flac"));
    // The track's only copy stays as its WAV.
    EXPECT_EQ(Decoded(Dir / "out/Track01.wav"), image.TrackBytes(1));
}

TEST_F(CliRipFiles, CtrlCInTheMiddleOfATrackLeavesNoFileThatLooksFinished) {
    // A minute of audio: long enough to be stopped while it is encoded.
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {20, 4500});
    for (const std::string format : {"mp3", "wav"}) {
        SCOPED_TRACE(format);
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "out");
        // Ctrl+C as soon as track 2's file is being written, whatever name it has.
        const std::string script =
            Cli(image).Line("rip -f " + format + " -o " + Out()) + " & pid=$!; cd " + Out() +
            "; for i in $(seq 2000); do ls -A | grep -q 'Track02\\." + format +
            "' && break; sleep 0.005; done; kill -INT $pid; wait $pid; echo exit=$?";
        auto r = RunCommand("bash -c " + ShellQuote(script));
        // Reading an image is quick: a WAV rip may be over before the signal comes.
        const bool stopped = r.Output.find("exit=130") != std::string::npos;
        EXPECT_TRUE(stopped || (format == "wav" && r.Output.find("exit=0") != std::string::npos))
            << r.Output;
        for (const auto& entry : fs::directory_iterator(Dir / "out")) {
            const std::string name = entry.path().filename().string();
            SCOPED_TRACE(name);
            // Only finished tracks, whole, and no part files left behind.
            ASSERT_NE(name[0], '.');
            const int track = name.rfind("Track01", 0) == 0 ? 1 : 2;
            EXPECT_GE(Decoded(entry.path()).size(), image.TrackBytes(track).size());
        }
    }
}

TEST_F(CliRipFiles, DiscNumberedFromTwoTakesTitlesByRowAndKeepsItsNumbers) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {30, 20, 25});
    image.NumberFrom(2);
    auto toc = Cli(image)("toc");
    ASSERT_THAT(toc.Output, HasSubstr("First track: 2\nLast track: 4\n"));
    // Titles by row: key 1 is the disc's first track, numbered 2. cd.dat lives beside the
    // program when that folder is writable: a copy of our own.
    const std::string program = ProgramCopy(Dir.Path());
    bwtest::WriteFileText(Dir / "bin/cd.dat",
                          "[" + DiscKey(image) + "]\nCDTrackNumber=3\n1=Opening\n2=\n3=Finale\n");
    auto r = Cli(image.CuePath(), program)("rip --log -f wav --tracks 2,3,4 -o " + Out());
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Decoded(Dir / "out/Opening.wav"), image.TrackBytes(1));
    EXPECT_EQ(Decoded(Dir / "out/Track03.wav"), image.TrackBytes(2));
    EXPECT_EQ(Decoded(Dir / "out/Finale.wav"), image.TrackBytes(3));
    EXPECT_THAT(r.Output, HasSubstr("02 Opening: "));
    EXPECT_THAT(r.Output, HasSubstr("04 Finale: "));
    // The database is a closed port: the summary says nothing was checked, and why.
    EXPECT_THAT(r.Output, HasSubstr("AccurateRip: 0 of 3 tracks accurate, 3 not checked (the "
                                    "database could not be reached)\n"));
    const std::string cue = bwtest::ReadFileText(Dir / "out/Rip.cue");
    EXPECT_THAT(cue, HasSubstr("FILE \"Opening.wav\" WAVE\n  TRACK 02 AUDIO\n"));
    EXPECT_THAT(cue, HasSubstr("FILE \"Finale.wav\" WAVE\n  TRACK 04 AUDIO\n"));
    EXPECT_THAT(bwtest::ReadFileText(Dir / "out/Rip.log"),
                HasSubstr("Track 02\n  File: Opening.wav\n"));
    // The cue sheet opens again as the disc it was, numbered from 2.
    EXPECT_THAT(Cli(Dir / "out/Rip.cue")("toc").Output,
                HasSubstr("First track: 2\nLast track: 4\n"));
}
