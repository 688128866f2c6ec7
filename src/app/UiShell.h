// The windows' calls out to the desktop: message boxes, the folder picker, the file-open
// dialog and opening folders or web pages. Each goes through a replaceable function so that
// tests can answer boxes and pickers without a user; the defaults use Qt's own dialogs.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

namespace bw {

class TfrmJobReport;

// Caption of every box the program shows.
inline const QString BoxCaption = QStringLiteral("Brindlewave");

enum class TBoxKind {
    Information, // hint, OK button
    Error,       // error, OK button
    Question,    // Yes/No question with the information icon
};

enum class TBoxAnswer { Ok, Yes, No };

struct TFileDialogRequest {
    QString Title;
    QStringList Filters; // Qt name filters, the first one selected
};

struct TUiShell {
    std::function<TBoxAnswer(QWidget* parent, TBoxKind kind, const QString& text)> ShowBox;
    // The chosen folder, or empty when the user cancelled.
    std::function<QString(QWidget* parent, const QString& title)> BrowseForFolder;
    // The chosen files (several may be chosen), or none when the user cancelled.
    std::function<QStringList(QWidget* parent, const TFileDialogRequest& request)> OpenFiles;
    // Opens a local folder or a web page with the desktop's handler; false when none took it.
    std::function<bool(const QUrl& url)> OpenUrl;
    // Shows a job's report until the user closes it.
    std::function<void(TfrmJobReport& report)> ShowReport;
    // A desktop notification; onClick runs when the user clicks it. False when none was sent
    // (no notification service).
    std::function<bool(const QString& summary, const QString& body, std::function<void()> onClick)>
        Notify;
};

// The functions in use; tests replace members and restore them with ResetUiShell().
TUiShell& UiShell();
void ResetUiShell();

void ShowInformation(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);
// True when the user answered Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// The question asked before a file that exists is replaced; true when the user answered Yes.
bool AskOverwriteFile(QWidget* parent, const QString& path);
// Opens a page or folder with the desktop's handler; when none takes it, says so in a box
// with the address, so that the user can open it another way. False then.
bool OpenOrSay(QWidget* parent, const QUrl& url);

} // namespace bw
