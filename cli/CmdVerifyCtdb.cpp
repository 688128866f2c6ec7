// What verify and rip print for the CUETools database.
#include "CliCommands.h"
#include "Global.h"
#include "RipReport.h"

#include <cstdio>

namespace bw::cli {

void PrintCtdbResults(const TRipReport& report) {
    if (!report.Ctdb()) return;
    std::printf("%s\n", report.CtdbStatusText().c_str());
    const auto& disc = report.Ctdb()->Disc;
    if (disc.Status == TCtdbStatus::Unreachable && !disc.Reason.empty())
        std::printf("  %s\n", disc.Reason.c_str());
    for (const auto& t : report.Tracks()) {
        if (!t.Ripped || t.Ctdb.Status == TCtdbStatus::NotChecked) continue;
        std::string text = CtdbVerdictText(t.Ctdb);
        if (!t.Ctdb.Times.empty()) text += " @" + t.Ctdb.Times;
        std::printf("%s %s: CTDB %s\n", TwoDigits(t.Track).c_str(), t.File.filename().c_str(),
                    text.c_str());
    }
    if (report.CtdbRepairable())
        std::printf("The CUETools database can repair this rip: brindlewave-cli repair\n");
}

int CtdbFailures(const std::string& command, const TRipReport& report) {
    int failures = 0;
    for (const auto& t : report.Tracks())
        if (t.Ripped &&
            (t.Ctdb.Status == TCtdbStatus::Differs || t.Ctdb.Status == TCtdbStatus::NoMatch)) {
            Fail(command, "track " + std::to_string(t.Track) + " (" + t.File.string() + "): CTDB " +
                              CtdbVerdictText(t.Ctdb));
            ++failures;
        }
    return failures;
}

} // namespace bw::cli
