#include "ChooseRelease.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "CoverFetcher.h"

namespace bw {

namespace {

// A cover of more pixels than this is refused before it is decoded.
constexpr int MaxCoverEdge = 4096;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// "CD", or "CD 2 of 5" for a medium of a set.
QString FormatText(const TMusicBrainzRelease& release) {
    QString format = Q(release.MediumFormat.empty() ? std::string("Medium") : release.MediumFormat);
    if (release.MediumCount > 1 && release.MediumPosition > 0)
        format += QStringLiteral(" %1 of %2").arg(release.MediumPosition).arg(release.MediumCount);
    return format;
}

} // namespace

QPixmap CoverThumbnail(const TCoverArt& cover, int edge) {
    QByteArray bytes(reinterpret_cast<const char*>(cover.Bytes.data()),
                     static_cast<qsizetype>(cover.Bytes.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxCoverEdge || size.height() > MaxCoverEdge) return {};
    reader.setScaledSize(size.scaled(edge, edge, Qt::KeepAspectRatio));
    return QPixmap::fromImage(reader.read());
}

QStringList ReleaseRowTexts(const TMusicBrainzRelease& release) {
    QStringList texts;
    for (int column = 0; column < rcColumnCount; ++column)
        texts << QString();
    texts[rcTitle] = Q(release.Title);
    texts[rcArtist] = Q(release.Artist);
    texts[rcDate] = Q(release.Date);
    texts[rcCountry] = Q(release.Country);
    const TDiscRelease& disc = release.Disc;
    texts[rcLabel] = Q(disc.Label);
    if (!disc.CatalogNumber.empty())
        texts[rcLabel] +=
            (disc.Label.empty() ? QString() : QStringLiteral(" / ")) + Q(disc.CatalogNumber);
    texts[rcBarcode] = Q(disc.Barcode);
    texts[rcFormat] = FormatText(release);
    texts[rcTracks] = QString::number(release.TrackTitles.size());
    return texts;
}

TfrmChooseRelease::TfrmChooseRelease(const std::vector<TMusicBrainzRelease>& releases, int selected,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Choose the release"));
    lHint = new QLabel(QStringLiteral("MusicBrainz knows several releases of this disc. "
                                      "Choose the one you have:"),
                       this);
    lvReleases = new QTreeWidget(this);
    lvReleases->setColumnCount(rcColumnCount);
    lvReleases->setHeaderLabels({QString(), QStringLiteral("Title"), QStringLiteral("Artist"),
                                 QStringLiteral("Date"), QStringLiteral("Country"),
                                 QStringLiteral("Label / Cat. No."), QStringLiteral("Barcode"),
                                 QStringLiteral("Format"), QStringLiteral("Tracks")});
    lvReleases->setRootIsDecorated(false);
    lvReleases->setItemsExpandable(false);
    lvReleases->setSelectionMode(QAbstractItemView::SingleSelection);
    lvReleases->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvReleases->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvReleases->setIconSize(QSize(ReleaseThumbnailSize, ReleaseThumbnailSize));
    lvReleases->setMinimumWidth(760);
    // Every row as high as a thumbnail, so the list does not jump as they arrive.
    QPixmap blank(ReleaseThumbnailSize, ReleaseThumbnailSize);
    blank.fill(Qt::transparent);
    std::vector<std::string> ids;
    for (const TMusicBrainzRelease& release : releases) {
        auto* row = new QTreeWidgetItem(lvReleases, ReleaseRowTexts(release));
        row->setData(rcCover, Qt::DecorationRole, blank);
        row->setTextAlignment(rcTracks, Qt::AlignCenter);
        ids.push_back(release.Id);
    }
    for (int column = rcTitle; column < rcColumnCount; ++column)
        lvReleases->resizeColumnToContents(column);
    lvReleases->setColumnWidth(rcCover, ReleaseThumbnailSize + 8);
    // The title takes the room the others leave; four releases show without scrolling.
    lvReleases->header()->setStretchLastSection(false);
    lvReleases->header()->setSectionResizeMode(rcTitle, QHeaderView::Stretch);
    lvReleases->setMinimumHeight(4 * (ReleaseThumbnailSize + 4) +
                                 lvReleases->header()->sizeHint().height() + 4);
    if (selected >= 0 && selected < lvReleases->topLevelItemCount())
        lvReleases->setCurrentItem(lvReleases->topLevelItem(selected));

    btOk = new QPushButton(QStringLiteral("&OK"), this);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lHint);
    layout->addWidget(lvReleases);
    layout->addLayout(buttons);

    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvReleases, &QTreeWidget::itemSelectionChanged, this,
            &TfrmChooseRelease::UpdateActions);
    connect(lvReleases, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    UpdateActions();

    FFetcher = std::make_unique<TCoverFetcher>(&FTarget, std::move(ids), 250, MaxThumbnailBytes);
}

TfrmChooseRelease::~TfrmChooseRelease() = default; // the fetcher's destructor stops it

int TfrmChooseRelease::Chosen() const {
    const QList<QTreeWidgetItem*> selected = lvReleases->selectedItems();
    return selected.isEmpty() ? -1 : lvReleases->indexOfTopLevelItem(selected.front());
}

bool TfrmChooseRelease::HasThumbnail(int row) const {
    const QTreeWidgetItem* item = lvReleases->topLevelItem(row);
    return item && item->data(rcCover, Qt::UserRole).toBool();
}

void TfrmChooseRelease::UpdateActions() {
    btOk->setEnabled(Chosen() >= 0);
}

bool TfrmChooseRelease::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_COVERFETCHED)) {
        CoverFetched(
            static_cast<std::size_t>(static_cast<TMessageEvent*>(event)->Message().WParam));
        return true;
    }
    return QDialog::event(event);
}

void TfrmChooseRelease::CoverFetched(std::size_t index) {
    QTreeWidgetItem* row = lvReleases->topLevelItem(static_cast<int>(index));
    if (!row) return;
    const TCoverArt cover = FFetcher->Cover(index);
    const QPixmap thumbnail =
        cover.Error.empty() ? CoverThumbnail(cover, ReleaseThumbnailSize) : QPixmap();
    if (thumbnail.isNull()) {
        // Says why there is none where the cover would be.
        row->setToolTip(rcCover,
                        cover.Error.empty()
                            ? QStringLiteral("The cover is not an image that can be shown.")
                            : Q(cover.Error));
        return;
    }
    row->setData(rcCover, Qt::DecorationRole, thumbnail);
    row->setData(rcCover, Qt::UserRole, true);
}

} // namespace bw
