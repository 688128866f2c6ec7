// brindlewave-cli settings [--save]: shows the settings as the program loads them.
#include "CliCommands.h"

#include <getopt.h>
#include <iostream>

#include "Global.h"
#include "IniFile.h"

namespace bw::cli {

int RunSettings(int argc, char** argv) {
    static const option longOptions[] = {
        {"save", no_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    bool save = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "sh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 's':
            save = true;
            break;
        case 'h':
            std::cout << "Usage: brindlewave-cli settings [--save]\n"
                         "Loads the settings as the program does and prints the path of the\n"
                         "settings file, then the file as a save would write it.\n\n"
                         "  -s, --save   also write the file\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("settings", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();

    LoadSaveOptions(true);
    const auto path = OptionsFilePath();
    std::cout << path.string() << "\n" << OptionsFileText(TIniFile::Load(path).Text());
    if (save) {
        try {
            LoadSaveOptions(false);
        } catch (const std::exception& e) {
            return Fail("settings", e.what());
        }
    }
    return 0;
}

} // namespace bw::cli
