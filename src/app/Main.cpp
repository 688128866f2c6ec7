#include "Main.h"

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
#include "CdTextFields.h"
#include "CdTray.h"
#include "DiscIdentity.h"
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
#include "UiShell.h"
#include "WavResample.h"
#include "akrip32.h"

Q_LOGGING_CATEGORY(lcMain, "brindlewave.main", QtInfoMsg)

namespace fs = std::filesystem;

namespace bw {

namespace {

const QString OnlineHelpUrl = ProgramHomePage + QStringLiteral("help/");

constexpr int MinimumWidth = 678;
constexpr int InitialHeight = 542;
constexpr int DiscGroupDesignWidth = 665;
constexpr int DiscGroupHeight = 54;
constexpr int OutputGroupHeight = 56;
constexpr int OutputFormatGroupWidth = 190;
constexpr int EditHeight = 24;
constexpr int BrowseButtonWidth = 30;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QString& text) {
    return text.toStdString();
}

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

QLineEdit* NewDiscEdit(QWidget* parent, int limit) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new TTypingLimit(limit, edit));
    return edit;
}

QString TimeText(int minutes, int seconds) {
    return Q(TwoDigits(minutes) + ":" + TwoDigits(seconds));
}

const QStringList WavFilters = {QStringLiteral("Sound file (*.wav *.WAV)"),
                                QStringLiteral("Any file (*)")};
const QStringList Mp3Filters = {QStringLiteral("Sound file (*.mp3 *.MP3)"),
                                QStringLiteral("Any file (*)")};
const QStringList WmaFilters = {QStringLiteral("Sound file (*.wma *.WMA)"),
                                QStringLiteral("Any file (*)")};

// Key of the disc in a listed drive, read through a handle of its own so that the window's
// handle is never used from two threads.
std::string DiscKeyOfDrive(int index) {
    TCDList list = ReadDriveList();
    if (index < 0 || index >= list.Count) return {};
    return bw::DiscKeyOfDrive(list.Entries[index]);
}

} // namespace

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
    MediaPlayer1->SetNotify([this](TPlayResult result, std::uint64_t play) {
        QMetaObject::invokeMethod(
            this, [this, result, play] { MediaPlayer1Notify(result, play); }, Qt::QueuedConnection);
    });
    FTray = std::make_unique<TCdTray>([](int drive, bool open, TTrayResult result) {
        if (result == TTrayResult::Failed)
            qCWarning(lcMain) << "the tray of drive" << drive << "did not"
                              << (open ? "open" : "close");
    });

    LoadSaveOptions(true);
    // The controls show the settings from the start, whether or not a drive opens.
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir->setText(Q(Settings.OutputFolder));
    UpdateActions();
}

TfrmMain::~TfrmMain() {
    // The player's thread ends before anything it reports to goes.
    MediaPlayer1.reset();
    if (FMediaWatcher) FMediaWatcher->Stop();
    // A window destroyed without closing still gives its drive back.
    if (CDHandle != 0) CloseCDHandle(CDHandle);
}

