// brindlewave-cli convert --to FORMAT [--output DIR] [--force] [--jobs N] [--recursive]
// FILE...: converts audio files with the conversion job the conversion window runs. Each
// input runs through its reader (chosen by its content; and, for resampling, the rate and
// format filters)
// into the writer of the chosen format; encoders take their options from the settings file.
// With --jobs N, N jobs share the file list, each with its own pipeline; all their events
// reach this thread through the main-thread hand-over queue, which the command pumps.
#include "CliCommands.h"
#include "CliProgress.h"

#include "CliInterrupt.h"
#include "CliMessages.h"
#include "ConvertSources.h"
#include "EncodeProgress.h"

#include "ApplyOptions.h"
#include "AuComponents.h"
#include "AuSampleRate.h"
#include "FLACOut.h"
#include "Global.h"
#include "MACOut.h"
#include "MP3Out.h"
#include "MainThread.h"
#include "VorbisOut.h"
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
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace bw::cli {

namespace {

const char* const Command = "convert";

// What the options give the writers and filters beyond the settings file.
struct TConvertOptions {
    TDiscTagFields Disc;
    int Rate = 44100;
    int Channels = 0; // 0: as the input
    int Bits = 0;     // 0: as the input
};

TConvertChain Chain(std::unique_ptr<TAuFileOut> out, const char* extension) {
    TConvertChain chain;
    chain.Output = std::move(out);
    chain.Extension = extension;
    return chain;
}

// One output format: its name on the command line, the extension of its files, and how to
// make and set up its writer.
struct TConvertTarget {
    const char* Name;
    const char* Description;
    std::function<TConvertChain(const TConvertOptions&)> MakeOutput;
};

const std::vector<TConvertTarget>& Targets() {
    static const std::vector<TConvertTarget> targets = {
        {"wav", "PCM WAV, the input's own sample format",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtPCM);
             out->SetBlockSize(512);
             return Chain(std::move(out), ".wav");
         }},
        {"ima-adpcm", "IMA ADPCM WAV (16-bit input), blocks of 512 bytes",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtDVIADPCM);
             out->SetBlockSize(512);
             return Chain(std::move(out), ".wav");
         }},
        {"mp3", "MP3, with the settings' MP3 options",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToMp3, options.Disc);
             chain.Reader.reset(); // chosen by the input's extension
             return chain;
         }},
        {"ogg", "Ogg Vorbis, with the settings' Ogg options and the disc fields",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToOgg, options.Disc);
             chain.Reader.reset();
             return chain;
         }},
        {"flac", "FLAC, with the settings' level and the disc fields",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToFlac, options.Disc);
             chain.Reader.reset();
             return chain;
         }},
        {"wma", "Windows Media Audio, with the settings' codec and format",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToWma, options.Disc);
             chain.Reader.reset();
             return chain;
         }},
        {"ape", "Monkey's Audio, with the settings' level",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToApe, options.Disc);
             chain.Reader.reset();
             return chain;
         }},
        {"opus", "Ogg Opus, with the settings' Opus options and the disc fields",
         [](const TConvertOptions& options) {
             TConvertChain chain = MakeConverterChain(ctWavToOpus, options.Disc);
             chain.Reader.reset();
             return chain;
         }},
        {"resample", "PCM WAV at --rate, --channels, --bits (best sinc converter)",
         [](const TConvertOptions& options) {
             auto resampler = std::make_unique<TResampler>();
             resampler->SetOutSampleRate(static_cast<std::uint32_t>(options.Rate));
             auto converter = std::make_unique<TAudioConverter>();
             converter->SetOutChannels(options.Channels);
             converter->SetOutBitsPerSample(options.Bits);
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtPCM);
             out->SetBlockSize(512);
             TConvertChain chain = Chain(std::move(out), ".wav");
             chain.Filters.push_back(std::move(resampler));
             chain.Filters.push_back(std::move(converter));
             return chain;
         }},
    };
    return targets;
}

const TConvertTarget* FindTarget(const std::string& name) {
    for (const auto& target : Targets())
        if (name == target.Name) return &target;
    return nullptr;
}

