#include "LogViewWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace bw {

namespace {

// A log is a few kilobytes; more than this is not one of ours and is not loaded whole.
constexpr qint64 MaxLogBytes = 8 << 20;

} // namespace

TfrmLogView::TfrmLogView(QWidget* owner, const std::filesystem::path& log) : QDialog(owner) {
    const QString name = QString::fromStdString(log.string());
    setWindowTitle(QString::fromStdString(log.filename().string()) +
                   QStringLiteral(" - Brindlewave"));
    mLog = new QPlainTextEdit(this);
    mLog->setReadOnly(true);
    mLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        mLog->setPlainText(QStringLiteral("Cannot read ") + name + QStringLiteral(": ") +
                           file.errorString());
    else
        mLog->setPlainText(QString::fromUtf8(file.read(MaxLogBytes)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mLog);
    layout->addWidget(buttons);
    resize(720, 520);
}

} // namespace bw
