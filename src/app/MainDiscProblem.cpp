// Why the window's drive lists no disc, in the drive's own words: a broken image's cause
// (a missing data file, a line that cannot be read) shows in the status bar as the command
// line prints it, not only as an empty list.
#include "MainSupport.h"

namespace bw::mainwindow {

QString StatusWithDiscProblem(const QString& status, const std::string& why) {
    return why.empty() ? status : status + QStringLiteral(" ") + Q(why);
}

} // namespace bw::mainwindow
