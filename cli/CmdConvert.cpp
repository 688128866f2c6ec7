// brindlewave-cli convert --to FORMAT [--output DIR] [--force] FILE...: converts audio
// files through the same pipeline components the conversion window uses. Each input runs
// through its reader (and, for resampling, the rate and format filters) into the writer of
// the chosen format; encoders take their options from the settings file, as the windows'
// jobs do. The worker's events reach this thread through the main-thread hand-over queue,
// which the command pumps.
#include "CliCommands.h"
#include "CliProgress.h"

#include "ApplyOptions.h"
#include "AuComponents.h"
#include "AuSampleRate.h"
#include "FLACOut.h"
#include "Global.h"
#include "MACOut.h"
#include "MP3Out.h"
#include "MainThread.h"
#include "VorbisOut.h"
#include "WMAOut.h"
#include "WMIn.h"
#include "WaveIn.h"
#include "WaveOut.h"
#include "id3.h"

#include <getopt.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
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

// The writer of one file and the filters between it and the reader, which it pulls through.
struct TConvertChain {
    std::unique_ptr<TAuFileOut> Output;
    std::vector<std::unique_ptr<TAuConverter>> Filters; // reader side first

    // Wires reader -> filters -> output.
    void Connect(TAuInput* reader) {
        for (auto& filter : Filters) {
            filter->SetInput(reader);
            reader = filter.get();
        }
        Output->SetInput(reader);
    }
    // The output first: it must stop pulling before the filters go.
    void Release() {
        Output.reset();
        while (!Filters.empty())
            Filters.pop_back();
    }
};

template <class T>
TConvertChain Chain(std::unique_ptr<T> out) {
    TConvertChain chain;
    chain.Output = std::move(out);
    return chain;
}

// One output format: its name on the command line, the extension of its files, and how to
// make and set up its writer.
struct TConvertTarget {
    const char* Name;
    const char* Extension;
    const char* Description;
    std::function<TConvertChain(const TConvertOptions&)> MakeOutput;
};

