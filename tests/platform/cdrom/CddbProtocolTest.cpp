#include "CddbProtocol.h"

#include <cddb/cddb.h>
#include <gtest/gtest.h>

using namespace bw;

namespace {
// libcddb's own calculation, as an independent oracle.
std::uint32_t LibcddbDiscId(const TCddbToc& toc) {
    cddb_disc_t* disc = cddb_disc_new();
    for (int offset : toc.TrackOffsets) {
        cddb_track_t* track = cddb_track_new();
        cddb_track_set_frame_offset(track, offset);
        cddb_disc_add_track(disc, track);
    }
    cddb_disc_set_length(disc, toc.LeadOut / 75);
    cddb_disc_calc_discid(disc);
    std::uint32_t id = cddb_disc_get_discid(disc);
    cddb_disc_destroy(disc);
    return id;
}
} // namespace

TEST(CddbProtocol, DiscIdAgreesWithLibcddb) {
    std::vector<TCddbToc> tocs = {
        {{150}, 150 + 75 * 60},
        {{150, 20325, 41000, 60000, 81231}, 99999},
        {{182, 1000, 2000}, 3000 + 74},
    };
    TCddbToc many;
    for (int t = 0; t < 99; ++t)
        many.TrackOffsets.push_back(150 + t * 3333);
    many.LeadOut = 150 + 99 * 3333 + 500;
    tocs.push_back(many);
    for (const auto& toc : tocs)
        EXPECT_EQ(CddbDiscId(toc), LibcddbDiscId(toc));
}

TEST(CddbProtocol, Commands) {
    TCddbToc toc{{150, 20325}, 40000};
    char id[9];
    std::snprintf(id, sizeof id, "%08x", CddbDiscId(toc));
    EXPECT_EQ(CddbQueryCommand(toc), "cddb query " + std::string(id) + " 2 150 20325 533");
    EXPECT_EQ(CddbReadCommand("rock", "0a0b0c0d"), "cddb read rock 0a0b0c0d");

    auto hello = MakeHello("someone@example.org", "program 1.0");
    EXPECT_EQ(
        CddbRequestTarget("/~cddb/cddb.cgi", "cddb read rock 01", hello),
        "/~cddb/cddb.cgi?cmd=cddb+read+rock+01&hello=someone+example.org+program+1.0&proto=6");
    EXPECT_EQ(CddbRequestTarget("cgi", "x", MakeHello("", "")).substr(0, 10), "/cgi?cmd=x");
    EXPECT_EQ(UrlEncode("a&b=c?d%"), "a%26b%3Dc%3Fd%25");
}

TEST(CddbProtocol, QueryReplies) {
    auto exact = ParseCddbQueryReply("200 rock 7a0b1c0d Some Artist / Some Album\r\n", 10);
    ASSERT_EQ(exact.Status, TCddbQueryStatus::Matches);
    ASSERT_EQ(exact.Matches.size(), 1u);
    EXPECT_EQ(exact.Matches[0].Category, "rock");
    EXPECT_EQ(exact.Matches[0].DiscId, "7a0b1c0d");
    EXPECT_EQ(exact.Matches[0].Title, "Some Artist / Some Album");

    auto list =
        ParseCddbQueryReply("211 Found inexact matches, list follows (until terminating `.')\r\n"
                            "rock 7a0b1c0d A / B\r\nblues 7a0b1c0e C / D\r\n.\r\n",
                            10);
    ASSERT_EQ(list.Status, TCddbQueryStatus::Matches);
    ASSERT_EQ(list.Matches.size(), 2u);
    EXPECT_EQ(list.Matches[1].Category, "blues");

    std::string many = "210 Found exact matches\n";
    for (int i = 0; i < 15; ++i)
        many += "misc 0000000" + std::to_string(i % 10) + " x\n";
    many += ".\n";
    EXPECT_EQ(ParseCddbQueryReply(many, 10).Matches.size(), 10u);

    EXPECT_EQ(ParseCddbQueryReply("202 No match\r\n", 10).Status, TCddbQueryStatus::NoMatch);
    for (const char* bad : {"", "403 Database entry is corrupt.\r\n", "500 error\r\n",
                            "210 list\r\nrock 1 A\r\n", // no terminating "."
                            "210 list\r\n.\r\n",        // an empty list
                            "200\r\n", "200 rock\r\n",  // no disc id
                            "200 rock zzzz title\r\n",  // disc id not hexadecimal
                            "20x rock 01 t\r\n", "<html>hello</html>"}) {
        EXPECT_EQ(ParseCddbQueryReply(bad, 10).Status, TCddbQueryStatus::Error) << bad;
    }
}

TEST(CddbProtocol, ReadReplies) {
    std::string record;
    ASSERT_TRUE(ParseCddbReadReply("210 rock 7a0b1c0d CD database entry follows\r\n# xmcd\r\n"
                                   "DTITLE=A / B\r\nTTITLE0=One\r\n.\r\n",
                                   record));
    EXPECT_EQ(record, "# xmcd\nDTITLE=A / B\nTTITLE0=One\n");
    EXPECT_FALSE(ParseCddbReadReply("401 not found\r\n", record));
    EXPECT_FALSE(ParseCddbReadReply("210 ok\r\nDTITLE=A / B\r\n", record)); // unterminated
}
