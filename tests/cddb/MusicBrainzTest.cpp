// The MusicBrainz lookup: disc ids against the documented algorithm, the mapping of the web
// service's JSON, and whole lookups against a local server.
#include "CdImage.h"
#include "CddbTestServer.h"
#include "MusicBrainzQuery.h"
#include "MusicBrainzReplies.h"
#include "TestSupport.h"
#include "TocBuilder.h"
#include "akrip32.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace bw;
using namespace bwtest::mb;
namespace fs = std::filesystem;

namespace {

// The disc id by the documented algorithm, computed by Python's SHA-1 and base64: the
// first and last track as two hex digits each, then 100 eight-digit offsets (the lead-out,
// then the tracks by number, then zeros), hashed, base64 with "._-" for "+/=".
std::string OracleDiscId(int first, int last, int leadOut, const std::vector<int>& offsets) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02X%02X", first, last);
    std::string text = buffer;
    for (int i = 0; i < 100; ++i) {
        int value = i == 0 ? leadOut : (i >= first && i <= last ? offsets[i - first] : 0);
        std::snprintf(buffer, sizeof buffer, "%08X", value);
        text += buffer;
    }
    auto run = bwtest::RunCommand(
        "python3 -c 'import hashlib,base64,sys; "
        "print(base64.b64encode(hashlib.sha1(sys.argv[1].encode()).digest()).decode()"
        ".translate(str.maketrans(\"+/=\", \"._-\")), end=\"\")' " +
        text);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return run.Output;
}

TEST(MusicBrainzDiscId, EqualsTheDocumentedAlgorithm) {
    struct Case {
        const char* Name;
        std::vector<int> Starts; // tracks, then the lead-out
        std::vector<bool> Data;
        int AudioTracks;
        int LeadOut; // what the id is computed with
    };
    const std::vector<Case> cases = {
        {"three audio tracks", {150, 22767, 41887, 58317}, {}, 3, 58317},
        {"one track", {150, 300000}, {}, 1, 300000},
        {"odd frames", {182, 16789, 33333, 50001, 99999}, {}, 4, 99999},
        // A CD-Extra disc: the audio ends 11400 frames before its data track.
        {"data track at the end",
         {150, 22767, 41887, 80000, 95000},
         {false, false, false, true},
         3,
         80000 - 11400},
        {"two data tracks at the end",
         {150, 40000, 70000, 90000, 99000},
         {false, false, true, true},
         2,
         70000 - 11400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTOC toc = bwtest::MakeToc(c.Starts, c.Data);
        auto disc = MusicBrainzDiscOf(toc);
        ASSERT_TRUE(disc);
        std::vector<int> offsets(c.Starts.begin(), c.Starts.begin() + c.AudioTracks);
        EXPECT_EQ(disc->Id, OracleDiscId(1, c.AudioTracks, c.LeadOut, offsets));
        EXPECT_EQ(disc->Id.size(), 28u);
        EXPECT_EQ(disc->LastTrack, c.AudioTracks);
        std::string toc_text =
            "1 " + std::to_string(c.AudioTracks) + " " + std::to_string(c.LeadOut);
        for (int offset : offsets)
            toc_text += " " + std::to_string(offset);
        EXPECT_EQ(disc->Toc, toc_text);
    }
    // Nothing to look up on a disc of data only.
    EXPECT_FALSE(MusicBrainzDiscOf(bwtest::MakeToc({150, 9000}, {true})));
}

// The same through an image drive whose cue sheet ends in a data track.
TEST(MusicBrainzDiscId, ImageDriveWithADataTrack) {
    bwtest::TempDir dir;
    const int audio1 = 300, audio2 = 12000, data = 600;
    bwtest::WriteFileBytes(dir / "disc.bin", {});
    fs::resize_file(dir / "disc.bin", std::uintmax_t(audio1 + audio2 + data) * 2352);
    bwtest::WriteFileText(dir / "disc.cue", "FILE \"disc.bin\" BINARY\n"
                                            "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                            "  TRACK 02 AUDIO\n    INDEX 01 " +
                                                bwtest::Msf(audio1) +
                                                "\n"
                                                "  TRACK 03 MODE1/2352\n    INDEX 01 " +
                                                bwtest::Msf(audio1 + audio2) + "\n");
    bwtest::ImageDrives drives((dir / "disc.cue").string());
    TCDList list = ReadDriveList();
    ASSERT_EQ(list.Count, 1);
    TGetCDHandle request = HandleRequestFor(list.Entries[0]);
    int handle = GetCDHandle(&request);
    ASSERT_NE(handle, 0);
    TTOC toc{};
    ASSERT_EQ(ModifyCDParms(handle, CDP_MSF, 1), 1);
    ASSERT_EQ(ReadTOC(handle, &toc), 1);
    CloseCDHandle(handle);
    auto disc = MusicBrainzDiscOf(toc);
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->Id, OracleDiscId(1, 2, 150 + audio1 + audio2 - 11400, {150, 150 + audio1}));
}