void TfrmMain::CreateActions() {
    auto action = [this](const QString& caption, const QKeySequence& shortcut, auto slot) {
        auto* a = new QAction(caption, this);
        if (!shortcut.isEmpty()) a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a); // shortcuts work wherever the focus is in the window
        return a;
    };
    // A hint shows as the tool tip and, while the menu entry is under the mouse, in the status
    // bar, as the tool buttons' hints do.
    auto hint = [](QAction* a, const QString& text) {
        a->setToolTip(text);
        a->setStatusTip(text);
    };
    aSelectAll = action(QStringLiteral("&Select All"), {}, &TfrmMain::aSelectAllExecute);
    hint(aSelectAll, QStringLiteral("Select all tracks"));
    aSelectNone = action(QStringLiteral("&Unselect All"), {}, &TfrmMain::aSelectNoneExecute);
    hint(aSelectNone, QStringLiteral("Cancel all selected track"));
    aInvertSelection =
        action(QStringLiteral("&Invert Selection"), {}, &TfrmMain::aInvertSelectionExecute);
    aQueryCDDB = action(QStringLiteral("&Query CDDB..."), {}, &TfrmMain::aQueryCDDBExecute);
    aQueryMusicBrainz =
        action(QStringLiteral("Query &MusicBrainz..."), QKeySequence(Qt::CTRL | Qt::Key_M),
               &TfrmMain::aQueryMusicBrainzExecute);
    aRip = action(QStringLiteral("&Rip Selected Tracks..."), QKeySequence(Qt::CTRL | Qt::Key_R),
                  &TfrmMain::aRipExecute);
    aOptions = action(QStringLiteral("&Options..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                      &TfrmMain::aOptionsExecute);
    aPlay = action(QStringLiteral("&Play"), QKeySequence(Qt::CTRL | Qt::Key_P),
                   &TfrmMain::aPlayExecute);
    aPause = action(QStringLiteral("P&ause"), {}, &TfrmMain::aPauseExecute);
    aStop = action(QStringLiteral("&Stop"), {}, &TfrmMain::aStopExecute);
    aEditTrackName = action(QStringLiteral("&Edit Track's Title..."),
                            QKeySequence(Qt::CTRL | Qt::Key_F2), &TfrmMain::aEditTrackNameExecute);
    hint(aEditTrackName, QStringLiteral("Rename the current track title"));
    aHelp =
        action(QStringLiteral("&Online Help"), QKeySequence(Qt::Key_F1), &TfrmMain::aHelpExecute);
    aHomepage = action(QStringLiteral("&Home Page"), {}, &TfrmMain::aHomepageExecute);

    miEject = action(QStringLiteral("&Eject CD-ROM"), {}, &TfrmMain::miEjectClick);
    miCloseCD = action(QStringLiteral("&Close CD-ROM"), {}, &TfrmMain::miCloseCDClick);
    miRefresh = action(QStringLiteral("Re&fresh CD"), {}, &TfrmMain::miRefreshClick);
    miExit = action(QStringLiteral("E&xit"), {}, &QWidget::close);
    miJumpOutputFolder =
        action(QStringLiteral("&Jump Output Folder"), {}, &TfrmMain::miJumpOutputFolderClick);
    miAbout = action(QStringLiteral("&About..."), {}, &TfrmMain::miAboutClick);
    for (int tag = 1; tag <= ConverterCount; ++tag) {
        miConverters[tag] = new QAction(ConverterEntry(tag).MenuCaption, this);
        miConverters[tag]->setData(tag);
        connect(miConverters[tag], &QAction::triggered, this, [this, tag] { RunConverter(tag); });
    }
    miConverters[ConverterResample]->setVisible(false);
}

void TfrmMain::CreateControls() {
    FClient = new QWidget(this);
    setCentralWidget(FClient);
    FClient->installEventFilter(this);

    gbDisc = new QGroupBox(FClient);
    lArtist = new QLabel(QStringLiteral("Artist:"), gbDisc);
    lAlbum = new QLabel(QStringLiteral("Album:"), gbDisc);
    lYear = new QLabel(QStringLiteral("Year:"), gbDisc);
    lGenre = new QLabel(QStringLiteral("Genre:"), gbDisc);
    lComment = new QLabel(QStringLiteral("Comment:"), gbDisc);
    ID3artist = NewDiscEdit(gbDisc, 30);
    ID3album = NewDiscEdit(gbDisc, 30);
    ID3year = NewDiscEdit(gbDisc, 4);
    ID3comment = NewDiscEdit(gbDisc, 30);
    ID3genre = new QComboBox(gbDisc);
    for (std::string_view name : GenreListEntries)
        ID3genre->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    ID3genre->setCurrentIndex(-1);
    // The field is narrow; let the drop-down show whole names.
    ID3genre->view()->setMinimumWidth(ID3genre->view()->sizeHintForColumn(0) + 24);
    ID3genre->setMaxVisibleItems(20);
    lArtist->setBuddy(ID3artist);
    lAlbum->setBuddy(ID3album);
    lYear->setBuddy(ID3year);
    lGenre->setBuddy(ID3genre);
    lComment->setBuddy(ID3comment);

    ListView1 = new QTreeWidget(FClient);
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Title"),
                                QStringLiteral("Start Time"), QStringLiteral("Length(min)")});
    ListView1->setColumnWidth(colNumber, 90);
    ListView1->setColumnWidth(colTitle, 230);
    ListView1->setColumnWidth(colStart, 100);
    ListView1->setColumnWidth(colLength, 100);
    // The last column keeps its width instead of stretching over the rest of the view.
    ListView1->header()->setStretchLastSection(false);
    ListView1->headerItem()->setTextAlignment(colStart, Qt::AlignCenter);
    ListView1->headerItem()->setTextAlignment(colLength, Qt::AlignCenter);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1, &QTreeWidget::itemChanged, this, &TfrmMain::UpdateActions);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TfrmMain::UpdateActions);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { ListView1DblClick(item); });
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmTracks->popup(ListView1->viewport()->mapToGlobal(at)); });

    gbOutputFormat = new QGroupBox(QStringLiteral("Output Format:"), FClient);
    cbOutputFormat = new QComboBox(gbOutputFormat);
    for (const char* label : OutputFormatLabels)
        cbOutputFormat->addItem(QString::fromUtf8(label));
    connect(cbOutputFormat, &QComboBox::currentIndexChanged, this, &TfrmMain::cbOutputFormatChange);

    gbOutputFolder = new QGroupBox(QStringLiteral("Output Folder:"), FClient);
    eOutputDir = new QLineEdit(gbOutputFolder);
    eOutputDir->setEnabled(false);
    bBrowser = new QPushButton(QStringLiteral("..."), gbOutputFolder);
    connect(bBrowser, &QPushButton::clicked, this, &TfrmMain::bBrowserClick);

    StatusPanel = new QLabel(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    statusBar()->addWidget(StatusPanel, 1);
    statusBar()->setSizeGripEnabled(true);

    pmTracks = new QMenu(this);
    pmTracks->addAction(aRip);
    pmTracks->addSeparator();
    pmTracks->addActions({aSelectAll, aSelectNone, aInvertSelection});
    pmTracks->addSeparator();
    pmTracks->addActions({aPlay, aPause, aStop});
    pmTracks->addSeparator();
    pmTracks->addAction(aEditTrackName);
}

