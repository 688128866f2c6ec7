// brindlewave-cli: the rip, lookup and conversion components without a display.
#include "CliCommands.h"
#include "CodecLibraries.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace bw::cli {

int Fail(const std::string& command, const std::string& message) {
    std::cerr << "brindlewave-cli: " << command << ": " << message << "\n";
    return 1;
}

bool ParseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace bw::cli

namespace bw::cli {
int RunSettings(int argc, char** argv);
int RunDrives(int argc, char** argv);
int RunToc(int argc, char** argv);
int RunRip(int argc, char** argv);
int RunConvert(int argc, char** argv);
int RunCddb(int argc, char** argv);
int RunMusicBrainz(int argc, char** argv);
} // namespace bw::cli

namespace {

using bw::cli::TCliCommand;

const TCliCommand Commands[] = {
    {"settings", "show (and with --save write) the settings file", bw::cli::RunSettings},
    {"drives", "list the CD drives", bw::cli::RunDrives},
    {"toc", "show the tracks of the disc in a drive", bw::cli::RunToc},
    {"rip", "rip tracks of a disc into WAV files", bw::cli::RunRip},
    {"cddb", "look the disc up on a CDDB server", bw::cli::RunCddb},
    {"musicbrainz", "look the disc up in the MusicBrainz web service", bw::cli::RunMusicBrainz},
    {"convert", "convert WAV files to WAV, IMA ADPCM, MP3, Ogg Vorbis, FLAC, or resample them",
     bw::cli::RunConvert},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "Usage: brindlewave-cli COMMAND [OPTION]... [ARGUMENT]...\n"
                      "Rips audio CDs and converts audio files without a display.\n\n"
                      "Commands:\n");
    for (const auto& command : Commands)
        std::fprintf(out, "  %-12s %s\n", command.Name, command.Summary);
    std::fprintf(out, "\n'brindlewave-cli COMMAND --help' describes a command's options.\n"
                      "CD images named in BRINDLEWAVE_CD_IMAGES (paths separated by ':') act as "
                      "drives.\n");
}

} // namespace

int main(int argc, char** argv) {
    const bw::TCodecLibraries codecLibraries; // loaded for the program's whole life
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("brindlewave-cli 0.1.0\n");
        return 0;
    }
    for (const auto& command : Commands) {
        if (command.Run && name == command.Name) return command.Run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "brindlewave-cli: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
