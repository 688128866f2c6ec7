// Which track of the disc each file given to `verify` is, and how the verdicts are printed.
// Files are named by title as often as by number, so the shell's alphabetical order says
// nothing: a file's TRACKNUMBER tag (or the cue sheet's FILE lines) pairs it with its track,
// and only files that carry neither take the remaining tracks in the order given.
#pragma once

#include <string>
#include <vector>

namespace bw {
class TRipReport;
struct TRipDisc;
} // namespace bw

namespace bw::cli {

// A file as the user gave it, with what tells its track (0 where nothing does).
struct TVerifyInput {
    std::string Given;
    int CueTrack = 0; // from the cue sheet's FILE lines; -1: it holds several tracks
    int TagTrack = 0; // its TRACKNUMBER tag
};

struct TVerifyPair {
    int Track = 0;
    std::string Given;
};

struct TVerifyPairing {
    std::vector<TVerifyPair> Pairs; // in track order
    // Files that pair with no track, each said in a line; verifying goes on without them.
    std::vector<std::string> Unpaired;
    // Audio tracks between the first and last paired one that no file pairs with.
    std::vector<int> Missing;
};

// Pairs files with the disc's audio tracks: by cue sheet, else by tag; untagged files take
// the audio tracks from `firstTrack` on (0: the disc's first audio track) that no other file
// took, in the order given.
TVerifyPairing PairVerifyFiles(const std::vector<TVerifyInput>& files, const TRipDisc& disc,
                               int firstTrack);

// The inputs for the files given: each one's TRACKNUMBER tag, and when `cueSheet` is not
// empty the track its FILE lines give it. With no files given, the files the cue sheet names.
// Throws std::runtime_error when the cue sheet cannot be read.
std::vector<TVerifyInput> VerifyInputs(const std::vector<std::string>& given,
                                       const std::string& cueSheet);

// Each track's verdict on stdout, naming the file as given, then the summary line. A verdict
// that fails the command is said on stderr only where stdout does not show it already (with
// --quiet, or when the two go to different places); returns the number of such verdicts.
int PrintVerifyVerdicts(const TRipReport& report);

} // namespace bw::cli
