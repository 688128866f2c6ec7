// The files `convert` leaves: the permissions any new file gets, and nothing half-written
// after Ctrl+C.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

std::string Q(const fs::path& p) {
    return ShellQuote(p.string());
}

} // namespace

TEST(CliConvertFiles, OutputsGetTheUmasksPermissions) {
    bwtest::TempDir dir;
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "in.wav") + " synth 0.5 sine 440")
                  .ExitCode,
              0);
    struct Case {
        const char* Umask;
        const char* Format;
        fs::perms Expected;
    };
    using fs::perms;
    for (const Case& c :
         {Case{"022", "flac",
               perms::owner_read | perms::owner_write | perms::group_read | perms::others_read},
          Case{"027", "wav", perms::owner_read | perms::owner_write | perms::group_read},
          Case{"002", "mp3",
               perms::owner_read | perms::owner_write | perms::group_read | perms::group_write |
                   perms::others_read}}) {
        SCOPED_TRACE(c.Umask);
        const fs::path out = dir / c.Umask;
        auto r = RunCommand(
            "umask " + std::string(c.Umask) + "; XDG_CONFIG_HOME=" + Q(dir / "config") + " " +
            BW_CLI + " convert --to " + c.Format + " -o " + Q(out) + " " + Q(dir / "in.wav"));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(fs::status(out / (std::string("in.") + c.Format)).permissions(), c.Expected);
    }
}

TEST(CliConvertFiles, CtrlCRemovesThePartFilesAndFails) {
    bwtest::TempDir dir;
    // Long enough that the signal finds the encoder at work.
    ASSERT_EQ(
        RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "long.wav") + " synth 120 sine 300-900")
            .ExitCode,
        0);
    fs::create_directories(dir / "out");
    const std::string script = "XDG_CONFIG_HOME=" + Q(dir / "config") + " " + BW_CLI +
                               " convert --to mp3 -o " + Q(dir / "out") + " " +
                               Q(dir / "long.wav") + " & pid=$!; cd " + Q(dir / "out") +
                               "; for i in $(seq 2000); do ls -A | grep -q part && break; "
                               "sleep 0.005; done; sleep 0.2; kill -INT $pid; wait $pid; "
                               "echo exit=$?";
    auto r = RunCommand("bash -c " + ShellQuote(script));
    EXPECT_NE(r.Output.find("exit=130"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("interrupted"), std::string::npos) << r.Output;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 0);
}