// --- The mapping of replies ------------------------------------------------------------

const std::string OurId = "lwHl8fGzJyLXQR33ug60E8jhf4k-";

template <typename... T>
std::vector<std::string> Titles(const T&... titles) {
    return {std::string(titles)...};
}

TEST(MusicBrainzReply, MapsTheDocumentedShapes) {
    const std::string three = Tracks({"\"One\"", "\"Two\"", "\"Three\""});
    const std::string otherDisc = "otherdiscidotherdiscidother-";
    struct Case {
        const char* Name;
        int TrackCount; // the disc's
        // What is expected: the release chosen and what it gives.
        int Chosen;
        std::string Artist, Album;
        std::optional<std::string> Year, Genre;
        int MediumPosition;
        std::vector<std::string> Titles;
        std::string Json; // the reply
        // The titles of the releases not chosen, in order: a release whose media do not
        // hold the disc gives its first medium's.
        std::vector<std::vector<std::string>> Others = {};
        std::string Toc = {}; // the disc's TOC text, when media are matched by their lengths
    };
    const std::vector<Case> cases = {
        {"a release found by its disc id", 3, 0, "Ann & Bo feat. Cy", "The Album", "1997",
         "Electronic", 1, Titles("One", "Two", "Three"),
         "{\"id\":\"" + OurId + "\",\"sectors\":58317,\"offset-count\":3,\"releases\":[" +
             Release("\"The Album\"",
                     R"([{"name":"Ann","joinphrase":" & ","artist":{"name":"Ann A."}},)"
                     R"({"name":"Bo","joinphrase":" feat. ","artist":{"name":"Bo"}},)"
                     R"({"name":"Cy","joinphrase":"","artist":{"name":"Cy"}}])",
                     "1997-06-16",
                     R"([{"name":"shoegaze","count":1},{"name":"electronic","count":3}])",
                     Medium(1, OurId, three, 3)) +
             "]}"},
        {"the disc is the second medium of a set", 3, 0, "Solo", "Box", "2001", std::nullopt, 2,
         Titles("B1", "B2", "B3"),
         "{\"releases\":[" +
             Release("\"Box\"", OneArtist, "2001", "[]",
                     Medium(1, otherDisc, Tracks({"\"A1\"", "\"A2\""}), 2) + "," +
                         Medium(2, OurId, Tracks({"\"B1\"", "\"B2\"", "\"B3\""}), 3)) +
             "]}"},
        {"several releases: the first whose medium holds the disc",
         3,
         1,
         "Solo",
         "Right",
         "2010",
         "Rock",
         1,
         Titles("One", "Two", "Three"),
         "{\"releases\":[" +
             Release("\"Other\"", OneArtist, "", "[]",
                     Medium(1, otherDisc, Tracks({"\"x\""}), 1) + "," +
                         Medium(2, "", Tracks({"\"y\"", "\"z\""}), 2)) +
             "," +
             Release("\"Right\"", OneArtist, "2010-03", R"([{"name":"ROCK"}])",
                     Medium(1, OurId, three, 3)) +
             "]}",
         {Titles("x", "", "")}},
        {"a TOC match: the medium with as many tracks", 3, 0, "Solo", "Fuzzy", std::nullopt, "Jazz",
         2, Titles("One", "Two", "Three"),
         "{\"release-count\":1,\"release-offset\":0,\"releases\":[" +
             Release("\"Fuzzy\"", OneArtist, "unknown",
                     R"([{"name":"not a listed genre"},{"name":"jazz"}])",
                     Medium(1, "", Tracks({"\"x\""}), 1) + "," + Medium(2, "", three, 3)) +
             "]}"},
        // The service gives the other media of a release their track-count only.
        {"a TOC match on a medium that lists no tracks, only their count", 3, 0, "Solo", "Counted",
         "2003", std::nullopt, 3, Titles(),
         "{\"releases\":[" +
             Release("\"Counted\"", OneArtist, "2003", "[]",
                     Medium(1, "", "[]", 12) + "," + Medium(2, "", Tracks({"\"x\""}), 1) + "," +
                         Medium(3, "", "[]", 3)) +
             "]}"},
        {"a hidden track before the first and titles for more tracks than the disc has", 2, 0,
         "Solo", "Hidden", "1988", std::nullopt, 1, Titles("One", "Two"),
         "{\"releases\":[" +
             Release(
                 "\"Hidden\"", OneArtist, "1988", "[]",
                 Medium(1, OurId,
                        Tracks({"\"pregap\"", "\"One\"", "\"Two\"", "\"Three\"", "\"Four\""}, 0),
                        4)) +
             "]}"},
        {"hostile texts stay plain text", 3, 0, "../..", "a b c", "2020", std::nullopt, 1,
         Titles("../x", "", std::string(5000, 'L')),
         "{\"releases\":[" +
             Release("\"a\\u0007b\\nc\"", R"([{"name":"..\/..","joinphrase":""}])", "2020", "[]",
                     Medium(1, OurId,
                            Tracks({"\"../x\"", "\"\"", "\"" + std::string(5000, 'L') + "\""}),
                            3)) +
             "]}"},
        // A null title gives that track none, and a track without a position drops only itself.
        {"a null title and a track without a position", 4, 0, "Solo", "Gaps", std::nullopt,
         std::nullopt, 1, Titles("One", "", "Three", "Four"),
         "{\"releases\":[" +
             Release("\"Gaps\"", OneArtist, "", "[]",
                     Medium(1, OurId,
                            R"([{"position":1,"title":"One"},{"position":2,"title":null},)"
                            R"({"title":"Lost"},{"position":3,"title":"Three"},)"
                            R"({"position":4,"title":"Four"}])",
                            4)) +
             "]}"},
        // Media of equal track counts: the one whose lengths are the disc's (here the second),
        // by the offsets of a disc attached to it or by its tracks' lengths.
        {"a TOC match among media of equal track counts, by attached offsets",
         3,
         0,
         "Solo",
         "Set",
         std::nullopt,
         std::nullopt,
         2,
         Titles("B1", "B2", "B3"),
         "{\"releases\":[" +
             Release("\"Set\"", OneArtist, "", "[]",
                     R"({"position":1,"track-count":3,"discs":[{"id":"x","sectors":90000,)"
                     R"("offsets":[150,30000,60000]}],"tracks":[]},)" +
                         Medium(2, otherDisc, Tracks({"\"B1\"", "\"B2\"", "\"B3\""}), 3)) +
             "]}",
         {},
         "1 3 58317 150 22767 41887"},
        {"a TOC match by track lengths in ms",
         3,
         0,
         "Solo",
         "Lengths",
         std::nullopt,
         std::nullopt,
         2,
         Titles("B1", "B2", "B3"),
         "{\"releases\":[" +
             Release("\"Lengths\"", OneArtist, "", "[]",
                     R"({"position":1,"track-count":3,"tracks":[{"position":1,"title":"A1",)"
                     R"("length":400000},{"position":2,"title":"A2","length":400000},)"
                     R"({"position":3,"title":"A3","length":400000}]},)"
                     R"({"position":2,"track-count":3,"tracks":[{"position":1,"title":"B1",)"
                     R"("length":301000},{"position":2,"title":"B2","length":254000},)"
                     R"({"position":3,"title":"B3","length":219000}]})") +
             "]}",
         {},
         "1 3 58317 150 22767 41887"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto releases = c.Toc.empty()
                            ? ParseMusicBrainzReleases(c.Json, OurId, c.TrackCount)
                            : ParseMusicBrainzReleases(c.Json, MusicBrainzLayoutOf(OurId, c.Toc));
        int chosen = ChooseMusicBrainzRelease(releases);
        ASSERT_EQ(chosen, c.Chosen);
        const auto& r = releases[chosen];
        EXPECT_EQ(r.Artist, c.Artist);
        EXPECT_EQ(r.Title, c.Album);
        EXPECT_EQ(r.Year, c.Year);
        EXPECT_EQ(r.Genre, c.Genre);
        EXPECT_EQ(r.MediumPosition, c.MediumPosition);
        EXPECT_EQ(r.TrackTitles, c.Titles);
        EXPECT_TRUE(r.MediumMatches);
        // The release's data and nothing else: what it lacks is no value, not an older one.
        auto fields = MusicBrainzFieldsOf(r, 1);
        EXPECT_FALSE(fields.ClearDiscFields); // the comment is the user's
        EXPECT_EQ(fields.Genre, c.Genre.value_or(""));
        EXPECT_EQ(fields.Year, c.Year.value_or(""));
        for (std::size_t i = 0; fields.TrackTitles && i < c.Titles.size(); ++i) {
            const std::string expected =
                c.Titles[i].empty() ? "Track" + TwoDigits(int(i) + 1) : c.Titles[i];
            EXPECT_EQ((*fields.TrackTitles)[i], expected);
        }
        ASSERT_EQ(c.Others.size(), releases.size() - 1);
        for (std::size_t i = 0, other = 0; i < releases.size(); ++i)
            if (int(i) != chosen) {
                EXPECT_EQ(releases[i].TrackTitles, c.Others[other++]) << i;
            }
    }

    // No medium within the tolerance (every track 10 s off or more): none is taken.
    const std::string far =
        "{\"releases\":[" +
        Release("\"Far\"", OneArtist, "", "[]",
                R"({"position":1,"track-count":3,"tracks":[{"position":1,"length":290000},)"
                R"({"position":2,"length":255000},{"position":3,"length":219000}]})") +
        "]}";
    auto none =
        ParseMusicBrainzReleases(far, MusicBrainzLayoutOf(OurId, "1 3 58317 150 22767 41887"));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_FALSE(none[0].MediumMatches);
    EXPECT_FALSE(MusicBrainzFieldsOf(none[0]).TrackTitles);
    // Chosen by the user all the same, it gives its first medium's.
    EXPECT_TRUE(MusicBrainzFieldsOf(none[0], 1, true).TrackTitles);
}

TEST(MusicBrainzReply, RefusesWhatIsNotTheServiceJson) {
    for (const char* text :
         {"", "<html><body>Bad Gateway</body></html>", "[1,2]", "{\"releases\":{}}",
          "{\"releases\":[1]}", "{\"releases\":[", "{\"error\":\"Invalid discid.\"}",
          "{\"releases\":[{\"title\":\"\xff\"}]}"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ParseMusicBrainzReleases(text, OurId, 3), EMusicBrainzReply);
    }
    EXPECT_TRUE(
        ParseMusicBrainzReleases("{\"release-count\":0,\"releases\":[]}", OurId, 3).empty());
    EXPECT_EQ(ChooseMusicBrainzRelease({}), -1);

    EXPECT_EQ(
        MusicBrainzErrorText(
            R"({"error":"Your requests are exceeding the allowable rate limit.","help":"x"})"),
        "Your requests are exceeding the allowable rate limit.");
    EXPECT_EQ(MusicBrainzErrorText("<html><head><title>502 Bad Gateway</title></head>\r\n<body>"
                                   "<center><h1>502 Bad Gateway</h1></center></body></html>"),
              "502 Bad Gateway 502 Bad Gateway");
    std::string longText = MusicBrainzErrorText(std::string(300, 'e'));
    EXPECT_EQ(longText, std::string(200, 'e') + "...");
}

// --- Whole lookups against a local server -----------------------------------------------

class MusicBrainzLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        Server.emplace(Dir / "fixtures");
        Options.Server = Server->MusicBrainzUrl();
        Disc = *MusicBrainzDiscOf(bwtest::MakeToc({150, 22767, 41887, 58317}));
    }
    std::string Found(const std::string& album) const {
        return "{\"releases\":[" +
               Release("\"" + album + "\"", OneArtist, "1999", "[]",
                       Medium(1, Disc.Id, Tracks({"\"One\"", "\"Two\"", "\"Three\""}), 3)) +
               "]}";
    }
    std::vector<std::vector<std::string>> Requests() const { return Server->MusicBrainzRequests(); }

    bwtest::TempDir Dir;
    std::optional<bwtest::CddbTestServer> Server;
    TMusicBrainzOptions Options;
    TMusicBrainzDisc Disc;
};

