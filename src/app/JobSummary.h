// What a finished job (a rip, a conversion) tells the user in its report window: a verdict
// line, a few facts (the disc, the output folder), one row per track or file, and where the
// files and the log are. Plain data: the jobs fill it, the report window shows it.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace bw {

struct TJobSummary {
    std::string Title;                                      // "Rip finished", "Conversion stopped"
    std::string Verdict;                                    // "12 tracks ripped, all accurate"
    std::vector<std::pair<std::string, std::string>> Facts; // label, value
    std::vector<std::string> Columns;
    struct TRow {
        std::vector<std::string> Cells; // as many as Columns
        bool Problem = false;           // failed, not accurate, suspicious
    };
    std::vector<TRow> Rows;
    std::filesystem::path Folder; // the output folder
    std::filesystem::path Log;    // the log written, when one was
};

// "1 track", "3 tracks".
inline std::string CountOf(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace bw
