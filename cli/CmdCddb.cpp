// brindlewave-cli cddb: looks the disc up on a CDDB server and shows (or stores) what it found.
#include "CliCommands.h"
#include "CliDiscResult.h"
#include "CliDrive.h"
#include "DiscIdentity.h"
#include "Global.h"
#include "Messages.h"
#include "StopQueryThread.h"

#include <getopt.h>
#include <iostream>

namespace bw::cli {

namespace {

void PrintHelp() {
    std::cout << "Usage: brindlewave-cli cddb [OPTION]...\n"
                 "Looks up the disc of a drive on a CDDB server and prints its artist, album,\n"
                 "year, genre and track titles. Server settings come from the settings file.\n\n"
                 "  -d, --drive N         drive index from 0 (default 0)\n"
                 "      --server HOST     CDDB server host for this query\n"
                 "      --script PATH     path of the server's query script\n"
                 "      --proxy HOST:PORT reach the server through an HTTP proxy\n"
                 "  -s, --save            remember the result in the title cache, so that\n"
                 "                        'rip' names the files after it\n";
}

// "HOST:PORT" or "HOST" (port 80), the port a number from 1 to 65535.
bool ParseProxy(const std::string& text, std::string& host, std::string& port) {
    const auto colon = text.rfind(':');
    host = text.substr(0, colon);
    port = colon == std::string::npos ? "80" : text.substr(colon + 1);
    int number = 0;
    return !host.empty() && host.find_first_of(" \t/") == std::string::npos &&
           port.find_first_not_of("0123456789") == std::string::npos && ParseInt(port, number) &&
           number >= 1 && number <= 65535;
}

} // namespace

int RunCddb(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},
        {"server", required_argument, nullptr, 'S'},
        {"script", required_argument, nullptr, 'c'},
        {"proxy", required_argument, nullptr, 'p'},
        {"save", no_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    LoadSaveOptions(true);
    int drive = 0;
    bool save = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:sh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("cddb", "bad drive index: " + std::string(optarg));
            break;
        case 'S':
            Settings.CDDBServer = optarg;
            break;
        case 'c':
            Settings.CDDBScript = optarg;
            break;
        case 'p':
            if (!ParseProxy(optarg, Settings.ProxyAddress, Settings.Port))
                return Fail("cddb", std::string("invalid proxy '") + optarg +
                                        "' (HOST:PORT, a port from 1 to 65535)");
            Settings.UseProxy = true;
            break;
        case 's':
            save = true;
            break;
        case 'h':
            PrintHelp();
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("cddb", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();

    TCliDrive cd;
    if (!cd.Open("cddb", drive)) return 1;
    const int first = cd.TOC().FirstTrack, last = cd.TOC().LastTrack;

    TMessageQueue queue;
    TCddbQueryResult result = TQueryCDDBThread::Execute(queue, first, last, cd.Handle());
    auto done = queue.WaitNext(std::chrono::milliseconds(0));
    if (done && done->WParam == QueryNoMatch)
        return Fail("cddb", "no match found on " + Settings.CDDBServer);
    if (done && done->WParam == QueryFailed)
        return Fail("cddb", result.Error.empty() ? "the query failed" : result.Error);

    const std::string key = DiscKeyOfDrive(cd.Entry());
    // A found record starts from empty disc fields; titles it lacks stay as cached.
    CachedDiscFields(key, cd);
    return ShowDiscResult("cddb", result, TDiscFields{}, cd, key, save);
}

} // namespace bw::cli
