#include "CdImage.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

// A copy of the front end in a scratch folder, so that its "cd.dat" is the test's own.
class CliCddb : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "bin");
        fs::copy_file(BW_CLI, Program);
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 33});
        Server.emplace(Dir / "fixtures");
    }
    bwtest::CommandResult Cli(const std::string& args) {
        return RunCommand("XDG_CONFIG_HOME=" + ShellQuote((Dir / "config").string()) +
                          " BRINDLEWAVE_CD_IMAGES=" + ShellQuote(Image->CuePath().string()) + " " +
                          ShellQuote(Program.string()) + " " + args);
    }
    std::string DiscId() const { return bwtest::CddbDiscIdOf(*Image); }

    bwtest::TempDir Dir;
    fs::path Program = Dir / "bin" / "brindlewave-cli";
    std::optional<bwtest::CdImage> Image;
    std::optional<bwtest::CddbTestServer> Server;
};

} // namespace

TEST_F(CliCddb, ShowsAndSavesWhatTheServerKnows) {
    std::string id = DiscId();
    ASSERT_EQ(id.size(), 8u);
    Server->Put("query-" + id + ".txt", "200 blues " + id + " A / B\r\n");
    Server->Put(
        "read-blues-" + id + ".txt",
        "210 blues " + id +
            "\r\nDTITLE=Some Artist / Some Album\r\nDYEAR=1971\r\n"
            "DGENRE=Blues\r\nTTITLE0=Opening\r\nTTITLE1=Middle/Part\r\nTTITLE2=..\r\n.\r\n");
    auto shown = Cli("cddb --server " + Server->HostPort() + " --save");
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    EXPECT_EQ(shown.Output, "Artist: Some Artist\nAlbum:  Some Album\nYear:   1971\n"
                            "Genre:  Blues\n01  Opening\n02  Middle/Part\n03  ..\n");

    // The rip names its files after the saved titles; unusable names are refused, and
    // nothing is written outside the output folder.
    auto rip = Cli("rip --format wav --tracks 1-3 --output " + ShellQuote((Dir / "out").string()));
    EXPECT_NE(rip.ExitCode, 0);
    EXPECT_TRUE(fs::exists(Dir / "out" / "Opening.wav")) << rip.Output;
    EXPECT_FALSE(fs::exists(Dir / "out" / "Middle"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 1);
    EXPECT_NE(bwtest::ReadFileText(Dir / "bin" / "cd.dat").find("CDGenre=18\n"), std::string::npos);
}

TEST_F(CliCddb, ReportsNoMatchFailuresAndUsesTheProxy) {
    std::string id = DiscId();
    auto none = Cli("cddb --server " + Server->HostPort());
    EXPECT_NE(none.ExitCode, 0);
    EXPECT_NE(none.Output.find("no match found"), std::string::npos) << none.Output;

    fs::remove(Dir / "fixtures" / "requests.log");
    auto proxied = Cli("cddb --server cddb.invalid --proxy " + Server->HostPort());
    EXPECT_NE(proxied.ExitCode, 0); // still no match, but through the proxy
    EXPECT_EQ(
        Server->Requests().rfind("http://cddb.invalid/~cddb/cddb.cgi?cmd=cddb+query+" + id, 0), 0u);

    Server->Put("status.txt", "500");
    auto failed = Cli("cddb --server " + Server->HostPort());
    EXPECT_NE(failed.ExitCode, 0);
    EXPECT_NE(failed.Output.find("the query failed"), std::string::npos) << failed.Output;
    EXPECT_FALSE(fs::exists(Dir / "bin" / "cd.dat"));
    EXPECT_NE(Cli("cddb --drive 3").ExitCode, 0);
}
