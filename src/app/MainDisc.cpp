// The main window: the drive, its disc and the track list.
#include "Main.h"
#include "MainSupport.h"

#include "About.h"
#include "CdTextFields.h"
#include "CdTray.h"
#include "CoverFetcher.h"
#include "DiscIdentity.h"
#include "DiscReader.h"
#include "EditTrackName.h"
#include "EncodeWindow.h"
#include "Genres.h"
#include "IniFile.h"
#include "MediaWatcher.h"
#include "OptionSet.h"
#include "QtMessages.h"
#include "QueryCddb.h"
#include "RipTagging.h"
#include "RipWindow.h"
#include "StopQuery.h"
#include "UiShell.h"
#include "WavResample.h"
#include "akrip32.h"

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

// ---------------------------------------------------------------------------------------
// Drive and disc

void TfrmMain::ClearDiscFields() {
    ID3artist->clear();
    ID3album->clear();
    ID3year->clear();
    ID3comment->clear();
    ID3genre->setCurrentIndex(-1);
    ID3genre->clearEditText();
    eDiscNumber->clear();
    eDiscTotal->clear();
}

void TfrmMain::ClearTrackList() {
    ListView1->clear();
    FCoverFetcher.reset();
    ShowCover({});
    FListedDiscKey.clear();
    FListedTOC.reset();
    FListedHidden = 0;
    FListedCodes = TCDCodes();
    UpdateActions();
}

void TfrmMain::TakeTitlesFromList() {
    const int count = ListView1->topLevelItemCount();
    Settings.TrackCount = std::min(TrackPlaceOfRow(ListView1, count - 1), MaxTracks);
    TDiscRelease& release = Settings.CDRelease;
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (const int place = TrackPlaceOfRow(ListView1, i); place >= 1 && place <= MaxTracks)
            Settings.TrackTitles[place] = S(row->text(colTitle));
        // An artist typed over the credit's is the whole credit now: the credit's names,
        // sort names and ids were those of another.
        const int track = row->text(colNumber).toInt();
        const std::string artist = S(row->text(colArtist));
        if (artist == release.TrackArtist(track)) continue;
        if (artist.empty() && release.Tracks[track].ReleaseTrackId.empty())
            release.Tracks.erase(track);
        else
            release.Tracks[track] =
                TTrackCredit{artist, {}, {}, {}, release.Tracks[track].ReleaseTrackId};
    }
    release.DiscNumber = eDiscNumber->text().toInt();
    release.DiscTotal = eDiscTotal->text().toInt();
}

void TfrmMain::ShowDiscRelease(bool keepTypedArtists) {
    const TDiscRelease& release = Settings.CDRelease;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (keepTypedArtists && row->data(colArtist, TypedRole).toBool()) continue;
        row->setText(colArtist, Q(release.TrackArtist(row->text(colNumber).toInt())));
        row->setData(colArtist, TypedRole, false);
    }
    eDiscNumber->setText(release.DiscNumber > 0 ? QString::number(release.DiscNumber) : QString());
    eDiscTotal->setText(release.DiscTotal > 0 ? QString::number(release.DiscTotal) : QString());
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
    // Rows of a drive we no longer hold could not be ripped: they go at once.
    SaveListedDiscInfo();
    ClearTrackList();
    ReleaseDrive();
    // Stopping cuts a look under way short: nothing waits for the old drive.
    if (FMediaWatcher) FMediaWatcher->Stop();
    FDriveIndex = index;
    // Disc changes still on their way from the old drive's watch are not this drive's.
    ++FDriveSerial;
    StartDiscRead(rrDriveChange);
}

bool TfrmMain::ReleaseDrive() {
    const int handle = CDHandle;
    CDHandle = 0;
    if (handle == 0) return true;
    return FDiscReader ? FDiscReader->CloseHandle(handle) : CloseCDHandle(handle) != 0;
}

void TfrmMain::WMDeviceChange(int event, int deviceType, std::uint64_t drive) {
    if (deviceType != DBT_DEVTYP_VOLUME) return;
    if (drive == 0) drive = FDriveSerial;
    if (drive != FDriveSerial) return; // of a drive the window has left
    if (QApplication::activeModalWidget() || !FHeldDeviceChanges.empty()) {
        FHeldDeviceChanges.push_back({event, drive});
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
    std::vector<THeldDeviceChange> held;
    held.swap(FHeldDeviceChanges);
    // A dialog may have changed the drive meanwhile: the old drive's changes are dropped.
    for (const THeldDeviceChange& change : held)
        if (change.Drive == FDriveSerial) ApplyDeviceChange(change.Event);
}

void TfrmMain::ApplyDeviceChange(int event) {
    if (event == DBT_DEVICEARRIVAL) {
        StartDiscRead(rrArrival);
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        SaveListedDiscInfo();
        ClearTrackList();
    }
}

// Looks at the window's own drive, which the options may have changed from the first.
void TfrmMain::miRefreshClick() {
    StartDiscRead(rrRefresh);
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
    TDiscFields fields;
    fields.Artist = S(ID3artist->text());
    fields.Album = S(ID3album->text());
    fields.Year = S(ID3year->text());
    fields.Comment = S(ID3comment->text());
    // A genre typed as the list spells it, in any case, is that entry (and its ID3v1 code).
    const std::string genre = S(ID3genre->currentText().trimmed());
    const int index = genre.empty() ? -1 : GenreListIndexOf(genre, true);
    if (index > 0)
        fields.GenreIndex = index;
    else
        fields.Genre = genre;
    return fields;
}

TDiscTagFields TfrmMain::DiscTagFields() const {
    return DiscTagFieldsOf(DiscFields());
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
    // Commands that need the disc's table wait for its read.
    aQueryCDDB->setEnabled(hasRows && !FReading);
    aQueryMusicBrainz->setEnabled(hasRows && !FReading);
    aRip->setEnabled(AnyTrackTicked() && !FReading);
    aPlay->setEnabled(rowSelected && !FReading);
    aPause->setEnabled(IsPlaying && !IsPaused);
    aStop->setEnabled(IsPlaying);
    aEditTrackName->setEnabled(rowSelected);
    UpdateDriveHold();
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

void TfrmMain::ListView1DblClick(QTreeWidgetItem* item, int column) {
    if (item) ListView1->setCurrentItem(item);
    FEditArtistFirst = column == colArtist;
    aEditTrackName->trigger();
    FEditArtistFirst = false;
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
    dialog.eArtist->setText(selected.front()->text(colArtist));
    dialog.eArtist->setPlaceholderText(ID3artist->text());
    dialog.FocusArtist = FEditArtistFirst;
    if (dialog.exec() != QDialog::Accepted) return;
    if (key != FListedDiscKey || index < 0 || index >= ListView1->topLevelItemCount()) return;
    QTreeWidgetItem* row = ListView1->topLevelItem(index);
    for (auto [column, edit] : {std::pair{colTitle, dialog.eName}, {colArtist, dialog.eArtist}}) {
        if (row->text(column) == edit->text()) continue;
        row->setText(column, edit->text());
        row->setData(column, TypedRole, true);
    }
}

// ---------------------------------------------------------------------------------------
// Commands

} // namespace bw
