// Secure reading from the command line, on image drives that misbehave on purpose.
#include "CdImage.h"
#include "CliTestSupport.h"

#include <chrono>
#include <zlib.h>

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
    // The settings a rip reads: the further tries of a failed read, as the options dialog
    // saves them (0 to 100), and the read offset stored for the NRG image's drive.
    void Retries(int n) {
        FRetries = n;
        SaveOptions();
    }
    void StoreOffset(int offset) {
        FOffset = offset;
        SaveOptions();
    }
    void SaveOptions() {
        fs::create_directories(Dir / "config/Vellamor/Brindlewave");
        bwtest::WriteFileText(
            Dir / "config/Vellamor/Brindlewave/options.ini",
            "[Rip]\nMaxRetries=" + std::to_string(FRetries) +
                "\n[AccurateRip]\nReadOffset IMAGE disc.nrg=" + std::to_string(FOffset) + "\n");
    }

    bwtest::TempDir Dir;
    int FRetries = 5, FOffset = 0;
    std::string Program;
    std::optional<bwtest::CdImage> Image;
};

// The part of the log about one track.
std::string TrackLog(const std::string& log, int track) {
    auto at = log.find("Track 0" + std::to_string(track) + "\n");
    if (at == std::string::npos) return {};
    return log.substr(at, log.find("\n\n", at) - at);
}

// What a drive reading `shift` samples late gives of a track: the disc's audio (hidden pregap
// first) from the track's start plus the shift, silence beyond the disc.
std::vector<std::uint8_t> Shifted(const std::vector<std::uint8_t>& disc, int start, int sectors,
                                  int shift) {
    std::vector<std::uint8_t> out(std::size_t(sectors) * 2352, 0);
    const std::int64_t from = std::int64_t(start) * 2352 + std::int64_t(shift) * 4;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (from + std::int64_t(i) >= 0 && from + std::int64_t(i) < std::int64_t(disc.size()))
            out[i] = disc[std::size_t(from) + i];
    return out;
}

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
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
        {"flaky:70-72:2", true, 0, true,
         "Re-read sectors: 3 (6 reads)\n    00:00.05 confirmed by 2 of 4 reads"},
        {"flaky:70-72:1,flaky:300-310:3", true, 0, true, "Re-read sectors: 14 (36 reads)"},
        // Read errors (fewer than MaxRetries) are retried until the sectors read.
        {"error:100-120:4", true, 0, true, "Re-read sectors: 0 (0 reads)\n  Copy OK"},
        {"error:100-100:4,flaky:200:1,speed:300", true, 0, true,
         "Re-read sectors: 1 (1 read)\n    00:01.60 confirmed by 2 of 3 reads\n  Copy OK"},
        // The dialog's limits: no further tries still reads once; at the most, a sector that
        // fails 201 times reads on the last try of its own read, needing no re-read.
        {"flaky:70-72:2", true, 0, true, "Re-read sectors: 3 (6 reads)", 0},
        {"error:100-100:201", true, 0, true, "Re-read sectors: 0 (0 reads)\n  Copy OK", 100},
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
            // The CRCs are of the final data, the file's, re-read sectors patched in.
            const std::string crc = track.substr(track.find("CRC32: ") + 7, 8);
            EXPECT_THAT(track, HasSubstr("Test CRC: " + crc + "\n  Copy CRC: " + crc));
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
    EXPECT_THAT(track, HasSubstr("Re-read sectors: 3 (60 reads)\n  2 suspicious positions: "
                                 "00:01.05-00:01.07, 00:03.74-00:04.00"));
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

// Noise-like audio of several seeds (a byte order guessed from the audio is a coin toss on
// it), hidden audio before track 1, stored offsets either way and drives with offsets of their
// own: the secure rip through libcdio is the disc's audio as the offset asks, byte for byte,
// as the plain rip is, and its log's CRCs are the file's.
TEST_F(CliSecureRip, NrgRipsAreExactWhateverTheAudioAndTheOffset) {
    struct TCase {
        std::uint32_t Seed;
        const char* Faults;
        int Stored, Shift;
    };
    const TCase cases[] = {{11, "", 0, 0},
                           {12, "offset:667,speed:40", 667, 0},
                           {13, "", -1000, -1000},
                           {14, "", 667, 667},
                           {15, "offset:-1000", -1000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Seed) + " " + c.Faults + " " + std::to_string(c.Stored));
        auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25, 300}, c.Seed);
        const auto pregap = bwtest::GeneratedAudio(30, c.Seed + 100);
        const fs::path nrg = image.WriteNrg(Dir / "disc.nrg", pregap);
        std::vector<std::uint8_t> disc = pregap;
        for (int t = 1; t <= 3; ++t)
            disc.insert(disc.end(), image.TrackBytes(t).begin(), image.TrackBytes(t).end());
        StoreOffset(c.Stored);
        for (const char* mode : {"--secure", ""}) {
            fs::remove_all(Dir / "out");
            auto rip = Rip(c.Faults, mode, nrg);
            EXPECT_EQ(rip.ExitCode, 0) << mode << rip.Output;
            for (int t = 1; t <= 3; ++t)
                EXPECT_TRUE(
                    Data("Track0" + std::to_string(t) + ".wav") ==
                    Shifted(disc, 30 + image.TrackStartSector(t), image.TrackSectors(t), c.Shift))
                    << mode << " track " << t;
        }
        // The last rip was plain: once more securely, for the log.
        fs::remove_all(Dir / "out");
        ASSERT_EQ(Rip(c.Faults, "--secure --tracks 1", nrg).ExitCode, 0);
        const auto data = Data("Track01.wav");
        const std::string crc = Hex(std::uint32_t(crc32(0, data.data(), uInt(data.size()))));
        const std::string track = TrackLog(Log(), 1);
        for (const std::string& line :
             {"CRC32: " + crc, "Test CRC: " + crc, "Copy CRC: " + crc, std::string("Copy OK")})
            EXPECT_THAT(track, HasSubstr(line));
        if (c.Stored != 0) continue;
        // The hidden track goes the same way.
        fs::remove_all(Dir / "out");
        ASSERT_EQ(Rip(c.Faults, "--secure --tracks 0", nrg).ExitCode, 0);
        for (const auto& file : fs::directory_iterator(Dir / "out")) {
            if (file.path().extension() == ".wav") {
                EXPECT_TRUE(Data(file.path().filename().string()) == pregap) << file.path();
            }
        }
    }
}

