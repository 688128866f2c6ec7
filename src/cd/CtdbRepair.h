// Mends a rip's files from the CUETools database's recovery data: looks the disc up, reads
// the files once for the CTDB sums, downloads the recovery data, writes the mended files
// (same format, same tags) and the untouched ones as they are into another folder, with a
// log, and verifies what it wrote. All or nothing: any doubt and nothing is kept.
#pragma once

#include "CtdbVerify.h"
#include "DiscImage.h"
#include "HttpGet.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bw {

struct TCtdbRepairInput {
    TImageLayout Layout;            // the disc, and which file holds each of its sectors
    std::filesystem::path CueSheet; // copied beside the mended files when there is one
};

// From a cue sheet (its files as it names them). Throws EDiscImage.
TCtdbRepairInput CtdbRepairInputFromCue(const std::filesystem::path& cue);
// From WAV or FLAC files that are a disc's audio tracks in order, the first from sector 0.
// Throws EDiscImage.
TCtdbRepairInput CtdbRepairInputFromFiles(const std::vector<std::filesystem::path>& files);

struct TCtdbRepairOptions {
    std::string Server;
    THttpRequest Http;
    std::filesystem::path Output; // never the files' own folder
    const std::atomic<bool>* Cancel = nullptr;
    // How far (0..1) and what is being done.
    std::function<void(double, const std::string&)> Progress;
};

struct TCtdbRepairResult {
    bool Ok = false;              // mended and verified
    bool NothingToRepair = false; // the rip matches the database as it is
    std::string Why;              // when neither
    TCtdbDiscResult Verdicts;     // before the repair
    std::int64_t Corrected = 0;   // words
    std::vector<std::filesystem::path> Written;
    std::filesystem::path LogFile;
    std::string Log;
};

TCtdbRepairResult RepairWithCtdb(const TCtdbRepairInput& input, const TCtdbRepairOptions& options);

// The end-of-rip report's "Repair": mends the rip's files in place. The mended files are
// made and verified in a hidden folder beside them (options.Output is ignored); each damaged
// file is then kept as "<name>.damaged" while its mended one takes its name, and the
// ".damaged" files go only once every file is in place. On any failure the originals stay as
// they were. The log goes beside the files as "repair.log".
TCtdbRepairResult RepairInPlaceWithCtdb(const TCtdbRepairInput& input, TCtdbRepairOptions options);

} // namespace bw
