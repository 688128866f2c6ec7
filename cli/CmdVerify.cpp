// brindlewave-cli verify: checks already ripped tracks (WAV or FLAC files from any program)
// against the AccurateRip database, for the disc in a drive.
#include "CliCommands.h"
#include "CliDrive.h"
#include "CliProgress.h"
#include "Global.h"
#include "RipReport.h"

#include <cstdio>
#include <getopt.h>
#include <iostream>

namespace bw::cli {

// Prints each track's verdict and the summary line to stdout.
void PrintAccurateRipResults(const TRipReport& report) {
    for (const auto& track : report.Tracks()) {
        std::string what = track.Ripped ? AccurateRipResultText(track.Result) : track.Error;
        std::printf("%s %s: %s\n", TwoDigits(track.Track).c_str(), track.File.filename().c_str(),
                    what.c_str());
    }
    std::printf("%s\n", report.StatusText().c_str());
}

int RunVerify(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},
        {"first-track", required_argument, nullptr, 'f'},
        {"server", required_argument, nullptr, 's'},
        {"ctdb-server", required_argument, nullptr, 'C'},
        {"no-accuraterip", no_argument, nullptr, 'A'},
        {"no-ctdb", no_argument, nullptr, 'N'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int drive = 0, first = 0;
    std::string server, ctdbServer;
    bool accurateRip = true, ctdb = true;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:f:s:h", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("verify", std::string("invalid drive '") + optarg + "'");
            break;
        case 'f':
            if (!ParseInt(optarg, first) || first < 1 || first > 99)
                return Fail("verify", std::string("invalid track '") + optarg + "'");
            break;
        case 's':
            server = optarg;
            break;
        case 'C':
            ctdbServer = optarg;
            break;
        case 'A':
            accurateRip = false;
            break;
        case 'N':
            ctdb = false;
            break;
        case 'h':
            std::cout
                << "Usage: brindlewave-cli verify [--drive N] [--first-track N] "
                   "[--server HOST] [--ctdb-server URL] [--no-accuraterip] [--no-ctdb] FILE...\n"
                   "Checks ripped tracks of the disc in the drive against the AccurateRip\n"
                   "database and the CUETools database (CTDB). The files (16-bit stereo\n"
                   "44100 Hz WAV or FLAC) are the disc's tracks in order, from its first\n"
                   "audio track on; CTDB checks the whole disc when every track is given,\n"
                   "else each track's CRC.\n\n"
                   "  -d, --drive N        the drive's index in 'brindlewave-cli drives' (0)\n"
                   "  -f, --first-track N  the track of the first file\n"
                   "  -s, --server HOST    the AccurateRip server (default: the settings')\n"
                   "      --ctdb-server URL  the CTDB server (default: the settings')\n"
                   "      --no-accuraterip   no AccurateRip check\n"
                   "      --no-ctdb          no CTDB check\n"
                   "Exits 1 when a track is not accurate or cannot be checked.\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind >= argc) return Fail("verify", "which files? (FILE... in track order)");
    CommandLineRead();
    LoadSaveOptions(true);
    TCliDrive cd;
    if (!cd.Open("verify", drive)) return 1;
    TRipDisc disc = TRipDisc::ForDrive(cd.TOC(), cd.Entry());
    int track = first;
    if (track == 0) {
        for (track = disc.FirstTrack; disc.HasTrack(track) && !disc.IsAudioTrack(track); ++track) {
        }
    }
    if (!disc.IsAudioTrack(track)) return Fail("verify", "the disc has no audio track there");
    TRipReport report(disc);
    report.SetWithCrc32(false);
    if (ctdb) report.EnableCtdb();
    for (int i = optind; i < argc; ++i, ++track) {
        if (!disc.IsAudioTrack(track))
            return Fail("verify", std::string("more files than audio tracks: ") + argv[i] +
                                      " would be track " + std::to_string(track));
        report.AddRippedTrack(track, argv[i]);
    }
    if (accurateRip)
        report.Verify(server.empty() ? AccurateRipServer() : server, AccurateRipHttpOptions(),
                      false);
    if (ctdb)
        report.VerifyCtdb(ctdbServer.empty() ? CtdbServer() : ctdbServer, AccurateRipHttpOptions(),
                          false);
    if (!Quiet()) {
        if (accurateRip) PrintAccurateRipResults(report);
        PrintCtdbResults(report);
    }
    int failures = ctdb ? CtdbFailures("verify", report) : 0;
    // With nothing else checked, a track the database could not judge has no verdict.
    for (const auto& t : report.Tracks())
        if (ctdb && !accurateRip &&
            (t.Ctdb.Status == TCtdbStatus::Unreachable || t.Ctdb.Status == TCtdbStatus::NotChecked))
            failures += Fail("verify", "track " + std::to_string(t.Track) + " (" + t.File.string() +
                                           "): CTDB " + CtdbVerdictText(t.Ctdb)) != 0;
    for (const auto& t : report.Tracks()) {
        if (!accurateRip) break;
        if (t.Result.Status == TAccurateRipStatus::NotAccurate ||
            t.Result.Status == TAccurateRipStatus::NotChecked) {
            Fail("verify", "track " + std::to_string(t.Track) + " (" + t.File.string() +
                               "): " + AccurateRipResultText(t.Result));
            ++failures;
        }
    }
    return failures > 0 ? 1 : 0;
}

} // namespace bw::cli
