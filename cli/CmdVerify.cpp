// brindlewave-cli verify: checks already ripped tracks (WAV or FLAC files from any program)
// against the AccurateRip database, for the disc in a drive.
#include "CliCommands.h"
#include "CliDrive.h"
#include "CliProgress.h"
#include "Global.h"
#include "RipReport.h"
#include "VerifyFiles.h"

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
        {"cue", required_argument, nullptr, 'c'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int drive = 0, first = 0;
    std::string server, ctdbServer, cueSheet;
    bool accurateRip = true, ctdb = true;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:f:s:c:h", longOptions, nullptr)) != -1) {
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
        case 'c':
            cueSheet = optarg;
            break;
        case 'h':
            std::cout
                << "Usage: brindlewave-cli verify [--drive N] [--first-track N] "
                   "[--server HOST] [--ctdb-server URL] [--no-accuraterip] [--no-ctdb]\n"
                   "       [--cue SHEET] FILE...\n"
                   "Checks ripped tracks of the disc in the drive against the AccurateRip\n"
                   "database and the CUETools database (CTDB). Each file (16-bit stereo 44100 Hz\n"
                   "WAV or FLAC) is the track its TRACKNUMBER tag names, or with --cue the track\n"
                   "the cue sheet's FILE lines give it; files with neither are the remaining\n"
                   "tracks in the order given, from the disc's first audio track on. CTDB checks\n"
                   "the whole disc when every track is given, else each track's CRC.\n\n"
                   "  -d, --drive N        the drive's index in 'brindlewave-cli drives' (0)\n"
                   "  -f, --first-track N  the track of the first untagged file\n"
                   "  -s, --server HOST    the AccurateRip server (default: the settings')\n"
                   "      --ctdb-server URL  the CTDB server (default: the settings')\n"
                   "      --no-accuraterip   no AccurateRip check\n"
                   "      --no-ctdb          no CTDB check\n"
                   "  -c, --cue SHEET      pair the files by the cue sheet of the rip; without\n"
                   "                       FILE arguments, check the files it names\n"
                   "Exits 1 when a track is not accurate or cannot be checked, or a file pairs\n"
                   "with no track.\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind >= argc && cueSheet.empty())
        return Fail("verify", "which files? (FILE... or --cue SHEET)");
    CommandLineRead();
    LoadSaveOptions(true);
    std::vector<TVerifyInput> inputs;
    try {
        inputs = VerifyInputs(std::vector<std::string>(argv + optind, argv + argc), cueSheet);
    } catch (const std::exception& e) {
        return Fail("verify", e.what());
    }
    TCliDrive cd;
    if (!cd.Open("verify", drive)) return 1;
    TRipDisc disc = TRipDisc::ForDrive(cd.TOC(), cd.Entry());
    if (first != 0 && !disc.IsAudioTrack(first))
        return Fail("verify", "the disc has no audio track there");
    const TVerifyPairing pairing = PairVerifyFiles(inputs, disc, first);
    for (const std::string& problem : pairing.Unpaired)
        Fail("verify", problem);
    if (!pairing.Missing.empty() && !Quiet()) {
        std::string tracks;
        for (int track : pairing.Missing)
            tracks += (tracks.empty() ? "" : ", ") + std::to_string(track);
        std::cerr << "brindlewave-cli: verify: no file for track"
                  << (pairing.Missing.size() > 1 ? "s " : " ") << tracks << "\n";
    }
    if (pairing.Pairs.empty()) return Fail("verify", "no file pairs with an audio track");
    TRipReport report(disc);
    report.SetWithCrc32(false);
    if (ctdb) report.EnableCtdb();
    for (const TVerifyPair& pair : pairing.Pairs)
        report.AddRippedTrack(pair.Track, pair.Given);
    if (accurateRip)
        report.Verify(server.empty() ? AccurateRipServer() : server, AccurateRipHttpOptions(),
                      false);
    if (ctdb)
        report.VerifyCtdb(ctdbServer.empty() ? CtdbServer() : ctdbServer, AccurateRipHttpOptions(),
                          false);
    int failures = accurateRip ? PrintVerifyVerdicts(report) : 0;
    if (!Quiet()) PrintCtdbResults(report);
    if (ctdb) failures += CtdbFailures("verify", report);
    // With nothing else checked, a track the database could not judge has no verdict.
    for (const auto& t : report.Tracks())
        if (ctdb && !accurateRip &&
            (t.Ctdb.Status == TCtdbStatus::Unreachable || t.Ctdb.Status == TCtdbStatus::NotChecked))
            failures += Fail("verify", "track " + std::to_string(t.Track) + " (" + t.File.string() +
                                           "): CTDB " + CtdbVerdictText(t.Ctdb)) != 0;
    return failures > 0 || !pairing.Unpaired.empty() ? 1 : 0;
}

} // namespace bw::cli
