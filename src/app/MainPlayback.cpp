// The main window: playback and the tray.
#include "Main.h"
#include "MainSupport.h"

#include "About.h"
#include "CdTextFields.h"
#include "CdTray.h"
#include "DiscIdentity.h"
#include "EditTrackName.h"
#include "EncodeWindow.h"
#include "Genres.h"
#include "IniFile.h"
#include "MediaWatcher.h"
#include "OptionSet.h"
#include "QtMessages.h"
#include "QueryCddb.h"
#include "RipWindow.h"
#include "StopQuery.h"
#include "UiShell.h"
#include "WavResample.h"
#include "akrip32.h"

#include <limits>

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

// ---------------------------------------------------------------------------------------
// Playback and tray. Errors of the player are only logged: the state follows the commands.

namespace {

// The track number a row shows.
int TrackOfRow(const QTreeWidget* list, int row) {
    return list->topLevelItem(row)->text(colNumber).toInt();
}

} // namespace

// The drive as the latest opening read listed it: the drives are not asked on this thread.
TGetCDHandle TfrmMain::DriveRequest() const {
    const int index = FDriveIndex;
    if (index < 0 || index >= FDrives.Count) throw ECdPlayerError("No such CD drive");
    return HandleRequestFor(FDrives.Entries[index]);
}

void TfrmMain::aPlayExecute() {
    if (RefuseWhileReading()) return;
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) return;
    const int row = ListView1->indexOfTopLevelItem(selected.front());
    SetStatusText(QStringLiteral("Play ") + selected.front()->text(colTitle));
    const bool wasRunning = aStop->isEnabled();
    const bool wasPlaying = aPause->isEnabled();
    IsPlaying = true;
    IsPaused = false;
    UpdateActions();
    try {
        if (!wasRunning || wasPlaying) {
            FCurrentPlay = 0; // a notice still on its way belongs to the play replaced here
            // Rows name their tracks, so a disc that starts at another track plays right. The
            // player opens the drive on its own thread: a disc spinning up never holds the
            // window, and what fails comes back as the play's notice.
            const int next = row + 1 < ListView1->topLevelItemCount()
                                 ? TrackOfRow(ListView1, row + 1)
                                 : std::numeric_limits<int>::max();
            FCurrentPlay =
                MediaPlayer1->PlayTracks(DriveRequest(), TrackOfRow(ListView1, row), next);
        } else {
            MediaPlayer1->Resume();
        }
    } catch (const std::exception& e) {
        aStopExecute();
        PlayFailed(e.what());
    }
}

void TfrmMain::aPauseExecute() {
    IsPaused = true;
    UpdateActions();
    try {
        MediaPlayer1->Pause();
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "pause:" << e.what();
    }
}

void TfrmMain::aStopExecute() {
    IsPlaying = false;
    IsPaused = false;
    FCurrentPlay = 0;
    UpdateActions();
    try {
        MediaPlayer1->Stop();
        MediaPlayer1->Close();
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "stop:" << e.what();
    }
    SetStatusText(Q(SavedStatusText));
}

void TfrmMain::MediaPlayer1Notify(TPlayResult result, std::uint64_t play, const std::string& why) {
    // A notice of a play that was stopped or replaced since must not end the current one.
    if (play != FCurrentPlay || !IsPlaying) return;
    aStopExecute();
    if (result == TPlayResult::Failed) PlayFailed(why);
}

void TfrmMain::PlayFailed(const std::string& why) {
    qCWarning(lcMain) << "playback:" << why.c_str();
    SetStatusText(QStringLiteral("Cannot play: ") + Q(why));
}

void TfrmMain::miEjectClick() {
    FTray->Open(FDriveIndex);
}

void TfrmMain::miCloseCDClick() {
    FTray->Close(FDriveIndex);
}

} // namespace bw