const std::vector<TConvertTarget>& Targets() {
    static const std::vector<TConvertTarget> targets = {
        {"wav", ".wav", "PCM WAV, the input's own sample format",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtPCM);
             return Chain(std::move(out));
         }},
        {"ima-adpcm", ".wav", "IMA ADPCM WAV (16-bit input), blocks of 512 bytes",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtDVIADPCM);
             out->SetBlockSize(512);
             return Chain(std::move(out));
         }},
        {"mp3", ".mp3", "MP3, with the settings' MP3 options",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TMP3Out>();
             ApplyMP3Options(*out);
             // The encoder reads 16-bit samples only; 8 and 24-bit files are widened or
             // narrowed on the way rather than read as noise.
             auto to16 = std::make_unique<TAudioConverter>();
             to16->SetOutBitsPerSample(16);
             TConvertChain chain = Chain(std::move(out));
             chain.Filters.push_back(std::move(to16));
             return chain;
         }},
        {"ogg", ".ogg", "Ogg Vorbis, with the settings' Ogg options and the disc fields",
         [](const TConvertOptions& options) {
             auto out = std::make_unique<TVorbisOut>();
             ApplyVorbisOptions(*out, options.Disc);
             return Chain(std::move(out));
         }},
        {"flac", ".flac", "FLAC, with the settings' level and the disc fields",
         [](const TConvertOptions& options) {
             auto out = std::make_unique<TFLACOut>();
             ApplyFLACOptions(*out, options.Disc);
             return Chain(std::move(out));
         }},
        {"wma", ".wma", "WMA, with the settings' WMA codec and format",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TWMAOut>();
             ApplyWMAOptions(*out);
             return Chain(std::move(out));
         }},
        {"ape", ".ape", "Monkey's Audio, with the settings' APE level",
         [](const TConvertOptions&) {
             auto out = std::make_unique<TMACOut>();
             ApplyAPEOptions(*out);
             return Chain(std::move(out));
         }},
        {"resample", ".wav", "PCM WAV at --rate, --channels, --bits (best sinc converter)",
         [](const TConvertOptions& options) {
             auto resampler = std::make_unique<TResampler>();
             resampler->SetOutSampleRate(static_cast<std::uint32_t>(options.Rate));
             auto converter = std::make_unique<TAudioConverter>();
             converter->SetOutChannels(options.Channels);
             converter->SetOutBitsPerSample(options.Bits);
             auto out = std::make_unique<TWaveOut>();
             out->SetWavType(wtPCM);
             TConvertChain chain = Chain(std::move(out));
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

// The reader for an input file, by its extension: MP3 and WMA files, else WAV.
std::unique_ptr<TAuFileIn> MakeInput(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::unique_ptr<TAuFileIn> in;
    if (extension == ".mp3")
        in = std::make_unique<TMP3In>();
    else if (extension == ".wma" || extension == ".asf")
        in = std::make_unique<TWMIn>();
    else
        in = std::make_unique<TWaveIn>();
    in->SetFileName(path);
    return in;
}

const char* KindOf(const TAuFileIn& in) {
    if (dynamic_cast<const TMP3In*>(&in)) return "an MP3";
    if (dynamic_cast<const TWMIn*>(&in)) return "a WMA";
    return "a WAV";
}

void PrintHelp() {
    std::cout << "Usage: brindlewave-cli convert --to FORMAT [--output DIR] [--force] FILE...\n"
                 "Converts each FILE (WAV; MP3 and WMA by their extension) into FORMAT, writing it "
                 "into the output folder under\n"
                 "the input's name with the format's extension.\n\n"
                 "  -t, --to FORMAT   the output format:\n";
    for (const auto& target : Targets())
        std::printf("                      %-10s %s\n", target.Name, target.Description);
    std::cout << "  -o, --output DIR  the output folder (default: the settings' output folder)\n"
                 "  -f, --force       replace output files that exist already\n"
                 "      --artist TEXT, --album TEXT, --year TEXT, --genre NAME, --comment TEXT\n"
                 "                    the disc fields, written as comments by ogg and flac\n"
                 "      --rate HZ     resample: the output rate (2001..999999, default 44100)\n"
                 "      --channels N  resample: 1 or 2 (default: as the input)\n"
                 "      --bits N      resample: 8, 16 or 24 (default: as the input)\n"
                 "  -h, --help        show this help\n\n"
                 "Bitrates, quality and levels come from the settings file (see the settings\n"
                 "command).\n\n"
                 "A file that cannot be converted is reported and the others go on; the exit\n"
                 "status is 0 only when every file was converted.\n";
}

// The path with links and "." and ".." resolved as far as it exists; as given when even
// that fails.
fs::path Resolved(const fs::path& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : resolved;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return Resolved(a) == Resolved(b);
}

// Runs one output to its end, pumping the hand-over queue; returns its failure, if any.
std::string RunToEnd(TAuOutput& output, TProgressLine& bar) {
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
    TConvertOptions Options;
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
    std::error_code ec;
    if (input.filename().empty() || fs::is_directory(input, ec)) return report("not a file");
    if (SameFile(input, output)) return report("the output would replace the input itself");
    if (job.Written.count(Resolved(output)))
        return report("another input of this run already wrote " + output.string());
    if (fs::exists(output, ec) && !job.Force)
        return report(output.string() + " exists already (--force replaces it)");

    auto reader = MakeInput(input);
    try {
        if (!reader->Valid())
            return report(std::string("not ") + KindOf(*reader) + " file that can be read");
    } catch (const std::exception& e) {
        return report(e.what());
    }
    // Written beside the target and renamed into place at the end, so that a failure never
    // leaves half a file, nor destroys the file --force was to replace.
    fs::path partial = output;
    partial += ".part";
    TConvertChain chain;
    try {
        chain = job.Target->MakeOutput(job.Options);
    } catch (const std::exception& e) {
        return report(e.what()); // a codec library that is missing
    }
    chain.Connect(reader.get());
    // The titles of a tagged input go along: as attributes into WMA files, and as an
    // ID3v1.1 block into MP3 files once they are complete.
    auto* tagged = dynamic_cast<TWMIn*>(reader.get());
    auto* wma = dynamic_cast<TWMAOut*>(chain.Output.get());
    if (tagged && wma) wma->SetId3v2Tags(tagged->Id3v2Tags());
    std::optional<Tid3tag> id3v1;
    if (tagged && dynamic_cast<TMP3Out*>(chain.Output.get()))
        id3v1 = Id3v1TagOf(tagged->Id3v2Tags());
    TAuFileOut& writer = *chain.Output;
    writer.SetFileName(partial);
    double seconds = 0;
    if (reader->SampleRate() > 0)
        seconds = static_cast<double>(reader->TotalSamples()) / reader->SampleRate();
    TProgressLine bar(input.filename().string(), seconds);
    std::string failure = RunToEnd(writer, bar);
    chain.Release();
    reader.reset();
    if (failure.empty() && id3v1 && id3v1->WriteToFile(partial) != Id3Written)
        failure = "cannot write the ID3 tag into " + partial.string();
    if (failure.empty()) {
        fs::rename(partial, output, ec);
        if (ec) failure = "cannot rename " + partial.string() + ": " + ec.message();
    }
    if (!failure.empty()) {
        fs::remove(partial, ec);
        return report(failure);
    }
    job.Written.insert(Resolved(output));
    if (!Quiet()) std::cerr << input.filename().string() << ": " << output.string() << "\n";
    return true;
}

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
        case 'A':
            job.Options.Disc.Artist = optarg;
            break;
        case 'B':
            job.Options.Disc.Album = optarg;
            break;
        case 'Y':
            job.Options.Disc.Year = optarg;
            break;
        case 'G':
            job.Options.Disc.Genre = optarg;
            break;
        case 'C':
            job.Options.Disc.Comment = optarg;
            break;
        case 'R':
            if (!ParseInt(optarg, job.Options.Rate) || job.Options.Rate <= 2000 ||
                job.Options.Rate >= 1000000) {
                Fail(Command, std::string("--rate must be 2001..999999 Hz, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'N':
            if (!ParseInt(optarg, job.Options.Channels) || job.Options.Channels < 1 ||
                job.Options.Channels > 2) {
                Fail(Command, std::string("--channels must be 1 or 2, not '") + optarg + "'");
                return 2;
            }
            break;
        case 'W':
            if (!ParseInt(optarg, job.Options.Bits) ||
                (job.Options.Bits != 8 && job.Options.Bits != 16 && job.Options.Bits != 24)) {
                Fail(Command, std::string("--bits must be 8, 16 or 24, not '") + optarg + "'");
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
    if (!job.Target) {
        Fail(Command, "--to FORMAT is required (see --help)");
        return 2;
    }
    if (optind >= argc) {
        Fail(Command, "no input files");
        return 2;
    }
    // The encoders take their options from the settings, whatever the output folder.
    LoadSaveOptions(true);
    if (!folderGiven)
        folder = Settings.OutputFolder.empty() ? DefaultOutputFolder() : Settings.OutputFolder;
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
