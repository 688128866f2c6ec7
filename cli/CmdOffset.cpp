// brindlewave-cli offset find: finds a drive's read offset with a disc the AccurateRip
// database knows, and with --save keeps it for that drive.
#include "CliCommands.h"
#include "CliDrive.h"
#include "DriveOffsets.h"
#include "Global.h"
#include "IniFile.h"
#include "OffsetFind.h"
#include "RipReport.h"

#include <cstdio>
#include <getopt.h>
#include <iostream>

namespace bw::cli {

int RunOffset(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},
        {"save", no_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int drive = 0;
    bool save = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:sh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("offset", std::string("invalid drive '") + optarg + "'");
            break;
        case 's':
            save = true;
            break;
        case 'h':
            std::cout << "Usage: brindlewave-cli offset find [--drive N] [--save]\n"
                         "Finds the drive's read offset with the disc in it, which must be in\n"
                         "the AccurateRip database: tracks are read once and checked at every\n"
                         "offset from -2000 to +2000 samples against the database's checksums.\n"
                         "Prints the offset; --save keeps it in the settings for this drive\n"
                         "(vendor and model), where rips of the drive use it.\n\n"
                         "  -d, --drive N   the drive's index in 'brindlewave-cli drives' (0)\n"
                         "  -s, --save      store the offset found for the drive\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind >= argc || std::string(argv[optind]) != "find")
        return Fail("offset", "expected 'find' (see 'brindlewave-cli offset --help')");
    if (optind + 1 < argc)
        return Fail("offset", std::string("unexpected argument '") + argv[optind + 1] + "'");

    LoadSaveOptions(true);
    TCliDrive cd;
    if (!cd.Open("offset", drive)) return 1;
    const std::string name = DriveOffsetNameOf(cd.Entry());
    TOffsetFindResult result =
        FindReadOffset(cd.Handle(), cd.TOC(), AccurateRipServer(), AccurateRipHttpOptions(),
                       [](const std::string& step) { std::cerr << step << "...\n"; });
    if (!result.Found) return Fail("offset", name + ": " + result.Error);
    std::printf("%s: read offset %d samples (%d track(s) matched, confidence %d)\n", name.c_str(),
                result.Offset, result.Tracks, result.Confidence);
    if (save) {
        StoreDriveOffset(name, result.Offset);
        try {
            LoadSaveOptions(false);
        } catch (const EIniWriteError& e) {
            return Fail("offset", e.what());
        }
        std::printf("Saved for %s in %s\n", name.c_str(), OptionsFilePath().c_str());
    }
    return 0;
}

} // namespace bw::cli
