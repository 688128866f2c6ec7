// The main window: its life cycle and the events it takes.
#include "Main.h"
#include "MainSupport.h"

#include "About.h"
#include "CdTextFields.h"
#include "CdTray.h"
#include "CoverFetcher.h"
#include "DiscIdentity.h"
#include "DiscReader.h"
#include "EditTrackName.h"
#include "EncodeWindow.h"
#include "Genres.h"
#include "IniFile.h"
#include "MediaWatcher.h"
#include "OptionSet.h"
#include "QtMessages.h"
#include "QueryCddb.h"
#include "RipWindow.h"
#include "StopQuery.h"
#include "UdevMedia.h"
#include "UiShell.h"
#include "WavResample.h"
#include "akrip32.h"

Q_LOGGING_CATEGORY(lcMain, "brindlewave.main", QtInfoMsg)

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

TConverterEntry ConverterEntry(int converterType) {
    switch (converterType) {
    case 1:
        return {QStringLiteral("Wav to Wa&v..."), QStringLiteral("Wav to Wav Converter"),
                WavFilters};
    case 2:
        return {QStringLiteral("Wav to &Mp3..."), QStringLiteral("Wav to Mp3 Converter"),
                WavFilters};
    case 3:
        return {QStringLiteral("Wav to &Ogg..."), QStringLiteral("Wav to Ogg Converter"),
                WavFilters};
    case 4:
        return {QStringLiteral("Wav to &Wma..."), QStringLiteral("Wav to Wma Converter"),
                WavFilters};
    case 5:
        return {QStringLiteral("Wav to &Flac..."), QStringLiteral("Wav to Flac Converter"),
                WavFilters};
    case 6:
        return {QStringLiteral("Wav to &Ape..."), QStringLiteral("Wav to Ape Converter"),
                WavFilters};
    case 7:
        return {QStringLiteral("&Mp3 to Wav Converter..."), QStringLiteral("Mp3 to Wav Converter"),
                Mp3Filters};
    case 8:
        return {QStringLiteral("&Wma to Wav Converter..."), QStringLiteral("Wma to Wav Converter"),
                WmaFilters};
    case 9:
        return {QStringLiteral("M&p3 to Wma Converter..."), QStringLiteral("Mp3 to Wma Converter"),
                Mp3Filters};
    case 10:
        return {QStringLiteral("Wma &to Mp3 Converter..."), QStringLiteral("Wma to Mp3 Converter"),
                WmaFilters};
    case ConverterWavToOpus:
        return {QStringLiteral("Wav to O&pus..."), QStringLiteral("Wav to Opus Converter"),
                WavFilters};
    default:
        return {QString(), QStringLiteral("Audio Converter"), WavFilters};
    }
}

// ---------------------------------------------------------------------------------------
// Creation

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Brindlewave"));
    setObjectName(QStringLiteral("frmMain"));
    CreateActions();
    CreateControls();
    CreateMenus();
    CreateToolBar();

    setMinimumWidth(MinimumWidth);
    resize(MinimumWidth, InitialHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(MinimumWidth / 2, InitialHeight / 2));
    }

    MediaPlayer1 = std::make_unique<TCdPlayer>();
    MediaPlayer1->SetNotify([this](TPlayResult result, std::uint64_t play, const std::string& why) {
        QMetaObject::invokeMethod(
            this, [this, result, play, why] { MediaPlayer1Notify(result, play, why); },
            Qt::QueuedConnection);
    });
    FTray = std::make_unique<TCdTray>([this](int drive, bool open, TTrayResult result) {
        if (result != TTrayResult::Failed) return;
        qCWarning(lcMain) << "the tray of drive" << drive << "did not" << (open ? "open" : "close");
        // The user asked for it, so the user hears of it.
        QMetaObject::invokeMethod(
            this,
            [this, open] {
                SetStatusText(open ? QStringLiteral("The drive did not open its tray.")
                                   : QStringLiteral("The drive did not close its tray."));
            },
            Qt::QueuedConnection);
    });

    LoadSaveOptions(true);
    // The controls show the settings from the start, whether or not a drive opens.
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir->setText(Q(Settings.OutputFolder));
    UpdateActions();
}

TfrmMain::~TfrmMain() {
    // The player, the reader and the watcher report nothing once stopped, and none of them
    // is waited for: a drive stuck in a command keeps only their threads.
    MediaPlayer1.reset();
    // A window destroyed without closing still gives its drive back; a read waiting on the
    // drive lets go with it.
    ReleaseDrive();
    FDiscReader.reset();
    if (FMediaWatcher) FMediaWatcher->Stop();
    FTray.reset();
}

// ---------------------------------------------------------------------------------------
// Life cycle

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown) return;
    FShown = true;
    FormShow();
}

// The drive is opened and read off the window's thread; the watch for disc changes starts
// once that read has found which drive it is.
void TfrmMain::FormShow() {
    FDriveIndex = 0; // the first drive; the options only preselect their list
    StartDiscRead(rrStartup);
}

void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfrmMain::FormActivate() {
    if (NoAudioDisc) SetStatusText(StatusWithDiscProblem(StatusNoAudioDisc, FDiscProblem));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    event->accept();
}

// Each step has its own trap: a cache that cannot be written must not cost the options.
void TfrmMain::FormClose() {
    if (FMediaWatcher) FMediaWatcher->Stop();
    FReadSerial++; // a read still under way lists nothing any more
    SaveListedDiscInfo();
    try {
        if (!ReleaseDrive()) ShowError(this, QStringLiteral("Error occur when closing CD handle!"));
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "closing the drive failed:" << e.what();
    }
    if (IsPlaying) {
        try {
            aStopExecute();
        } catch (const std::exception& e) {
            qCWarning(lcMain) << "stopping playback failed:" << e.what();
        }
    }
    try {
        LoadSaveOptions(false);
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "settings not saved:" << e.what();
    }
}

bool TfrmMain::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_SHOWINSTANCE)) {
        WMShowInstance();
        return true;
    }
    if (event->type() == static_cast<QEvent::Type>(WM_COVERFETCHED)) {
        CoverFetched();
        return true;
    }
    return QMainWindow::event(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FClient && event->type() == QEvent::Resize && bBrowser) {
        LayoutControls();
    } else if (ListView1 && watched == ListView1->viewport() &&
               (event->type() == QEvent::MouseButtonPress ||
                event->type() == QEvent::MouseButtonRelease)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier)) {
            QTreeWidgetItem* item = ListView1->itemAt(mouse->position().toPoint());
            if (item) {
                // Taken whole, so that the view does not flip the tick a second time or
                // clear the selection as a Ctrl-click would.
                if (event->type() == QEvent::MouseButtonPress) ListView1CtrlClick(item);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace bw
