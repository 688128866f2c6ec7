#include "RipSummary.h"

#include "Global.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace bw {

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

const TRipTrackReport* ReportOf(const TRipReport* report, int track) {
    if (!report) return nullptr;
    for (const TRipTrackReport& t : report->Tracks())
        if (t.Track == track) return &t;
    return nullptr;
}

// The file as the user finds it under the output folder.
std::string ShownFile(const fs::path& file, const fs::path& folder) {
    std::error_code ec;
    const fs::path relative = file.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." ? relative.string() : file.string();
}

} // namespace

std::string ReadResultText(const TTrackReadStats& stats) {
    if (!stats.Secure) return "plain";
    std::string text = "secure";
    if (stats.RereadPieces > 0) text += ", " + std::to_string(stats.RereadPieces) + " re-read";
    if (!stats.Suspicious.empty())
        text += ", " + std::to_string(stats.Suspicious.size()) +
                " suspicious positions: " + SuspiciousText(stats.Suspicious);
    return text;
}

TJobSummary RipSummaryOf(const TRipSummaryInput& input) {
    TJobSummary summary;
    summary.Title = input.End == TJobEnd::Finished  ? "Rip finished"
                    : input.End == TJobEnd::Stopped ? "Rip stopped"
                                                    : "Rip failed";
    summary.Folder = input.Folder;
    summary.Log = input.Log;
    const TRipReport* report = input.Report;
    if (report && (!report->Disc().Artist.empty() || !report->Disc().Album.empty()))
        summary.Facts.emplace_back("Disc:", report->Disc().Artist + " / " + report->Disc().Album);
    if (report && !report->Disc().DriveName.empty())
        summary.Facts.emplace_back("Drive:", report->Disc().DriveName);
    summary.Facts.emplace_back("Output folder:", input.Folder.string());
    summary.Columns = {"Track", "File", "Read", "AccurateRip", "CUETools DB", "Peak", "CRC"};

    std::size_t ripped = 0, failed = 0, notReached = 0, accurate = 0, notAccurate = 0, unknown = 0,
                suspicious = 0;
    const std::vector<TRipEntry>& entries = *input.Entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TRipEntry& entry = entries[i];
        const TRipTrackOutcome outcome =
            i < input.Outcomes->size() ? (*input.Outcomes)[i] : TRipTrackOutcome{};
        const TRipTrackReport* track = ReportOf(report, entry.TrackNumber);
        TJobSummary::TRow row;
        row.Cells.push_back(TwoDigits(entry.TrackNumber) + " " + entry.Title);
        if (!outcome.Dealt) {
            ++notReached;
            row.Cells.push_back(input.End == TJobEnd::Stopped ? "not ripped: stopped"
                                                              : "not ripped");
            row.Problem = true;
        } else if (!outcome.Error.empty()) {
            ++failed;
            row.Cells.push_back("failed: " + outcome.Error);
            row.Problem = true;
        } else {
            ++ripped;
            row.Cells.push_back(ShownFile(outcome.File, input.Folder));
        }
        const bool read = track && track->HasReadStats;
        row.Cells.push_back(read ? ReadResultText(track->Read) : "-");
        if (read && !track->Read.Suspicious.empty()) {
            ++suspicious;
            row.Problem = true;
        }
        std::string verdict = "-";
        if (track && track->Ripped && input.AccurateRipChecked) {
            // The checksums behind a bad verdict are in the log; the cell stays readable.
            verdict = AccurateRipResultText(track->Result);
            verdict = verdict.substr(0, verdict.find(" (ours:"));
            switch (track->Result.Status) {
            case TAccurateRipStatus::Accurate:
                ++accurate;
                break;
            case TAccurateRipStatus::NotAccurate:
                ++notAccurate;
                row.Problem = true;
                break;
            default:
                ++unknown;
            }
        } else if (track && track->Ripped) {
            verdict = "not checked";
        }
        row.Cells.push_back(verdict);
        // The CUETools database's verdict goes here once the rip asks it.
        row.Cells.push_back(outcome.Dealt && outcome.Error.empty() ? "not checked" : "-");
        char peak[32] = "-";
        if (read) std::snprintf(peak, sizeof peak, "%.1f %%", track->Read.PeakPercent);
        row.Cells.push_back(peak);
        std::string crc = "-";
        if (track && track->Sums.HasCrc32)
            crc = Hex(track->Sums.Crc32);
        else if (read && track->Read.Secure)
            crc = Hex(track->Read.CopyCrc);
        row.Cells.push_back(crc);
        summary.Rows.push_back(std::move(row));
    }

    std::string verdict = CountOf(ripped, "track") + " ripped";
    if (failed > 0) verdict += ", " + std::to_string(failed) + " failed";
    if (notReached > 0)
        verdict += ", " + std::to_string(notReached) +
                   (input.End == TJobEnd::Stopped ? " not ripped (stopped)" : " not ripped");
    if (notAccurate > 0)
        verdict += ", " + CountOf(notAccurate, "track") + " not accurate";
    else if (ripped > 0 && accurate == ripped)
        verdict += ", all accurate";
    else if (accurate > 0)
        verdict += ", " + std::to_string(accurate) + " accurate";
    if (unknown > 0 && notAccurate == 0 && accurate > 0)
        verdict += ", " + std::to_string(unknown) + " not in the database or not checked";
    else if (unknown > 0 && accurate == 0 && notAccurate == 0)
        verdict += ", not verified by AccurateRip";
    if (suspicious > 0) verdict += ", " + std::to_string(suspicious) + " with suspicious positions";
    if (!input.Failure.empty()) verdict += ": " + input.Failure;
    summary.Verdict = verdict;
    return summary;
}

} // namespace bw