TEST_F(MusicBrainzLookupTest, ByDiscIdThenByTocWithTheRateLimit) {
    Server->PutMusicBrainz(Disc.Id, 200, Found("By Id"));
    auto byId = LookupMusicBrainz(Options, Disc);
    ASSERT_EQ(byId.Status, TMusicBrainzStatus::Found) << byId.Message;
    EXPECT_EQ(byId.Releases.at(0).Title, "By Id");
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(
        requests[0][1],
        "/ws/2/discid/" + Disc.Id +
            "?inc=artist-credits+labels+recordings+genres+release-groups&cdstubs=no&fmt=json");
    EXPECT_EQ(requests[0][2], "Brindlewave/0.1.0 ( https://vellamor.org/brindlewave/ )");

    // Nothing attached to the id: the TOC finds it. The two requests are a second apart.
    fs::remove(Dir / "fixtures" / ("mb-" + Disc.Id + ".reply"));
    Server->PutMusicBrainz("toc", 200, Found("By TOC"));
    auto byToc = LookupMusicBrainz(Options, Disc);
    ASSERT_EQ(byToc.Status, TMusicBrainzStatus::Found) << byToc.Message;
    EXPECT_EQ(byToc.Releases.at(0).Title, "By TOC");
    requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2][1],
              "/ws/2/discid/-?toc=1+3+58317+150+22767+41887"
              "&inc=artist-credits+labels+recordings+genres+release-groups&cdstubs=no&fmt=json");
    for (std::size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(std::stod(requests[i][0]) - std::stod(requests[i - 1][0]), 0.95);

    // Neither: the user is told so.
    fs::remove(Dir / "fixtures" / "mb-toc.reply");
    auto none = LookupMusicBrainz(Options, Disc);
    EXPECT_EQ(none.Status, TMusicBrainzStatus::NotFound);
    EXPECT_EQ(none.Message, "No MusicBrainz entry for this disc.");
    Server->PutMusicBrainz("toc", 200, R"({"release-count":0,"release-offset":0,"releases":[]})");
    EXPECT_EQ(LookupMusicBrainz(Options, Disc).Message, "No MusicBrainz entry for this disc.");
}

