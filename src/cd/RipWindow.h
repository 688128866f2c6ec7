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

class QLabel;
class QProgressBar;
class QPushButton;

namespace bw {

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

    TRipJob& Job() { return *FJob; }
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
    bool AskOverwrite(const std::filesystem::path& output) override;

    void AccurateRipDone();

    TQtMessageTarget FTarget{this};
    std::unique_ptr<TRipReport> FReport; // none when the TOC cannot be read
    std::unique_ptr<TAccurateRipCheck> FCheck;
    bool FChecked = false;
    std::vector<std::string> FSuspicious; // a line per track with suspicious positions
    std::unique_ptr<TRipJob> FJob;
};

} // namespace bw