void PrintHelp() {
    std::cout << "Usage: brindlewave-cli convert --to FORMAT [--output DIR] [--force] [--jobs N]\n"
                 "                               [--recursive] FILE|FOLDER...\n"
                 "Converts each FILE (WAV, MP3, WMA, FLAC, Ogg Vorbis, Opus, APE, WavPack,\n"
                 "M4A with AAC or ALAC, AIFF: the format is taken from the file's content) into\n"
                 "FORMAT, writing it into the output folder under the input's name with the\n"
                 "format's extension. Tags and the front cover go along. Up to 8 channels\n"
                 "are kept by flac, ogg, opus and wav; mp3, wma and ape get a stereo mix.\n\n"
                 "  -t, --to FORMAT   the output format:\n";
    for (const auto& target : Targets())
        std::printf("                      %-10s %s\n", target.Name, target.Description);
    std::cout << "  -o, --output DIR  the output folder (default: the settings' output folder)\n"
                 "  -f, --force       replace output files that exist already\n"
                 "  -j, --jobs N      convert N files at once (default: one per processor)\n"
                 "  -r, --recursive   convert every audio file under each FOLDER into the same\n"
                 "                    folders under the output folder; other files are\n"
                 "                    skipped with a line each\n"
                 "      --artist TEXT, --album TEXT, --year TEXT, --genre NAME, --comment TEXT\n"
                 "                    the disc fields, written as comments by ogg, flac and opus\n"
                 "      --rate HZ     resample: the output rate (2001..999999, default 44100)\n"
                 "      --channels N  resample: 1 or 2 (default: as the input)\n"
                 "      --bits N      resample: 8, 16 or 24 (default: as the input)\n"
                 "  -h, --help        show this help\n\n"
                 "Bitrates, quality and levels come from the settings file (see the settings\n"
                 "command).\n\n"
                 "On a terminal a progress line shows the file in hand, or with several jobs\n"
                 "the run: files done of all, the files in hand, speed and time left.\n\n"
                 "A file that cannot be converted is reported and the others go on; the exit\n"
                 "status is 0 only when every file was converted and every folder could be\n"
                 "read (files skipped as not audio do not count). Ctrl+C stops the run and\n"
                 "removes the partly written files (exit status 130).\n";
}

// Seconds of audio in a file, for the speed its progress line shows; 0 when its reader
// cannot tell.
double AudioSeconds(const fs::path& input) {
    try {
        auto reader = MakeReaderFor(input);
        if (!reader->Valid() || reader->SampleRate() <= 0) return 0;
        return static_cast<double>(reader->ExpectedTotalSamples()) / reader->SampleRate();
    } catch (const std::exception&) {
        return 0;
    }
}

// What the views of a run's jobs share.
struct TConvertRun {
    bool Force = false;
    int Refused = 0;        // outputs that existed and were kept because --force was not given
    int SkippedInError = 0; // folders and files passed over because they could not be read
    std::optional<TRunProgressLine> RunLine; // several jobs on a terminal: one line for all

    // A folder or file of a folder tree that is not converted, on a line of its own. Not
    // being audio (or being a link or a pipe) is no error; a folder that cannot be read is.
    void Skipped(const fs::path& file, const std::string& why, bool error) {
        if (error) ++SkippedInError;
        if (RunLine) RunLine->Erase();
        if (!Quiet()) std::cerr << file.string() << ": skipped, " << why << "\n";
    }
};

// Shows one job's conversions: with one job a progress line per file on a terminal, with
// several the run's line; every converted file and every failure on a line of its own,
// naming its input.
class TCliConvertView : public TEncodeJobView {
public:
    TCliConvertView(TConvertRun& run, int job, bool fileLines)
        : FRun(run), FJob(job), FFileLines(fileLines && ProgressLinesWanted()) {}

