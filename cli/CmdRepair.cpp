// brindlewave-cli repair: mends a damaged rip (a cue sheet and its files, or the disc's
// track files in order) from the CUETools database's recovery data, into another folder.
#include "CliCommands.h"
#include "CliInterrupt.h"
#include "CliProgress.h"
#include "CtdbRepair.h"
#include "Global.h"
#include "RipReport.h"

#include <cstdio>
#include <getopt.h>
#include <iostream>

namespace fs = std::filesystem;

namespace bw::cli {

int RunRepair(int argc, char** argv) {
    static const option longOptions[] = {
        {"server", required_argument, nullptr, 's'},
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    std::string server;
    fs::path output;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "s:o:h", longOptions, nullptr)) != -1) {
        switch (c) {
        case 's':
            server = optarg;
            break;
        case 'o':
            output = optarg;
            break;
        case 'h':
            std::cout
                << "Usage: brindlewave-cli repair [--server URL] [--output DIR] CUESHEET|FILE...\n"
                   "Mends a damaged rip from the CUETools database's recovery data. The rip is\n"
                   "a cue sheet with its files, or the disc's tracks (WAV or FLAC) in order.\n"
                   "The mended files (same format, same tags) and the untouched ones go into\n"
                   "the output folder with repair.log, and are verified; the originals are\n"
                   "never changed. Nothing is submitted to the database.\n\n"
                   "  -s, --server URL  the CUETools database (default: the settings')\n"
                   "  -o, --output DIR  where the mended files go (default: 'repaired' beside\n"
                   "                    the files)\n"
                   "Exits 1, saying why, when the rip cannot be repaired.\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind >= argc) return Fail("repair", "which rip? (CUESHEET or FILE... in track order)");
    std::vector<fs::path> files(argv + optind, argv + argc);
    CommandLineRead();
    LoadSaveOptions(true);
    TCtdbRepairInput input;
    try {
        std::string ext = files[0].extension().string();
        input = files.size() == 1 && (ext == ".cue" || ext == ".CUE")
                    ? CtdbRepairInputFromCue(files[0])
                    : CtdbRepairInputFromFiles(files);
    } catch (const std::exception& e) {
        return Fail("repair", e.what());
    }
    TCtdbRepairOptions options;
    options.Server = server.empty() ? CtdbServer() : server;
    options.Http = AccurateRipHttpOptions();
    options.Output = output.empty() ? files[0].parent_path() / "repaired" : output;
    TInterruptHandler interrupts;
    options.Cancel = &Interrupted;
    options.Progress = [](double fraction, const std::string& what) {
        if (!Quiet())
            std::fprintf(stderr, "%3d%% %s\n", static_cast<int>(fraction * 100), what.c_str());
    };
    TCtdbRepairResult result = RepairWithCtdb(input, options);
    if (Interrupted) {
        Fail("repair", "interrupted");
        return InterruptedExit;
    }
    if (result.NothingToRepair) {
        std::printf("[CTDB TOCID: %s] found\n%s\nNothing to repair: the rip matches the "
                    "database.\n",
                    result.Verdicts.TocId.c_str(), CtdbVerdictText(result.Verdicts.Disc).c_str());
        return 0;
    }
    if (!result.Ok) return Fail("repair", "cannot repair the rip: " + result.Why);
    std::printf("%s", result.Log.c_str());
    std::printf("Mended files: %s\n", options.Output.c_str());
    return 0;
}

} // namespace bw::cli
