#include "CdImage.h"
#include "CddbTestServer.h"
#include "Global.h"
#include "StopQueryThread.h"
#include "TestSupport.h"
#include "akrip32.h"
#include "ripthread.h"

#include "DetachedWorkers.h"
#include <functional>

#include <gtest/gtest.h>

using namespace bw;
using namespace std::chrono_literals;

namespace {

class QueryThread : public ::testing::Test {
protected:
    void SetUp() override {
        Image = std::make_unique<bwtest::CdImage>(
            bwtest::CdImage::Write(Dir.Path(), "disc", {300, 400, 500}));
        Drives = std::make_unique<bwtest::ImageDrives>(*Image);
        TCDList list = ReadDriveList();
        ASSERT_EQ(list.Count, 1);
        const TGetCDHandle request = HandleRequestFor(list.Entries[0]);
        Handle = GetCDHandle(&request);
        ASSERT_NE(Handle, 0);
        Server = std::make_unique<bwtest::CddbTestServer>(Dir / "fixtures");
        Settings = TAppSettings{};
        Settings.CDDBServer = Server->HostPort();
        Settings.CDDBScript = "/~cddb/cddb.cgi";
        DiscId = bwtest::CddbDiscIdOf(*Image);
    }
    void TearDown() override {
        // A query thread lets go of its work when it reports; it ends before the next test
        // (and before the leak check at exit), as the program waits for it when it closes.
        bw::WaitForDetached("cddb query", nullptr, std::chrono::seconds(10));
        CloseCDHandle(Handle);
    }

    void PutQuery(const std::string& reply) { Server->Put("query-" + DiscId + ".txt", reply); }
    void PutRecord(const std::string& category, const std::string& body) {
        Server->Put("read-" + category + "-" + DiscId + ".txt",
                    "210 " + category + " " + DiscId + " follows\r\n" + body + ".\r\n");
    }

    static std::vector<std::pair<std::intptr_t, std::intptr_t>> Done(TMessageQueue& queue) {
        std::vector<std::pair<std::intptr_t, std::intptr_t>> done;
        for (auto& m : queue.TakeAll()) {
            EXPECT_EQ(m.Msg, WM_QUERYDONE);
            done.emplace_back(m.WParam, m.LParam);
        }
        return done;
    }

    bwtest::TempDir Dir;
    std::unique_ptr<bwtest::CdImage> Image;
    std::unique_ptr<bwtest::ImageDrives> Drives;
    std::unique_ptr<bwtest::CddbTestServer> Server;
    int Handle = 0;
    std::string DiscId;
};

} // namespace

TEST_F(QueryThread, ExactMatchFillsFieldsAndTitles) {
    PutQuery("200 blues " + DiscId + " Artist / Album\r\n");
    PutRecord("blues",
              "# xmcd\r\nDISCID=" + DiscId +
                  "\r\nDTITLE=The Artist / The Album\r\n"
                  "DYEAR=2003\r\nDGENRE=Blues\r\nTTITLE0=One\r\nTTITLE1=Two\r\nTTITLE2=Three\r\n"
                  "EXTD=\r\n");
    TMessageQueue queue;
    auto r = TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    EXPECT_EQ(Done(queue), (std::vector<std::pair<std::intptr_t, std::intptr_t>>{{7, 0}}));
    EXPECT_TRUE(r.ClearDiscFields);
    EXPECT_EQ(r.Artist, "The Artist");
    EXPECT_EQ(r.Album, "The Album");
    EXPECT_EQ(r.Year, "2003");
    EXPECT_EQ(r.Genre, "Blues");
    EXPECT_EQ(r.TrackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    // The greeting names our client.
    EXPECT_NE(Server->Requests().find("hello=brindlewave+localhost+program+1.0&proto=6"),
              std::string::npos);
}

TEST_F(QueryThread, LaterMatchSuppliesTitlesWhenTheFirstHasNone) {
    PutQuery("211 inexact\r\nrock " + DiscId + " A\r\njazz " + DiscId + " B\r\nfolk " + DiscId +
             " C\r\n.\r\n");
    PutRecord("rock", "DTITLE=First / Record\r\nDYEAR=1990\r\nDGENRE=Rock\r\n");
    PutRecord("jazz", "DTITLE=Second / Record\r\nTTITLE0=a\r\nTTITLE1=b\r\nTTITLE2=c\r\n");
    PutRecord("folk", "DTITLE=Third / Record\r\nTTITLE0=x\r\n");
    TMessageQueue queue;
    auto r = TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    EXPECT_EQ(Done(queue).size(), 1u);
    EXPECT_EQ(r.Artist, "Second");
    EXPECT_EQ(r.Year, "1990");  // kept from the first record
    EXPECT_EQ(r.Genre, "Rock"); // likewise
    EXPECT_EQ(r.TrackTitles, (std::vector<std::string>{"a", "b", "c"}));
    // The third record was never fetched.
    EXPECT_EQ(Server->Requests().find("cddb read folk"), std::string::npos);
}

TEST_F(QueryThread, NoMatchErrorsAndRefusal) {
    TMessageQueue queue;
    PutQuery("202 No match\r\n");
    auto r = TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    auto done = Done(queue);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].first, 6);
    EXPECT_NE(done[0].second, 0); // the library's error code
    EXPECT_FALSE(r.ClearDiscFields);

    // Failures end with 8 and say why; the fields keep their values. A match whose record
    // cannot be fetched is skipped, and when no record comes at all that is a failure too.
    const std::string server = Server->HostPort();
    struct Failure {
        std::function<void()> Arrange;
        std::string Error;
    };
    std::vector<Failure> failures = {
        {[&] { PutQuery("200 rock " + DiscId + " A\r\n"); },
         "The CDDB server " + server +
             " refused the query: \"401 Specified CDDB entry not found.\""},
        {[&] { Server->Put("status.txt", "500"); },
         "The CDDB server " + server + " could not be asked: the server answered HTTP 500."},
        {[&] { Server.reset(); },
         "The CDDB server " + server +
             " could not be asked: the connection was refused or the server is unreachable."},
    };
    for (const auto& f : failures) {
        f.Arrange();
        r = TQueryCDDBThread::Execute(queue, 1, 3, Handle);
        done = Done(queue);
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].first, QueryFailed);
        EXPECT_NE(done[0].second, 0);
        EXPECT_EQ(r.Error, f.Error);
        EXPECT_FALSE(r.ClearDiscFields);
        EXPECT_FALSE(r.Artist);
    }
}

