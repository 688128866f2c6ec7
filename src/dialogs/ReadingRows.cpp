#include "ReadingRows.h"

#include <QComboBox>
#include <QSpinBox>

#include "Global.h"
#include "RippingPage.h"

namespace bw {

TReadingRows AddReadingRows(TRippingPage& page) {
    TReadingRows rows;
    rows.cbReadMode = new QComboBox(&page);
    rows.cbReadMode->addItem(QStringLiteral("Plain: each sector once"));
    rows.cbReadMode->addItem(QStringLiteral("Secure: read twice, re-read where the reads differ"));
    // Only 1 means secure; any other stored value reads plainly, so it shows as plain.
    page.AddRow(QStringLiteral("Reading mode:"),
                {rows.cbReadMode,
                 [c = rows.cbReadMode] { c->setCurrentIndex(Settings.ReadMode == 1 ? 1 : 0); },
                 nullptr, [c = rows.cbReadMode] { Settings.ReadMode = c->currentIndex(); }});

    auto spin = [&page](int low, int high, const QString& tip) {
        auto* box = new QSpinBox(&page);
        box->setRange(low, high);
        box->setToolTip(tip);
        return box;
    };
    rows.seMaxRereads = spin(2, MaxRereadsLimit,
                             QStringLiteral("Reads of a sector, in secure mode, looking for two "
                                            "that agree"));
    page.AddRow(QStringLiteral("Re-reads per sector:"),
                {rows.seMaxRereads, [c = rows.seMaxRereads] { c->setValue(Settings.MaxRereads); },
                 nullptr, [c = rows.seMaxRereads] { Settings.MaxRereads = c->value(); }});
    rows.seMaxRetries = spin(0, MaxRetriesLimit,
                             QStringLiteral("Further tries of a read that failed, in secure mode"));
    page.AddRow(QStringLiteral("Retries after a read error:"),
                {rows.seMaxRetries, [c = rows.seMaxRetries] { c->setValue(Settings.MaxRetries); },
                 nullptr, [c = rows.seMaxRetries] { Settings.MaxRetries = c->value(); }});

    // The limits only matter when reading securely.
    auto follow = [rows] {
        bool secure = rows.cbReadMode->currentIndex() == 1;
        rows.seMaxRereads->setEnabled(secure);
        rows.seMaxRetries->setEnabled(secure);
    };
    QObject::connect(rows.cbReadMode, &QComboBox::currentIndexChanged, &page, follow);
    follow();
    return rows;
}

} // namespace bw
