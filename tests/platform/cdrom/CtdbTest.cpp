// The CUETools database's checksums, syndromes, parity and repair against the figures
// CUETools itself computed (vectors.json), over audio made as gen.py makes it.
#include "CddbTestServer.h"
#include "CtdbLookup.h"
#include "CtdbTestDiscs.h"
#include "CtdbVerify.h"
#include "Sha1Base64.h"

#include <chrono>
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace bw;
using namespace bwtest;

namespace {

std::string Hex(std::optional<std::uint32_t> crc) {
    if (!crc) return "none";
    char text[16];
    std::snprintf(text, sizeof text, "%08x", *crc);
    return text;
}

std::string TrackCrcs(const TCtdbDiscSums& sums) {
    std::string out;
    for (std::size_t i = 0; i < sums.Layout().TrackStarts.size(); ++i)
        out += (i ? " " : "") + Hex(sums.TrackCrc(i));
    return out;
}

template <typename Sums>
Sums Feed(Sums sums, const std::vector<std::uint8_t>& audio, std::int64_t fromSample,
          std::size_t chunk = 100000) {
    // Fed as a rip reads it: after the pregap, in uneven pieces.
    for (std::size_t at = std::size_t(fromSample) * 4; at < audio.size(); at += chunk) {
        std::size_t n = std::min(chunk, audio.size() - at);
        sums.Add(std::int64_t(at / 4), audio.data() + at, n);
    }
    return sums;
}

std::string Base64Words(const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (auto w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return Base64Encode(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Mended(std::vector<std::uint8_t> audio, const TCtdbRepairPlan& plan) {
    for (const auto& fix : plan.Fixes) {
        audio[std::size_t(fix.Word) * 2] ^= static_cast<std::uint8_t>(fix.Xor);
        audio[std::size_t(fix.Word) * 2 + 1] ^= static_cast<std::uint8_t>(fix.Xor >> 8);
    }
    return audio;
}

TCtdbEntry EntryOf(const nlohmann::json& disc, int npar, const std::string& syndrome) {
    std::string xml = "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">" +
                      disc["synthetic_lookup_reply_entry"].get<std::string>() + "</ctdb>";
    auto reply = ParseCtdbReply(xml);
    EXPECT_TRUE(reply && reply->Entries.size() == 1);
    TCtdbEntry e = reply->Entries.at(0);
    e.Npar = npar;
    e.Syndrome = CtdbWords(*Base64Decode(syndrome));
    return e;
}

class CtdbVectorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CtdbVectors().is_null()) GTEST_SKIP() << "no vectors.json in " << CtdbVectorsFolder();
    }
};

} // namespace

