#include "UiShell.h"

#include "DesktopNotifier.h"
#include "JobReportWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace bw {

namespace {

TBoxAnswer QtShowBox(QWidget* parent, TBoxKind kind, const QString& text) {
    switch (kind) {
    case TBoxKind::Error:
        QMessageBox::critical(parent, BoxCaption, text);
        return TBoxAnswer::Ok;
    case TBoxKind::Question: {
        QMessageBox box(QMessageBox::Information, BoxCaption, text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        return box.exec() == QMessageBox::Yes ? TBoxAnswer::Yes : TBoxAnswer::No;
    }
    case TBoxKind::Information:
        break;
    }
    QMessageBox::information(parent, BoxCaption, text);
    return TBoxAnswer::Ok;
}

QString QtBrowseForFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

QStringList QtOpenFiles(QWidget* parent, const TFileDialogRequest& request) {
    QFileDialog dialog(parent, request.Title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(request.Filters);
    if (!request.Filters.isEmpty()) dialog.selectNameFilter(request.Filters.front());
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

bool DesktopNotify(const QString& summary, const QString& body, std::function<void()> onClick) {
    // One for the program's life, so that a click on an earlier notice still finds it.
    static TDesktopNotifier* notifier = new TDesktopNotifier(QCoreApplication::instance());
    return notifier->Notify(summary, body, std::move(onClick));
}

TUiShell QtShell() {
    return TUiShell{QtShowBox,
                    QtBrowseForFolder,
                    QtOpenFiles,
                    [](const QUrl& url) { return QDesktopServices::openUrl(url); },
                    [](TfrmJobReport& report) { report.exec(); },
                    DesktopNotify};
}

} // namespace

TUiShell& UiShell() {
    static TUiShell shell = QtShell();
    return shell;
}

void ResetUiShell() {
    UiShell() = QtShell();
}

void ShowInformation(QWidget* parent, const QString& text) {
    UiShell().ShowBox(parent, TBoxKind::Information, text);
}

void ShowError(QWidget* parent, const QString& text) {
    UiShell().ShowBox(parent, TBoxKind::Error, text);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    return UiShell().ShowBox(parent, TBoxKind::Question, text) == TBoxAnswer::Yes;
}

bool AskOverwriteFile(QWidget* parent, const QString& path) {
    return AskYesNo(parent, path + QStringLiteral(" has existed, overite it?"));
}

bool OpenOrSay(QWidget* parent, const QUrl& url) {
    if (UiShell().OpenUrl(url)) return true;
    const QString where = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    ShowError(parent, QStringLiteral("No program on this desktop opens %1. Open it in a file "
                                     "manager or web browser of your choice.")
                          .arg(where));
    return false;
}

} // namespace bw
