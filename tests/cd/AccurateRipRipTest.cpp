// Ripped tracks judged as AccurateRip judges them: our checksums against whipper's
// accuraterip-checksum, read offsets against an image whose audio is shifted, verdicts from
// database files served on 127.0.0.1, and the rip log and cue sheet.
#include "AccurateRipTestData.h"
#include "CddbTestServer.h"
#include "RipFixture.h"
#include "RipReport.h"

#include <cstdlib>
#include <regex>

namespace fs = std::filesystem;
using namespace bw;

namespace {

const std::vector<int> ThreeTracks = {40, 23, 37};

struct TOracleSums {
    std::uint32_t V1 = 0, V2 = 0;
};

std::uint32_t OracleSum(const fs::path& wav, int track, int total, const char* version) {
    auto r = bwtest::RunCommand(std::string("accuraterip-checksum ") + version + " " +
                                bwtest::ShellQuote(wav.string()) + " " + std::to_string(track) +
                                " " + std::to_string(total));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return static_cast<std::uint32_t>(std::strtoul(r.Output.c_str(), nullptr, 16));
}

TOracleSums Oracle(const fs::path& wav, int track, int total) {
    return {OracleSum(wav, track, total, "--accuraterip-v1"),
            OracleSum(wav, track, total, "--accuraterip-v2")};
}

// Raw CD audio into a WAV file written by sox, not by us.
fs::path SoxWav(const fs::path& folder, const std::string& name,
                const std::vector<std::uint8_t>& audio) {
    fs::path raw = folder / (name + ".raw"), wav = folder / (name + ".wav");
    bwtest::WriteFileBytes(raw, audio);
    auto r = bwtest::RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 -L " +
                                bwtest::ShellQuote(raw.string()) + " " +
                                bwtest::ShellQuote(wav.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return wav;
}

class AccurateRipRip : public RipFixture {
protected:
    TRipDisc Disc() {
        TTOC toc;
        EXPECT_EQ(ModifyCDParms(Handle, CDP_MSF, 1), 1);
        EXPECT_EQ(ReadTOC(Handle, &toc), 1);
        return TRipDisc::FromTOC(toc);
    }
    // Rips every track into "tN.wav" and returns the report of the rip.
    TRipReport RipAll() {
        TRipReport report(Disc());
        for (int t = 1; t <= Image->TrackCount(); ++t) {
            std::string title = "t" + std::to_string(t);
            TRipOutcome outcome = Rip(t, title);
            EXPECT_EQ(outcome.Finished, std::vector<int>{0});
            report.AddRippedTrack(t, WavPath(title));
        }
        return report;
    }
};

} // namespace

TEST_F(AccurateRipRip, ChecksumsEqualAccurateripChecksumForEveryFileMaker) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    InsertDisc(ThreeTracks);
    const int total = Image->TrackCount();
    for (int t = 1; t <= total; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        fs::path sox = SoxWav(Dir.Path(), "sox" + std::to_string(t), Image->TrackBytes(t));
        TOracleSums oracle = Oracle(sox, t, total);
        ASSERT_EQ(Rip(t, "ours").Finished, std::vector<int>{0});
        fs::path ffmpegFlac = Dir / ("ff" + std::to_string(t) + ".flac");
        fs::path flacFlac = Dir / ("fl" + std::to_string(t) + ".flac");
        ASSERT_EQ(bwtest::RunCommand("ffmpeg -v error -y -i " + bwtest::ShellQuote(sox.string()) +
                                     " " + bwtest::ShellQuote(ffmpegFlac.string()))
                      .ExitCode,
                  0);
        ASSERT_EQ(bwtest::RunCommand("flac -s -f -o " + bwtest::ShellQuote(flacFlac.string()) +
                                     " " + bwtest::ShellQuote(sox.string()))
                      .ExitCode,
                  0);
        std::uint32_t crc = 0;
        for (const fs::path& file : {sox, WavPath("ours"), ffmpegFlac, flacFlac}) {
            SCOPED_TRACE(file.filename().string());
            TTrackChecksums sums = ChecksumAudioFile(file, t == 1, t == total);
            ASSERT_TRUE(sums.Ok) << sums.Error;
            EXPECT_EQ(sums.V1, oracle.V1);
            EXPECT_EQ(sums.V2, oracle.V2);
            EXPECT_EQ(sums.Samples, std::uint64_t(Image->TrackSectors(t)) * 588);
            if (crc == 0) crc = sums.Crc32;
            EXPECT_EQ(sums.Crc32, crc);
        }
    }
    // Not CD audio: refused, not checksummed.
    auto r = bwtest::RunCommand("sox -n -r 48000 -c 2 -b 16 " +
                                bwtest::ShellQuote((Dir / "48k.wav").string()) + " trim 0 1");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_FALSE(ChecksumAudioFile(Dir / "48k.wav", false, false).Ok);
    EXPECT_FALSE(ChecksumAudioFile(Dir / "missing.wav", false, false).Ok);
}

