// The main window: the drive, its disc and the track list.
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

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

void TfrmMain::StartMediaWatch(int intervalMs) {
    if (FMediaWatcher) FMediaWatcher->Stop();
    FMediaWatcher = std::make_unique<TMediaWatcher>(
        [this] { return DiscKeyOfDrive(FDriveIndex); },
        [this](int event) {
            QMetaObject::invokeMethod(
                this, [this, event] { WMDeviceChange(event, DBT_DEVTYP_VOLUME); },
                Qt::QueuedConnection);
        },
        std::chrono::milliseconds(intervalMs));
    FMediaWatcher->Start(FListedDiscKey);
}

// ---------------------------------------------------------------------------------------
// Drive and disc

int TfrmMain::OpenCDDrive(int index) {
    TCDList list = ReadDriveList();
    if (list.Count == 0) {
        SetStatusText(StatusNoDevices);
        return 0;
    }
    if (index < 0 || index >= list.Count) {
        SetStatusText(StatusBadDeviceIndex);
        return 0;
    }
    const TCDEntry& entry = list.Entries[index];
    DriveName = DriveDisplayName(entry);
    SetStatusText(Q(DriveName));
    int handle = GetCDHandleRecovering(HandleRequestFor(entry));
    // A drive the user may not open says why and what to do.
    const std::string problem = handle == 0 ? GetCDAccessProblem(entry) : std::string();
    if (handle == 0) SetStatusText(problem.empty() ? StatusNoDevices : Q(problem));
    return handle;
}

void TfrmMain::RefreshTrackList() {
    if (CDHandle == 0) return;
    SaveListedDiscInfo();
    ModifyCDParms(CDHandle, CDP_MSF, 1);
    ClearTrackList();

    TTOC toc{};
    if (ReadTOC(CDHandle, &toc) != 1) {
        SetStatusText(StatusNoTOC);
        return;
    }
    // Reads a few seconds of the first track's pregap, once per disc.
    const int hiddenSectors = GetCDHiddenTrack(CDHandle);
    // The titles are those of the disc in this window's drive, whichever drive that is.
    const std::string key = DiscKeyOfTOC(toc);
    // A disc the cache does not know shows the titles it carries as CD-Text, if any.
    LoadDiscInfoOrCdText(key, CDHandle, toc.FirstTrack);

    // A damaged table may claim more tracks than it holds; list only those it holds.
    const int entries = TOCEntryCount(toc);
    const std::vector<int> ends = TOCEndFrames(toc);
    for (int t = toc.FirstTrack; t <= toc.LastTrack && t - toc.FirstTrack + 1 < entries; ++t) {
        const TTOCTrack& entry = toc.Tracks[t - toc.FirstTrack];
        const int end = ends[static_cast<std::size_t>(t - toc.FirstTrack)];
        const int m = entry.Address[1], s = entry.Address[2];
        int lengthMinutes = end / 4500 - m;
        int lengthSeconds = end / 75 % 60 - s;
        if (lengthSeconds < 0) {
            lengthSeconds += 60;
            lengthMinutes -= 1;
        }
        // Titles are kept by row, the disc's n-th track, whatever number the disc gives it.
        const int place = t - toc.FirstTrack + 1;
        std::string title;
        if (place <= MaxTracks) {
            if (Settings.TrackTitles[place].empty())
                Settings.TrackTitles[place] = "Track" + TwoDigits(t);
            title = Settings.TrackTitles[place];
        } else {
            title = "Track" + TwoDigits(t);
        }
        auto* row = new QTreeWidgetItem(ListView1);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setText(colNumber, QString::number(t));
        // A data track holds no audio: listed for the disc's layout, never ticked for a rip.
        row->setCheckState(colNumber, IsAudioEntry(entry) ? Qt::Checked : Qt::Unchecked);
        if (!IsAudioEntry(entry)) row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setText(colTitle, Q(title));
        row->setText(colStart, TimeText(m, s));
        row->setText(colLength, TimeText(lengthMinutes, lengthSeconds));
        row->setTextAlignment(colStart, Qt::AlignCenter);
        row->setTextAlignment(colLength, Qt::AlignCenter);
    }
    if (hiddenSectors > 0) AddHiddenTrackRow(ListView1, hiddenSectors);
    FListedDiscKey = key;
    if (FMediaWatcher) FMediaWatcher->SetCurrentKey(key);
    // The flag only reports that start-up found no disc; a listed disc ends that state.
    if (ListView1->topLevelItemCount() > 0) NoAudioDisc = false;

    ID3artist->setText(Q(Settings.CDArtist));
    ID3album->setText(Q(Settings.CDAlbum));
    ID3year->setText(Q(Settings.CDYear));
    ID3genre->setCurrentIndex(
        Settings.CDGenre >= 0 && Settings.CDGenre < ID3genre->count() ? Settings.CDGenre : -1);
    ID3comment->setText(Q(Settings.CDComment));
    // Show the start of each text, not its end.
    for (QLineEdit* edit : {ID3artist, ID3album, ID3year, ID3comment})
        edit->setCursorPosition(0);
    SetStatusText(Q(DriveName));
    UpdateActions();
}

