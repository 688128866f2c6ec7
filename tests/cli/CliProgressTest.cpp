// The progress line: its figures as a unit, and the real front end on a pseudo-terminal
// (script(1)) against a pipe.
#include "CliProgress.h"
#include "CdImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using bw::cli::FormatProgressLine;
using bw::cli::TProgressFigures;
using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

TEST(ProgressLine, FiguresAndFitting) {
    struct TCase {
        const char* Label;
        TProgressFigures Figures;
        int Width;
        const char* Expected;
    } cases[] = {
        // Nothing can be told before progress or within the first tenth of a second.
        {"01 Intro", {0, 60, 5}, 80, "01 Intro   0%       --       -- left"},
        {"01 Intro", {40, 60, 0.05}, 80, "01 Intro  40%       --       -- left"},
        // 30 s of audio in 3 s: ten times real time, 3 s to go.
        {"01 Intro", {50, 60, 3}, 80, "01 Intro  50%      10x     0:03 left"},
        {"a.wav", {25, 20, 10}, 80, "a.wav  25%     0.5x     0:30 left"},
        {"long.wav", {10, 36000, 400}, 80, "long.wav  10%     9.0x  1:00:00 left"},
        // Unknown length: no speed, but the time left still follows from the percentage.
        {"x", {20, 0, 2}, 80, "x  20%       --     0:08 left"},
        {"x", {130, 10, 1}, 80, "x 100%      10x     0:00 left"},
        // A label too long for the terminal is cut, never inside a character.
        {"01 A very long title indeed",
         {50, 60, 3},
         45,
         "01 A very long...  50%      10x     0:03 left"},
        {"01 Ünïcödé títle", {50, 60, 3}, 42, "01 Ünïcödé ...  50%      10x     0:03 left"},
    };
    for (const TCase& c : cases) {
        const std::string line = FormatProgressLine(c.Label, c.Figures, c.Width);
        EXPECT_EQ(line, c.Expected) << c.Label << " at " << c.Figures.Percent << "%";
    }
}

TEST(ProgressLine, RunOfSeveralFiles) {
    using bw::cli::FormatRunLine;
    // 3 of 10 files done and two half done: 40 % of the run in 20 s, 30 s to go.
    bw::cli::TRunFigures figures{3, 10, {"b.flac", "c.flac"}, 0.4, 200, 20};
    EXPECT_EQ(FormatRunLine(figures, 80),
              "3 of 10 files  40%  b.flac, c.flac      10x     0:30 left");
    EXPECT_EQ(FormatRunLine(figures, 50), "3 of 10 files  40%  b.fl...      10x     0:30 left");
    figures = {0, 2, {"a.wav"}, 0, 0, 0.01};
    EXPECT_EQ(FormatRunLine(figures, 80), "0 of 2 files   0%  a.wav       --       -- left");
}

// Redrawn in place for each new percentage; the same one only after half a second;
// erased at the end; nothing at all when not enabled.
TEST(ProgressLine, RedrawsInPlaceAndErasesItself) {
    for (bool enabled : {true, false}) {
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        double now = 100;
        {
            bw::cli::TProgressLine line("t.wav", 10, enabled, out, [&] { return now; });
            line.Show(0);
            now += 0.2;
            line.Show(0); // too soon to redraw the same figure
            line.Show(50);
            now += 0.8;
            line.Show(50); // the speed has changed by now
        }
        std::rewind(out);
        std::string text;
        for (int ch; (ch = std::fgetc(out)) != EOF;)
            text += static_cast<char>(ch);
        std::fclose(out);
        if (!enabled) {
            EXPECT_EQ(text, "");
            continue;
        }
        const std::string redraw = "\r\033[K";
        std::size_t redraws = 0;
        for (std::size_t at = text.find(redraw); at != std::string::npos;
             at = text.find(redraw, at + 1))
            ++redraws;
        EXPECT_EQ(redraws, 4u) << text; // three drawings and the erasing
        EXPECT_EQ(text.find('\n'), std::string::npos) << "never scrolls";
        EXPECT_NE(text.find("50%      25x"), std::string::npos) << text;
        EXPECT_NE(text.find("50%     5.0x"), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - redraw.size()), redraw);
    }
}