TEST_F(CtdbVectorsTest, DiscsGiveCuetoolsIdsCrcsSyndromesAndParity) {
    for (const auto& disc : CtdbVectors()["discs"]) {
        SCOPED_TRACE(disc["name"].get<std::string>());
        const auto audio = CtdbDiscAudio(disc);
        ASSERT_EQ(Sha256Of(audio), disc["audio_sha256"]);
        const TCtdbToc toc = CtdbTocOf(disc);
        EXPECT_EQ(CtdbTocString(toc), disc["toc_string"]);
        EXPECT_EQ(CtdbTocId(toc), disc["ctdb_tocid"]);
        const TCtdbLayout layout(toc);
        EXPECT_EQ(layout.Rows(), disc["parity_rows_encoded"]);
        EXPECT_EQ(2 * layout.TailSamples(), disc["laststride_words"]);
        EXPECT_EQ(layout.DiscRange().first, disc["crc32_covers_samples"][0]);
        EXPECT_EQ(layout.DiscRange().second, disc["crc32_covers_samples"][1]);

        auto sums = Feed(TCtdbDiscSums(toc, 16, 1), audio, layout.Start, 77777 * 4);
        ASSERT_TRUE(sums.Complete());
        EXPECT_EQ(Hex(sums.DiscCrc()), disc["crc32_hex"]);
        EXPECT_EQ(static_cast<std::int32_t>(*sums.DiscCrc()), disc["crc32_submit_form_decimal"]);
        EXPECT_EQ(Hex(sums.DiscCrc(-6)), disc["whole_disc_crc32_hex_at_offset"]["-6"]);
        EXPECT_EQ(Hex(sums.DiscCrc(6)), disc["whole_disc_crc32_hex_at_offset"]["+6"]);
        EXPECT_EQ(TrackCrcs(sums), disc["trackcrcs"]);

        const std::string parity16 = sums.Syndromes().ParityFile();
        EXPECT_EQ(parity16.size(), disc["npar16"]["parity_file_bytes"]);
        EXPECT_EQ(Sha256Of({parity16.begin(), parity16.end()}),
                  disc["npar16"]["parity_file_sha256"]);
        const std::string parity8 = parity16.substr(0, 8 * CtdbStrideWords * 2);
        auto served = Base64Decode(disc["npar8"]["parity_file_b64"].get<std::string>());
        ASSERT_TRUE(served);
        EXPECT_EQ(std::string(served->begin(), served->end()), parity8);
        EXPECT_EQ(Base64Words(sums.Syndromes().ShiftedColumn0(0)),
                  disc["npar16"]["submit_field_syndrome_b64"]);
        // An old reply's check words of column 0 convert to the same syndromes.
        auto check =
            CtdbWords(*Base64Decode(disc["npar8"]["submit_field_parity_b64"].get<std::string>()));
        EXPECT_EQ(Base64Words(CtdbSyndromesFromCheckWords(check)),
                  disc["npar8"]["submit_field_syndrome_b64"]);

        // What a rip keeps (8 syndromes of the even columns) finds its own entry at 0.
        auto rip = Feed(TCtdbDiscSums(toc), audio, layout.Start);
        const auto& clean = disc["verify_clean_against_own_entry"];
        auto result = JudgeCtdb(toc, rip, {EntryOf(disc, 8, clean["lookup_reply_syndrome_attr"])});
        EXPECT_EQ(result.Match.Offset, clean["found_offset"]);
        EXPECT_EQ(result.Match.HasErrors, clean["has_errors"]);
        EXPECT_EQ(CtdbVerdictText(result.Disc), "accurately ripped (confidence 3 of 3)");
        EXPECT_EQ(CtdbVerdictText(result.Tracks.back()), "accurately ripped (confidence 3 of 3)");
    }
}

TEST_F(CtdbVectorsTest, ARipAtAnotherOffsetIsFoundThere) {
    const auto& disc = CtdbDisc("A");
    const TCtdbToc toc = CtdbTocOf(disc);
    const auto& clean = disc["verify_clean_against_own_entry"];
    const TCtdbEntry entry = EntryOf(disc, 8, clean["lookup_reply_syndrome_attr"]);
    for (int shift : {6, -6, 1234, -5000}) {
        SCOPED_TRACE(shift);
        auto audio = CtdbDiscAudio(disc, nlohmann::json::parse("[{\"op\":\"shift\",\"s\":" +
                                                               std::to_string(shift) + "}]"));
        auto rip = Feed(TCtdbDiscSums(toc), audio, 0);
        auto result = JudgeCtdb(toc, rip, {entry});
        EXPECT_EQ(result.Match.Offset, shift);
        EXPECT_FALSE(result.Match.HasErrors);
        EXPECT_EQ(result.Disc.Status, TCtdbStatus::Accurate);
        EXPECT_EQ(Hex(rip.DiscCrc(-shift)), disc["crc32_hex"]);
        EXPECT_THAT(CtdbVerdictText(result.Tracks[0]),
                    ::testing::EndsWith((shift > 0 ? " (found at offset +" : " (found at offset ") +
                                        std::to_string(shift) + ")"));
    }
}

