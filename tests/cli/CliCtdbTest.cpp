// The CUETools database on the command line: a rip with read faults reports its CTDB
// verdicts, `repair` mends its files to the image's audio, `verify` checks files against the
// database, and a rip that cannot be repaired says why. The database is a stand-in on
// 127.0.0.1 serving what CUETools computes for the vectors' discs.
#include "AccurateRipStandIn.h"
#include "CdImage.h"
#include "CddbTestServer.h"
#include "CliTestSupport.h"
#include "CtdbTestDiscs.h"

namespace {

class CliCtdb : public ::testing::Test {
protected:
    void SetUp() override {
        if (bwtest::CtdbVectors().is_null()) GTEST_SKIP() << "no CTDB vectors";
        const auto& a = bwtest::CtdbDisc("A");
        Audio = bwtest::CtdbDiscAudio(a);
        std::vector<std::vector<std::uint8_t>> tracks;
        std::vector<int> starts = a["gen_params"]["track_starts_sectors"];
        starts.push_back(a["gen_params"]["leadout_sectors"]);
        for (std::size_t t = 0; t + 1 < starts.size(); ++t)
            tracks.emplace_back(Audio.begin() + starts[t] * 2352,
                                Audio.begin() + starts[t + 1] * 2352);
        Image = bwtest::CdImage::WriteAudio(Dir.Path(), "disc", tracks);
        Server.Put("lookup2.php", bwtest::CtdbReplyOf(a));
        Server.Put("parity/1", bwtest::CtdbParityOf(a));
    }
    TCliRun Cli(const fs::path& image, const std::string& env = {}) const {
        return TCliRun{Dir / "config", image,
                       "BRINDLEWAVE_CTDB_SERVER=http://" + Server.HostPort() + " " + env};
    }
    std::vector<fs::path> TrackFiles(const fs::path& folder, const std::string& ops,
                                     const std::string& format) {
        return bwtest::CtdbTrackFiles(bwtest::CtdbDisc("A"), folder, ops, format);
    }
    static std::string Args(const std::vector<fs::path>& files) {
        std::string args;
        for (const auto& f : files)
            args += " " + Q(f);
        return args;
    }

    bwtest::TempDir Dir, Root;
    bwtest::FileHttpServer Server{Root.Path()};
    std::vector<std::uint8_t> Audio;
    std::optional<bwtest::CdImage> Image;
};

} // namespace

// A plain rip through libcdio-paranoia (an NRG image) with wrong bits in track 2: AccurateRip
// calls it not accurate, CTDB says how much differs, and `repair` mends it to the image.
TEST_F(CliCtdb, AFaultyRipIsRepairedToTheImagesAudio) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    bwtest::TempDir ar;
    bwtest::FileHttpServer arServer{ar.Path()};
    bwtest::PutAccurateRipEntry(arServer, *Image, Dir.Path(), 3);
    const fs::path nrg = Image->WriteNrg(Dir / "disc.nrg");
    const auto cli = Cli(nrg, "BRINDLEWAVE_CD_FAULTS=flaky:1500-1502:1 "
                              "BRINDLEWAVE_ACCURATERIP_SERVER=" +
                                  arServer.HostPort() + " ");
    auto rip = cli("rip --tracks 1-3 --log --format flac -o " + Q(Dir / "out"));
    EXPECT_EQ(rip.ExitCode, 1) << rip.Output;
    EXPECT_THAT(rip.Output, HasSubstr("[CTDB TOCID: KKnLvbUeYsv6NR7Tr7lXFA.acPA-] found"));
    EXPECT_THAT(rip.Output,
                HasSubstr("01 Track01.flac: CTDB accurately ripped (confidence 3 of 3)"));
    EXPECT_THAT(rip.Output, HasSubstr("02 Track02.flac: CTDB differs in "));
    EXPECT_THAT(rip.Output, HasSubstr("The CUETools database can repair this rip"));
    EXPECT_THAT(bwtest::ReadFileText(Dir / "out" / "Rip.log"),
                HasSubstr("  CTDB: accurately ripped (confidence 3 of 3)\n"));

    std::vector<fs::path> ripped;
    for (int t = 1; t <= 3; ++t)
        ripped.push_back(Dir / "out" / ("Track0" + std::to_string(t) + ".flac"));
    auto repair = cli("repair --output " + Q(Dir / "mended") + Args(ripped));
    ASSERT_EQ(repair.ExitCode, 0) << repair.Output;
    EXPECT_THAT(repair.Output, HasSubstr("Verified: the mended files match the database"));
    for (int t = 1; t <= 3; ++t) {
        auto pcm = bwtest::FFmpegPcm(Dir / "mended" / ("Track0" + std::to_string(t) + ".flac"),
                                     "s16le", Dir / "pcm.raw");
        EXPECT_EQ(pcm.size(), Image->TrackBytes(t).size()) << t;
        EXPECT_TRUE(pcm == Image->TrackBytes(t)) << t;
    }
    EXPECT_FALSE(bwtest::FFmpegPcm(ripped[1], "s16le", Dir / "pcm.raw") == Image->TrackBytes(2))
        << "the damaged original was changed";
    EXPECT_THAT(bwtest::ReadFileText(Dir / "mended" / "repair.log"),
                HasSubstr("fetch npar=4 bytes=0..94079"));
}

