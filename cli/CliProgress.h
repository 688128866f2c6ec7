// The progress line of a long command: one line per file on standard error, redrawn in
// place on a terminal, with the percentage, the speed in times real time and the time
// left. Nothing of it is written when standard error is not a terminal (a log or a pipe
// wants the results, not hundreds of redraws) or when --quiet is given.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace bw::cli {

// What the line shows at one moment.
struct TProgressFigures {
    int Percent = 0;           // 0..100
    double AudioSeconds = 0;   // length of the whole file's audio; 0 when unknown
    double ElapsedSeconds = 0; // wall time since the file started
};

// The text of the line, at most `width` characters (the label is shortened to fit):
// "label  42%  31.5x  0:03 left". Speed and time left read "--" until they can be told.
std::string FormatProgressLine(const std::string& label, const TProgressFigures& figures,
                               int width);

class TProgressLine {
public:
    using TClock = std::function<double()>; // seconds, monotonic

    // Draws on `out` only when `enabled`; by default, when standard error is a terminal
    // and the command is not quiet.
    TProgressLine(std::string label, double audioSeconds);
    TProgressLine(std::string label, double audioSeconds, bool enabled, std::FILE* out,
                  TClock clock);
    ~TProgressLine();
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    // Redraws the line when the percentage changed or the figures are due a refresh.
    void Show(int percent);
    // Erases the line, so that what follows starts on a clean line.
    void Finish();

private:
    std::string FLabel;
    double FAudioSeconds;
    bool FEnabled;
    std::FILE* FOut;
    TClock FClock;
    double FStart;
    double FLastDraw = -1;
    int FLastPercent = -1;
    bool FDrawn = false;
};

// --quiet: no progress lines and no report of each file done; failures are still told.
bool Quiet();
void SetQuiet(bool quiet);

// True when standard error is a terminal and --quiet was not given.
bool ProgressLinesWanted();

// The terminal's width in columns (80 when it cannot be told).
int TerminalWidth();

} // namespace bw::cli
