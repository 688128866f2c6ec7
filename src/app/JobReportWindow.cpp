#include "JobReportWindow.h"

#include "LogViewWindow.h"
#include "UiShell.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bw {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QUrl LocalUrl(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return QUrl::fromLocalFile(Q((ec ? path : absolute).lexically_normal().string()));
}

} // namespace

TfrmJobReport::TfrmJobReport(QWidget* owner, TJobSummary summary)
    : QDialog(owner), FSummary(std::move(summary)) {
    setWindowTitle(Q(FSummary.Title) + QStringLiteral(" - ") + BoxCaption);
    lVerdict = new QLabel(Q(FSummary.Verdict), this);
    lVerdict->setWordWrap(true);
    QFont bold = lVerdict->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    lVerdict->setFont(bold);
    lVerdict->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* facts = new QFormLayout;
    for (const auto& [label, value] : FSummary.Facts) {
        auto* text = new QLabel(Q(value), this);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setWordWrap(true);
        facts->addRow(Q(label), text);
    }

    tvItems = new QTreeWidget(this);
    tvItems->setRootIsDecorated(false);
    tvItems->setAlternatingRowColors(true);
    tvItems->setUniformRowHeights(true);
    QStringList headers;
    for (const std::string& column : FSummary.Columns)
        headers << Q(column);
    tvItems->setHeaderLabels(headers);
    for (const TJobSummary::TRow& row : FSummary.Rows) {
        auto* item = new QTreeWidgetItem(tvItems);
        for (int i = 0; i < static_cast<int>(row.Cells.size()); ++i) {
            item->setText(i, Q(row.Cells[static_cast<std::size_t>(i)]));
            item->setToolTip(i, item->text(i)); // long reasons stay readable in a narrow column
        }
        if (row.Problem)
            for (int i = 0; i < tvItems->columnCount(); ++i)
                item->setForeground(i, QColor(Qt::darkRed));
    }
    for (int i = 0; i < tvItems->columnCount(); ++i)
        tvItems->resizeColumnToContents(i);

    bOpenFolder = new QPushButton(QStringLiteral("Open Folder"), this);
    bShowLog = new QPushButton(QStringLiteral("Show Log"), this);
    bClose = new QPushButton(QStringLiteral("Close"), this);
    bShowLog->setVisible(!FSummary.Log.empty());
    bOpenFolder->setEnabled(!FSummary.Folder.empty());
    connect(bOpenFolder, &QPushButton::clicked, this, &TfrmJobReport::bOpenFolderClick);
    connect(bShowLog, &QPushButton::clicked, this, &TfrmJobReport::bShowLogClick);
    connect(bClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bOpenFolder);
    buttons->addWidget(bShowLog);
    buttons->addStretch(1);
    buttons->addWidget(bClose);
    bClose->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lVerdict);
    layout->addLayout(facts);
    layout->addWidget(tvItems, 1);
    layout->addLayout(buttons);
    resize(720, 420);
}

bool UserAway() {
    return QApplication::activeWindow() == nullptr;
}

void ReportJobEnd(QWidget* owner, TJobSummary summary, bool userAway) {
    TfrmJobReport report(owner, std::move(summary));
    if (userAway) {
        QPointer<TfrmJobReport> shown(&report);
        UiShell().Notify(Q(report.Summary().Title), Q(report.Summary().Verdict), [shown] {
            if (!shown) return;
            shown->show();
            shown->raise();
            shown->activateWindow();
        });
    }
    UiShell().ShowReport(report);
}

void TfrmJobReport::bOpenFolderClick() {
    OpenOrSay(this, LocalUrl(FSummary.Folder));
}

void TfrmJobReport::bShowLogClick() {
    if (FSummary.Log.empty()) return;
    // Read-only here, beside the report: an editor could change what the rip recorded.
    auto* view = new TfrmLogView(this, FSummary.Log);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
}

} // namespace bw
