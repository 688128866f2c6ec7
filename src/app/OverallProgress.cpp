#include "OverallProgress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace bw {

namespace {

// The stretch of work the speed is measured over: long enough to even out a track's
// encoding that comes in one burst, short enough to follow a drive that slows down.
constexpr double Window = 20;
// Less than this of measured time tells no speed.
constexpr double MinimumSpan = 1;

double MonotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::string ClockText(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

TOverallProgress::TOverallProgress(TClock clock)
    : FClock(clock ? std::move(clock) : TClock(MonotonicSeconds)) {}

void TOverallProgress::Begin(std::vector<double> itemSeconds, int stages) {
    FSeconds = std::move(itemSeconds);
    for (double& seconds : FSeconds)
        seconds = std::max(0.0, seconds);
    FStageCount = std::max(1, stages);
    FStages.assign(FSeconds.size(), std::vector<double>(static_cast<std::size_t>(FStageCount), 0));
    FWorked = 0;
    FShown = 0;
    FPoints.clear();
    FSpeed.reset();
}

void TOverallProgress::SetItemSeconds(std::size_t item, double seconds) {
    if (item < FSeconds.size()) FSeconds[item] = std::max(0.0, seconds);
}

void TOverallProgress::SetStage(std::size_t item, int stage, double fraction) {
    if (item >= FStages.size() || stage < 0 || stage >= FStageCount) return;
    double& now = FStages[item][static_cast<std::size_t>(stage)];
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction <= now) return;
    FWorked += (fraction - now) * FSeconds[item] / FStageCount;
    now = fraction;
}

void TOverallProgress::ItemDone(std::size_t item) {
    if (item >= FStages.size()) return;
    // What was left of it took no time worth measuring: it does not count as work.
    std::fill(FStages[item].begin(), FStages[item].end(), 1.0);
}

double TOverallProgress::Done() const {
    double done = 0;
    for (std::size_t i = 0; i < FSeconds.size(); ++i) {
        double stages = 0;
        for (double fraction : FStages[i])
            stages += fraction;
        done += FSeconds[i] * stages / FStageCount;
    }
    return done;
}

double TOverallProgress::Total() const {
    double total = 0;
    for (double seconds : FSeconds)
        total += seconds;
    return total;
}

void TOverallProgress::Sample() {
    const double now = FClock();
    // Time before the first work (opening the drive, the first seek) is set-up, not speed:
    // only the last sample of it is kept as the start.
    if (FWorked == 0) FPoints.clear();
    FPoints.push_back({now, FWorked});
    while (FPoints.size() > 2 && now - FPoints[1].Time >= Window)
        FPoints.pop_front();
    const TPoint& first = FPoints.front();
    const double span = now - first.Time;
    if (span >= MinimumSpan && FWorked > first.Worked) FSpeed = (FWorked - first.Worked) / span;
    const double total = Total();
    if (total > 0) FShown = std::max(FShown, std::min(1.0, Done() / total));
}

double TOverallProgress::Fraction() const {
    const double total = Total();
    return total > 0 ? std::max(FShown, std::min(1.0, Done() / total)) : FShown;
}

std::optional<double> TOverallProgress::Speed() const {
    return FSpeed;
}

std::optional<double> TOverallProgress::SecondsLeft() const {
    if (!FSpeed || *FSpeed <= 0) return std::nullopt;
    return std::max(0.0, Total() - Done()) / *FSpeed;
}

std::string TOverallProgress::Text() const {
    const std::optional<double> left = SecondsLeft();
    if (!left) return {};
    char speed[32];
    std::snprintf(speed, sizeof speed, *FSpeed < 10 ? "%.1fx" : "%.0fx", *FSpeed);
    return std::string(speed) + " real time, " + ClockText(*left) + " left";
}

} // namespace bw
