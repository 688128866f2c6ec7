#include "CliProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bw::cli {

namespace {

double MonotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// "0:07", "12:40", "1:02:03".
std::string ClockText(double seconds) {
    long total = std::lround(seconds);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// Characters (code points) of UTF-8 text, which is how wide a terminal draws most titles.
std::size_t CharacterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The first `count` characters, never splitting one.
std::string FirstCharacters(const std::string& text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) return text.substr(0, i);
            ++seen;
        }
    }
    return text;
}

} // namespace

std::string FormatProgressLine(const std::string& label, const TProgressFigures& figures,
                               int width) {
    const int percent = std::clamp(figures.Percent, 0, 100);
    std::string speed = "--";
    std::string left = "--";
    // Below a tenth of a second, or before any progress, a rate would be noise.
    if (percent > 0 && figures.ElapsedSeconds >= 0.1) {
        if (figures.AudioSeconds > 0) {
            double rate = figures.AudioSeconds * percent / 100.0 / figures.ElapsedSeconds;
            char text[32];
            std::snprintf(text, sizeof text, rate < 10 ? "%.1fx" : "%.0fx", rate);
            speed = text;
        }
        left = ClockText(figures.ElapsedSeconds * (100 - percent) / percent);
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, " %3d%%  %7s  %7s left", percent, speed.c_str(), left.c_str());
    const std::size_t tailLength = std::strlen(tail);
    const std::size_t room =
        width > static_cast<int>(tailLength) ? static_cast<std::size_t>(width) - tailLength : 0;
    std::string shown = label;
    if (CharacterCount(shown) > room)
        shown = room > 3 ? FirstCharacters(shown, room - 3) + "..." : FirstCharacters(shown, room);
    return shown + tail;
}

namespace {
bool QuietFlag = false;
}

bool Quiet() {
    return QuietFlag;
}

void SetQuiet(bool quiet) {
    QuietFlag = quiet;
}

bool ProgressLinesWanted() {
    return !Quiet() && ::isatty(STDERR_FILENO) == 1;
}

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

TProgressLine::TProgressLine(std::string label, double audioSeconds)
    : TProgressLine(std::move(label), audioSeconds, ProgressLinesWanted(), stderr,
                    MonotonicSeconds) {}

TProgressLine::TProgressLine(std::string label, double audioSeconds, bool enabled, std::FILE* out,
                             TClock clock)
    : FLabel(std::move(label)), FAudioSeconds(audioSeconds), FEnabled(enabled), FOut(out),
      FClock(std::move(clock)), FStart(FClock()) {}

TProgressLine::~TProgressLine() {
    Finish();
}

void TProgressLine::Show(int percent) {
    if (!FEnabled) return;
    const double now = FClock();
    // A new percentage always shows; otherwise the speed and time left are refreshed
    // twice a second, which is as often as anyone reads them.
    if (percent == FLastPercent && now - FLastDraw < 0.5) return;
    FLastPercent = percent;
    FLastDraw = now;
    TProgressFigures figures{percent, FAudioSeconds, now - FStart};
    // One column short of the width: a line that fills the last column wraps on some
    // terminals, and "\r" would then redraw only its second half.
    std::string line = FormatProgressLine(FLabel, figures, TerminalWidth() - 1);
    std::fprintf(FOut, "\r\033[K%s", line.c_str());
    std::fflush(FOut);
    FDrawn = true;
}

void TProgressLine::Finish() {
    if (!FDrawn) return;
    std::fputs("\r\033[K", FOut);
    std::fflush(FOut);
    FDrawn = false;
}

} // namespace bw::cli