// Scratches mended in FLAC (tags kept) and WAV files; what cannot be mended says why.
TEST_F(CliCtdb, RepairMendsFilesOrSaysWhyNot) {
    const std::string zero1000 = R"([{"op":"zero","start":1500000,"count":1000}])";
    struct Case {
        const char* Name;
        std::string Ops, Format, Server, Output;
        int Exit;
        const char* Says;
    } cases[] = {
        {"flac", zero1000, "flac", "", "", 0, "Corrected: 2000 samples @00:34:01-00:34:02"},
        {"wav", zero1000, "wav", "", "", 0, "Track 3: 2000 samples corrected @00:00:14-00:00:15"},
        {"clean", "[]", "wav", "", "", 0, "Nothing to repair: the rip matches the database."},
        {"garbled", R"([{"op":"garble","dseed":5,"start":700000,"count":60000}])", "wav", "", "", 1,
         "cannot repair the rip: too much damage: no entry of the database matches the rip"},
        {"unknown disc", zero1000, "wav", "http://127.0.0.1:1", "", 1,
         "cannot repair the rip: the database could not be reached"},
        {"own folder", zero1000, "wav", "", "files", 1,
         "the output folder is the files' own: the originals are never replaced"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = Dir / c.Name;
        auto files = TrackFiles(folder / "files", c.Ops, c.Format);
        const fs::path out = folder / (c.Output.empty() ? "mended" : c.Output);
        std::string server = c.Server.empty() ? "" : " --server " + c.Server;
        auto r = Cli({})("repair --output " + Q(out) + server + Args(files));
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Output;
        EXPECT_THAT(r.Output, HasSubstr(c.Says));
        if (c.Exit != 0 || std::string(c.Name) == "clean") continue;
        std::vector<std::uint8_t> all;
        for (int t = 1; t <= 3; ++t) {
            auto pcm = bwtest::FFmpegPcm(out / files[std::size_t(t - 1)].filename(), "s16le",
                                         folder / "pcm.raw");
            all.insert(all.end(), pcm.begin(), pcm.end());
        }
        EXPECT_EQ(all.size(), Audio.size());
        EXPECT_TRUE(all == Audio);
        if (c.Format == "flac") {
            EXPECT_EQ(bwtest::MutagenTags(out / "Track02.flac")["title"], "Song2");
        }
    }
    Server.Put("lookup2.php", "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"/>");
    auto files = TrackFiles(Dir / "unknown", zero1000, "wav");
    auto r = Cli({})("repair" + Args(files));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_THAT(r.Output,
                HasSubstr("cannot repair the rip: the disc is not in the CUETools database"));
}

// verify checks the whole disc when every track is given, else each track's CRC.
TEST_F(CliCtdb, VerifyChecksFilesAgainstTheDatabase) {
    auto files = TrackFiles(Dir / "files", "[]", "flac");
    const auto cli = Cli(Image->CuePath());
    auto whole = cli("verify --no-accuraterip" + Args(files));
    EXPECT_EQ(whole.ExitCode, 0) << whole.Output;
    EXPECT_THAT(whole.Output, HasSubstr("[CTDB TOCID: KKnLvbUeYsv6NR7Tr7lXFA.acPA-] found\n"
                                        "01 Track01.flac: CTDB accurately ripped (confidence 3 of "
                                        "3)\n"));
    EXPECT_THAT(whole.Output, Not(HasSubstr("AccurateRip")));
    auto two = cli("verify --no-accuraterip --first-track 2" + Args({files[1], files[2]}));
    EXPECT_EQ(two.ExitCode, 0) << two.Output;
    EXPECT_THAT(two.Output,
                HasSubstr("03 Track03.flac: CTDB accurately ripped (confidence 3 of 3)"));
    auto none = cli("verify --no-accuraterip --ctdb-server http://127.0.0.1:1" + Args(files));
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_THAT(none.Output, HasSubstr("] not checked: the database could not be reached\n"));
    auto off = cli("verify --no-ctdb --server 127.0.0.1:1" + Args(files));
    EXPECT_THAT(off.Output, Not(HasSubstr("CTDB")));
    auto damaged =
        TrackFiles(Dir / "damaged", R"([{"op":"zero","start":1500000,"count":1000}])", "wav");
    auto bad = cli("verify --no-accuraterip" + Args(damaged));
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_THAT(bad.Output,
                HasSubstr("03 Track03.wav: CTDB differs in 2000 samples @00:00:14-00:00:15"));
}