using TReply = std::tuple<int, std::string, std::string>; // status, headers, body
std::vector<TReply> Replies(const TReply& first) {
    return {first};
}
std::vector<TReply> Replies(const TReply& first, const TReply& second) {
    return {first, second};
}

TEST_F(MusicBrainzLookupTest, RateLimitAnswersAndRefusals) {
    const std::string limited =
        R"({"error":"Your requests are exceeding the allowable rate limit. Please see https://wiki.musicbrainz.org/XMLWebService for more information."})";
    struct Case {
        const char* Name;
        TMusicBrainzStatus Status;
        std::string Message; // its start
        std::size_t Requests;
        std::vector<TReply> Replies; // in the order they are given
    };
    const std::string json = "Content-Type: application/json";
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    const std::vector<Case> cases = {
        {"503 then success", TMusicBrainzStatus::Found, "", 2,
         Replies({503, json + "\nRetry-After: 2", limited}, {200, json, Found("After a wait")})},
        {"503 twice", TMusicBrainzStatus::Failed,
         "MusicBrainz answered HTTP 503: Your requests are exceeding the allowable rate limit.", 2,
         Replies({503, json, limited}, {503, json, limited})},
        {"an error page that is not JSON", TMusicBrainzStatus::Failed,
         "MusicBrainz answered HTTP 502: 502 Bad Gateway Bad Gateway", 1,
         Replies({502, "Content-Type: text/html",
                  "<html><head><title>502 Bad Gateway</title></head><body><h1>Bad Gateway</h1>"
                  "</body></html>"})},
        {"a page instead of JSON with status 200", TMusicBrainzStatus::Failed,
         "MusicBrainz sent a reply that cannot be read: the reply is not JSON", 1,
         Replies({200, "Content-Type: text/html", "<html>Welcome to the captive portal</html>"})},
        {"a bad request", TMusicBrainzStatus::Failed,
         "MusicBrainz answered HTTP 400: Invalid discid.", 1,
         Replies({400, json, R"({"error":"Invalid discid.","help":"For usage, please see: x"})"})},
        {"an artist credit nested 200,000 levels deep", TMusicBrainzStatus::Failed,
         "MusicBrainz sent a reply that cannot be read: the reply is nested deeper than", 1,
         Replies({200, json,
                  R"({"releases":[{"title":"Deep","artist-credit":[{"artist":)" + deep + "}]}]}"})},
        {"an error nested 200,000 levels deep", TMusicBrainzStatus::Failed,
         "MusicBrainz answered HTTP 400: ", 1,
         Replies({400, json, R"({"error":"Invalid discid.","help":)" + deep + "}"})},
    };
    std::size_t before = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Server.reset(); // a fresh count of requests
        fs::remove_all(Dir / "fixtures");
        Server.emplace(Dir / "fixtures");
        Options.Server = Server->MusicBrainzUrl();
        for (std::size_t i = 0; i < c.Replies.size(); ++i) {
            auto& [status, headers, body] = c.Replies[i];
            Server->PutMusicBrainz(Disc.Id, status, body, headers, static_cast<int>(i) + 1);
        }
        auto lookup = LookupMusicBrainz(Options, Disc);
        EXPECT_EQ(lookup.Status, c.Status) << lookup.Message;
        EXPECT_EQ(lookup.Message.substr(0, c.Message.size()), c.Message);
        auto requests = Requests();
        EXPECT_EQ(requests.size(), c.Requests);
        if (c.Status == TMusicBrainzStatus::Found) {
            EXPECT_EQ(lookup.Releases.at(0).Title, "After a wait");
            // The retry waited for the delay the answer named.
            ASSERT_EQ(requests.size(), 2u);
            EXPECT_GE(std::stod(requests[1][0]) - std::stod(requests[0][0]), 1.9);
        }
        before += requests.size();
    }
    EXPECT_GT(before, 0u);

    // Nobody there.
    Options.Server = "http://127.0.0.1:9";
    auto unreachable = LookupMusicBrainz(Options, Disc);
    EXPECT_EQ(unreachable.Status, TMusicBrainzStatus::Failed);
    EXPECT_EQ(unreachable.Message.rfind("Cannot reach MusicBrainz at http://127.0.0.1:9: ", 0), 0u)
        << unreachable.Message;
}

TEST_F(MusicBrainzLookupTest, GoesThroughTheProxyAndStopsAtOnce) {
    Options.Server = "http://musicbrainz.invalid/";
    Options.UseProxy = true;
    Options.ProxyHost = "127.0.0.1";
    Options.ProxyPort = Server->Port();
    Server->PutMusicBrainz(Disc.Id, 200, Found("Proxied"));
    auto lookup = LookupMusicBrainz(Options, Disc);
    ASSERT_EQ(lookup.Status, TMusicBrainzStatus::Found) << lookup.Message;
    EXPECT_EQ(Requests().at(0)[1].rfind("http://musicbrainz.invalid/ws/2/discid/" + Disc.Id, 0),
              0u);

    // A stop during a slow answer ends the lookup within a moment.
    Server->Put("delay.txt", "5");
    std::atomic<bool> cancel{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        cancel = true;
    });
    auto started = std::chrono::steady_clock::now();
    auto stopped = LookupMusicBrainz(Options, Disc, &cancel);
    auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_EQ(stopped.Status, TMusicBrainzStatus::Stopped);
    EXPECT_LT(took, std::chrono::milliseconds(3500));
}

} // namespace