// A sector libcdio-paranoia gives up on (and skips, guessing its audio) is no good read: it is
// a suspicious position, found within seconds with the default settings.
TEST_F(CliSecureRip, SectorsParanoiaGivesUpOnAreSuspicious) {
    const fs::path nrg = Image->WriteNrg(Dir / "disc.nrg");
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(Rip("speed:40", "--secure --tracks 3", nrg).ExitCode, 0);
    const auto clean = std::chrono::steady_clock::now() - began;
    // Track 3's sector 35 fails every read, or reads differently every time.
    for (const char* faults : {"error:100", "unstable:100,speed:40"}) {
        SCOPED_TRACE(faults);
        fs::remove_all(Dir / "out");
        const auto start = std::chrono::steady_clock::now();
        auto rip = Rip(faults, "--secure --tracks 3", nrg);
        EXPECT_LT(std::chrono::steady_clock::now() - start, clean + std::chrono::seconds(30));
        EXPECT_EQ(rip.ExitCode, 1) << rip.Output;
        EXPECT_THAT(rip.Output, HasSubstr("03 Track03: 1 suspicious position: 00:00.35-00:00.36"));
        EXPECT_THAT(TrackLog(Log(), 3), HasSubstr("Re-read sectors: 1 (20 reads)\n  1 suspicious"));
        EXPECT_THAT(Log(), Not(HasSubstr("Copy OK")));
    }
}

// A disc taken out during a secure rip ends it as it ends a plain one: the track's file goes,
// the tracks not reached fail, and the log is written. (Track 1 is shorter than the drive's
// cache: reading the cache away before its copy pass reads the rest of the disc.)
TEST_F(CliSecureRip, DiscTakenOutEndsTheRip) {
    const fs::path nrg = Image->WriteNrg(Dir / "disc.nrg");
    for (const fs::path& image : {Image->CuePath(), nrg}) {
        SCOPED_TRACE(image.filename());
        fs::remove_all(Dir / "out");
        auto rip = Rip("eject:50", "--secure", image);
        EXPECT_EQ(rip.ExitCode, 1) << rip.Output;
        EXPECT_THAT(rip.Output, HasSubstr("Track 01: the disc was taken out of the drive."));
        EXPECT_THAT(rip.Output, HasSubstr("The disc was taken out of the drive; the rip ends."));
        for (const auto& file : fs::directory_iterator(Dir / "out"))
            EXPECT_EQ(file.path().filename(), "Rip.log");
        EXPECT_THAT(TrackLog(Log(), 3), HasSubstr("Not ripped: the disc was taken out"));
    }
}

// A drive whose cache answers a re-read with what it read before, wrong data included: a
// second read from the cache would confirm the wrong data; ours reads the cache away first.
TEST_F(CliSecureRip, ReadsAwayFromTheDrivesCache) {
    auto image = bwtest::CdImage::Write(Dir.Path(), "disc", {300, 2700}, 5);
    const fs::path nrg = image.WriteNrg(Dir / "disc.nrg");
    for (const fs::path& path : {image.CuePath(), nrg}) {
        SCOPED_TRACE(path.filename());
        fs::remove_all(Dir / "out");
        auto rip = Rip("cache:2000,flaky:100-101:1", "--secure --tracks 1", path);
        EXPECT_EQ(rip.ExitCode, 0) << rip.Output;
        EXPECT_TRUE(Data("Track01.wav") == image.TrackBytes(1));
        const std::string track = TrackLog(Log(), 1);
        EXPECT_THAT(track, HasSubstr("Drive cache: defeated by reading 2400 sectors away"));
        EXPECT_THAT(track, HasSubstr("00:01.26 confirmed by 2 of 3 reads\n"));
    }
}
