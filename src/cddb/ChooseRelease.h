// The modal dialog in which the user picks one of the releases MusicBrainz knows for the
// disc: each with its title, artist, date, country, label and catalogue number, barcode,
// format and place in the set, track count, and its front cover as a thumbnail once the Cover
// Art Archive has sent it (fetched in the background; the list is usable at once).
#pragma once

#include <QDialog>
#include <QPixmap>
#include <memory>
#include <vector>

#include "CoverArt.h"
#include "MusicBrainzRelease.h"
#include "QtMessages.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace bw {

class TCoverFetcher;

// Columns of the release list.
enum TReleaseColumn {
    rcCover = 0,
    rcTitle,
    rcArtist,
    rcDate,
    rcCountry,
    rcLabel,
    rcBarcode,
    rcFormat,
    rcTracks,
    rcColumnCount
};

// Edge of a thumbnail in the list, in pixels.
constexpr int ReleaseThumbnailSize = 64;

// A cover scaled to fit a square of the given edge; null when its bytes are no image of a
// sane size (an edge above 4096 pixels is refused before it is decoded).
QPixmap CoverThumbnail(const TCoverArt& cover, int edge);

// The texts of a release's row, by column (the cover column empty).
QStringList ReleaseRowTexts(const TMusicBrainzRelease& release);

class TfrmChooseRelease : public QDialog {
    Q_OBJECT
public:
    // selected: the row chosen at first (the release remembered for the disc, else the one a
    // lookup would take).
    TfrmChooseRelease(const std::vector<TMusicBrainzRelease>& releases, int selected,
                      QWidget* parent = nullptr);
    ~TfrmChooseRelease() override;

    // The release of the selected row; -1 when none is.
    int Chosen() const;
    // True once the row's thumbnail is shown.
    bool HasThumbnail(int row) const;

    QLabel* lHint;
    QTreeWidget* lvReleases;
    QPushButton* btOk;
    QPushButton* btCancel;

protected:
    bool event(QEvent* event) override;

private:
    void CoverFetched(std::size_t index);
    void UpdateActions();

    TQtMessageTarget FTarget{this};
    std::unique_ptr<TCoverFetcher> FFetcher;
};

} // namespace bw