void TfrmMain::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->addAction(aRip);
    file->addSeparator();
    QMenu* wav = file->addMenu(QStringLiteral("Wav Converter"));
    for (int tag = 1; tag <= 6; ++tag)
        wav->addAction(miConverters[tag]);
    for (int tag = 7; tag <= ConverterCount; ++tag)
        file->addAction(miConverters[tag]);
    file->addSeparator();
    file->addActions({aPlay, aPause, aStop});
    file->addSeparator();
    file->addActions({miEject, miCloseCD, miRefresh});
    file->addSeparator();
    file->addAction(miExit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit"));
    edit->addActions({aSelectAll, aSelectNone, aInvertSelection});
    edit->addSeparator();
    edit->addAction(aEditTrackName);
    edit->addSeparator();
    edit->addAction(miJumpOutputFolder);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
    tools->addAction(aQueryCDDB);
    tools->addAction(aQueryMusicBrainz);
    tools->addSeparator();
    tools->addAction(aOptions);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->addAction(aHelp);
    help->addAction(aHomepage);
    help->addSeparator();
    help->addAction(miAbout);
}

QToolButton* TfrmMain::AddToolButton(const QString& caption, const QString& hint, int icon,
                                     QAction* follows) {
    auto* button = new QToolButton(ToolBar1);
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    ToolBar1->addWidget(button);
    if (follows) {
        // The button keeps the caption and hint of its own and the enabled state of its action.
        connect(button, &QToolButton::clicked, follows, &QAction::trigger);
        connect(follows, &QAction::changed, button,
                [button, follows] { button->setEnabled(follows->isEnabled()); });
        button->setEnabled(follows->isEnabled());
    }
    return button;
}

void TfrmMain::CreateToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("Tool bar"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    tbRip = AddToolButton(QStringLiteral("Rip"), QStringLiteral("Rip selected tracks"),
                          QStyle::SP_DriveCDIcon, aRip);
    tbConvert = AddToolButton(QStringLiteral("Convert"), QStringLiteral("Wav to Mp3 Converter"),
                              QStyle::SP_BrowserReload, miConverters[2]);
    tbCDDB = AddToolButton(QStringLiteral("CDDB"), QStringLiteral("Query CDDB"),
                           QStyle::SP_FileDialogContentsView, aQueryCDDB);
    tbMusicBrainz =
        AddToolButton(QStringLiteral("MusicBrainz"), QStringLiteral("Query MusicBrainz"),
                      QStyle::SP_FileDialogInfoView, aQueryMusicBrainz);
    tbFolder = AddToolButton(QStringLiteral("Folder"), QStringLiteral("Open the output folder"),
                             QStyle::SP_DirOpenIcon, miJumpOutputFolder);
    ToolBar1->addSeparator();
    tbPlay = AddToolButton(QStringLiteral("Play"), QStringLiteral("Play the selected track"),
                           QStyle::SP_MediaPlay, aPlay);
    tbPause = AddToolButton(QStringLiteral("Pause"), QStringLiteral("Pause"), QStyle::SP_MediaPause,
                            aPause);
    tbStop =
        AddToolButton(QStringLiteral("Stop"), QStringLiteral("Stop"), QStyle::SP_MediaStop, aStop);
    ToolBar1->addSeparator();
    tbOptions = AddToolButton(QStringLiteral("Options"), QStringLiteral("Options"),
                              QStyle::SP_FileDialogDetailedView, aOptions);
    tbHelp = AddToolButton(QStringLiteral("Help"), QStringLiteral("Help"),
                           QStyle::SP_DialogHelpButton, aHelp);
    tbHome = AddToolButton(QStringLiteral("Home"), QStringLiteral("Visit our home page"),
                           QStyle::SP_DirHomeIcon, aHomepage);
    tbExit = AddToolButton(QStringLiteral("Exit"), QString(), QStyle::SP_DialogCloseButton, miExit);
}