namespace {

// The front end ripping and converting, once on a pseudo-terminal and once into a pipe.
class CliProgressOutput : public ::testing::Test {
protected:
    void SetUp() override {
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {300, 150});
        ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(Dir / "in.wav") +
                             " synth 2 sine 440 vol 0.3")
                      .ExitCode,
                  0);
        fs::copy_file(Dir / "in.wav", Dir / "in2.wav");
    }
    static std::string Q(const fs::path& p) { return ShellQuote(p.string()); }
    std::string Command(const std::string& args) {
        return "XDG_CONFIG_HOME=" + Q(Dir / "config") + " HOME=" + Q(Dir.Path()) +
               " BRINDLEWAVE_CD_IMAGES=" + Q(Image->CuePath()) + " " + BW_CLI + " " + args;
    }
    bwtest::CommandResult OnTerminal(const std::string& args) {
        return RunCommand("script -qec " + ShellQuote(Command(args)) + " /dev/null");
    }

    bwtest::TempDir Dir;
    std::optional<bwtest::CdImage> Image;
};

} // namespace

TEST_F(CliProgressOutput, ATerminalGetsRedrawnLinesAPipeOnlyTheResults) {
    struct TCase {
        std::string Args;
        bool Terminal;
        bool Quiet;
        const char* Result; // the line naming what was written
    } cases[] = {
        {"rip --tracks 1-2 --output " + Q(Dir / "rip1"), true, false, "02 Track02: "},
        {"rip --tracks 1-2 --output " + Q(Dir / "rip2"), false, false, "02 Track02: "},
        {"--quiet rip --tracks 1-2 --output " + Q(Dir / "rip3"), true, true, "02 Track02: "},
        {"convert --to flac --output " + Q(Dir / "c1") + " " + Q(Dir / "in.wav"), true, false,
         "in.wav -> "},
        {"convert --to flac --output " + Q(Dir / "c2") + " " + Q(Dir / "in.wav"), false, false,
         "in.wav -> "},
        {"convert -q --to flac --output " + Q(Dir / "c3") + " " + Q(Dir / "in.wav"), true, true,
         "in.wav -> "},
        // Several jobs: one line for the run.
        {"convert -j 2 --to flac -o " + Q(Dir / "c4") + " " + Q(Dir / "in.wav") + " " +
             Q(Dir / "in2.wav"),
         true, false, "in2.wav -> "},
        {"convert -j 2 --to flac -o " + Q(Dir / "c5") + " " + Q(Dir / "in.wav") + " " +
             Q(Dir / "in2.wav"),
         false, false, "in2.wav -> "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args + (c.Terminal ? " on a terminal" : " into a pipe"));
        auto r = c.Terminal ? OnTerminal(c.Args) : RunCommand(Command(c.Args));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const bool drawn = c.Terminal && !c.Quiet;
        EXPECT_EQ(r.Output.find("\r\033[K") != std::string::npos, drawn) << r.Output;
        EXPECT_EQ(r.Output.find("% ") != std::string::npos, drawn) << r.Output;
        EXPECT_EQ(r.Output.find(" left") != std::string::npos, drawn) << r.Output;
        EXPECT_EQ(r.Output.find(c.Result) != std::string::npos, !c.Quiet) << r.Output;
        const bool jobs = c.Args.find("-j 2") != std::string::npos;
        if (drawn && !jobs) {
            EXPECT_NE(r.Output.find("100%"), std::string::npos) << r.Output;
        }
        EXPECT_EQ(r.Output.find(" of 2 files ") != std::string::npos, drawn && jobs) << r.Output;
    }
}
