#include "CddbLibrary.h"
#include "CdImage.h"
#include "CdLibrary.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <cddb/cddb.h>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace bw;

namespace {

// libcddb's disc id for the image, from its track starts (after the 2-second pre-gap).
std::string ExpectedQuery(const bwtest::CdImage& image) {
    cddb_disc_t* disc = cddb_disc_new();
    std::string offsets;
    for (int t = 1; t <= image.TrackCount(); ++t) {
        cddb_track_t* track = cddb_track_new();
        cddb_track_set_frame_offset(track, image.TrackStartSector(t) + 150);
        cddb_disc_add_track(disc, track);
        offsets += " " + std::to_string(image.TrackStartSector(t) + 150);
    }
    int seconds = (image.TotalSectors() + 150) / 75;
    cddb_disc_set_length(disc, seconds);
    cddb_disc_calc_discid(disc);
    char id[9];
    std::snprintf(id, sizeof id, "%08x", cddb_disc_get_discid(disc));
    cddb_disc_destroy(disc);
    return "cddb query " + std::string(id) + " " + std::to_string(image.TrackCount()) + offsets +
           " " + std::to_string(seconds);
}

class CddbLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        Image = std::make_unique<bwtest::CdImage>(
            bwtest::CdImage::Write(Dir.Path(), "disc", {1000, 2345, 777}));
        Drives = std::make_unique<bwtest::ImageDrives>(*Image);
        TCDList drives{};
        drives.Capacity = 8;
        GetCDList(&drives);
        ASSERT_EQ(drives.Count, 1);
        TGetCDHandle request{};
        request.Size = 12;
        request.Version = 1;
        request.HostAdapter = drives.Entries[0].HostAdapter;
        request.Target = drives.Entries[0].Target;
        request.Lun = drives.Entries[0].Lun;
        Handle = GetCDHandle(&request);
        ASSERT_NE(Handle, 0);
        Server = std::make_unique<bwtest::CddbTestServer>(Dir / "fixtures");
        CDDBSetOption(CDDB_OPT_SERVER, Server->HostPort().c_str(), 0);
        CDDBSetOption(CDDB_OPT_CGI, "/~cddb/cddb.cgi", 0);
        CDDBSetOption(CDDB_OPT_USER, "tester@example.org", 0);
        CDDBSetOption(CDDB_OPT_AGENT, "program 1.0", 0);
        CDDBSetOption(CDDB_OPT_USEPROXY, "", 0);
        Query = ExpectedQuery(*Image);
        DiscId = Query.substr(11, 8);
    }
    void TearDown() override {
        if (Handle) CloseCDHandle(Handle);
    }

    int RunQuery() {
        std::memset(Matches, 0, sizeof Matches);
        List.Count = CDDBMaxMatches;
        List.Matches = Matches;
        return CDDBQuery(Handle, &List);
    }

    bwtest::TempDir Dir;
    std::unique_ptr<bwtest::CdImage> Image;
    std::unique_ptr<bwtest::ImageDrives> Drives;
    std::unique_ptr<bwtest::CddbTestServer> Server;
    int Handle = 0;
    std::string Query, DiscId;
    TCDDBMatch Matches[CDDBMaxMatches];
    TCDDBQueryList List{};
};

} // namespace

TEST_F(CddbLibrary, QueriesWithTheDiscIdAndOffsetsOfTheDrive) {
    Server->Put("query-" + DiscId + ".txt", "200 rock " + DiscId + " An Artist / An Album\r\n");
    ASSERT_EQ(RunQuery(), 1);
    EXPECT_EQ(List.Count, 1u);
    EXPECT_STREQ(Matches[0].Category, "rock");
    // The server saw exactly libcddb's calculation for this table of contents.
    auto requests = Server->Requests();
    EXPECT_NE(requests.find("\t" + Query + "\n"), std::string::npos) << requests;

    Server->Put("read-rock-" + DiscId + ".txt",
                "210 rock " + DiscId +
                    " entry follows\r\nDTITLE=An Artist / An Album\r\n"
                    "TTITLE0=One\r\n.\r\n");
    char text[32000];
    ASSERT_EQ(CDDBGetDiskInfo(&Matches[0], text, sizeof text), 1);
    EXPECT_STREQ(text, "DTITLE=An Artist / An Album\nTTITLE0=One\n");
    // A small buffer gets what fits, terminated.
    char small[8];
    ASSERT_EQ(CDDBGetDiskInfo(&Matches[0], small, sizeof small), 1);
    EXPECT_STREQ(small, "DTITLE=");
}