// Widths follow the disc group, whose design width is 665 pixels; each label sits 6 pixels
// after the previous edit and each edit 1 pixel after its label.
void TfrmMain::LayoutControls() {
    const int clientWidth = FClient->width();
    const int clientHeight = FClient->height();
    const int groupWidth = std::max(0, clientWidth - 6);
    gbDisc->setGeometry(3, 2, groupWidth, DiscGroupHeight);

    const int editTop = (DiscGroupHeight - EditHeight) / 2 + 4;
    auto labelWidth = [](QLabel* label) {
        return label->fontMetrics().horizontalAdvance(label->text()) + 2;
    };
    int x = 8; // the artist label keeps its place
    auto place = [&](QLabel* label, QWidget* edit, int designWidth) {
        const int width = labelWidth(label);
        label->setGeometry(x, editTop, width, EditHeight);
        x += width + 1;
        const int editWidth = designWidth > 0 ? groupWidth * designWidth / DiscGroupDesignWidth
                                              : std::max(0, groupWidth - x - 5);
        edit->setGeometry(x, editTop, editWidth, EditHeight);
        x += editWidth + 6;
    };
    place(lArtist, ID3artist, 100);
    place(lAlbum, ID3album, 100);
    place(lYear, ID3year, 45);
    place(lGenre, ID3genre, 109);
    place(lComment, ID3comment, 0);

    const int outputTop = clientHeight - 3 - OutputGroupHeight;
    gbOutputFormat->setGeometry(3, outputTop, OutputFormatGroupWidth, OutputGroupHeight);
    const int innerTop = (OutputGroupHeight - EditHeight) / 2 + 6;
    cbOutputFormat->setGeometry(8, innerTop, OutputFormatGroupWidth - 16, EditHeight);
    const int folderLeft = 3 + OutputFormatGroupWidth + 3;
    const int folderWidth = std::max(0, clientWidth - 3 - folderLeft);
    gbOutputFolder->setGeometry(folderLeft, outputTop, folderWidth, OutputGroupHeight);
    eOutputDir->setGeometry(8, innerTop, std::max(0, folderWidth - 16 - BrowseButtonWidth - 4),
                            EditHeight);
    bBrowser->setGeometry(folderWidth - 8 - BrowseButtonWidth, innerTop, BrowseButtonWidth,
                          EditHeight);

    const int listTop = 2 + DiscGroupHeight + 3;
    ListView1->setGeometry(3, listTop, groupWidth, std::max(0, outputTop - 3 - listTop));
}

// ---------------------------------------------------------------------------------------
// Life cycle

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown) return;
    FShown = true;
    FormShow();
}

void TfrmMain::FormShow() {
    try {
        FDriveIndex = 0; // the first drive; the options only preselect their list
        CDHandle = OpenCDDrive(0);
        if (CDHandle != 0) {
            if (!DiscKeyOfDrive(FDriveIndex).empty())
                RefreshTrackList();
            else
                NoAudioDisc = true;
            SavedStatusText = S(StatusText());
        }
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "opening the drive failed:" << e.what();
    }
    qCDebug(lcMain) << "track list shown with" << ListView1->topLevelItemCount() << "rows";
    StartMediaWatch(1000);
}

