// `offset find` against a local AccurateRip stand-in: an image drive that reads as a drive
// with read offset +667 is found to have it, --save keeps it for that drive, and rips are
// accurate afterwards. The stand-in's checksums come from accuraterip-checksum run on the
// image's unshifted audio.
#include "AccurateRipStandIn.h"
#include "CliTestSupport.h"

#include <optional>

TEST(CliOffset, FindsTheDriveOffsetSavesItAndRipsAreAccurateThen) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    bwtest::TempDir dir, root;
    bwtest::FileHttpServer server{root.Path()};
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {60, 45, 50}, 9);
    auto id = bwtest::PutAccurateRipEntry(server, image, dir.Path(), 3);

    auto cli = [&](const std::string& faults, const std::string& args, const fs::path& cue = {}) {
        return TCliRun(dir.Path() / "config", cue.empty() ? image.CuePath() : cue,
                       "BRINDLEWAVE_ACCURATERIP_SERVER=" + server.HostPort() +
                           " BRINDLEWAVE_CD_FAULTS=" + faults + " ")(args);
    };
    const std::string out = Q(dir.Path() / "out");

    struct Case {
        const char* Name;
        std::string Faults, Args;
        int Exit;
        std::string Expected;
    };
    const std::vector<Case> cases = {
        {"before: the shifted drive reads every track wrong", "offset:667",
         "rip --tracks 1-3 -o " + out, 1, "AccurateRip: 0 of 3 tracks accurate"},
        {"found without saving", "offset:667", "offset find", 0,
         "IMAGE disc.cue: read offset 667 samples (2 track(s) matched"},
        {"a drive early by 1234 samples", "offset:-1234", "offset find", 0,
         "read offset -1234 samples"},
        {"found and saved", "offset:667", "offset find --save", 0, "Saved for IMAGE disc.cue"},
        {"after: the drive's own offset makes the rip accurate", "offset:667",
         "rip --force --tracks 1-3 -o " + out, 0, "AccurateRip: 3 of 3 tracks accurate"},
        {"beyond the search", "offset:2500", "offset find", 1, "no offset from -2000 to +2000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto r = cli(c.Faults, c.Args);
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Output;
        EXPECT_THAT(r.Output, HasSubstr(c.Expected));
    }
    const fs::path ini = dir.Path() / "config/Vellamor/Brindlewave/options.ini";
    EXPECT_THAT(bwtest::ReadFileText(ini), HasSubstr("ReadOffset IMAGE disc.cue=667"));

    // A silent track's checksum (0) matches at every offset: as the only match it finds none.
    // The drive reads early, beyond the search, so the silent last track reads only silence.
    auto quiet = bwtest::CdImage::WriteAudio(
        dir.Path(), "quiet", {bwtest::GeneratedAudio(60, 5), std::vector<std::uint8_t>(45 * 2352)});
    bwtest::PutAccurateRipEntry(server, quiet, dir.Path(), 2);
    auto silent = cli("offset:-2500", "offset find --save", quiet.CuePath());
    EXPECT_EQ(silent.ExitCode, 1) << silent.Output;
    EXPECT_THAT(silent.Output, HasSubstr("no offset from -2000 to +2000"));
    EXPECT_THAT(bwtest::ReadFileText(ini), Not(HasSubstr("quiet.cue")));

    // Not in the database: said so, not a made-up offset.
    fs::remove(root.Path() / "accuraterip" / bw::AccurateRipPath(id));
    auto missing = cli("offset:667", "offset find");
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_THAT(missing.Output, HasSubstr("not in the AccurateRip database"));
}