void TfrmMain::ClearDiscFields() {
    ID3artist->clear();
    ID3album->clear();
    ID3year->clear();
    ID3comment->clear();
    ID3genre->setCurrentIndex(-1);
}

void TfrmMain::ClearTrackList() {
    ListView1->clear();
    FListedDiscKey.clear();
    UpdateActions();
}

void TfrmMain::TakeTitlesFromList() {
    const int count = ListView1->topLevelItemCount();
    Settings.TrackCount = std::min(TrackPlaceOfRow(ListView1, count - 1), MaxTracks);
    for (int i = 0; i < count; ++i)
        if (const int place = TrackPlaceOfRow(ListView1, i); place >= 1 && place <= MaxTracks)
            Settings.TrackTitles[place] = S(ListView1->topLevelItem(i)->text(colTitle));
}

void TfrmMain::SaveListedDiscInfo() {
    if (FListedDiscKey.empty() || ListView1->topLevelItemCount() == 0) return;
    try {
        TakeTitlesFromList();
        LoadSaveDiscInfo(FListedDiscKey, false, DiscFields());
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "disc titles not saved:" << e.what();
    }
}

void TfrmMain::ChangeDrive(int index) {
    // The old drive is released first, so that changing drives never leaks a handle.
    SaveListedDiscInfo();
    if (CDHandle != 0) CloseCDHandle(CDHandle);
    FDriveIndex = index;
    CDHandle = OpenCDDrive(index);
    if (CDHandle == 0)
        ClearTrackList(); // rows of a drive we no longer hold could not be ripped
    else
        RefreshTrackList();
    if (FMediaWatcher) FMediaWatcher->SetCurrentKey(FListedDiscKey);
    SavedStatusText = S(StatusText());
}

void TfrmMain::WMDeviceChange(int event, int deviceType) {
    if (deviceType != DBT_DEVTYP_VOLUME) return;
    if (QApplication::activeModalWidget() || !FHeldDeviceChanges.empty()) {
        FHeldDeviceChanges.push_back(event);
        if (!FHeldDeviceTimer) {
            FHeldDeviceTimer = new QTimer(this);
            FHeldDeviceTimer->setInterval(100);
            connect(FHeldDeviceTimer, &QTimer::timeout, this, &TfrmMain::ApplyHeldDeviceChanges);
        }
        FHeldDeviceTimer->start();
        return;
    }
    ApplyDeviceChange(event);
}

void TfrmMain::ApplyHeldDeviceChanges() {
    if (QApplication::activeModalWidget()) return;
    FHeldDeviceTimer->stop();
    std::vector<int> held;
    held.swap(FHeldDeviceChanges);
    for (int event : held)
        ApplyDeviceChange(event);
}

void TfrmMain::ApplyDeviceChange(int event) {
    if (event == DBT_DEVICEARRIVAL) {
        RefreshTrackList();
        // Fields the cache knows for this disc stay; only a disc we cannot identify, or
        // one we could not list, would otherwise show the previous disc's fields.
        if (FListedDiscKey.empty()) ClearDiscFields();
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        SaveListedDiscInfo();
        ClearTrackList();
    }
}

