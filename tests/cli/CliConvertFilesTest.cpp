// The files `convert` leaves: the permissions any new file gets, and nothing half-written
// after Ctrl+C.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
        RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "long.wav") + " synth 300 sine 300-900")
            .ExitCode,
        0);
    const std::string convert = "env XDG_CONFIG_HOME=" + Q(dir / "config") + " " + BW_CLI +
                                " convert --to mp3 -o " + Q(dir / "out") + " " +
                                Q(dir / "long.wav");
    const std::string whenWriting = " & pid=$!; cd " + Q(dir / "out") +
                                    "; for i in $(seq 2000); do ls -A | grep -q part && break; "
                                    "sleep 0.005; done; sleep 0.2; ";
    const std::pair<const char*, std::string> cases[] = {
        {"Ctrl+C", convert + whenWriting + "kill -INT $pid; wait $pid; echo exit=$?"},
        // More signals while the first one's clean-up runs wait for it.
        {"Ctrl+C again and again",
         convert + whenWriting +
             "for i in $(seq 20); do kill -INT $pid 2>/dev/null; sleep 0.001; done; "
             "wait $pid; echo exit=$?"},
        // timeout signals the program, then its whole process group: two signals at once.
        {"timeout", "timeout --preserve-status -s INT 1.5 " + convert + "; echo exit=$?"},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& [name, script] : cases) {
            SCOPED_TRACE(name);
            fs::create_directories(dir / "out");
            auto r = RunCommand("bash -c " + ShellQuote(script));
            EXPECT_NE(r.Output.find("exit=130"), std::string::npos) << r.Output;
            EXPECT_NE(r.Output.find("interrupted"), std::string::npos) << r.Output;
            EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 0);
            fs::remove_all(dir / "out");
        }
}

// A folder the user cannot read fails the run; what is passed over for not being audio does
// not. Root reads any folder: the program then runs without the capabilities that let it.
TEST(CliConvertFiles, AnUnreadableFolderFailsTheRunAFileThatIsNoAudioDoesNot) {
    bwtest::TempDir dir;
    const fs::path tree = dir / "tree";
    fs::create_directories(tree / "locked");
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(tree / "a.wav") + " synth 0.3 sine 440")
                  .ExitCode,
              0);
    fs::copy_file(tree / "a.wav", tree / "locked" / "b.wav");
    bwtest::WriteFileText(tree / "notes.txt", "liner notes\n");
    std::string asUser;
    if (::geteuid() == 0) {
        asUser = "setpriv --bounding-set=-dac_override,-dac_read_search "
                 "--inh-caps=-dac_override,-dac_read_search ";
        if (RunCommand(asUser + "true").ExitCode != 0)
            GTEST_SKIP() << "root, and setpriv cannot drop the capability to read any folder";
    }
    auto convert = [&](const fs::path& out) {
        return RunCommand("XDG_CONFIG_HOME=" + Q(dir / "config") + " " + asUser + BW_CLI +
                          " convert -r --to flac -o " + Q(out) + " " + Q(tree));
    };
    auto readable = convert(dir / "out1");
    EXPECT_EQ(readable.ExitCode, 0) << readable.Output;
    EXPECT_NE(readable.Output.find("notes.txt: skipped, not an audio file"), std::string::npos);

    fs::permissions(tree / "locked", fs::perms::none);
    auto locked = convert(dir / "out2");
    fs::permissions(tree / "locked", fs::perms::owner_all);
    EXPECT_EQ(locked.ExitCode, 1) << locked.Output;
    EXPECT_NE(locked.Output.find((tree / "locked").string() +
                                 ": skipped, cannot read the folder: Permission denied"),
              std::string::npos)
        << locked.Output;
    EXPECT_TRUE(fs::exists(dir / "out2" / "a.flac"));
}
