// The main window: ripping, lookups, options, converters and help.
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
#include "JobReportWindow.h"
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

bool TfrmMain::CheckOutputFolder() {
    std::error_code ec;
    if (fs::is_directory(fs::path(Settings.OutputFolder), ec)) return true;
    ShowInformation(this, QStringLiteral("the output folder does not exist.") +
                              QStringLiteral("Please check the output directory setting."));
    return false;
}

void TfrmMain::aRipExecute() {
    if (RefuseWhileReading()) return;
    if (CDHandle == 0) {
        ShowInformation(this, QStringLiteral("Please access CD devices rightly firstly!"));
        return;
    }
    if (!AnyTrackTicked()) {
        ShowInformation(this, QStringLiteral("Please select a track at least!"));
        return;
    }
    std::error_code ec;
    const fs::path folder(Settings.OutputFolder);
    if (!fs::is_directory(folder, ec)) {
        if (!AskYesNo(this, Q(Settings.OutputFolder) + QStringLiteral(",") +
                                QStringLiteral("the output folder does not exist.") +
                                QStringLiteral("\n") + QStringLiteral("creates a new folder?")))
            return;
        // The whole path, as the command line makes it; the system says why it cannot.
        if (folder.empty() || !fs::create_directories(folder, ec) || ec) {
            ShowError(this, QStringLiteral("Cannot create ") + Q(Settings.OutputFolder) +
                                (ec ? QStringLiteral(": ") + Q(ec.message()) : QString()));
            return;
        }
    }
    if (aStop->isEnabled()) aStopExecute();
    const std::vector<std::string> selection = TrackSelection();
    if (CheckOutputFolder()) OpenRipWindow(selection);
}

void TfrmMain::OpenRipWindow(const std::vector<std::string>& selection) {
    // The rip takes the MusicBrainz ids only while the cache's album is the one shown.
    SaveListedDiscInfo();
    // What the list was made from: the drive is not asked again on this thread.
    TListedDisc listed;
    if (FListedTOC) listed.TOC = *FListedTOC;
    listed.Key = FListedDiscKey;
    listed.HiddenSectors = FListedHidden;
    listed.Codes = FListedCodes;
    if (const int index = FDriveIndex; index >= 0 && index < FDrives.Count)
        listed.Drive = FDrives.Entries[index];
    TfrmCDRip window(this, CDHandle, selection, DiscFields(), &listed);
    FRipping = true; // the drive is the rip's alone
    UpdateActions();
    window.exec();
    FRipping = false;
    UpdateActions();
    if (std::string status = window.AccurateRipStatus(); !status.empty()) SetStatusText(Q(status));
    // The job has closed its files: the tray may move.
    if (Settings.EjectWhenRipped && window.RipFinished()) miEjectClick();
    ReportJobEnd(this, window.Summary(), window.EndedUnseen());
}

void TfrmMain::aQueryCDDBExecute() {
    if (RefuseWhileReading()) return;
    // The table the list was made from: the drive is not read again on this thread.
    if (CDHandle == 0 || !FListedTOC) {
        ShowError(this, QStringLiteral("Error while reading TOC information!"));
        return;
    }
    TfrmQueryCDDB dialog(this, this);
    dialog.FirstTrack = FListedTOC->FirstTrack;
    dialog.LastTrack = FListedTOC->LastTrack;
    dialog.CDHandle = CDHandle;
    dialog.exec();
}

void TfrmMain::aQueryMusicBrainzExecute() {
    if (RefuseWhileReading()) return;
    // The table the list was made from: the drive is not read again on this thread.
    if (CDHandle == 0 || !FListedTOC) {
        ShowError(this, QStringLiteral("Error while reading TOC information!"));
        return;
    }
    TfrmStopQuery stop(this, this, TQueryService::MusicBrainz);
    stop.FirstTrack = FListedTOC->FirstTrack;
    stop.LastTrack = FListedTOC->LastTrack;
    stop.CDHandle = CDHandle;
    if (stop.exec() != QueryEndedResult || !stop.MusicBrainzThread) return;
    ApplyMusicBrainzLookup(stop.MusicBrainzThread->Result(), stop.FirstTrack);
}

bool TfrmMain::ReplacesTypedTitles(const TCddbQueryResult& result) const {
    if (!result.TrackTitles) return false;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        const int place = TrackPlaceOfRow(ListView1, i);
        if (place < 1 || place > static_cast<int>(result.TrackTitles->size())) continue;
        if (row->data(colTitle, TypedRole).toBool() &&
            row->text(colTitle) != Q((*result.TrackTitles)[std::size_t(place - 1)]))
            return true;
    }
    return false;
}

