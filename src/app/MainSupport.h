#pragma once

// Small helpers shared by the files that make up the main window.

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QValidator>
#include <filesystem>

#include "About.h"
#include "CutOff.h"
#include "DiscIdentity.h"
#include "Global.h"
#include "akrip32.h"

Q_DECLARE_LOGGING_CATEGORY(lcMain)

namespace bw::mainwindow {

inline const QString OnlineHelpUrl = ProgramHomePage + QStringLiteral("help/");

constexpr int MinimumWidth = 678;
constexpr int InitialHeight = 542;
constexpr int DiscGroupDesignWidth = 665;
constexpr int DiscGroupHeight = 84; // two rows: the disc fields, then the disc's place in its set
constexpr int CoverEdge = 64;       // the front cover at the group's right end
constexpr int CoverSpace = CoverEdge + 6;
constexpr int OutputGroupHeight = 56;
constexpr int OutputFormatGroupWidth = 190;
constexpr int EditHeight = 24;
constexpr int BrowseButtonWidth = 30;

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

inline std::string S(const QString& text) {
    return text.toStdString();
}

// The status text followed by why the drive holds no readable disc (as its latest read
// said), when the drive could tell; the status text alone otherwise.
QString StatusWithDiscProblem(const QString& status, const std::string& why);

// Limits what the user types without cutting texts set by the program (a cached or looked-up
// artist may be longer than an ID3v1 field).
class TTypingLimit : public QValidator {
public:
    TTypingLimit(int limit, QObject* parent) : QValidator(parent), FLimit(limit) {}
    State validate(QString& input, int&) const override {
        return input.size() <= FLimit ? Acceptable : Invalid;
    }

private:
    int FLimit;
};

// A disc field; limit 0 takes as much as is typed (the ID3v1 block cuts its own copy).
inline QLineEdit* NewDiscEdit(QWidget* parent, int limit = 0) {
    auto* edit = new QLineEdit(parent);
    if (limit > 0) edit->setValidator(new TTypingLimit(limit, edit));
    return edit;
}

inline QString TimeText(int minutes, int seconds) {
    return Q(TwoDigits(minutes) + ":" + TwoDigits(seconds));
}

inline const QStringList WavFilters = {QStringLiteral("Sound file (*.wav *.WAV)"),
                                       QStringLiteral("Any file (*)")};
inline const QStringList Mp3Filters = {QStringLiteral("Sound file (*.mp3 *.MP3)"),
                                       QStringLiteral("Any file (*)")};
inline const QStringList WmaFilters = {QStringLiteral("Sound file (*.wma *.WMA)"),
                                       QStringLiteral("Any file (*)")};

// Marks a row's title (or artist) that the user typed, as opposed to one a lookup gave.
constexpr int TypedRole = Qt::UserRole + 2;

// Hidden track one audio (sectors before the first track) as the list's first row, track 0,
// unticked.
void AddHiddenTrackRow(QTreeWidget* list, int sectors);
// The place in the disc's TOC (from 1) of a row's track; 0 for the hidden track's row.
int TrackPlaceOfRow(const QTreeWidget* list, int row);

// Key of the disc in a listed drive, read through a handle of its own so that the window's
// handle is never used from two threads; `cut` ends the look early.
inline std::string DiscKeyOfListedDrive(int index, TCutOff& cut) {
    const TCDList list = KnownDriveList();
    if (index < 0 || index >= list.Count) return {};
    return bw::DiscKeyOfDrive(list.Entries[index], &cut);
}

} // namespace bw::mainwindow
