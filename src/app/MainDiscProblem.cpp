// Why the window's drive lists no disc, in the drive's own words: a broken image's cause
// (a missing data file, a line that cannot be read) shows in the status bar as the command
// line prints it, not only as an empty list.
#include "MainSupport.h"

#include "CdLibrary.h"

namespace bw::mainwindow {

QString StatusWithDiscProblem(const QString& status, int handle) {
    if (handle == 0) return status;
    std::string why = GetCDDiscError(handle);
    if (why.empty()) {
        // The reason is known once the drive has tried to read the disc's contents.
        TTOC toc{};
        if (ReadTOC(handle, &toc) == 1) return status;
        why = GetCDDiscError(handle);
    }
    return why.empty() ? status : status + QStringLiteral(" ") + Q(why);
}

} // namespace bw::mainwindow