// Looks at the window's own drive, which the options may have changed from the first.
void TfrmMain::miRefreshClick() {
    if (!DiscKeyOfDrive(FDriveIndex).empty()) {
        RefreshTrackList();
        if (StatusText() == StatusNoAudioDisc) SetStatusText(Q(DriveName));
    } else {
        SaveListedDiscInfo();
        ClearTrackList();
        SetStatusText(StatusWithDiscProblem(StatusNoAudioDisc, CDHandle));
    }
}

// ---------------------------------------------------------------------------------------
// Track list

bool TfrmMain::AnyTrackTicked() const {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->checkState(colNumber) == Qt::Checked) return true;
    return false;
}

std::vector<std::string> TfrmMain::TrackSelection() const {
    std::vector<std::string> selection;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row->checkState(colNumber) == Qt::Checked)
            selection.push_back(TwoDigits(TrackPlaceOfRow(ListView1, i)) + S(row->text(colTitle)));
    }
    return selection;
}

TDiscFields TfrmMain::DiscFields() const {
    return TDiscFields{S(ID3artist->text()), S(ID3album->text()), S(ID3year->text()),
                       ID3genre->currentIndex(), S(ID3comment->text())};
}

TDiscTagFields TfrmMain::DiscTagFields() const {
    return TDiscTagFields{S(ID3artist->text()), S(ID3album->text()), S(ID3year->text()),
                          S(ID3genre->currentText()), S(ID3comment->text())};
}

QString TfrmMain::StatusText() const {
    return StatusPanel->text();
}

void TfrmMain::SetStatusText(const QString& text) {
    StatusPanel->setText(text);
}

void TfrmMain::UpdateActions() {
    const bool hasRows = ListView1->topLevelItemCount() > 0;
    const bool rowSelected = !ListView1->selectedItems().isEmpty();
    aQueryCDDB->setEnabled(hasRows);
    aQueryMusicBrainz->setEnabled(hasRows);
    aRip->setEnabled(AnyTrackTicked());
    aPlay->setEnabled(rowSelected);
    aPause->setEnabled(IsPlaying && !IsPaused);
    aStop->setEnabled(IsPlaying);
    aEditTrackName->setEnabled(rowSelected);
}

namespace {
// Data tracks are listed without a check box the user can tick.
void SetTicked(QTreeWidgetItem* row, bool ticked) {
    if (row->flags() & Qt::ItemIsUserCheckable)
        row->setCheckState(colNumber, ticked ? Qt::Checked : Qt::Unchecked);
}
} // namespace

void TfrmMain::aSelectAllExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        SetTicked(ListView1->topLevelItem(i), true);
}

void TfrmMain::aSelectNoneExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(colNumber, Qt::Unchecked);
}

void TfrmMain::aInvertSelectionExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        SetTicked(row, row->checkState(colNumber) != Qt::Checked);
    }
}

void TfrmMain::ListView1CtrlClick(QTreeWidgetItem* item) {
    if (!item) return;
    ListView1->setCurrentItem(item);
    SetTicked(item, item->checkState(colNumber) != Qt::Checked);
}

void TfrmMain::ListView1DblClick(QTreeWidgetItem* item) {
    if (item) ListView1->setCurrentItem(item);
    aEditTrackName->trigger();
}

void TfrmMain::aEditTrackNameExecute() {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) return;
    // The row is found again by its place after the dialog, never kept across it: the list
    // may have been rebuilt meanwhile.
    const int index = ListView1->indexOfTopLevelItem(selected.front());
    const std::string key = FListedDiscKey;
    TfrmEditTrackName dialog(this);
    dialog.eName->setText(selected.front()->text(colTitle));
    if (dialog.exec() != QDialog::Accepted) return;
    if (key != FListedDiscKey || index < 0 || index >= ListView1->topLevelItemCount()) return;
    ListView1->topLevelItem(index)->setText(colTitle, dialog.eName->text());
}

// ---------------------------------------------------------------------------------------
// Commands

} // namespace bw
