// The report a job leaves when it ends: the verdict, the disc and output folder, a row per
// track or file, and buttons to open the output folder or the log with the desktop's own
// programs.
#pragma once

#include "JobSummary.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace bw {

class TfrmJobReport : public QDialog {
    Q_OBJECT
public:
    TfrmJobReport(QWidget* owner, TJobSummary summary);

    QLabel* lVerdict;
    QTreeWidget* tvItems;
    QPushButton* bOpenFolder;
    QPushButton* bShowLog; // shown only when a log was written
    QPushButton* bClose;

    const TJobSummary& Summary() const { return FSummary; }

public slots:
    void bOpenFolderClick();
    void bShowLogClick();

private:
    TJobSummary FSummary;
};

// True when none of the program's windows is active: the user is elsewhere. A job window
// asks while it is still up, since activation moves only after it has closed.
bool UserAway();

// Shows the report of a job that has ended, modal over `owner`. When the user was away as
// the job ended, a desktop notification says what ended; clicking it raises the report.
void ReportJobEnd(QWidget* owner, TJobSummary summary, bool userAway);

} // namespace bw