void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfrmMain::FormActivate() {
    if (NoAudioDisc) SetStatusText(StatusNoAudioDisc);
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
    SaveListedDiscInfo();
    try {
        if (CDHandle != 0 && CloseCDHandle(CDHandle) == 0)
            ShowError(this, QStringLiteral("Error occur when closing CD handle!"));
        CDHandle = 0;
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

void TfrmMain::StartMediaWatch(int intervalMs) {
    if (FMediaWatcher) FMediaWatcher->Stop();
    FMediaWatcher = std::make_unique<TMediaWatcher>(
        [this] { return DiscKeyOfDrive(FDriveIndex); },
        [this](int event) {
            QMetaObject::invokeMethod(
                this, [this, event] { WMDeviceChange(event, DBT_DEVTYP_VOLUME); },
                Qt::QueuedConnection);
        },
        std::chrono::milliseconds(intervalMs));
    FMediaWatcher->Start(FListedDiscKey);
}

// ---------------------------------------------------------------------------------------
// Drive and disc

int TfrmMain::OpenCDDrive(int index) {
    TCDList list = ReadDriveList();
    if (list.Count == 0) {
        SetStatusText(StatusNoDevices);
        return 0;
    }
    if (index < 0 || index >= list.Count) {
        SetStatusText(StatusBadDeviceIndex);
        return 0;
    }
    const TCDEntry& entry = list.Entries[index];
    DriveName = DriveDisplayName(entry);
    SetStatusText(Q(DriveName));
    int handle = GetCDHandleRecovering(HandleRequestFor(entry));
    if (handle == 0) SetStatusText(StatusNoDevices);
    return handle;
}

void TfrmMain::RefreshTrackList() {
    if (CDHandle == 0) return;
    SaveListedDiscInfo();
    ModifyCDParms(CDHandle, CDP_MSF, 1);
    ClearTrackList();

    TTOC toc{};
    if (ReadTOC(CDHandle, &toc) != 1) {
        SetStatusText(StatusNoTOC);
        return;
    }
    // The titles are those of the disc in this window's drive, whichever drive that is.
    const std::string key = DiscKeyOfTOC(toc);
    // A disc the cache does not know shows the titles it carries as CD-Text, if any.
    LoadDiscInfoOrCdText(key, CDHandle, toc.FirstTrack);

    // A damaged table may claim more tracks than it holds; list only those it holds.
    const int entries = TOCEntryCount(toc);
    for (int t = toc.FirstTrack; t <= toc.LastTrack && t - toc.FirstTrack + 1 < entries; ++t) {
        const TTOCTrack& entry = toc.Tracks[t - toc.FirstTrack];
        const TTOCTrack& next = toc.Tracks[t - toc.FirstTrack + 1];
        const int m = entry.Address[1], s = entry.Address[2];
        int lengthMinutes = next.Address[1] - m;
        int lengthSeconds = next.Address[2] - s;
        if (lengthSeconds < 0) {
            lengthSeconds += 60;
            lengthMinutes -= 1;
        }
        std::string title;
        if (t >= 1 && t <= MaxTracks) {
            if (Settings.TrackTitles[t].empty()) Settings.TrackTitles[t] = "Track" + TwoDigits(t);
            title = Settings.TrackTitles[t];
        } else {
            title = "Track" + TwoDigits(t);
        }
        auto* row = new QTreeWidgetItem(ListView1);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setText(colNumber, QString::number(t));
        row->setCheckState(colNumber, Qt::Checked);
        row->setText(colTitle, Q(title));
        row->setText(colStart, TimeText(m, s));
        row->setText(colLength, TimeText(lengthMinutes, lengthSeconds));
        row->setTextAlignment(colStart, Qt::AlignCenter);
        row->setTextAlignment(colLength, Qt::AlignCenter);
    }
    FListedDiscKey = key;
    if (FMediaWatcher) FMediaWatcher->SetCurrentKey(key);
    // The flag only reports that start-up found no disc; a listed disc ends that state.
    if (ListView1->topLevelItemCount() > 0) NoAudioDisc = false;

    ID3artist->setText(Q(Settings.CDArtist));
    ID3album->setText(Q(Settings.CDAlbum));
    ID3year->setText(Q(Settings.CDYear));
    ID3genre->setCurrentIndex(
        Settings.CDGenre >= 0 && Settings.CDGenre < ID3genre->count() ? Settings.CDGenre : -1);
    ID3comment->setText(Q(Settings.CDComment));
    // Show the start of each text, not its end.
    for (QLineEdit* edit : {ID3artist, ID3album, ID3year, ID3comment})
        edit->setCursorPosition(0);
    SetStatusText(Q(DriveName));
    UpdateActions();
}

void TfrmMain::ClearDiscFields() {
    ID3artist->clear();
    ID3album->clear();
    ID3year->clear();
    ID3comment->clear();
    ID3genre->setCurrentIndex(-1);
}

void TfrmMain::ClearTrackList() {
    ListView1->clear();
    FListedDiscKey.clear();
    UpdateActions();
}

void TfrmMain::TakeTitlesFromList() {
    const int rows = std::min(ListView1->topLevelItemCount(), MaxTracks);
    Settings.TrackCount = rows;
    for (int i = 0; i < rows; ++i)
        Settings.TrackTitles[i + 1] = S(ListView1->topLevelItem(i)->text(colTitle));
}

void TfrmMain::SaveListedDiscInfo() {
    if (FListedDiscKey.empty() || ListView1->topLevelItemCount() == 0) return;
    try {
        TakeTitlesFromList();
        LoadSaveDiscInfo(FListedDiscKey, false, DiscFields());
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "disc titles not saved:" << e.what();
    }
}

void TfrmMain::ChangeDrive(int index) {
    // The old drive is released first, so that changing drives never leaks a handle.
    SaveListedDiscInfo();
    if (CDHandle != 0) CloseCDHandle(CDHandle);
    FDriveIndex = index;
    CDHandle = OpenCDDrive(index);
    if (CDHandle == 0)
        ClearTrackList(); // rows of a drive we no longer hold could not be ripped
    else
        RefreshTrackList();
    if (FMediaWatcher) FMediaWatcher->SetCurrentKey(FListedDiscKey);
    SavedStatusText = S(StatusText());
}

void TfrmMain::WMDeviceChange(int event, int deviceType) {
    if (deviceType != DBT_DEVTYP_VOLUME) return;
    if (QApplication::activeModalWidget() || !FHeldDeviceChanges.empty()) {
        FHeldDeviceChanges.push_back(event);
        if (!FHeldDeviceTimer) {
            FHeldDeviceTimer = new QTimer(this);
            FHeldDeviceTimer->setInterval(100);
            connect(FHeldDeviceTimer, &QTimer::timeout, this, &TfrmMain::ApplyHeldDeviceChanges);
        }
        FHeldDeviceTimer->start();
        return;
    }
    ApplyDeviceChange(event);
}

void TfrmMain::ApplyHeldDeviceChanges() {
    if (QApplication::activeModalWidget()) return;
    FHeldDeviceTimer->stop();
    std::vector<int> held;
    held.swap(FHeldDeviceChanges);
    for (int event : held)
        ApplyDeviceChange(event);
}

void TfrmMain::ApplyDeviceChange(int event) {
    if (event == DBT_DEVICEARRIVAL) {
        RefreshTrackList();
        // Fields the cache knows for this disc stay; only a disc we cannot identify, or
        // one we could not list, would otherwise show the previous disc's fields.
        if (FListedDiscKey.empty()) ClearDiscFields();
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        SaveListedDiscInfo();
        ClearTrackList();
    }
}

// Looks at the window's own drive, which the options may have changed from the first.
void TfrmMain::miRefreshClick() {
    if (!DiscKeyOfDrive(FDriveIndex).empty()) {
        RefreshTrackList();
        if (StatusText() == StatusNoAudioDisc) SetStatusText(Q(DriveName));
    } else {
        SaveListedDiscInfo();
        ClearTrackList();
        SetStatusText(StatusNoAudioDisc);
    }
}

// ---------------------------------------------------------------------------------------
// Track list

bool TfrmMain::AnyTrackTicked() const {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->checkState(colNumber) == Qt::Checked) return true;
    return false;
}

std::vector<std::string> TfrmMain::TrackSelection() const {
    std::vector<std::string> selection;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row->checkState(colNumber) == Qt::Checked)
            selection.push_back(TwoDigits(i + 1) + S(row->text(colTitle)));
    }
    return selection;
}

