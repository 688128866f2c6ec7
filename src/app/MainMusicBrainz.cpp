// The main window: what a MusicBrainz lookup leaves behind (the release chosen, its ids and
// its cover) and the cover the user chooses instead.
#include "Main.h"
#include "MainSupport.h"

#include <QFileInfo>

#include "ChooseRelease.h"
#include "CoverFetcher.h"
#include "MusicBrainzQuery.h"
#include "RipTagging.h"
#include "UiShell.h"

namespace bw {

using namespace mainwindow;

// Kept with the disc in "cd.dat" as `brindlewave-cli musicbrainz --save` keeps them: first
// the fields and titles just shown, then the ids, which belong to that album title.
void TfrmMain::RememberMusicBrainzIds(const TMusicBrainzIds& ids) {
    if (FListedDiscKey.empty()) return;
    try {
        TakeTitlesFromList();
        LoadSaveDiscInfo(FListedDiscKey, false, DiscFields());
        SaveMusicBrainzIds(FListedDiscKey, ids);
        // The release's own cover replaces one chosen before.
        SaveDiscCoverFile(FListedDiscKey, {});
    } catch (const std::exception& e) {
        SetStatusText(QStringLiteral("The MusicBrainz release could not be remembered: ") +
                      QString::fromStdString(e.what()));
    }
}

void TfrmMain::TakeRememberedDiscState() {
    ShowDiscRelease();
    if (FListedDiscKey.empty()) return;
    try {
        const TMusicBrainzIds ids = LoadMusicBrainzIds(FListedDiscKey);
        // Cached titles that no lookup left count as the user's own: a lookup asks before it
        // replaces them.
        if (ids.AlbumId.empty() && IsDiscInfoKnown(FListedDiscKey)) {
            for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
                QTreeWidgetItem* row = ListView1->topLevelItem(i);
                const int place = TrackPlaceOfRow(ListView1, i);
                if (place >= 1 &&
                    row->text(colTitle) != Q("Track" + TwoDigits(row->text(colNumber).toInt())))
                    row->setData(colTitle, TypedRole, true);
            }
        }
        if (!ids.CoverFile.empty()) {
            const TCoverArt cover = ReadCoverFile(ids.CoverFile);
            if (cover.Error.empty())
                ShowCover(cover);
            else
                imCover->setToolTip(Q(cover.Error));
        }
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "disc state not read:" << e.what();
    }
}

void TfrmMain::ApplyMusicBrainzLookup(const TMusicBrainzLookup& lookup, int firstTrack) {
    if (lookup.Releases.empty()) return;
    const std::string key = FListedDiscKey;
    int chosen = ChooseMusicBrainzRelease(lookup.Releases);
    if (const std::string remembered = RememberedMusicBrainzRelease(key); !remembered.empty()) {
        for (std::size_t i = 0; i < lookup.Releases.size(); ++i)
            if (lookup.Releases[i].Id == remembered) chosen = static_cast<int>(i);
    }
    bool chosenByUser = false;
    if (lookup.Releases.size() > 1) {
        chosenByUser = true;
        TfrmChooseRelease dialog(lookup.Releases, chosen, this);
        if (dialog.exec() != QDialog::Accepted || dialog.Chosen() < 0) return;
        chosen = dialog.Chosen();
        // A disc change waits while the dialog is open; this is for one that came anyway.
        if (key != FListedDiscKey) return;
    }
    const TMusicBrainzRelease& release = lookup.Releases[static_cast<std::size_t>(chosen)];
    ApplyCddbResult(MusicBrainzFieldsOf(release, firstTrack, chosenByUser));
    RememberMusicBrainzIds(MusicBrainzIdsOf(lookup, chosen, firstTrack));
    ShowCover({});
    FCoverFetcher =
        std::make_unique<TCoverFetcher>(&FCoverTarget, std::vector{release.Id}, 500, MaxCoverBytes);
}

void TfrmMain::CoverFetched() {
    if (!FCoverFetcher) return;
    TCoverArt cover = FCoverFetcher->Cover(0);
    FCoverFetcher.reset();
    if (!cover.Error.empty()) {
        // Not an error of the lookup: the place stays empty and says why.
        imCover->setToolTip(QString::fromStdString(cover.Error));
        return;
    }
    ShowCover(cover);
}

void TfrmMain::ShowCover(const TCoverArt& cover) {
    FCover = cover;
    const QPixmap pixmap = cover.Bytes.empty() ? QPixmap() : CoverThumbnail(cover, CoverEdge);
    if (!cover.Bytes.empty() && pixmap.isNull()) {
        FCover = {};
        imCover->setToolTip(QStringLiteral("The cover is not an image that can be shown."));
    } else {
        imCover->setToolTip(cover.Bytes.empty() ? QStringLiteral("No cover") : QString());
    }
    imCover->setPixmap(pixmap);
}

void TfrmMain::bChooseCoverClick() {
    const QStringList files = UiShell().OpenFiles(
        this, {QStringLiteral("Choose cover"),
               {QStringLiteral("Images (*.jpg *.jpeg *.png *.JPG *.JPEG *.PNG)"),
                QStringLiteral("Any file (*)")}});
    if (files.isEmpty()) return;
    const std::string path = S(QFileInfo(files.front()).absoluteFilePath());
    const TCoverArt cover = ReadCoverFile(path);
    if (!cover.Error.empty()) {
        ShowError(this, Q(cover.Error));
        return;
    }
    FCoverFetcher.reset(); // a cover still on its way does not replace the one chosen
    ShowCover(cover);
    if (FListedDiscKey.empty()) return;
    try {
        SaveDiscCoverFile(FListedDiscKey, path);
    } catch (const std::exception& e) {
        ShowError(this, QStringLiteral("The cover could not be remembered: ") + Q(e.what()));
    }
}

} // namespace bw
