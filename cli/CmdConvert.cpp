// brindlewave-cli convert --to FORMAT [--output DIR] [--force] FILE...: converts audio
// files through the same pipeline components the conversion window uses. Each input runs
// through its reader into the writer of the chosen format; the worker's events reach this
// thread through the main-thread hand-over queue, which the command pumps.
#include "CliCommands.h"

#include "AuComponents.h"
#include "Global.h"
#include "MainThread.h"
#include "WaveIn.h"
#include "WaveOut.h"

#include <getopt.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace bw::cli {

namespace {

const char* const Command = "convert";

// One output format: its name on the command line, the extension of its files, and how to
// make and set up its writer.
struct TConvertTarget {
    const char* Name;
    const char* Extension;
    const char* Description;
    std::function<std::unique_ptr<TAuFileOut>()> MakeOutput;
};

const std::vector<TConvertTarget>& Targets() {
    static const std::vector<TConvertTarget> targets = {
        {"wav", ".wav", "PCM WAV, the input's own sample format",
         [] {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtPCM);
             return std::unique_ptr<TAuFileOut>(std::move(out));
         }},
        {"ima-adpcm", ".wav", "IMA ADPCM WAV (16-bit input), blocks of 512 bytes",
         [] {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtDVIADPCM);
             out->SetBlockSize(512);
             return std::unique_ptr<TAuFileOut>(std::move(out));
         }},
    };
    return targets;
}

const TConvertTarget* FindTarget(const std::string& name) {
    for (const auto& target : Targets())
        if (name == target.Name) return &target;
    return nullptr;
}

// The reader for an input file. Every input is a WAV file for now.
std::unique_ptr<TAuFileIn> MakeInput(const fs::path& path) {
    auto in = std::make_unique<TWaveIn>();
    in->SetFileName(path);
    return in;
}

void PrintHelp() {
    std::cout << "Usage: brindlewave-cli convert --to FORMAT [--output DIR] [--force] FILE...\n"
                 "Converts each WAV FILE into FORMAT, writing it into the output folder under\n"
                 "the input's name with the format's extension.\n\n"
                 "  -t, --to FORMAT   the output format:\n";
    for (const auto& target : Targets())
        std::printf("                      %-10s %s\n", target.Name, target.Description);
    std::cout << "  -o, --output DIR  the output folder (default: the settings' output folder)\n"
                 "  -f, --force       replace output files that exist already\n"
                 "  -h, --help        show this help\n\n"
                 "A file that cannot be converted is reported and the others go on; the exit\n"
                 "status is 0 only when every file was converted.\n";
}

// A one-line progress bar on stderr, redrawn only when the percentage changes and only on
// a terminal.
class TProgressBar {
public:
    explicit TProgressBar(std::string label) : FLabel(std::move(label)), FShow(isatty(2)) {}
    ~TProgressBar() { Finish(); }

    void Show(int percent) {
        if (!FShow || percent == FLast) return;
        FLast = percent;
        constexpr int Width = 30;
        int filled = percent < 0 ? 0 : std::min(percent, 100) * Width / 100;
        std::string bar(filled, '#');
        bar.resize(Width, '.');
        std::string amount = percent < 0 ? "  ?%" : std::to_string(percent) + "%";
        std::fprintf(stderr, "\r[%s] %4s %s", bar.c_str(), amount.c_str(), FLabel.c_str());
        std::fflush(stderr);
        FDrawn = true;
    }
    void Finish() {
        if (FDrawn) std::fputc('\n', stderr);
        FDrawn = false;
    }

private:
    std::string FLabel;
    bool FShow;
    bool FDrawn = false;
    int FLast = -2;
};

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Runs one output to its end, pumping the hand-over queue; returns its failure, if any.
std::string RunToEnd(TAuOutput& output, TProgressBar& bar) {
    bool done = false;
    output.SetOnDone([&](TAuOutput*) { done = true; });
    output.SetOnProgress([&](TAuOutput* sender) { bar.Show(sender->Progress()); });
    bar.Show(0);
    output.Start();
    while (!PumpMainThreadUntil([&] { return done; }, std::chrono::hours(24))) {
    }
    if (output.ExceptionMessage().empty()) bar.Show(100);
    bar.Finish();
    return output.ExceptionMessage();
}