TEST_F(QueryThread, ProxySettings) {
    EXPECT_EQ(ProxyPortOf("8080"), 8080);
    EXPECT_EQ(ProxyPortOf(""), 80);
    EXPECT_EQ(ProxyPortOf("eighty"), 80);
    EXPECT_EQ(ProxyPortOf("80x"), 80);

    Settings.CDDBServer = "cddb.invalid";
    Settings.UseProxy = true;
    Settings.ProxyAddress = "127.0.0.1";
    Settings.Port = std::to_string(Server->Port());
    PutQuery("202 No match\r\n");
    TMessageQueue queue;
    TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    EXPECT_EQ(Done(queue)[0].first, 6);
    EXPECT_EQ(Server->Requests().rfind("http://cddb.invalid/~cddb/cddb.cgi?cmd=cddb+query", 0), 0u);

    // Turning the proxy off really turns it off for the next query.
    Settings.UseProxy = false;
    TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    EXPECT_EQ(Done(queue)[0].first, QueryFailed); // cddb.invalid cannot be reached directly
}

TEST_F(QueryThread, StopDuringASlowReplyReturnsAtOnceAndPostsNothing) {
    Server->Put("delay.txt", "3");
    PutQuery("202 No match\r\n");
    TMessageQueue queue;
    auto start = std::chrono::steady_clock::now();
    {
        TQueryCDDBThread thread(&queue, 1, 3, Handle);
        std::this_thread::sleep_for(200ms);
        thread.Stop();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(queue.WaitNext(4s)); // not even after the server would have answered
}

TEST_F(QueryThread, ThreadReportsWhenTheResultIsReady) {
    PutQuery("200 rock " + DiscId + " A\r\n");
    PutRecord("rock", "DTITLE=A / B\r\nTTITLE0=t1\r\nTTITLE1=t2\r\nTTITLE2=t3\r\n");
    TMessageQueue queue;
    TQueryCDDBThread thread(&queue, 1, 3, Handle);
    auto message = queue.WaitNext(10s);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->WParam, 7);
    EXPECT_EQ(thread.Result().TrackTitles, (std::vector<std::string>{"t1", "t2", "t3"}));
}

TEST_F(QueryThread, HostileTitlesNeverLeaveTheOutputFolder) {
    PutQuery("200 rock " + DiscId + " A\r\n");
    PutRecord("rock", "DTITLE=A / B\r\nTTITLE0=../escaped\r\nTTITLE1=sub/dir\r\nTTITLE2=..\r\n");
    TMessageQueue queue;
    auto r = TQueryCDDBThread::Execute(queue, 1, 3, Handle);
    ASSERT_TRUE(r.TrackTitles);
    EXPECT_EQ((*r.TrackTitles)[0], "../escaped"); // kept as text

    std::filesystem::create_directories(Dir / "out");
    Settings.OutputFolder = (Dir / "out").string();
    for (int t = 1; t <= 3; ++t) {
        TMessageQueue ripQueue;
        {
            TCDRipThread rip(t, (*r.TrackTitles)[t - 1]);
            rip.CDHandle = Handle;
            rip.Window = &ripQueue;
            rip.Start();
        }
        auto messages = ripQueue.TakeAll();
        ASSERT_FALSE(messages.empty());
        ASSERT_TRUE(messages.back().Info);
        EXPECT_EQ(messages.back().Info->Percent, 1000);
        // Folders inside the output folder are allowed (file name templates make them);
        // anything leading out of it is refused.
        const bool inside = (*r.TrackTitles)[t - 1] == "sub/dir";
        EXPECT_EQ(messages.back().Info->ErrorCode, inside ? 0 : 5) << (*r.TrackTitles)[t - 1];
    }
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(Dir / "out"), {}), 2);
    EXPECT_TRUE(std::filesystem::exists(Dir / "out" / "sub" / "dir.wav"));
    EXPECT_FALSE(std::filesystem::exists(Dir / "escaped.wav"));
}
