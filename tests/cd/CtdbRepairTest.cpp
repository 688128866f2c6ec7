// The report window's repair: a rip's files mended in place, the damaged ones gone only once
// every mended file is in; a repair that fails leaves the rip as it was.
#include "CtdbRepair.h"
#include "CddbTestServer.h"
#include "CtdbTestDiscs.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(CtdbRepairInPlace, MendsTheFilesWhereTheyAreOrLeavesThem) {
    if (bwtest::CtdbVectors().is_null()) GTEST_SKIP() << "no CTDB vectors";
    const auto& disc = bwtest::CtdbDisc("A");
    bwtest::TempDir dir, root;
    bwtest::FileHttpServer server{root.Path()};
    server.Put("lookup2.php", bwtest::CtdbReplyOf(disc));
    server.Put("parity/1", bwtest::CtdbParityOf(disc));
    const auto files = bwtest::CtdbTrackFiles(
        disc, dir / "rip", R"([{"op":"zero","start":1500000,"count":1000}])", "wav");
    const auto untouched = fs::last_write_time(files[0]);
    const std::string damaged = bwtest::Sha256(files[2]);
    bw::TCtdbRepairOptions options;
    options.Server = "http://127.0.0.1:1";
    auto failed = bw::RepairInPlaceWithCtdb(bw::CtdbRepairInputFromFiles(files), options);
    EXPECT_FALSE(failed.Ok);
    EXPECT_EQ(bwtest::Sha256(files[2]), damaged);
    EXPECT_FALSE(fs::exists(dir / "rip" / ".repair.part"));

    std::vector<double> progress;
    options.Server = "http://" + server.HostPort();
    options.Progress = [&progress](double f, const std::string&) { progress.push_back(f); };
    auto repaired = bw::RepairInPlaceWithCtdb(bw::CtdbRepairInputFromFiles(files), options);
    ASSERT_TRUE(repaired.Ok) << repaired.Why;
    EXPECT_EQ(repaired.Written, std::vector<fs::path>{files[2]});
    EXPECT_EQ(fs::last_write_time(files[0]), untouched);
    std::vector<std::uint8_t> all;
    for (const auto& f : files) {
        auto bytes = bwtest::ReadFileBytes(f);
        all.insert(all.end(), bytes.begin() + 44, bytes.end());
    }
    EXPECT_TRUE(all == bwtest::CtdbDiscAudio(disc));
    for (const auto& entry : fs::directory_iterator(dir / "rip"))
        EXPECT_EQ(entry.path().string().find(".damaged"), std::string::npos) << entry.path();
    EXPECT_TRUE(fs::exists(dir / "rip" / "repair.log"));
    EXPECT_FALSE(fs::exists(dir / "rip" / ".repair.part"));
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);
}