struct TConvertJob {
    const TConvertTarget* Target = nullptr;
    fs::path OutputFolder;
    bool Force = false;
    std::set<fs::path> Written; // outputs of this run, which a later input must not replace
};

// Converts one file; reports a failure on stderr and returns false.
bool ConvertFile(TConvertJob& job, const fs::path& input) {
    auto report = [&](const std::string& message) {
        std::cerr << "brindlewave-cli: " << Command << ": " << input.string() << ": " << message
                  << "\n";
        return false;
    };
    fs::path output = job.OutputFolder / input.filename();
    output.replace_extension(job.Target->Extension);
    if (input.filename().empty() || fs::is_directory(input)) return report("not a file");
    if (SameFile(input, output)) return report("the output would replace the input itself");
    if (job.Written.count(fs::weakly_canonical(output)))
        return report("another input of this run already wrote " + output.string());
    std::error_code ec;
    if (fs::exists(output, ec) && !job.Force)
        return report(output.string() + " exists already (--force replaces it)");

    auto reader = MakeInput(input);
    try {
        if (!reader->Valid()) return report("not a WAV file that can be read");
    } catch (const std::exception& e) {
        return report(e.what());
    }
    // Written beside the target and renamed into place at the end, so that a failure never
    // leaves half a file, nor destroys the file --force was to replace.
    fs::path partial = output;
    partial += ".part";
    auto writer = job.Target->MakeOutput();
    writer->SetInput(reader.get());
    writer->SetFileName(partial);
    TProgressBar bar(input.filename().string());
    std::string failure = RunToEnd(*writer, bar);
    writer.reset();
    reader.reset();
    if (failure.empty()) {
        fs::rename(partial, output, ec);
        if (ec) failure = "cannot rename " + partial.string() + ": " + ec.message();
    }
    if (!failure.empty()) {
        fs::remove(partial, ec);
        return report(failure);
    }
    job.Written.insert(fs::weakly_canonical(output));
    return true;
}

} // namespace

int RunConvert(int argc, char** argv) {
    static const option longOptions[] = {
        {"to", required_argument, nullptr, 't'},
        {"output", required_argument, nullptr, 'o'},
        {"force", no_argument, nullptr, 'f'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    TConvertJob job;
    std::string folder;
    bool folderGiven = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "t:o:fh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 't':
            job.Target = FindTarget(optarg);
            if (!job.Target) {
                Fail(Command, std::string("unknown format '") + optarg + "' (see --help)");
                return 2;
            }
            break;
        case 'o':
            folder = optarg;
            folderGiven = true;
            break;
        case 'f':
            job.Force = true;
            break;
        case 'h':
            PrintHelp();
            return 0;
        default:
            return 2;
        }
    }
    if (!job.Target) {
        Fail(Command, "--to FORMAT is required (see --help)");
        return 2;
    }
    if (optind >= argc) {
        Fail(Command, "no input files");
        return 2;
    }
    if (!folderGiven) {
        LoadSaveOptions(true);
        folder = Settings.OutputFolder.empty() ? DefaultOutputFolder() : Settings.OutputFolder;
    }
    if (folder.empty()) folder = ".";
    job.OutputFolder = folder;
    std::error_code ec;
    fs::create_directories(job.OutputFolder, ec);
    if (!fs::is_directory(job.OutputFolder))
        return Fail(Command, "cannot create the output folder " + folder);

    // Nothing on screen waits for the pause a window needs before a run's end is reported.
    TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
    int failed = 0;
    for (int i = optind; i < argc; ++i)
        if (!ConvertFile(job, argv[i])) ++failed;
    if (failed > 0 && argc - optind > 1)
        std::cerr << "brindlewave-cli: " << Command << ": " << failed << " of " << argc - optind
                  << " files failed\n";
    return failed == 0 ? 0 : 1;
}

} // namespace bw::cli
