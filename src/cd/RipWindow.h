// The modal rip window: shows the rip job (current track, format, counts, progress) and
// forwards the user's Stop. The job itself lives in TRipJob and runs on this window's
// posted messages.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CdLibrary.h"
#include "QtMessages.h"
#include "RipProgress.h"
#include "RipReport.h"
#include "RipSummary.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace bw {

class TJobProgressPanel;

// The disc as the main window listed it: what a rip window needs of the drive without
// asking it again (a drive spinning up would hold the window).
struct TListedDisc {
    TTOC TOC{}; // with MSF addresses
    std::string Key;
    int HiddenSectors = 0;
    TCDCodes Codes;
    // The listed drive of the handle (its name and read offset for AccurateRip and the log);
    // none for a disc read without the drive list.
    std::optional<TCDEntry> Drive;
};

class TfrmCDRip : public QDialog, private TRipJobView {
    Q_OBJECT
public:
    // Starts ripping the selection ("03Intro": entry 3, title Intro) at once; the caller
    // then shows the window modally. `disc` gives the tags their disc fields; `listed` the
    // disc's table, codes and drive (without it: no report, the rows' own numbers). Nothing
    // here touches the drive: the rip's thread does.
    TfrmCDRip(QWidget* owner, int cdHandle, const std::vector<std::string>& selection,
              const TDiscFields& disc, const TListedDisc* listed = nullptr);
    ~TfrmCDRip() override;

    QLabel* lCurrentTrack;
    QLabel* lOutputFormat;
    QLabel* lSelectedTracks;
    QLabel* lCompleted;
    QLabel* lProgressHint;
    QProgressBar* ProgressBar1;
    QPushButton* bStop;
    // The whole rip: a bar by audio length, the speed and the time left.
    TJobProgressPanel* pOverall;

    TRipJob& Job() { return *FJob; }
    // What the rip came to, for the report once the window has closed.
    TJobSummary Summary() const;
    // The rip ended by itself (every track dealt with), not by Stop or a failure.
    bool RipFinished() const { return FEnd == TJobEnd::Finished && FJob->Finished(); }
    // No window of the program was active as the rip ended.
    bool EndedUnseen() const { return FEndedUnseen; }
    // "AccurateRip: N of M tracks accurate" once the ripped tracks have been checked (the
    // window then closes), else empty.
    std::string AccurateRipStatus() const;

public slots:
    void bStopClick();

protected:
    bool event(QEvent* event) override;
    void done(int result) override;

private:
    void ShowError(const std::string& text) override;
    void SetProgressHint(const std::string& text) override;
    void SetProgressCaption(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetCurrentTrack(const std::string& title) override;
    void SetCompleted(int count) override;
    void JobFinished() override;
    void TrackRead(const TRipEntry& entry, const TTrackReadStats& stats) override;
    void TrackDone(const TRipEntry& entry, const std::filesystem::path& output,
                   const std::string& error) override;
    void TrackProgress(int index, int stage, int percent) override;
    std::size_t IndexOf(const TRipEntry& entry) const;
    bool AskOverwrite(const std::filesystem::path& output) override;

    void AccurateRipDone();

    TQtMessageTarget FTarget{this};
    std::unique_ptr<TRipReport> FReport; // none when the TOC cannot be read
    std::unique_ptr<TAccurateRipCheck> FCheck;
    bool FChecked = false;
    std::vector<std::string> FSuspicious;    // a line per track with suspicious positions
    std::vector<TRipTrackOutcome> FOutcomes; // by the job's entries
    int FDealt = 0;                          // tracks the job is through with
    TJobEnd FEnd = TJobEnd::Stopped;         // until the job says otherwise
    std::string FFailure;                    // the drive's refusal, when it refused
    std::filesystem::path FLog;
    bool FEndedUnseen = false;
    std::unique_ptr<TRipJob> FJob;
};

} // namespace bw