// A damaged rip at another offset is mended into the pressing's audio at its own offset.
TEST_F(CtdbVectorsTest, ARipAtAnotherOffsetIsRepairedWhereItWasRead) {
    const auto& disc = CtdbDisc("A");
    const TCtdbToc toc = CtdbTocOf(disc);
    const TCtdbLayout layout(toc);
    const TCtdbEntry entry =
        EntryOf(disc, 8, disc["verify_clean_against_own_entry"]["lookup_reply_syndrome_attr"]);
    for (int shift : {6, -30}) {
        SCOPED_TRACE(shift);
        const std::string s = std::to_string(shift);
        const auto clean =
            CtdbDiscAudio(disc, nlohmann::json::parse(R"([{"op":"shift","s":)" + s + "}]"));
        const auto audio = CtdbDiscAudio(
            disc, nlohmann::json::parse(R"([{"op":"shift","s":)" + s +
                                        R"(},{"op":"zero","start":1500000,"count":1000}])"));
        auto result = JudgeCtdb(toc, Feed(TCtdbDiscSums(toc), audio, 0), {entry});
        ASSERT_EQ(result.Match.Offset, shift);
        ASSERT_TRUE(result.Match.HasErrors);
        const auto all = Feed(TCtdbDiscSums(toc, 8, 1, shift), audio, 0);
        auto plan = PlanCtdbRepair(all.Syndromes(), CtdbParityOf(disc), 8, entry, layout, shift,
                                   *all.DiscCrc(-shift));
        ASSERT_TRUE(plan.Ok) << plan.Why;
        EXPECT_EQ(plan.Fixes.size(), 2000u);
        EXPECT_TRUE(Mended(audio, plan) == clean);
    }
}

TEST_F(CtdbVectorsTest, DamagedCopiesAreJudgedAndRepairedAsCuetoolsDoes) {
    const auto& discB = CtdbDisc("B");
    const TCtdbToc toc = CtdbTocOf(discB);
    const TCtdbLayout layout(toc);
    const auto cleanAudio = CtdbDiscAudio(discB);
    const std::string pressing =
        Feed(TCtdbDiscSums(toc, 16, 1), cleanAudio, layout.Start).Syndromes().ParityFile();
    for (const auto& c : CtdbVectors()["cases"]) {
        const auto audio = CtdbDiscAudio(discB, c["damage_ops"]);
        ASSERT_EQ(Sha256Of(audio), c["input_sha256"]) << c["case"];
        const auto rip = Feed(TCtdbDiscSums(toc), audio, layout.Start);
        for (int npar : {8, 16}) {
            const auto& v = c["entry_npar" + std::to_string(npar)];
            SCOPED_TRACE(c["case"].get<std::string>() + " npar " + std::to_string(npar));
            EXPECT_EQ(Hex(rip.DiscCrc()), v["rip_crc32_hex_at_offset0"]);
            EXPECT_EQ(TrackCrcs(rip), v["rip_trackcrcs_at_offset0"]);
            const TCtdbEntry entry = EntryOf(discB, npar, v["lookup_reply_syndrome_attr"]);
            auto result = JudgeCtdb(toc, rip, {entry});
            const bool cuetoolsFound = v["entry_status"] != "could not be verified: 0";
            EXPECT_EQ(result.Entry.has_value(), cuetoolsFound);
            if (cuetoolsFound) {
                EXPECT_EQ(result.Match.Offset, v["found_offset"]);
                EXPECT_EQ(result.Match.HasErrors, v["has_errors"]);
            }
            for (std::size_t t = 0; t < result.Tracks.size(); ++t) {
                const int want = v["track_confidence"][t];
                EXPECT_EQ(result.Tracks[t].Status == TCtdbStatus::Accurate
                              ? result.Tracks[t].Confidence
                              : 0,
                          want)
                    << t;
            }
            if (!result.Match.HasErrors || !result.Entry) continue;

            // The repair: every column at the entry's npar, recovery data in steps.
            const auto all =
                Feed(TCtdbDiscSums(toc, npar, 1, result.Match.Offset), audio, layout.Start);
            TCtdbRepairPlan plan;
            for (int step : {4, 8, 16}) {
                if (step > npar) break;
                plan = PlanCtdbRepair(
                    all.Syndromes(), pressing.substr(0, std::size_t(step) * 23520), step, entry,
                    layout, result.Match.Offset, *all.DiscCrc(-result.Match.Offset));
                const std::string direct =
                    v["direct_decode_at_found_offset"]["npar" + std::to_string(step)];
                EXPECT_EQ(plan.Ok, direct.find("canRecover=True") != std::string::npos)
                    << step << plan.Why;
                if (plan.Ok) break;
            }
            ASSERT_EQ(plan.Ok, v["can_recover"]);
            if (!plan.Ok) continue;
            EXPECT_EQ(std::int64_t(plan.Fixes.size()), v["correctable_errors_words"]);
            EXPECT_EQ(CtdbFixTimes(plan.Fixes), v["affected_sectors"]);
            EXPECT_EQ(Hex(plan.PredictedCrc), v["repair_predicted_crc32_hex"]);
            ApplyCtdbRepairToVerdicts(result, layout, plan);
            EXPECT_EQ(CtdbVerdictText(result.Disc),
                      "differs in " + std::to_string(plan.Fixes.size()) + " samples");
            EXPECT_EQ(Sha256Of(Mended(audio, plan)), v["repaired_sha256"]);
        }
    }
}

