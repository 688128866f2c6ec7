// The whole job's progress under a job window's per-file bar: a bar by audio length, the speed
// in times real time and the time left, refreshed four times a second. While it runs, the
// job window's title and its owner's start with the percentage ("42% - Brindlewave"), so that
// the task bar shows it.
#pragma once

#include "OverallProgress.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace bw {

class TJobProgressPanel : public QWidget {
    Q_OBJECT
public:
    explicit TJobProgressPanel(QWidget* parent, TOverallProgress::TClock clock = {});
    ~TJobProgressPanel() override;

    QLabel* lOverall;
    QProgressBar* ProgressBarAll;
    QLabel* lTimeLeft; // "5.2x real time, 1:23 left"

    TOverallProgress& Progress() { return FProgress; }
    // Starts showing a job of items of these lengths (seconds), each passing `stages` stages.
    void Begin(std::vector<double> itemSeconds, int stages);
    // The job has ended: the bar stays as it is, the titles are given back.
    void Finish();
    // Takes a measurement and shows it (the timer calls it).
    void Refresh();

private:
    void SetTitles(const QString& prefix);

    TOverallProgress FProgress;
    QTimer FTimer;
    QPointer<QWidget> FOwner; // the main window, whose title shows the progress too
    QString FTitle, FOwnerTitle;
    bool FRunning = false;
};

} // namespace bw