TEST_F(AccurateRipRip, ReadOffsetUndoesAShiftedDrive) {
    auto reference = std::vector<std::vector<std::uint8_t>>{};
    for (int t = 0; t < 3; ++t)
        reference.push_back(bwtest::GeneratedAudio(ThreeTracks[t], 70 + t));
    std::vector<std::uint8_t> disc;
    for (const auto& track : reference)
        disc.insert(disc.end(), track.begin(), track.end());

    for (int offset : {6, -6, 588 + 6, -(588 * 2 + 3)}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        // A drive whose reads come `offset` samples early holds disc[i] at i + offset.
        std::vector<std::uint8_t> shifted(disc.size(), 0);
        for (std::int64_t i = 0; i < std::int64_t(disc.size() / 4); ++i) {
            std::int64_t to = i + offset;
            if (to >= 0 && to < std::int64_t(disc.size() / 4))
                std::copy_n(disc.begin() + i * 4, 4, shifted.begin() + to * 4);
        }
        std::vector<std::vector<std::uint8_t>> tracks;
        std::size_t at = 0;
        for (const auto& track : reference) {
            tracks.emplace_back(shifted.begin() + at, shifted.begin() + at + track.size());
            at += track.size();
        }
        if (Handle) CloseCDHandle(Handle);
        Drives.reset(); // restores the variable before the next disc names itself
        InsertAudio(tracks);
        ReadOffset = offset;
        for (int t = 1; t <= 3; ++t) {
            SCOPED_TRACE("track " + std::to_string(t));
            ASSERT_EQ(Rip(t, "shifted").Finished, std::vector<int>{0});
            const auto& want = reference[t - 1];
            TAccurateRipChecksum expected(want.size() / 4, t == 1, t == 3);
            expected.Add(want.data(), want.size());
            TTrackChecksums sums = ChecksumAudioFile(WavPath("shifted"), t == 1, t == 3);
            EXPECT_EQ(sums.V1, expected.V1());
            EXPECT_EQ(sums.V2, expected.V2());
            // The middle track is whole: every sample is the disc's, byte for byte.
            if (t == 2) {
                EXPECT_TRUE(WavData("shifted") == want);
            }
        }
    }
    // Offsets beyond ten sectors are refused, and the rip says so.
    ReadOffset = 10 * 588 + 1;
    EXPECT_EQ(Rip(1, "far").Failed, std::vector<std::intptr_t>{1});
}

