#include "JobProgressPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include <cmath>

namespace bw {

TJobProgressPanel::TJobProgressPanel(QWidget* parent, TOverallProgress::TClock clock)
    : QWidget(parent), FProgress(std::move(clock)) {
    lOverall = new QLabel(QStringLiteral("Overall:"), this);
    ProgressBarAll = new QProgressBar(this);
    ProgressBarAll->setRange(0, 1000);
    ProgressBarAll->setFormat(QStringLiteral("%p%"));
    ProgressBarAll->setTextVisible(true);
    lTimeLeft = new QLabel(this);
    lTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lOverall, 0, 0);
    layout->addWidget(lTimeLeft, 0, 1);
    layout->addWidget(ProgressBarAll, 1, 0, 1, 2);
    FTimer.setInterval(250);
    connect(&FTimer, &QTimer::timeout, this, &TJobProgressPanel::Refresh);
}

TJobProgressPanel::~TJobProgressPanel() {
    Finish();
}

void TJobProgressPanel::Begin(std::vector<double> itemSeconds, int stages) {
    FProgress.Begin(std::move(itemSeconds), stages);
    if (!FRunning) {
        FTitle = window()->windowTitle();
        if (QWidget* owner = window()->parentWidget()) {
            FOwner = owner->window();
            FOwnerTitle = FOwner->windowTitle();
        }
    }
    FRunning = true;
    FTimer.start();
    Refresh();
}

void TJobProgressPanel::Finish() {
    FTimer.stop();
    if (!FRunning) return;
    FRunning = false;
    Refresh();
    window()->setWindowTitle(FTitle);
    if (FOwner) FOwner->setWindowTitle(FOwnerTitle);
}

void TJobProgressPanel::Refresh() {
    FProgress.Sample();
    const int permille = static_cast<int>(std::lround(FProgress.Fraction() * 1000));
    ProgressBarAll->setValue(permille);
    lTimeLeft->setText(QString::fromStdString(FProgress.Text()));
    // The plain title until there is progress to tell.
    if (FRunning && permille > 0)
        SetTitles(QString::number(permille / 10) + QStringLiteral("% - "));
}

void TJobProgressPanel::SetTitles(const QString& prefix) {
    window()->setWindowTitle(prefix + FTitle);
    if (FOwner) FOwner->setWindowTitle(prefix + FOwnerTitle);
}

} // namespace bw
