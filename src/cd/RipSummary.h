// The report of a rip that has ended (finished, stopped or failed): every track of the job with
// its file or why it has none, how it was read, its verdicts, peak level and CRC, under a
// one-line verdict.
#pragma once

#include "JobSummary.h"
#include "RipProgress.h"
#include "RipReport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace bw {

// What became of one track of the job, as the job told it.
struct TRipTrackOutcome {
    bool Dealt = false;         // the job is through with it
    std::filesystem::path File; // what it produced (empty when nothing)
    std::string Error;          // why not
};

enum class TJobEnd { Finished, Stopped, Failed };

struct TRipSummaryInput {
    const std::vector<TRipEntry>* Entries = nullptr;
    const std::vector<TRipTrackOutcome>* Outcomes = nullptr; // by entry
    const TRipReport* Report = nullptr; // none when the disc's TOC could not be read
    bool AccurateRipChecked = false;
    TJobEnd End = TJobEnd::Finished;
    std::string Failure; // why the job could not go on, when it failed
    std::filesystem::path Folder, Log;
};

TJobSummary RipSummaryOf(const TRipSummaryInput& input);

// "plain", "secure, 3 re-read", "secure, 2 suspicious positions: 00:41.20-00:41.35".
std::string ReadResultText(const TTrackReadStats& stats);

} // namespace bw
