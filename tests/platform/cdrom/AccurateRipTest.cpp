// AccurateRip ids against ids published for real discs, and the database file parse and
// verdicts against files built here the way the database serves them.
#include "AccurateRip.h"
#include "AccurateRipTestData.h"

#include <gtest/gtest.h>

using namespace bw;

namespace {

std::vector<int> Liquid() {
    // An enhanced CD: ten audio tracks and a data track (absolute frames), then the lead-out.
    return {150,    12767,  40487,  63225,  93410,  118115,
            151865, 184340, 215260, 247455, 281735, 333801};
}

} // namespace

TEST(AccurateRipIds, MatchThoseOfPublishedDiscs) {
    struct Case {
        const char* Name;
        std::vector<int> Frames;
        std::vector<bool> Audio;
        const char* Expected;
        const char* Path;
    };
    std::vector<int> mixed = {150,    66728,  76502,  85963,  93760,  104048, 116066, 124743,
                              134206, 142916, 151852, 160720, 169425, 178731, 188459, 196711,
                              206354, 214845, 223686, 225746, 226384, 232668, 239447, 239931,
                              244989, 254264, 260066, 261222, 261674, 261976};
    std::vector<bool> mixedAudio(29, true);
    mixedAudio[0] = false;
    const std::vector<int> liquid = Liquid();
    std::vector<int> audioOnly(liquid.begin(), liquid.begin() + 10);
    audioOnly.push_back(270335);
    std::vector<bool> liquidAudio(11, true);
    liquidAudio[10] = false;
    const Case cases[] = {
        {"audio only", audioOnly, std::vector<bool>(10, true), "010-00154c2f-00af4fd4-890e120a",
         "f/2/c/dBAR-010-00154c2f-00af4fd4-890e120a.bin"},
        {"enhanced CD: data track last", Liquid(), liquidAudio, "010-00164419-00b9f6e2-9e11600b",
         "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin"},
        {"mixed mode: data track first", mixed, mixedAudio, "028-00517a54-05a845d2-af0da31d",
         "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TAccurateRipDiscId id = AccurateRipDiscId(c.Frames, c.Audio);
        EXPECT_EQ(AccurateRipIdText(id), c.Expected);
        EXPECT_EQ(AccurateRipPath(id), c.Path);
    }
    EXPECT_THROW(AccurateRipDiscId({150, 300}, {false}), std::invalid_argument);
    EXPECT_THROW(AccurateRipDiscId({150}, {}), std::invalid_argument);
}

TEST(AccurateRipChecksum, PiecesOfAnySizeGiveTheSameSums) {
    std::vector<std::uint8_t> audio(4 * 6000);
    for (std::size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
    TAccurateRipChecksum whole(6000, true, true);
    whole.Add(audio.data(), audio.size());
    TAccurateRipChecksum pieces(6000, true, true);
    for (std::size_t at = 0, step = 1; at < audio.size(); at += step, step = step % 11 + 1)
        pieces.Add(audio.data() + at, std::min(step, audio.size() - at));
    EXPECT_EQ(pieces.V1(), whole.V1());
    EXPECT_EQ(pieces.V2(), whole.V2());
    EXPECT_EQ(pieces.SamplesSeen(), 6000u);
    // A track shorter than the two excluded ends has nothing left to sum.
    TAccurateRipChecksum tiny(100, true, true);
    tiny.Add(audio.data(), 400);
    EXPECT_EQ(tiny.V1(), 0u);
}

TEST(AccurateRipDatabase, ParsesWholeFilesAndRefusesDamagedOnes) {
    TAccurateRipDiscId disc{3, 0x1111, 0x2222, 0x3333};
    std::string two = bwtest::DbarBytes(disc, {{12, 0xA}, {3, 0xB}, {0, 0}}) +
                      bwtest::DbarBytes(disc, {{5, 0xC}, {5, 0xD}, {5, 0xE}});
    struct Case {
        const char* Name;
        std::string Bytes;
        bool Ok;
        std::size_t Submissions;
    };
    const Case cases[] = {
        {"two submissions", two, true, 2},
        {"empty", "", true, 0},
        {"cut inside a header", two.substr(0, 13 + 27 + 5), false, 0},
        {"cut inside a track", two.substr(0, two.size() - 1), false, 0},
        {"a submission without tracks", std::string(13, '\0'), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TDbarParse parse = ParseDbar(c.Bytes);
        EXPECT_EQ(parse.Ok, c.Ok) << parse.Error;
        EXPECT_EQ(parse.Submissions.size(), c.Submissions);
        EXPECT_EQ(parse.Ok, parse.Error.empty());
    }
    TDbarParse parse = ParseDbar(two);
    ASSERT_TRUE(parse.Ok);
    EXPECT_EQ(parse.Submissions[0].Disc.Id1, 0x1111u);
    EXPECT_EQ(parse.Submissions[0].Disc.CddbId, 0x3333u);
    EXPECT_EQ(parse.Submissions[0].Tracks[1].Confidence, 3);
    EXPECT_EQ(parse.Submissions[1].Tracks[2].Crc, 0xEu);
}

TEST(AccurateRipDatabase, VerdictPerTrack) {
    TAccurateRipDiscId disc{2, 0x1111, 0x2222, 0x3333};
    TAccurateRipDiscId other{2, 0x1111, 0x2299, 0x3333};
    TAccurateRipDiscId otherCddb{2, 0x1111, 0x2222, 0x3399};
    const std::uint32_t v1 = 0xAAAA0001, v2 = 0xBBBB0002;
    auto subs = [](std::initializer_list<std::string> files) {
        std::string bytes;
        for (const auto& f : files)
            bytes += f;
        return ParseDbar(bytes).Submissions;
    };
    using S = TAccurateRipStatus;
    struct Case {
        const char* Name;
        std::vector<TDbarSubmission> Submissions;
        std::size_t Index;
        S Status;
        int Version, Confidence;
    };
    const Case cases[] = {
        {"v2 match", subs({bwtest::DbarBytes(disc, {{12, v2}, {12, 9}})}), 0, S::Accurate, 2, 12},
        {"v1 match", subs({bwtest::DbarBytes(disc, {{4, v1}, {4, 9}})}), 0, S::Accurate, 1, 4},
        {"match only in the second submission",
         subs({bwtest::DbarBytes(disc, {{30, 7}, {30, 8}}),
               bwtest::DbarBytes(disc, {{2, v2}, {2, 8}})}),
         0, S::Accurate, 2, 2},
        {"the most trusted match wins",
         subs({bwtest::DbarBytes(disc, {{3, v1}, {1, 1}}),
               bwtest::DbarBytes(disc, {{9, v2}, {1, 1}})}),
         0, S::Accurate, 2, 9},
        {"mismatch", subs({bwtest::DbarBytes(disc, {{12, 5}, {12, 6}})}), 1, S::NotAccurate, 0, 0},
        {"only another disc's submissions", subs({bwtest::DbarBytes(other, {{12, v2}, {1, 1}})}), 0,
         S::NotInDatabase, 0, 0},
        {"another disc with our AccurateRip ids but another CDDB id",
         subs({bwtest::DbarBytes(otherCddb, {{12, v2}, {1, 1}})}), 0, S::NotInDatabase, 0, 0},
        {"an empty slot", subs({bwtest::DbarBytes(disc, {{0, 0}, {12, 6}})}), 0, S::NotInDatabase,
         0, 0},
        {"a track past the file's", subs({bwtest::DbarBytes(disc, {{12, 5}, {12, 6}})}), 2,
         S::NotInDatabase, 0, 0},
        {"no submissions", {}, 0, S::NotInDatabase, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TAccurateRipResult r = MatchAccurateRip(c.Submissions, disc, c.Index, v1, v2);
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_EQ(r.Version, c.Version);
        EXPECT_EQ(r.Confidence, c.Confidence);
    }
    TAccurateRipResult accurate = MatchAccurateRip(cases[0].Submissions, disc, 0, v1, v2);
    EXPECT_EQ(AccurateRipResultText(accurate), "accurate (v2, confidence 12)");
}