void TfrmMain::ApplyCddbResult(const TCddbQueryResult& found) {
    TCddbQueryResult result = found;
    // "No" keeps the typed titles; the others still take the lookup's.
    const bool keepTyped =
        ReplacesTypedTitles(result) &&
        !AskYesNo(this, QStringLiteral("Replace the titles you typed with those of %1?")
                            .arg(Q(result.Album.value_or(std::string("this release")))));
    if (result.ClearDiscFields) ClearDiscFields();
    // A lookup's release replaces the disc's; fields it starts afresh start without one.
    if (result.Release)
        Settings.CDRelease = *result.Release;
    else if (result.ClearDiscFields)
        Settings.CDRelease = TDiscRelease{};
    if (result.Artist) ID3artist->setText(Q(*result.Artist));
    if (result.Album) ID3album->setText(Q(*result.Album));
    if (result.Year) ID3year->setText(Q(*result.Year));
    if (result.Genre) {
        // Only a name written exactly as in the list selects it.
        int index = GenreListIndexOf(*result.Genre, false);
        ID3genre->setCurrentIndex(index > 0 ? index : -1);
    }
    if (result.TrackTitles) {
        const int rows = ListView1->topLevelItemCount();
        for (int i = 0; i < rows; ++i) {
            const int place = TrackPlaceOfRow(ListView1, i); // titles are the TOC's tracks
            if (place < 1 || place > static_cast<int>(result.TrackTitles->size())) continue;
            auto* row = ListView1->topLevelItem(i);
            if (keepTyped && row->data(colTitle, TypedRole).toBool()) continue;
            row->setText(colTitle, Q((*result.TrackTitles)[std::size_t(place - 1)]));
            row->setData(colTitle, TypedRole, false);
            row->setTextAlignment(colTitle, Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    if (result.Release || result.ClearDiscFields) ShowDiscRelease(keepTyped);
}

void TfrmMain::aOptionsExecute() {
    TfrmOptions dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (dialog.DriveChanged()) ChangeDrive(dialog.ChosenDrive());
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir->setText(Q(Settings.OutputFolder));
}

void TfrmMain::miAboutClick() {
    TfrmAbout dialog(this);
    dialog.exec();
}

// The user guide that comes with the program: the installed copy, else the one built beside
// the program, else the source tree's above a build folder; the online page when none is
// there.
QUrl HelpUrl() {
    const fs::path program = ProgramFolder();
    for (const fs::path& candidate :
         {program.parent_path() / "share" / "doc" / "brindlewave" / "user-guide.html",
          program / "docs" / "user-guide.html", program.parent_path() / "docs" / "user-guide.md"}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec))
            return QUrl::fromLocalFile(Q(fs::absolute(candidate, ec).lexically_normal().string()));
    }
    return QUrl(OnlineHelpUrl);
}

void TfrmMain::aHelpExecute() {
    OpenOrSay(this, HelpUrl());
}

void TfrmMain::aHomepageExecute() {
    OpenOrSay(this, QUrl(ProgramHomePage));
}

void TfrmMain::miJumpOutputFolderClick() {
    std::error_code ec;
    if (fs::is_directory(fs::path(Settings.OutputFolder), ec)) {
        OpenOrSay(this, QUrl::fromLocalFile(
                            Q(fs::absolute(fs::path(Settings.OutputFolder), ec).string())));
        return;
    }
    ShowError(this, Q(Settings.OutputFolder) + QStringLiteral(",") +
                        QStringLiteral("the output folder does not exist."));
}

void TfrmMain::bBrowserClick() {
    const QString folder = UiShell().BrowseForFolder(
        this, QStringLiteral("Please select the folder to save the audio file"));
    if (folder.isEmpty()) return;
    eOutputDir->setText(folder);
    Settings.OutputFolder = S(folder);
}

void TfrmMain::cbOutputFormatChange(int index) {
    if (index >= 0) Settings.OutputFormat = index;
}

void TfrmMain::RunConverter(int converterType) {
    if (converterType == ConverterResample) {
        TfrmWavResample dialog(this);
        dialog.exec();
        return;
    }
    const TConverterEntry entry = ConverterEntry(converterType);
    const QStringList files = UiShell().OpenFiles(this, {entry.DialogTitle, entry.Filters});
    if (files.isEmpty()) return;
    if (CheckOutputFolder()) OpenConversionWindow(files, converterType);
}

void TfrmMain::OpenConversionWindow(const QStringList& files, int converterType) {
    TfrmEncodeProgress window(this, files, DiscTagFields());
    window.ConverterType = converterType;
    window.exec();
    ReportJobEnd(this, window.Summary(), window.EndedUnseen());
}

void TfrmMain::WMShowInstance() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    // A modal dialog of ours stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->show();
        modal->raise();
        modal->activateWindow();
    }
}

} // namespace bw
