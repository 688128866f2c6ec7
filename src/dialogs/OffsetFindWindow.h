// Finding a drive's read offset from the options dialog: a modal window runs the search of
// `offset find` on a worker thread (opening the drive, reading its TOC, asking AccurateRip,
// reading tracks), shows each step, and stops within a second on Stop. The dialog then
// shows what came of it and offers to keep the offset for that drive.
#pragma once

#include <QDialog>
#include <memory>

#include "OffsetFind.h"
#include "QtMessages.h"
#include "akrip32.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace bw {

class TfrmFindOffset : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFindOffset(const TCDEntry& drive, QWidget* parent = nullptr);
    ~TfrmFindOffset() override; // a search still running is told to stop, not waited for

    // After the window closed with Accepted: what the search found, or why it found none.
    TOffsetFindResult Result() const;

    QLabel* lStep{};
    QProgressBar* pbBusy{};
    QPushButton* bStop{};

public slots:
    void bStopClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void reject() override;

private:
    struct TState;
    std::shared_ptr<TState> FState;
    TCDEntry FDrive;
    TQtMessageTarget FTarget{this};
    bool FStarted = false;
};

// The name the drive's offset is kept under, and its own offset, as the Ripping page shows
// them: "IMAGE disc.cue: 667 samples, its own" or that it has none; without a drive, that one
// is to be chosen.
QString DriveOffsetText(const TCDEntry* drive);

// Runs the search for the drive, shows the offset found (or why there is none) and, when the
// user agrees, keeps it for that drive in the settings. True when an offset was kept.
bool FindAndKeepDriveOffset(QWidget* parent, const TCDEntry& drive);

} // namespace bw
