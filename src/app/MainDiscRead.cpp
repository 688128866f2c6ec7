// The main window: reading the drive's disc off the window's thread. The list is emptied and
// says "Reading the disc..." while a worker opens the drive and reads its table of contents,
// CD-Text and disc key; the result is applied here, unless a newer read (another drive, a
// changed disc) has replaced it meanwhile.
#include "Main.h"
#include "MainSupport.h"

#include <QVBoxLayout>

#include "CdTextFields.h"
#include "DiscReader.h"
#include "MediaWatcher.h"
#include "UiShell.h"

namespace bw {

using namespace mainwindow;

void TfrmMain::RefreshTrackList() {
    StartDiscRead(rrArrival);
}

void TfrmMain::StartDiscRead(TDiscReadReason reason) {
    if (FClosed) return;
    const bool opens = reason == rrDriveChange || reason == rrStartup;
    // A read that opens the drive lists whatever disc it finds; nothing to add to it.
    if (!opens && FReading && FReadOpens) return;
    if (!opens && CDHandle == 0) {
        if (reason == rrRefresh) {
            ClearTrackList();
            SetStatusText(StatusNoAudioDisc);
        } else {
            ClearDiscFields();
        }
        return;
    }
    if (DriveBusy()) {
        FHeldRead = std::max(FHeldRead, static_cast<int>(reason));
        return;
    }
    SaveListedDiscInfo();
    ClearTrackList();
    FReading = true;
    FReadOpens = opens;
    ShowReading(true);
    TDiscRead read;
    read.Serial = ++FReadSerial;
    read.Reason = reason;
    read.DriveIndex = FDriveIndex;
    read.Handle = opens ? 0 : CDHandle;
    if (!FDiscReader)
        FDiscReader = std::make_unique<TDiscReader>([this](TDiscRead done) {
            QMetaObject::invokeMethod(
                this, [this, done = std::move(done)] { ApplyDiscRead(done); },
                Qt::QueuedConnection);
        });
    FDiscReader->Start(std::move(read));
    UpdateActions();
}

void TfrmMain::ApplyDiscRead(TDiscRead read) {
    if (read.Serial != FReadSerial || FClosed) {
        if (read.Opened) CloseCDHandle(read.Handle);
        return;
    }
    FReading = false;
    ShowReading(false);
    FDiscProblem = read.DiscError;
    if (read.Reason == rrDriveChange || read.Reason == rrStartup) ApplyOpenedDrive(read);
    switch (read.Reason) {
    case rrStartup:
        if (CDHandle == 0) break;
        if (!read.DiscKey.empty())
            ListDisc(read);
        else
            NoAudioDisc = true;
        if (NoAudioDisc) SetStatusText(StatusWithDiscProblem(StatusText(), FDiscProblem));
        SavedStatusText = S(StatusText());
        break;
    case rrDriveChange:
        if (CDHandle != 0) ListDisc(read);
        SavedStatusText = S(StatusText());
        break;
    case rrArrival:
        ListDisc(read);
        // Fields the cache knows for this disc stay; only a disc we cannot identify, or
        // one we could not list, would otherwise show the previous disc's fields.
        if (FListedDiscKey.empty()) ClearDiscFields();
        break;
    case rrRefresh:
        if (!read.DiscKey.empty()) {
            ListDisc(read);
            if (StatusText() == StatusNoAudioDisc) SetStatusText(Q(DriveName));
        } else {
            SetStatusText(StatusWithDiscProblem(StatusNoAudioDisc, FDiscProblem));
        }
        break;
    }
    if (FMediaWatcher) FMediaWatcher->SetCurrentKey(FListedDiscKey);
    UpdateActions();
}

// The drive the read opened becomes the window's, with the status opening it gives.
void TfrmMain::ApplyOpenedDrive(const TDiscRead& read) {
    CDHandle = read.Handle;
    FDrives = read.Drives;
    if (read.DriveCount == 0) {
        SetStatusText(StatusNoDevices);
    } else if (read.DriveIndex < 0 || read.DriveIndex >= read.DriveCount) {
        SetStatusText(StatusBadDeviceIndex);
    } else {
        DriveName = read.DriveName;
        // A drive the user may not open says why and what to do.
        if (CDHandle != 0)
            SetStatusText(Q(DriveName));
        else
            SetStatusText(read.AccessProblem.empty() ? StatusNoDevices : Q(read.AccessProblem));
    }
    FDriveSource = read.SourcePath;
    FDriveIsImage = read.IsImage;
    StartMediaWatch(FWatchInterval);
}

void TfrmMain::ListDisc(const TDiscRead& read) {
    ClearTrackList();
    if (!read.HasTOC) {
        SetStatusText(StatusNoTOC);
        return;
    }
    FListedTOC = read.TOC;
    const TTOC& toc = read.TOC;
    // The titles are those of the disc in this window's drive, whichever drive that is.
    // A disc the cache does not know shows the titles it carries as CD-Text, if any (as the
    // read found it: the drive is not asked on this thread).
    LoadDiscInfoOrCdText(read.DiscKey, read.Text, toc.FirstTrack);

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
    if (read.HiddenSectors > 0) AddHiddenTrackRow(ListView1, read.HiddenSectors);
    FListedDiscKey = read.DiscKey;
    FListedHidden = read.HiddenSectors;
    FListedCodes = read.Codes;
    TakeRememberedDiscState();
    // The flag only reports that start-up found no disc; a listed disc ends that state.
    if (ListView1->topLevelItemCount() > 0) NoAudioDisc = false;

    ID3artist->setText(Q(Settings.CDArtist));
    ID3album->setText(Q(Settings.CDAlbum));
    ID3year->setText(Q(Settings.CDYear));
    ID3genre->setCurrentIndex(
        Settings.CDGenre >= 0 && Settings.CDGenre < ID3genre->count() ? Settings.CDGenre : -1);
    if (ID3genre->currentIndex() <= 0 && !Settings.CDGenreText.empty())
        ID3genre->setEditText(Q(Settings.CDGenreText));
    ID3comment->setText(Q(Settings.CDComment));
    // Show the start of each text, not its end.
    for (QLineEdit* edit : {ID3artist, ID3album, ID3year, ID3comment})
        edit->setCursorPosition(0);
    SetStatusText(Q(DriveName));
}

void TfrmMain::ShowReading(bool reading) {
    if (!lReading) {
        lReading = new QLabel(TextReadingDisc, ListView1->viewport());
        lReading->setObjectName(QStringLiteral("lReading"));
        auto* layout = new QVBoxLayout(ListView1->viewport());
        layout->addWidget(lReading, 0, Qt::AlignCenter);
    }
    lReading->setVisible(reading);
}

bool TfrmMain::RefuseWhileReading() {
    if (!FReading) return false;
    ShowInformation(this, QStringLiteral("The disc is still being read. Please wait until its "
                                         "tracks are listed."));
    return true;
}

} // namespace bw
