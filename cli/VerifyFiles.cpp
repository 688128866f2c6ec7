#include "VerifyFiles.h"

#include "CliCommands.h"
#include "CliProgress.h"
#include "CueSheet.h"
#include "FileTags.h"
#include "Global.h"
#include "RipReport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bw::cli {

namespace {

std::string TrackText(int track) {
    return "track " + std::to_string(track);
}

// Both go to the same terminal, file or pipe: a line on each would say the same thing twice.
bool StdoutIsStderr() {
    struct stat out {
    }, err{};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

int TagTrackOf(const fs::path& file) {
    try {
        return ReadFileTags(file).TrackNumber;
    } catch (const std::exception&) {
        return 0; // no tag that can be read: paired by order
    }
}

std::string ReadCueSheet(const fs::path& sheet) {
    // A cue sheet is a few kilobytes; anything far larger is no cue sheet.
    constexpr std::uintmax_t Largest = 1 << 20;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(sheet, ec);
    std::ifstream in(sheet, std::ios::binary);
    if (ec || !in) throw std::runtime_error("cannot read the cue sheet " + sheet.string());
    if (size > Largest) throw std::runtime_error(sheet.string() + " is too large for a cue sheet");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool SamePath(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

} // namespace

TVerifyPairing PairVerifyFiles(const std::vector<TVerifyInput>& files, const TRipDisc& disc,
                               int firstTrack) {
    TVerifyPairing pairing;
    std::map<int, std::string> taken; // track -> the file that pairs with it
    std::vector<const TVerifyInput*> untagged;
    for (const TVerifyInput& file : files) {
        if (file.CueTrack < 0) {
            pairing.Unpaired.push_back(file.Given +
                                       " holds several tracks of the cue sheet, not one");
            continue;
        }
        const int track = file.CueTrack > 0 ? file.CueTrack : file.TagTrack;
        const char* by = file.CueTrack > 0 ? "the cue sheet" : "its TRACKNUMBER tag";
        if (track == 0) {
            untagged.push_back(&file);
        } else if (!disc.IsAudioTrack(track)) {
            pairing.Unpaired.push_back(file.Given + " is " + TrackText(track) + " by " + by +
                                       ", which is no audio track of the disc");
        } else if (auto other = taken.find(track); other != taken.end()) {
            pairing.Unpaired.push_back(file.Given + " is " + TrackText(track) + " by " + by +
                                       ", as is " + other->second);
        } else {
            taken[track] = file.Given;
        }
    }
    int track = firstTrack;
    if (track == 0)
        for (track = disc.FirstTrack; disc.HasTrack(track) && !disc.IsAudioTrack(track); ++track) {
        }
    for (const TVerifyInput* file : untagged) {
        while (disc.HasTrack(track) && (!disc.IsAudioTrack(track) || taken.count(track)))
            ++track;
        if (!disc.HasTrack(track)) {
            pairing.Unpaired.push_back("more files than audio tracks: " + file->Given +
                                       " would be " + TrackText(track));
            continue;
        }
        taken[track++] = file->Given;
    }
    for (const auto& [number, given] : taken)
        pairing.Pairs.push_back({number, given});
    if (!taken.empty())
        for (int t = taken.begin()->first; t < taken.rbegin()->first; ++t)
            if (disc.IsAudioTrack(t) && !taken.count(t)) pairing.Missing.push_back(t);
    return pairing;
}

std::vector<TVerifyInput> VerifyInputs(const std::vector<std::string>& given,
                                       const std::string& cueSheet) {
    std::vector<TVerifyInput> inputs;
    std::vector<TCueFileTrack> named;
    fs::path folder;
    if (!cueSheet.empty()) {
        named = CueSheetFileTracks(ReadCueSheet(cueSheet));
        folder = fs::path(cueSheet).parent_path();
    }
    if (given.empty())
        for (const TCueFileTrack& file : named)
            inputs.push_back({(folder / file.File).string(), file.Track, 0});
    for (const std::string& file : given) {
        TVerifyInput input{file, 0, 0};
        // By the path the sheet gives; else by the name alone (the sheet moved with its files).
        for (const TCueFileTrack& entry : named)
            if (SamePath(folder / entry.File, file)) input.CueTrack = entry.Track;
        if (input.CueTrack == 0)
            for (const TCueFileTrack& entry : named)
                if (fs::path(entry.File).filename() == fs::path(file).filename())
                    input.CueTrack = entry.Track;
        inputs.push_back(input);
    }
    for (TVerifyInput& input : inputs)
        if (input.CueTrack == 0) input.TagTrack = TagTrackOf(input.Given);
    return inputs;
}

int PrintVerifyVerdicts(const TRipReport& report) {
    const bool alsoOnStderr = Quiet() || !StdoutIsStderr();
    int failures = 0;
    for (const auto& track : report.Tracks()) {
        const std::string what = track.Ripped ? AccurateRipResultText(track.Result) : track.Error;
        if (!Quiet())
            std::printf("%s %s: %s\n", TwoDigits(track.Track).c_str(), track.File.c_str(),
                        what.c_str());
        if (track.Result.Status != TAccurateRipStatus::NotAccurate &&
            track.Result.Status != TAccurateRipStatus::NotChecked)
            continue;
        ++failures;
        if (alsoOnStderr) {
            std::fflush(stdout);
            Fail("verify", TrackText(track.Track) + " (" + track.File.string() + "): " + what);
        }
    }
    if (!Quiet()) std::printf("%s\n", report.StatusText().c_str());
    std::fflush(stdout);
    return failures;
}

} // namespace bw::cli