    void ShowFiles(const fs::path& input, const fs::path&) override {
        FLine.reset();
        if (FFileLines) FLine.emplace(input.filename().string(), AudioSeconds(input));
        if (FRun.RunLine) FRun.RunLine->Start(FJob, input.filename().string(), AudioSeconds(input));
    }
    void SetCompleted(int) override {}
    void SetProgress(int percent) override {
        if (FLine) FLine->Show(percent);
        if (FRun.RunLine) FRun.RunLine->Progress(FJob, percent);
    }
    bool AskOverwrite(const fs::path& output) override {
        if (FRun.Force) return true;
        ClearLines();
        std::cerr << "brindlewave-cli: " << Command << ": " << output.string()
                  << " exists already (--force replaces it)\n";
        ++FRun.Refused;
        FileOver();
        return false;
    }
    void ShowError(const fs::path& input, const std::string& text) override {
        ClearLines();
        std::cerr << "brindlewave-cli: " << Command << ": " << input.string() << ": " << text
                  << "\n";
        FileOver();
    }
    void FileDone(const fs::path& input, const fs::path& output, const std::string& note) override {
        ClearLines();
        if (!Quiet())
            std::cerr << input.string() << " -> " << output.string()
                      << (note.empty() ? "" : " (" + note + ")") << "\n";
        FileOver();
    }
    void FileSkipped(const fs::path& input, const std::string& why) override {
        FLine.reset();
        FRun.Skipped(input, why, false);
        FileOver();
    }
    void JobFinished() override { FLine.reset(); }

private:
    void ClearLines() {
        FLine.reset();
        if (FRun.RunLine) FRun.RunLine->Erase();
    }
    void FileOver() {
        if (FRun.RunLine) FRun.RunLine->End(FJob);
    }

    TConvertRun& FRun;
    int FJob;
    bool FFileLines;
    std::optional<TProgressLine> FLine;
};

} // namespace

