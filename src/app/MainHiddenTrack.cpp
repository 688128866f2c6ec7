// The row of hidden track one audio in the main window's track list: the first row, track 0,
// unticked, so that a plain rip of the disc is as before. The other rows stay the TOC's
// tracks in order, and the titles remembered for the disc stay theirs.
#include "Main.h"
#include "MainSupport.h"

namespace bw::mainwindow {

namespace {
constexpr int HiddenRole = Qt::UserRole + 1;
} // namespace

void AddHiddenTrackRow(QTreeWidget* list, int sectors) {
    auto* row = new QTreeWidgetItem;
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setData(colNumber, HiddenRole, true);
    row->setText(colNumber, QStringLiteral("0"));
    row->setCheckState(colNumber, Qt::Unchecked);
    row->setText(colTitle, QString::fromUtf8(HiddenTrackTitle));
    // It starts at the disc's first sector, 00:02 as the TOC counts.
    row->setText(colStart, TimeText(0, 2));
    row->setText(colLength, TimeText(sectors / 4500, sectors / 75 % 60));
    row->setTextAlignment(colStart, Qt::AlignCenter);
    row->setTextAlignment(colLength, Qt::AlignCenter);
    list->insertTopLevelItem(0, row);
}

int TrackPlaceOfRow(const QTreeWidget* list, int row) {
    const bool hidden = list->topLevelItemCount() > 0 &&
                        list->topLevelItem(0)->data(colNumber, HiddenRole).toBool();
    return hidden ? row : row + 1;
}

} // namespace bw::mainwindow
