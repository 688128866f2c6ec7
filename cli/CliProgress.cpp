#include "CliProgress.h"

#include "OverallProgress.h"

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

// "label" + tail, the label cut to leave the tail `width` characters at most.
std::string Fitted(const std::string& label, const std::string& tail, int width) {
    const std::size_t room =
        width > static_cast<int>(tail.size()) ? static_cast<std::size_t>(width) - tail.size() : 0;
    std::string shown = label;
    if (CharacterCount(shown) > room)
        shown = room > 3 ? FirstCharacters(shown, room - 3) + "..." : FirstCharacters(shown, room);
    return shown + tail;
}

// Speed and time left: "--" below a tenth of a second or before any progress, where a rate
// would be noise.
std::string SpeedAndLeft(double fraction, double audioDone, double elapsed) {
    std::string speed = "--";
    std::string left = "--";
    if (fraction > 0 && elapsed >= 0.1) {
        if (audioDone > 0) {
            double rate = audioDone / elapsed;
            char text[32];
            std::snprintf(text, sizeof text, rate < 10 ? "%.1fx" : "%.0fx", rate);
            speed = text;
        }
        left = ClockText(elapsed * (1 - fraction) / fraction);
    }
    char text[96];
    std::snprintf(text, sizeof text, "%7s  %7s left", speed.c_str(), left.c_str());
    return text;
}

} // namespace

std::string FormatProgressLine(const std::string& label, const TProgressFigures& figures,
                               int width) {
    const int percent = std::clamp(figures.Percent, 0, 100);
    char head[16];
    std::snprintf(head, sizeof head, " %3d%%  ", percent);
    return Fitted(label,
                  head + SpeedAndLeft(percent / 100.0, figures.AudioSeconds * percent / 100.0,
                                      figures.ElapsedSeconds),
                  width);
}

std::string FormatRunLine(const TRunFigures& figures, int width) {
    const double fraction = std::clamp(figures.Fraction, 0.0, 1.0);
    char head[64];
    std::snprintf(head, sizeof head, "%d of %d files %3d%%  ", figures.Done, figures.Total,
                  static_cast<int>(fraction * 100));
    std::string names;
    for (const std::string& name : figures.Current)
        names += (names.empty() ? "" : ", ") + name;
    const std::string tail =
        "  " + SpeedAndLeft(fraction, figures.AudioSeconds, figures.ElapsedSeconds);
    return head + Fitted(names, tail, width - static_cast<int>(std::strlen(head)));
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

TRunProgressLine::TRunProgressLine(int files, int jobs)
    : TRunProgressLine(files, jobs, ProgressLinesWanted(), stderr, MonotonicSeconds) {}

TRunProgressLine::TRunProgressLine(int files, int jobs, bool enabled, std::FILE* out, TClock clock)
    : FSlots(static_cast<std::size_t>(std::max(jobs, 1))), FTotal(files), FEnabled(enabled),
      FOut(out), FClock(std::move(clock)), FStart(FClock()) {}

TRunProgressLine::~TRunProgressLine() {
    Erase();
}

void TRunProgressLine::Start(int job, std::string name, double audioSeconds) {
    TSlot& slot = FSlots.at(static_cast<std::size_t>(job));
    slot = {std::move(name), audioSeconds, 0, true};
    Draw(true);
}

void TRunProgressLine::Progress(int job, int percent) {
    TSlot& slot = FSlots.at(static_cast<std::size_t>(job));
    if (!slot.Busy || percent == slot.Percent) return;
    slot.Percent = std::clamp(percent, 0, 100);
    Draw(false);
}

void TRunProgressLine::End(int job) {
    TSlot& slot = FSlots.at(static_cast<std::size_t>(job));
    if (slot.Busy) FConverted += slot.Seconds;
    slot = {};
    ++FDone;
    Draw(true);
}

void TRunProgressLine::Draw(bool now) {
    if (!FEnabled || FDone >= FTotal) return;
    const double time = FClock();
    // Several files report: twice a second is as often as anyone reads the figures.
    if (!now && time - FLastDraw < 0.5) return;
    FLastDraw = time;
    TRunFigures figures;
    figures.Done = FDone;
    figures.Total = FTotal;
    figures.AudioSeconds = FConverted;
    double files = FDone;
    for (const TSlot& slot : FSlots) {
        if (!slot.Busy) continue;
        figures.Current.push_back(slot.Name);
        figures.AudioSeconds += slot.Seconds * slot.Percent / 100.0;
        files += slot.Percent / 100.0;
    }
    figures.Fraction = FTotal > 0 ? files / FTotal : 0;
    figures.ElapsedSeconds = time - FStart;
    const std::string line = FormatRunLine(figures, TerminalWidth() - 1);
    std::fprintf(FOut, "\r\033[K%s", line.c_str());
    std::fflush(FOut);
    FDrawn = true;
}

void TRunProgressLine::Erase() {
    if (!FDrawn) return;
    std::fputs("\r\033[K", FOut);
    std::fflush(FOut);
    FDrawn = false;
}

} // namespace bw::cli