TDiscFields TfrmMain::DiscFields() const {
    return TDiscFields{S(ID3artist->text()), S(ID3album->text()), S(ID3year->text()),
                       ID3genre->currentIndex(), S(ID3comment->text())};
}

TDiscTagFields TfrmMain::DiscTagFields() const {
    return TDiscTagFields{S(ID3artist->text()), S(ID3album->text()), S(ID3year->text()),
                          S(ID3genre->currentText()), S(ID3comment->text())};
}

QString TfrmMain::StatusText() const {
    return StatusPanel->text();
}

void TfrmMain::SetStatusText(const QString& text) {
    StatusPanel->setText(text);
}

void TfrmMain::UpdateActions() {
    const bool hasRows = ListView1->topLevelItemCount() > 0;
    const bool rowSelected = !ListView1->selectedItems().isEmpty();
    aQueryCDDB->setEnabled(hasRows);
    aQueryMusicBrainz->setEnabled(hasRows);
    aRip->setEnabled(AnyTrackTicked());
    aPlay->setEnabled(rowSelected);
    aPause->setEnabled(IsPlaying && !IsPaused);
    aStop->setEnabled(IsPlaying);
    aEditTrackName->setEnabled(rowSelected);
}

void TfrmMain::aSelectAllExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(colNumber, Qt::Checked);
}

void TfrmMain::aSelectNoneExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(colNumber, Qt::Unchecked);
}

