#include "CddbHttp.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace bw;

namespace {
TCddbServerOptions Options(const bwtest::CddbTestServer& server) {
    TCddbServerOptions options;
    options.Server = server.HostPort();
    options.Identity = "tester@example.org";
    options.ClientText = "program 1.0";
    options.TotalTimeoutSeconds = 10;
    return options;
}
} // namespace

TEST(CddbHttp, SendsTheCommandAndReturnsTheReply) {
    bwtest::TempDir dir;
    bwtest::CddbTestServer server(dir / "fixtures");
    server.Put("read-rock-01020304.txt", "210 rock 01020304\r\nDTITLE=A / B\r\n.\r\n");
    auto result = CddbHttpCommand(Options(server), "cddb read rock 01020304");
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Reply, "210 rock 01020304\r\nDTITLE=A / B\r\n.\r\n");
    EXPECT_EQ(server.Requests(),
              "/~cddb/cddb.cgi?cmd=cddb+read+rock+01020304&hello=tester+example.org+program+1.0"
              "&proto=6\tcddb read rock 01020304\n");
}

TEST(CddbHttp, ThroughAProxyTheServerSeesTheFullUrl) {
    bwtest::TempDir dir;
    bwtest::CddbTestServer proxy(dir / "fixtures");
    auto options = Options(proxy);
    options.Server = "cddb.invalid";
    options.UseProxy = true;
    options.ProxyHost = "127.0.0.1";
    options.ProxyPort = proxy.Port();
    auto result = CddbHttpCommand(options, "cddb query 01020304 1 150 60");
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Reply.substr(0, 3), "202");
    EXPECT_EQ(proxy.Requests().rfind("http://cddb.invalid/~cddb/cddb.cgi?cmd=cddb+query", 0), 0u);
}

TEST(CddbHttp, FailuresAreReportedNotHidden) {
    bwtest::TempDir dir;
    {
        bwtest::CddbTestServer server(dir / "fixtures");
        server.Put("status.txt", "500");
        auto result = CddbHttpCommand(Options(server), "cddb query 1 1 150 60");
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.Error, "the server answered HTTP 500");
    }
    {
        bwtest::CddbTestServer server(dir / "big");
        server.Put("query-01020304.txt", "211 list\r\n" + std::string(4 << 20, 'x') + "\r\n.\r\n");
        auto result = CddbHttpCommand(Options(server), "cddb query 01020304 1 150 60");
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.Error, "the server's reply is too large");
    }
    // Nothing listens on a port we just had and closed.
    int port;
    {
        bwtest::CddbTestServer server(dir / "gone");
        port = server.Port();
    }
    TCddbServerOptions options;
    options.Server = "127.0.0.1:" + std::to_string(port);
    EXPECT_FALSE(CddbHttpCommand(options, "cddb query 1 1 150 60").Ok);

    // Through a proxy, the failure names it: the proxy may be what failed.
    {
        bwtest::CddbTestServer proxy(dir / "proxy");
        proxy.Put("status.txt", "502");
        struct Case {
            int Port;
            std::string Error;
        };
        const Case cases[] = {
            {port, "the connection was refused or the server is unreachable (through the proxy "
                   "127.0.0.1:" + std::to_string(port) + ")"},
            {proxy.Port(), "the server answered HTTP 502 (through the proxy 127.0.0.1:" +
                               std::to_string(proxy.Port()) + ")"},
        };
        for (const Case& c : cases) {
            options.Server = "cddb.invalid";
            options.UseProxy = true;
            options.ProxyHost = "127.0.0.1";
            options.ProxyPort = c.Port;
            auto result = CddbHttpCommand(options, "cddb query 1 1 150 60");
            EXPECT_FALSE(result.Ok);
            EXPECT_EQ(result.Error, c.Error);
        }
    }
}

TEST(CddbHttp, SlowServersTimeOutAndCancelStopsAtOnce) {
    bwtest::TempDir dir;
    bwtest::CddbTestServer server(dir / "fixtures");
    server.Put("delay.txt", "5");
    auto options = Options(server);
    options.TotalTimeoutSeconds = 1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CddbHttpCommand(options, "cddb query 1 1 150 60").Ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    options.TotalTimeoutSeconds = 30;
    std::atomic<bool> cancel{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    start = std::chrono::steady_clock::now();
    auto result = CddbHttpCommand(options, "cddb query 1 1 150 60", &cancel);
    stopper.join();
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, "stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}
