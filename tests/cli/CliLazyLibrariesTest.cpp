// FFmpeg and libcurl, with the hundred libraries beneath them, are loaded by the first
// command that needs them, not by every start: the dynamic loader's own log says which
// libraries a run loaded.
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

TEST(CliLazyLibraries, OnlyCommandsThatDecodeWithFFmpegLoadIt) {
    bwtest::TempDir dir;
    const std::string sine = "ffmpeg -v error -f lavfi -i sine=duration=1 ";
    ASSERT_EQ(RunCommand(sine + ShellQuote((dir / "in.wav").string())).ExitCode, 0);
    ASSERT_EQ(RunCommand(sine + ShellQuote((dir / "song.mp3").string())).ExitCode, 0);
    struct {
        std::string Arguments;
        bool LoadsFFmpeg;
    } cases[] = {
        {"--version", false},
        {"convert --to flac -o " + ShellQuote((dir / "out").string()) + " " +
             ShellQuote((dir / "in.wav").string()),
         false},
        {"convert --to flac -o " + ShellQuote((dir / "out").string()) + " " +
             ShellQuote((dir / "song.mp3").string()),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        auto r = RunCommand("LD_DEBUG=files XDG_CONFIG_HOME=" + ShellQuote((dir / "cfg").string()) +
                            " " + BW_CLI + " " + c.Arguments + " 2>&1 </dev/null");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(r.Output.find("file=libavcodec.so") != std::string::npos, c.LoadsFFmpeg);
        EXPECT_EQ(r.Output.find("file=libcurl.so"), std::string::npos);
    }
}

// Without a usable FFmpeg only what needs it fails, with the loader's reason: no crash when
// the failed reader is taken down.
TEST(CliLazyLibraries, AMissingFFmpegFailsTheFileNotTheProgram) {
    bwtest::TempDir dir;
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=duration=1 " +
                         ShellQuote((dir / "song.mp3").string()))
                  .ExitCode,
              0);
    fs::create_directories(dir / "lib");
    bwtest::WriteFileText(dir / "lib" / "libavutil.so.57", ""); // not a library
    auto r = RunCommand("LD_LIBRARY_PATH=" + ShellQuote((dir / "lib").string()) +
                        " XDG_CONFIG_HOME=" + ShellQuote((dir / "cfg").string()) + " " + BW_CLI +
                        " convert --to flac -o " + ShellQuote((dir / "out").string()) + " " +
                        ShellQuote((dir / "song.mp3").string()) + " 2>&1 </dev/null");
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_NE(r.Output.find("FFmpeg's libraries could not be loaded"), std::string::npos)
        << r.Output;
}