int RunConvert(int argc, char** argv) {
    static const option longOptions[] = {
        {"to", required_argument, nullptr, 't'},
        {"output", required_argument, nullptr, 'o'},
        {"force", no_argument, nullptr, 'f'},
        {"artist", required_argument, nullptr, 'A'},
        {"album", required_argument, nullptr, 'B'},
        {"year", required_argument, nullptr, 'Y'},
        {"genre", required_argument, nullptr, 'G'},
        {"comment", required_argument, nullptr, 'C'},
        {"rate", required_argument, nullptr, 'R'},
        {"channels", required_argument, nullptr, 'N'},
        {"bits", required_argument, nullptr, 'W'},
        {"jobs", required_argument, nullptr, 'j'},
        {"recursive", no_argument, nullptr, 'r'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    const TConvertTarget* target = nullptr;
    TConvertOptions options;
    bool force = false;
    bool recursive = false;
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string folder;
    bool folderGiven = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "t:o:fj:rh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 't':
            target = FindTarget(optarg);
            if (!target) {
                Fail(Command, std::string("unknown format '") + optarg + "' (see --help)");
                return 2;
            }
            break;
        case 'o':
            folder = optarg;
            folderGiven = true;
            break;
        case 'f':
            force = true;
            break;
        case 'r':
            recursive = true;
            break;
        case 'A':
            options.Disc.Artist = optarg;
            break;
        case 'B':
            options.Disc.Album = optarg;
            break;
        case 'Y':
            options.Disc.Year = optarg;
            break;
        case 'G':
            options.Disc.Genre = optarg;
            break;
        case 'C':
            options.Disc.Comment = optarg;
            break;
        case 'R':
            if (!ParseInt(optarg, options.Rate) || options.Rate <= 2000 ||
                options.Rate >= 1000000) {
                Fail(Command, std::string("--rate must be 2001..999999 Hz, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'N':
            if (!ParseInt(optarg, options.Channels) || options.Channels < 1 ||
                options.Channels > 2) {
                Fail(Command, std::string("--channels must be 1 or 2, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'W':
            if (!ParseInt(optarg, options.Bits) ||
                (options.Bits != 8 && options.Bits != 16 && options.Bits != 24)) {
                Fail(Command, std::string("--bits must be 8, 16 or 24, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'j':
            if (!ParseInt(optarg, jobs) || jobs < 1 || jobs > 64) {
                Fail(Command, std::string("--jobs must be 1..64, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'h':
            PrintHelp();
            return 0;
        default:
            return 2;
        }
    }
    if (!target) {
        Fail(Command, "--to FORMAT is required (see --help)");
        return 2;
    }
    if (optind >= argc) {
        Fail(Command, "no input files");
        return 2;
    }
    CommandLineRead();
    // The encoders take their options from the settings, whatever the output folder.
    LoadSaveOptions(true);
    if (!folderGiven)
        folder = Settings.OutputFolder.empty() ? DefaultOutputFolder() : Settings.OutputFolder;
    if (folder.empty()) folder = ".";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder))
        return Fail(Command, "cannot create the output folder " + folder);

    // Nothing on screen waits for the pause a window needs before a run's end is reported.
    TAuOutput::SetDoneDelay(std::chrono::milliseconds(0));
    auto files = std::make_shared<TConvertFiles>();
    files->SkipNonAudio = recursive;
    TConvertRun run;
    run.Force = force;
    // The walk's reasons for passing over what it could not read begin with "cannot".
    const TTreeReport report = [&run](const fs::path& path, const std::string& why) {
        run.Skipped(path, why, why.rfind("cannot", 0) == 0);
    };
    for (int i = optind; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (recursive && AddFolderTree(*files, arg, folder, report)) continue;
        files->Files.push_back(arg);
        if (recursive) files->Subfolders.resize(files->Files.size());
    }
    files->KeepOwnOutputs = true;
    if (files->Files.empty()) {
        if (!Quiet()) std::cerr << "brindlewave-cli: " << Command << ": no files to convert\n";
        return run.SkippedInError > 0 ? 1 : 0;
    }
    jobs = std::min<int>(jobs, static_cast<int>(files->Files.size()));
    if (jobs > 1 && ProgressLinesWanted())
        run.RunLine.emplace(static_cast<int>(files->Files.size()), jobs);
    std::vector<std::unique_ptr<TCliConvertView>> views;

    std::vector<std::unique_ptr<TPumpedQueue>> queues;
    std::vector<std::unique_ptr<TEncodeJob>> running;
    const TChainMaker maker = [target, options](const fs::path&) {
        return target->MakeOutput(options);
    };
    for (int j = 0; j < jobs; ++j) {
        queues.push_back(std::make_unique<TPumpedQueue>());
        views.push_back(std::make_unique<TCliConvertView>(run, j, jobs == 1));
        running.push_back(
            std::make_unique<TEncodeJob>(files, maker, folder, *queues.back(), *views.back()));
        running.back()->SetWriteThroughTemporary(true);
        running.back()->Begin();
    }
    auto allFinished = [&] {
        for (const auto& job : running)
            if (!job->Finished()) return false;
        return true;
    };
    TInterruptHandler interrupts;
    while (!allFinished()) {
        PumpMainThreadUntil(
            [&] {
                for (const auto& queue : queues)
                    if (queue->Pending()) return true;
                return Interrupted.load();
            },
            std::chrono::seconds(1));
        if (Interrupted) {
            // Stopping a job removes the part file it was writing; finished files stay.
            for (const auto& job : running)
                job->Stop();
            if (run.RunLine) run.RunLine->Erase();
            Fail(Command, "interrupted");
            return InterruptedExit;
        }
        for (int j = 0; j < jobs; ++j)
            for (TPostedMessage& message : queues[j]->Take())
                running[j]->HandleMessage(message);
    }
    int failed = 0;
    for (const auto& job : running)
        failed += job->Failures();
    failed += run.Refused;
    run.RunLine.reset();
    const int count = static_cast<int>(files->Files.size());
    if (failed > 0 && count > 1)
        std::cerr << "brindlewave-cli: " << Command << ": " << failed << " of " << count
                  << " files failed\n";
    if (run.SkippedInError > 0)
        std::cerr << "brindlewave-cli: " << Command << ": " << run.SkippedInError
                  << (run.SkippedInError == 1 ? " folder" : " folders") << " could not be read\n";
    return failed == 0 && run.SkippedInError == 0 ? 0 : 1;
}

} // namespace bw::cli
