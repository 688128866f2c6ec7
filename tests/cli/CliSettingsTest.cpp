#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;

namespace {
std::string Cli(const bwtest::TempDir& dir, const std::string& args) {
    return "XDG_CONFIG_HOME=" + ShellQuote(dir.Path().string()) + " " + BW_CLI + " " + args;
}
} // namespace

TEST(CliSettings, PrintsPathThenFileAsSaved) {
    bwtest::TempDir dir;
    auto shown = RunCommand(Cli(dir, "settings"));
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    auto path = dir / "Vellamor/Brindlewave/options.ini";
    EXPECT_EQ(shown.Output.substr(0, shown.Output.find('\n')), path.string());
    EXPECT_NE(shown.Output.find("[QueryCDDB]\nServer=gnudb.gnudb.org\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));

    auto saved = RunCommand(Cli(dir, "settings --save"));
    ASSERT_EQ(saved.ExitCode, 0) << saved.Output;
    EXPECT_EQ(saved.Output, path.string() + "\n" + bwtest::ReadFileText(path));
    // A second look shows the same file.
    EXPECT_EQ(RunCommand(Cli(dir, "settings")).Output, saved.Output);
}

TEST(CliSettings, ReportsFailuresAndBadUsage) {
    bwtest::TempDir dir;
    auto path = dir / "Vellamor/Brindlewave/options.ini";
    std::filesystem::create_directories(path.parent_path());
    bwtest::WriteFileText(path, "[CommonOptions]\nOutputFormat=2\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    auto failed = RunCommand(Cli(dir, "settings --save"));
    EXPECT_NE(failed.ExitCode, 0);
    EXPECT_NE(failed.Output.find("Unable to write to " + path.string()), std::string::npos);

    EXPECT_NE(RunCommand(Cli(dir, "settings --bogus")).ExitCode, 0);
    EXPECT_NE(RunCommand(Cli(dir, "no-such-command")).ExitCode, 0);
    auto help = RunCommand(Cli(dir, "--help"));
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Output.find("settings"), std::string::npos);
}