TEST_F(AccurateRipRip, VerdictsFromTheDatabaseServer) {
    if (!bwtest::HaveTool("accuraterip-checksum")) GTEST_SKIP() << "no accuraterip-checksum";
    InsertDisc(ThreeTracks);
    TRipReport ripped = RipAll();
    const TAccurateRipDiscId id = ripped.DiscId();
    std::vector<std::pair<int, std::uint32_t>> good, bad;
    for (int t = 1; t <= 3; ++t) {
        TOracleSums oracle = Oracle(WavPath("t" + std::to_string(t)), t, 3);
        good.push_back({12, oracle.V2});
        bad.push_back({12, oracle.V2 ^ 1});
    }
    std::vector<std::pair<int, std::uint32_t>> v1Only = bad;
    v1Only[1] = {3, Oracle(WavPath("t2"), 2, 3).V1};
    const std::string exact = bwtest::DbarBytes(id, good);
    const std::string second = bwtest::DbarBytes(id, bad) + bwtest::DbarBytes(id, v1Only);

    bwtest::TempDir root;
    bwtest::FileHttpServer server(root.Path());
    using S = TAccurateRipStatus;
    struct Case {
        const char* Name;
        const char* File; // nullptr: none (404)
        std::string Server;
        bool Normalized;
        std::vector<S> Want;
        const char* Reason;
    };
    const std::string down = "127.0.0.1:1";
    const Case cases[] = {
        {"exact match at confidence 12",
         "exact",
         server.HostPort(),
         false,
         {S::Accurate, S::Accurate, S::Accurate},
         ""},
        {"match only in a second submission",
         "second",
         server.HostPort(),
         false,
         {S::NotAccurate, S::Accurate, S::NotAccurate},
         ""},
        {"mismatch",
         "bad",
         server.HostPort(),
         false,
         {S::NotAccurate, S::NotAccurate, S::NotAccurate},
         ""},
        {"404",
         nullptr,
         server.HostPort(),
         false,
         {S::NotInDatabase, S::NotInDatabase, S::NotInDatabase},
         ""},
        {"truncated file",
         "truncated",
         server.HostPort(),
         false,
         {S::NotChecked, S::NotChecked, S::NotChecked},
         "damaged"},
        {"server down",
         "exact",
         down,
         false,
         {S::NotChecked, S::NotChecked, S::NotChecked},
         "could not be reached"},
        {"normalized",
         "exact",
         server.HostPort(),
         true,
         {S::NotChecked, S::NotChecked, S::NotChecked},
         "normalization"},
    };
    const std::map<std::string, std::string> files = {
        {"exact", exact},
        {"second", second},
        {"bad", bwtest::DbarBytes(id, bad)},
        {"truncated", exact.substr(0, exact.size() - 4)},
    };
    const std::string path = "accuraterip/" + AccurateRipPath(id);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove(root / path);
        if (c.File) server.Put(path, files.at(c.File));
        TRipReport report = ripped;
        THttpRequest options;
        options.ConnectTimeoutSeconds = 2;
        report.Verify(c.Server, options, c.Normalized);
        for (int t = 0; t < 3; ++t) {
            const TAccurateRipResult& r = report.Tracks()[t].Result;
            EXPECT_EQ(r.Status, c.Want[t]) << "track " << t + 1 << ": " << AccurateRipResultText(r);
            EXPECT_NE(r.Reason.find(c.Reason), std::string::npos) << r.Reason;
        }
        EXPECT_EQ(report.AnyNotAccurate(),
                  std::count(c.Want.begin(), c.Want.end(), S::NotAccurate) > 0);
    }
    EXPECT_NE(server.Requests().find("/" + path), std::string::npos) << server.Requests();
    TRipReport report = ripped;
    server.Put(path, second);
    report.Verify(server.HostPort(), THttpRequest{}, false);
    EXPECT_EQ(report.StatusText(), "AccurateRip: 1 of 3 tracks accurate");
    EXPECT_EQ(AccurateRipResultText(report.Tracks()[1].Result), "accurate (v1, confidence 3)");
}

TEST_F(AccurateRipRip, CheckOnAThreadPostsWhenDoneAndStopsWhenDestroyed) {
    InsertDisc(ThreeTracks);
    TRipReport report = RipAll();
    bwtest::TempDir root;
    bwtest::FileHttpServer server(root.Path());
    std::vector<std::pair<int, std::uint32_t>> sums;
    for (const auto& t : report.Tracks())
        sums.push_back({5, t.Sums.V2});
    server.Put("accuraterip/" + AccurateRipPath(report.DiscId()),
               bwtest::DbarBytes(report.DiscId(), sums));
    {
        TMessageQueue queue;
        TAccurateRipCheck check(report, server.HostPort(), THttpRequest{}, false, queue);
        auto done = queue.WaitNext(std::chrono::seconds(20));
        ASSERT_TRUE(done);
        EXPECT_EQ(done->Msg, WM_ACCURATERIPDONE);
    }
    EXPECT_EQ(report.StatusText(), "AccurateRip: 3 of 3 tracks accurate");

    // A server that takes its time: closing the window must not wait for it.
    bwtest::TempDir slowDir;
    bwtest::CddbTestServer slow(slowDir.Path());
    slow.Put("delay.txt", "10");
    TRipReport pending = RipAll();
    TMessageQueue queue;
    auto start = std::chrono::steady_clock::now();
    {
        TAccurateRipCheck check(pending, slow.HostPort(), THttpRequest{}, false, queue);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_EQ(pending.Tracks()[0].Result.Status, TAccurateRipStatus::NotChecked);
}