TEST_F(CddbLibrary, InexactMatchesNoMatchAndFailures) {
    Server->Put("query-" + DiscId + ".txt",
                "211 close matches\r\nrock " + DiscId + " A / B\r\njazz 0badf00d C / D\r\n.\r\n");
    ASSERT_EQ(RunQuery(), 1);
    ASSERT_EQ(List.Count, 2u);
    EXPECT_STREQ(Matches[1].Category, "jazz");
    EXPECT_STREQ(Matches[1].DiscId, "0badf00d");
    char text[100];
    EXPECT_EQ(CDDBGetDiskInfo(&Matches[1], text, sizeof text), 0); // the server has no record
    EXPECT_STREQ(text, "");

    Server->Put("query-" + DiscId + ".txt", "202 No match\r\n");
    ASSERT_EQ(RunQuery(), 1);
    EXPECT_EQ(List.Count, 0u);
    EXPECT_EQ(GetAspiLibError(), CDERR_CDDB_NOMATCH);

    // Each failure says which server and why, in words, with the server's own status line.
    const std::string server = Server->HostPort();
    struct Failure {
        std::string Query, HttpStatus, HttpBody;
        int Code;
        std::string Text;
    };
    std::vector<Failure> failures = {
        {"garbage\r\n", "", "", CDERR_CDDB_PROTOCOL,
         "The CDDB server " + server + " sent a reply that is not CDDB: \"garbage\""},
        {"500 Unknown developer email\r\n", "", "", CDERR_CDDB_SERVER,
         "The CDDB server " + server + " refused the query: \"500 Unknown developer email\""},
        {"", "500", "Internal error\n", CDERR_CDDB_NETWORK,
         "The CDDB server " + server +
             " could not be asked: the server answered HTTP 500 (Internal error)."},
        {"", "404", "", CDERR_CDDB_NETWORK,
         "The CDDB server " + server + " could not be asked: the server answered HTTP 404."},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.Text);
        Server->Put("query-" + DiscId + ".txt", f.Query);
        if (!f.HttpStatus.empty()) Server->Put("status.txt", f.HttpStatus);
        Server->Put("status-body.txt", f.HttpBody);
        EXPECT_EQ(RunQuery(), 0);
        EXPECT_EQ(GetAspiLibError(), f.Code);
        EXPECT_EQ(CDDBLastErrorText(), f.Text);
        std::filesystem::remove(Dir / "fixtures" / "status.txt");
    }

    Server.reset(); // connection refused
    EXPECT_EQ(RunQuery(), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_CDDB_NETWORK);
    EXPECT_EQ(CDDBLastErrorText(),
              "The CDDB server " + server +
                  " could not be asked: the connection was refused or the server is unreachable.");
    EXPECT_EQ(CDDBQuery(9999, &List), 0); // no such handle
}

TEST_F(CddbLibrary, ProxyAndCancel) {
    CDDBSetOption(CDDB_OPT_SERVER, "cddb.invalid", 0);
    CDDBSetOption(CDDB_OPT_USEPROXY, "", 1);
    CDDBSetOption(CDDB_OPT_PROXYPORT, "", Server->Port());
    CDDBSetOption(CDDB_OPT_PROXY, "127.0.0.1", 0);
    ASSERT_EQ(RunQuery(), 1);
    EXPECT_EQ(
        Server->Requests().rfind("http://cddb.invalid/~cddb/cddb.cgi?cmd=cddb+query+" + DiscId, 0),
        0u);

    CDDBSetOption(CDDB_OPT_USEPROXY, "", 0);
    CDDBSetOption(CDDB_OPT_SERVER, Server->HostPort().c_str(), 0);
    Server->Put("delay.txt", "10");
    std::atomic<bool> cancel{false};
    CDDBSetCancelFlag(&cancel);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunQuery(), 0);
    stopper.join();
    CDDBSetCancelFlag(nullptr);
    EXPECT_EQ(GetAspiLibError(), CDERR_CDDB_STOPPED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