TEST_F(CtdbVectorsTest, WrongRecoveryDataIsRefused) {
    const auto& disc = CtdbDisc("B");
    const TCtdbToc toc = CtdbTocOf(disc);
    const TCtdbLayout layout(toc);
    const auto& c = CtdbVectors()["cases"][0];
    const auto& v = c["entry_npar8"];
    const auto audio = CtdbDiscAudio(disc, c["damage_ops"]);
    const TCtdbEntry entry = EntryOf(disc, 8, v["lookup_reply_syndrome_attr"]);
    const auto all = Feed(TCtdbDiscSums(toc, 8, 1), audio, layout.Start);
    std::string parity = *[&] {
        auto b = Base64Decode(disc["npar8"]["parity_file_b64"].get<std::string>());
        return std::optional<std::string>(std::string(b->begin(), b->end()));
    }();
    const std::uint32_t crc = *all.DiscCrc();
    EXPECT_TRUE(PlanCtdbRepair(all.Syndromes(), parity, 8, entry, layout, 0, crc).Ok);
    EXPECT_EQ(PlanCtdbRepair(all.Syndromes(), parity.substr(1), 8, entry, layout, 0, crc).Why,
              "the recovery data has the wrong size");
    std::string otherFirstColumn = parity;
    otherFirstColumn[0] ^= 1;
    EXPECT_EQ(PlanCtdbRepair(all.Syndromes(), otherFirstColumn, 8, entry, layout, 0, crc).Why,
              "the recovery data does not belong to the entry");
    TCtdbEntry otherCrc = entry;
    otherCrc.Crc32 ^= 1;
    EXPECT_EQ(PlanCtdbRepair(all.Syndromes(), parity, 8, otherCrc, layout, 0, crc).Why,
              "the mended audio would not match the database's CRC");
}

namespace {

// A stand-in database on 127.0.0.1 for disc B: its lookup reply and its recovery data.
class CtdbServerTest : public CtdbVectorsTest {
protected:
    void SetUp() override {
        CtdbVectorsTest::SetUp();
        if (IsSkipped()) return;
        Server = std::make_unique<FileHttpServer>(Root.Path());
        const auto& disc = CtdbDisc("B");
        Toc = CtdbTocOf(disc);
        Reply = CtdbReplyOf(disc);
        Reply.insert(Reply.size() - 7, "<metadata source=\"musicbrainz\" artist=\"A\"/>");
        Parity = CtdbParityOf(disc);
    }
    std::string Url() const { return "http://" + Server->HostPort(); }

    TempDir Root;
    std::unique_ptr<FileHttpServer> Server;
    TCtdbToc Toc;
    std::string Reply, Parity;
};

} // namespace

