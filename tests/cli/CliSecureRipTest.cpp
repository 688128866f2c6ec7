// Secure reading from the command line, on image drives that misbehave on purpose.
#include "CdImage.h"
#include "CliTestSupport.h"

namespace {

class CliSecureRip : public ::testing::Test {
protected:
    void SetUp() override {
        Program = ProgramCopy(Dir.Path());
        // Track 3 starts at sector 65 and lasts 4 seconds.
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 300});
    }
    // A WAV rip with its log of the image (by default the cue sheet) on drives with faults.
    bwtest::CommandResult Rip(const std::string& faults, const std::string& args,
                              const fs::path& image = {}) {
        const TCliRun cli{Dir / "config", image.empty() ? Image->CuePath() : image,
                          "BRINDLEWAVE_CD_FAULTS=" + ShellQuote(faults) +
                              " BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 ",
                          Program};
        return cli("rip -f wav --log --output " + Q(Dir / "out") + " " + args);
    }
    std::vector<std::uint8_t> Data(const std::string& name) {
        auto bytes = bwtest::ReadFileBytes(Dir / "out" / name);
        if (bytes.size() < 44) return {};
        return {bytes.begin() + 44, bytes.end()};
    }
    std::string Log() { return bwtest::ReadFileText(Dir / "out" / "Rip.log"); }
    // The further tries of a failed read, as the options dialog saves them (0 to 100).
    void Retries(int n) {
        fs::create_directories(Dir / "config/Vellamor/Brindlewave");
        bwtest::WriteFileText(Dir / "config/Vellamor/Brindlewave/options.ini",
                              "[Rip]\nMaxRetries=" + std::to_string(n) + "\n");
    }

    bwtest::TempDir Dir;
    std::string Program;
    std::optional<bwtest::CdImage> Image;
};

// The part of the log about one track.
std::string TrackLog(const std::string& log, int track) {
    auto at = log.find("Track 0" + std::to_string(track) + "\n");
    if (at == std::string::npos) return {};
    return log.substr(at, log.find("\n\n", at) - at);
}

} // namespace

TEST_F(CliSecureRip, FaultsSpoilPlainRipsAndSecureRipsComeOutExact) {
    struct TCase {
        const char* Faults;
        bool Secure;
        int ExitCode;
        bool Exact; // track 3 as on the image
        const char* Expect;
        int Retries = 5;
    };
    const TCase cases[] = {
        // The fault model works: a plain rip keeps the wrong bits.
        {"flaky:70-72:2", false, 0, false, "CRC32: "},
        // Re-reads give three sectors that twice read the same.
        {"flaky:70-72:2", true, 0, true, "Re-read pieces: 3\n  Copy OK"},
        {"flaky:70-72:1,flaky:300-310:3", true, 0, true, "Re-read pieces: 14\n  Copy OK"},
        // Read errors (fewer than MaxRetries) are retried until the sectors read.
        {"error:100-120:4", true, 0, true, "Re-read pieces: 0\n  Copy OK"},
        {"error:100-100:4,flaky:200:1,speed:300", true, 0, true, "Re-read pieces: 1\n  Copy OK"},
        // The dialog's limits: no further tries still reads once; at the most, a sector that
        // fails 201 times reads on the last try of its own read, needing no re-read.
        {"flaky:70-72:2", true, 0, true, "Re-read pieces: 3\n  Copy OK", 0},
        {"error:100-100:201", true, 0, true, "Re-read pieces: 0\n  Copy OK", 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Faults) + (c.Secure ? " secure" : " plain") + " retries " +
                     std::to_string(c.Retries));
        fs::remove_all(Dir / "out");
        Retries(c.Retries);
        auto rip = Rip(c.Faults, std::string("--tracks 3") + (c.Secure ? " --secure" : ""));
        EXPECT_EQ(rip.ExitCode, c.ExitCode) << rip.Output;
        EXPECT_EQ(Data("Track03.wav") == Image->TrackBytes(3), c.Exact);
        std::string track = TrackLog(Log(), 3);
        for (const char* line : {c.Expect, "Peak level: ", "Read speed: "})
            EXPECT_THAT(track, HasSubstr(line));
        EXPECT_EQ(track.find("Test CRC: ") != std::string::npos, c.Secure) << track;
        if (c.Secure) {
            EXPECT_THAT(rip.Output, HasSubstr("03 Track03: Copy OK"));
        }
    }
}

TEST_F(CliSecureRip, UnstableSectorsAreSuspiciousPositionsAtTheirTimes) {
    // Track 3's sectors 80-81 (1.05 s) and 299 (its last), and track 1's sector 3.
    auto rip = Rip("unstable:145-146,unstable:364-364,unstable:3", "--secure");
    EXPECT_EQ(rip.ExitCode, 1) << rip.Output;
    for (const char* line :
         {"03 Track03: 2 suspicious positions: 00:01.05-00:01.07, 00:03.74-00:04.00\n",
          "01 Track01: 1 suspicious position: 00:00.03-00:00.04\n", "02 Track02: Copy OK",
          "2 of 3 tracks have suspicious positions"})
        EXPECT_THAT(rip.Output, HasSubstr(line));
    // The tracks are kept, wrong only where the positions say.
    auto kept = Data("Track03.wav");
    const auto& right = Image->TrackBytes(3);
    ASSERT_EQ(kept.size(), right.size());
    for (int s = 0; s < 300; ++s) {
        bool same = std::equal(kept.begin() + s * 2352, kept.begin() + (s + 1) * 2352,
                               right.begin() + s * 2352);
        EXPECT_EQ(same, s != 80 && s != 81 && s != 299) << s;
    }
    EXPECT_TRUE(Data("Track02.wav") == Image->TrackBytes(2));
    std::string track = TrackLog(Log(), 3);
    EXPECT_THAT(track, HasSubstr("Re-read pieces: 3\n  2 suspicious positions: 00:01.05-00:01.07, "
                                 "00:03.74-00:04.00"));
    EXPECT_THAT(TrackLog(Log(), 2), HasSubstr("Copy OK"));
}

// An image that libcdio opens itself (NRG) goes the way of a physical drive: through
// libcdio-paranoia, its reads passing the same simulated faults.
TEST_F(CliSecureRip, ImagesLibcdioOpensReadThroughParanoia) {
    const fs::path nrg = Image->WriteNrg(Dir / "disc.nrg");
    struct TCase {
        const char* Faults;
        int ExitCode;
        int Retries = 5;
    };
    const TCase cases[] = {{"", 0}, {"flaky:70-72:2,error:100:2", 0}, {"flaky:70-72:2", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Faults) + " retries " + std::to_string(c.Retries));
        fs::remove_all(Dir / "out");
        Retries(c.Retries);
        auto rip = Rip(c.Faults, "--secure --tracks 2-3", nrg);
        EXPECT_EQ(rip.ExitCode, c.ExitCode) << rip.Output;
        EXPECT_TRUE(Data("Track02.wav") == Image->TrackBytes(2));
        EXPECT_TRUE(Data("Track03.wav") == Image->TrackBytes(3));
        std::string track = TrackLog(Log(), 3);
        EXPECT_THAT(track, HasSubstr("Secure reading through libcdio-paranoia\n"));
        EXPECT_THAT(track, HasSubstr("Copy OK"));
    }
}
