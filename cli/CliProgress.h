// The progress line of a long command: one line per file on standard error, redrawn in
// place on a terminal, with the percentage, the speed in times real time and the time
// left. Nothing of it is written when standard error is not a terminal (a log or a pipe
// wants the results, not hundreds of redraws) or when --quiet is given.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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

// What the line of a run converting several files at once shows.
struct TRunFigures {
    int Done = 0;                     // files finished, whatever their outcome
    int Total = 0;                    // files of the run
    std::vector<std::string> Current; // the files in hand
    double Fraction = 0;              // of the run's work done, 0..1
    double AudioSeconds = 0;          // audio converted so far
    double ElapsedSeconds = 0;        // wall time since the run started
};

// "3 of 12 files  27%  a.flac, b.flac   31.5x     1:03 left", at most `width` characters
// (the names are shortened to fit).
std::string FormatRunLine(const TRunFigures& figures, int width);

// One line for a run whose jobs convert files side by side: each job reports the file it
// takes up, its percentage and its end; the line adds them up.
class TRunProgressLine {
public:
    using TClock = std::function<double()>;

    // Enabled when standard error is a terminal and the command is not quiet.
    TRunProgressLine(int files, int jobs);
    TRunProgressLine(int files, int jobs, bool enabled, std::FILE* out, TClock clock);
    ~TRunProgressLine();
    TRunProgressLine(const TRunProgressLine&) = delete;
    TRunProgressLine& operator=(const TRunProgressLine&) = delete;

    void Start(int job, std::string name, double audioSeconds);
    void Progress(int job, int percent);
    // The job's file is over (converted, failed, skipped or kept), also one never started.
    void End(int job);
    // Erases the line so that another line can be written; the next report draws it again.
    void Erase();

private:
    struct TSlot {
        std::string Name;
        double Seconds = 0;
        int Percent = 0;
        bool Busy = false;
    };
    void Draw(bool now);

    std::vector<TSlot> FSlots;
    int FTotal;
    int FDone = 0;
    double FConverted = 0; // seconds of audio of the files over
    bool FEnabled;
    std::FILE* FOut;
    TClock FClock;
    double FStart;
    double FLastDraw = -1;
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