TEST_F(CtdbServerTest, LookupsSayWhatTheServerAnswered) {
    struct Case {
        std::string Body; // empty: no file (404)
        TCtdbLookup::TKind Kind;
        std::string Error;
    } cases[] = {
        {Reply, TCtdbLookup::TKind::Found, ""},
        {"<?xml version=\"1.0\"?><ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"/>",
         TCtdbLookup::TKind::NotInDatabase, ""},
        {"", TCtdbLookup::TKind::Failed, "the database server answered HTTP 404"},
        {"<html><body>Service Unavailable</body></html>", TCtdbLookup::TKind::Failed,
         "the database's reply is damaged (the reply is not a CTDB reply)"},
        {"Database error", TCtdbLookup::TKind::Failed,
         "the database's reply is damaged (the reply is not XML (syntax error))"},
        {"<ctdb><entry id=\"1\" crc32=\"xyz\"/></ctdb>", TCtdbLookup::TKind::Failed,
         "the database's reply is damaged (the entry's crc32 is malformed)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Body);
        std::filesystem::remove(Root / "lookup2.php");
        if (!c.Body.empty()) Server->Put("lookup2.php", c.Body);
        auto lookup = LookUpCtdb(Url(), Toc, {});
        EXPECT_EQ(lookup.Kind, c.Kind);
        EXPECT_EQ(lookup.Error, c.Error);
    }
    EXPECT_THAT(Server->Requests(),
                ::testing::HasSubstr("/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=33:"
                                     "933:2133:3633:4333:6833\n"));
    Server->Put("lookup2.php", Reply);
    auto found = LookUpCtdb(Url(), Toc, {});
    ASSERT_EQ(found.Entries.size(), 1u);
    EXPECT_EQ(found.Entries[0].Crc32, 0x4ddcc96fu);
    EXPECT_EQ(found.Entries[0].TrackCrcs.size(), 5u);
    EXPECT_EQ(CtdbParityUrl(Url(), found.Entries[0]), Url() + "/parity/1");

    auto closed = LookUpCtdb("http://127.0.0.1:1", Toc, {});
    EXPECT_EQ(closed.Kind, TCtdbLookup::TKind::Failed);
    EXPECT_THAT(closed.Error, ::testing::StartsWith("the database could not be reached"));
    // A server that never answers: stopping ends the wait at once.
    SilentHttpServer silent;
    std::atomic<bool> stop{false};
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    auto begun = std::chrono::steady_clock::now();
    auto stalled = LookUpCtdb("http://" + silent.HostPort(), Toc, {}, &stop);
    stopper.join();
    EXPECT_TRUE(stalled.Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(2));
}

TEST_F(CtdbServerTest, RecoveryDataIsFetchedInRangesAndChecked) {
    const auto& disc = CtdbDisc("B");
    const TCtdbLayout layout(Toc);
    const auto& c = CtdbVectors()["cases"][0]; // zero1000_t3: npar 4 repairs it
    const auto audio = CtdbDiscAudio(disc, c["damage_ops"]);
    const auto all = Feed(TCtdbDiscSums(Toc, 8, 1), audio, layout.Start);
    auto entry = ParseCtdbReply(Reply)->Entries.at(0);
    struct Case {
        std::string File; // empty: none
        std::string Why;  // empty: repaired
    } cases[] = {
        {Parity, ""},
        {"", "the database server answered HTTP 404 for the recovery data"},
        {Parity.substr(0, 1000), "the database's recovery data has the wrong size"},
        {std::string(2, '\x01') + Parity.substr(2),
         "the recovery data does not belong to the entry"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.Why);
        std::filesystem::remove(Root / "parity" / "1");
        if (!k.File.empty()) Server->Put("parity/1", k.File);
        std::vector<std::string> steps;
        auto plan = RepairFromCtdb(Url(), entry, all.Syndromes(), layout, 0, *all.DiscCrc(), {},
                                   nullptr, [&steps](const std::string& s) { steps.push_back(s); });
        EXPECT_EQ(plan.Why, k.Why);
        EXPECT_EQ(plan.Ok, k.Why.empty());
        EXPECT_EQ(steps.at(0), "fetch npar=4 bytes=0..94079");
    }
    EXPECT_THAT(Server->Requests(), ::testing::HasSubstr("/parity/1 range=0-94079\n"));
    TCtdbEntry none = entry;
    none.ParityUrl.clear();
    EXPECT_EQ(RepairFromCtdb(Url(), none, all.Syndromes(), layout, 0, *all.DiscCrc(), {}).Why,
              "the database has no recovery data for the disc");
}