void TfrmMain::aInvertSelectionExecute() {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        row->setCheckState(colNumber,
                           row->checkState(colNumber) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void TfrmMain::ListView1CtrlClick(QTreeWidgetItem* item) {
    if (!item) return;
    ListView1->setCurrentItem(item);
    item->setCheckState(colNumber,
                        item->checkState(colNumber) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TfrmMain::ListView1DblClick(QTreeWidgetItem* item) {
    if (item) ListView1->setCurrentItem(item);
    aEditTrackName->trigger();
}

void TfrmMain::aEditTrackNameExecute() {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) return;
    // The row is found again by its place after the dialog, never kept across it: the list
    // may have been rebuilt meanwhile.
    const int index = ListView1->indexOfTopLevelItem(selected.front());
    const std::string key = FListedDiscKey;
    TfrmEditTrackName dialog(this);
    dialog.eName->setText(selected.front()->text(colTitle));
    if (dialog.exec() != QDialog::Accepted) return;
    if (key != FListedDiscKey || index < 0 || index >= ListView1->topLevelItemCount()) return;
    ListView1->topLevelItem(index)->setText(colTitle, dialog.eName->text());
}

// ---------------------------------------------------------------------------------------
// Commands

bool TfrmMain::CheckOutputFolder() {
    std::error_code ec;
    if (fs::is_directory(fs::path(Settings.OutputFolder), ec)) return true;
    ShowInformation(this, QStringLiteral("the output folder does not exist.") +
                              QStringLiteral("Please check the output directory setting."));
    return false;
}

void TfrmMain::aRipExecute() {
    if (CDHandle == 0) {
        ShowInformation(this, QStringLiteral("Please access CD devices rightly firstly!"));
        return;
    }
    if (!AnyTrackTicked()) {
        ShowInformation(this, QStringLiteral("Please select a track at least!"));
        return;
    }
    std::error_code ec;
    const fs::path folder(Settings.OutputFolder);
    if (!fs::is_directory(folder, ec)) {
        if (!AskYesNo(this, Q(Settings.OutputFolder) + QStringLiteral(",") +
                                QStringLiteral("the output folder does not exist.") +
                                QStringLiteral("\n") + QStringLiteral("creates a new folder?")))
            return;
        if (folder.empty() || !fs::create_directory(folder, ec) || ec) {
            ShowError(this, QStringLiteral("Cannot create ") + Q(Settings.OutputFolder));
            return;
        }
    }
    if (aStop->isEnabled()) aStopExecute();
    const std::vector<std::string> selection = TrackSelection();
    if (CheckOutputFolder()) OpenRipWindow(selection);
}

void TfrmMain::OpenRipWindow(const std::vector<std::string>& selection) {
    const TCDList list = ReadDriveList();
    const int index = FDriveIndex;
    const TCDEntry* drive = index >= 0 && index < list.Count ? &list.Entries[index] : nullptr;
    TfrmCDRip window(this, CDHandle, selection, DiscFields(), drive);
    window.exec();
    if (std::string status = window.AccurateRipStatus(); !status.empty()) SetStatusText(Q(status));
}

void TfrmMain::aQueryCDDBExecute() {
    TTOC toc{};
    if (CDHandle == 0 || ReadTOC(CDHandle, &toc) != 1) {
        ShowError(this, QStringLiteral("Error while reading TOC information!"));
        return;
    }
    TfrmQueryCDDB dialog(this, this);
    dialog.FirstTrack = toc.FirstTrack;
    dialog.LastTrack = toc.LastTrack;
    dialog.CDHandle = CDHandle;
    dialog.exec();
}

void TfrmMain::aQueryMusicBrainzExecute() {
    TTOC toc{};
    if (CDHandle == 0 || ReadTOC(CDHandle, &toc) != 1) {
        ShowError(this, QStringLiteral("Error while reading TOC information!"));
        return;
    }
    TfrmStopQuery stop(this, this, TQueryService::MusicBrainz);
    stop.FirstTrack = toc.FirstTrack;
    stop.LastTrack = toc.LastTrack;
    stop.CDHandle = CDHandle;
    stop.exec();
}

void TfrmMain::ApplyCddbResult(const TCddbQueryResult& result) {
    if (result.ClearDiscFields) ClearDiscFields();
    if (result.Artist) ID3artist->setText(Q(*result.Artist));
    if (result.Album) ID3album->setText(Q(*result.Album));
    if (result.Year) ID3year->setText(Q(*result.Year));
    if (result.Genre) {
        // Only a name written exactly as in the list selects it.
        int index = GenreListIndexOf(*result.Genre, false);
        ID3genre->setCurrentIndex(index > 0 ? index : -1);
    }
    if (result.TrackTitles) {
        const int rows = ListView1->topLevelItemCount();
        for (int i = 0; i < rows && i < static_cast<int>(result.TrackTitles->size()); ++i) {
            auto* row = ListView1->topLevelItem(i);
            row->setText(colTitle, Q((*result.TrackTitles)[i]));
            row->setTextAlignment(colTitle, Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
}

void TfrmMain::aOptionsExecute() {
    TfrmOptions dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (dialog.DriveChanged()) ChangeDrive(dialog.ChosenDrive());
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir->setText(Q(Settings.OutputFolder));
}

// ---------------------------------------------------------------------------------------
// Playback and tray. Errors of the player are only logged: the state follows the commands.

namespace {

// The track number a row shows.
int TrackOfRow(const QTreeWidget* list, int row) {
    return list->topLevelItem(row)->text(colNumber).toInt();
}

TGetCDHandle DriveRequest(int index) {
    const TCDList list = ReadDriveList();
    if (index < 0 || index >= list.Count) throw ECdPlayerError("No such CD drive");
    return HandleRequestFor(list.Entries[index]);
}

} // namespace

void TfrmMain::aPlayExecute() {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) return;
    const int row = ListView1->indexOfTopLevelItem(selected.front());
    SetStatusText(QStringLiteral("Play ") + selected.front()->text(colTitle));
    const bool wasRunning = aStop->isEnabled();
    const bool wasPlaying = aPause->isEnabled();
    IsPlaying = true;
    IsPaused = false;
    UpdateActions();
    try {
        if (!wasRunning || wasPlaying) {
            FCurrentPlay = 0; // a notice still on its way belongs to the play replaced here
            if (wasRunning) MediaPlayer1->Close();
            MediaPlayer1->Open(DriveRequest(FDriveIndex));
            // Rows name their tracks, so a disc that starts at another track plays right.
            MediaPlayer1->SetStartPos(MediaPlayer1->TrackPosition(TrackOfRow(ListView1, row)));
            if (row + 1 < ListView1->topLevelItemCount())
                MediaPlayer1->SetEndPos(
                    MediaPlayer1->TrackPosition(TrackOfRow(ListView1, row + 1)));
            FCurrentPlay = MediaPlayer1->Play();
        } else {
            MediaPlayer1->Resume();
        }
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "playback:" << e.what();
    }
}

void TfrmMain::aPauseExecute() {
    IsPaused = true;
    UpdateActions();
    try {
        MediaPlayer1->Pause();
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "pause:" << e.what();
    }
}

void TfrmMain::aStopExecute() {
    IsPlaying = false;
    IsPaused = false;
    FCurrentPlay = 0;
    UpdateActions();
    try {
        MediaPlayer1->Stop();
        MediaPlayer1->Close();
    } catch (const std::exception& e) {
        qCWarning(lcMain) << "stop:" << e.what();
    }
    SetStatusText(Q(SavedStatusText));
}

void TfrmMain::MediaPlayer1Notify(TPlayResult result, std::uint64_t play) {
    // A notice of a play that was stopped or replaced since must not end the current one.
    if (play != FCurrentPlay || !IsPlaying) return;
    if (result == TPlayResult::Successful)
        aStopExecute();
    else
        qCWarning(lcMain) << "playback ended early: the disc could not be read or played";
}

void TfrmMain::miEjectClick() {
    FTray->Open(FDriveIndex);
}

void TfrmMain::miCloseCDClick() {
    FTray->Close(FDriveIndex);
}

void TfrmMain::miAboutClick() {
    TfrmAbout dialog(this);
    dialog.exec();
}

// The user guide that comes with the program: the installed copy, else the one built beside
// the program, else the source tree's above a build folder; the online page when none is
// there.
QUrl HelpUrl() {
    const fs::path program = ProgramFolder();
    for (const fs::path& candidate :
         {program.parent_path() / "share" / "doc" / "brindlewave" / "user-guide.html",
          program / "docs" / "user-guide.html", program.parent_path() / "docs" / "user-guide.md"}) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec))
            return QUrl::fromLocalFile(Q(fs::absolute(candidate, ec).lexically_normal().string()));
    }
    return QUrl(OnlineHelpUrl);
}

void TfrmMain::aHelpExecute() {
    UiShell().OpenUrl(HelpUrl());
}

void TfrmMain::aHomepageExecute() {
    UiShell().OpenUrl(QUrl(ProgramHomePage));
}

void TfrmMain::miJumpOutputFolderClick() {
    std::error_code ec;
    if (fs::is_directory(fs::path(Settings.OutputFolder), ec)) {
        UiShell().OpenUrl(
            QUrl::fromLocalFile(Q(fs::absolute(fs::path(Settings.OutputFolder), ec).string())));
        return;
    }
    ShowError(this, Q(Settings.OutputFolder) + QStringLiteral(",") +
                        QStringLiteral("the output folder does not exist."));
}

void TfrmMain::bBrowserClick() {
    const QString folder = UiShell().BrowseForFolder(
        this, QStringLiteral("Please select the folder to save the audio file"));
    if (folder.isEmpty()) return;
    eOutputDir->setText(folder);
    Settings.OutputFolder = S(folder);
}

void TfrmMain::cbOutputFormatChange(int index) {
    if (index >= 0) Settings.OutputFormat = index;
}

void TfrmMain::RunConverter(int converterType) {
    if (converterType == ConverterResample) {
        TfrmWavResample dialog(this);
        dialog.exec();
        return;
    }
    const TConverterEntry entry = ConverterEntry(converterType);
    const QStringList files = UiShell().OpenFiles(this, {entry.DialogTitle, entry.Filters});
    if (files.isEmpty()) return;
    if (CheckOutputFolder()) OpenConversionWindow(files, converterType);
}

void TfrmMain::OpenConversionWindow(const QStringList& files, int converterType) {
    TfrmEncodeProgress window(this, files, DiscTagFields());
    window.ConverterType = converterType;
    window.exec();
}

void TfrmMain::WMShowInstance() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    // A modal dialog of ours stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->show();
        modal->raise();
        modal->activateWindow();
    }
}

} // namespace bw
