// The progress of a whole job of several items (tracks, files) by their audio length: how
// much is done, the speed in times real time and the time left. Each item passes one or more
// stages (read, then encode) that count alike. The speed is measured over the last stretch of
// work only, so that it follows a drive that slows down, yet stays steady between updates.
// Plain C++: the windows show it, the tests drive it with a clock of their own.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bw {

class TOverallProgress {
public:
    using TClock = std::function<double()>; // seconds, monotonic

    explicit TOverallProgress(TClock clock = {});

    // Starts a job of items of these lengths in seconds, each passing `stages` stages.
    void Begin(std::vector<double> itemSeconds, int stages = 1);
    // A length that became known (a file opened) or changed; done work stays counted.
    void SetItemSeconds(std::size_t item, double seconds);
    // The item's stage is this far (0..1). Work never goes back.
    void SetStage(std::size_t item, int stage, double fraction);
    // The item has passed all its stages (or was skipped: it leaves nothing to do).
    void ItemDone(std::size_t item);

    // Takes a measurement for the speed; call it often (the windows do on a timer).
    void Sample();

    // 0..1 of the whole job's audio; never goes back.
    double Fraction() const;
    // Times real time, once enough work has been seen to tell.
    std::optional<double> Speed() const;
    std::optional<double> SecondsLeft() const;
    // "5.2x real time, 1:23 left", or "" before the speed can be told.
    std::string Text() const;

private:
    double Done() const;
    double Total() const;

    TClock FClock;
    std::vector<double> FSeconds;
    std::vector<std::vector<double>> FStages; // by item, then stage: 0..1
    int FStageCount = 1;
    double FWorked = 0; // audio seconds of work seen, the speed's measure
    double FShown = 0;  // the highest fraction shown so far
    struct TPoint {
        double Time, Worked;
    };
    std::deque<TPoint> FPoints; // the recent samples, oldest first
    std::optional<double> FSpeed;
};

// "0:07", "12:40", "1:02:03".
std::string ClockText(double seconds);

} // namespace bw
