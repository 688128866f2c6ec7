// brindlewave-cli: the rip, lookup and conversion components without a display.
#include "CliCommands.h"
#include "CliProgress.h"
#include "CodecLibraries.h"
#include "DetachedWorkers.h"
#include "UsedLibraries.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace bw::cli {

namespace {
bool ReadingCommandLine = false;
} // namespace

int Fail(const std::string& command, const std::string& message) {
    std::cerr << "brindlewave-cli: " << command << ": " << message << "\n";
    return ReadingCommandLine ? 2 : 1;
}

void CommandLineRead() {
    ReadingCommandLine = false;
}

void StartReadingCommandLine() {
    ReadingCommandLine = true;
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
void StartReadingCommandLine();
int RunSettings(int argc, char** argv);
int RunDrives(int argc, char** argv);
int RunToc(int argc, char** argv);
int RunRip(int argc, char** argv);
int RunConvert(int argc, char** argv);
int RunCddb(int argc, char** argv);
int RunMusicBrainz(int argc, char** argv);
int RunVerify(int argc, char** argv);
int RunOffset(int argc, char** argv);
int RunRepair(int argc, char** argv);
} // namespace bw::cli

namespace {

using bw::cli::TCliCommand;

const TCliCommand Commands[] = {
    {"settings", "show (and with --save write) the settings file", bw::cli::RunSettings},
    {"drives", "list the CD drives", bw::cli::RunDrives},
    {"toc", "show the tracks of the disc in a drive", bw::cli::RunToc},
    {"rip", "rip tracks of a disc and encode them to MP3, WAV, Ogg Vorbis, WMA, FLAC or APE",
     bw::cli::RunRip},
    {"cddb", "look the disc up on a CDDB server", bw::cli::RunCddb},
    {"musicbrainz", "look the disc up in the MusicBrainz web service", bw::cli::RunMusicBrainz},
    {"verify", "check ripped tracks against the AccurateRip and CUETools databases",
     bw::cli::RunVerify},
    {"repair", "mend a damaged rip from the CUETools database's recovery data", bw::cli::RunRepair},
    {"offset", "find the drive's read offset with a disc AccurateRip knows (offset find)",
     bw::cli::RunOffset},
    {"convert",
     "convert WAV, MP3 and WMA files to WAV, IMA ADPCM, MP3, Ogg Vorbis, WMA, FLAC or APE, "
     "or resample WAV files",
     bw::cli::RunConvert},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "Usage: brindlewave-cli [--quiet] COMMAND [OPTION]... [ARGUMENT]...\n"
                      "Rips audio CDs and converts audio files without a display.\n\n"
                      "Commands:\n");
    for (const auto& command : Commands)
        std::fprintf(out, "  %-12s %s\n", command.Name, command.Summary);
    std::fprintf(out, "\n'brindlewave-cli COMMAND --help' describes a command's options.\n"
                      "CD images named in BRINDLEWAVE_CD_IMAGES (paths separated by ':') act as "
                      "drives.\n");
    std::fprintf(out, "\nOptions:\n"
                      "  -q, --quiet   no progress lines, only failures (also after COMMAND)\n"
                      "      --version show the version\n"
                      "  -h, --help    show this help\n");
    std::fprintf(out, "\n%s", bw::UsedLibrariesText().c_str());
}

bool IsQuietOption(const char* arg) {
    return std::strcmp(arg, "-q") == 0 || std::strcmp(arg, "--quiet") == 0;
}

// Takes --quiet out of the arguments wherever it stands before a "--", so that it works
// before the command and among the command's own options alike. (A value that reads
// "-q" is still given with "=", as in --artist=-q.)
void TakeQuietOption(int& argc, char** argv) {
    int kept = 1;
    bool literal = false;
    for (int i = 1; i < argc; ++i) {
        if (!literal && IsQuietOption(argv[i])) {
            bw::cli::SetQuiet(true);
            continue;
        }
        if (std::strcmp(argv[i], "--") == 0) literal = true;
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
}

} // namespace

int main(int argc, char** argv) {
    const bw::TCodecLibraries codecLibraries; // loaded for the program's whole life
    TakeQuietOption(argc, argv);
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
        std::printf("brindlewave-cli %s\n", BW_VERSION);
        return 0;
    }
    for (const auto& command : Commands) {
        if (!command.Run || name != command.Name) continue;
        // getopt names argv[0] in its messages: they read like every other failure.
        std::string program = "brindlewave-cli: " + name;
        argv[1] = program.data();
        bw::cli::StartReadingCommandLine();
        const int status = command.Run(argc - 1, argv + 1);
        // A worker let go of (a stopped rip still in its read) may use static objects: wait
        // for it a while, else end without destroying them under it.
        if (!bw::WaitForAllDetached(std::chrono::seconds(10))) {
            std::fflush(nullptr);
            std::_Exit(status);
        }
        return status;
    }
    std::fprintf(stderr, "brindlewave-cli: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
