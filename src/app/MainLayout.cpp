// The main window: actions, controls, menus, the tool bar and their layout.
#include "Main.h"
#include "MainSupport.h"

#include <QCompleter>
#include <QRegularExpressionValidator>

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

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

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
    miConvertAudioFiles =
        action(QStringLiteral("Convert Audio Files..."), {}, &TfrmMain::miConvertAudioFilesClick);
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
    ID3artist = NewDiscEdit(gbDisc);
    ID3album = NewDiscEdit(gbDisc);
    ID3year = NewDiscEdit(gbDisc, 4);
    ID3comment = NewDiscEdit(gbDisc);
    // Any genre may be typed; the list's names are offered as the typing goes.
    ID3genre = new QComboBox(gbDisc);
    ID3genre->setEditable(true);
    ID3genre->setInsertPolicy(QComboBox::NoInsert);
    QStringList genreNames;
    for (std::string_view name : GenreListEntries)
        genreNames << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    ID3genre->addItems(genreNames);
    genreNames.removeFirst(); // the empty entry is no name to complete
    auto* genreCompleter = new QCompleter(genreNames, ID3genre);
    genreCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    genreCompleter->setFilterMode(Qt::MatchContains);
    genreCompleter->setCompletionMode(QCompleter::PopupCompletion);
    ID3genre->setCompleter(genreCompleter);
    ID3genre->setCurrentIndex(-1);
    // The field is narrow; let the drop-down show whole names.
    ID3genre->view()->setMinimumWidth(ID3genre->view()->sizeHintForColumn(0) + 24);
    ID3genre->setMaxVisibleItems(20);
    lArtist->setBuddy(ID3artist);
    lAlbum->setBuddy(ID3album);
    lYear->setBuddy(ID3year);
    lGenre->setBuddy(ID3genre);
    lComment->setBuddy(ID3comment);
    lDisc = new QLabel(QStringLiteral("Disc:"), gbDisc);
    lDiscOf = new QLabel(QStringLiteral("of"), gbDisc);
    eDiscNumber = NewDiscEdit(gbDisc);
    eDiscTotal = NewDiscEdit(gbDisc);
    for (QLineEdit* edit : {eDiscNumber, eDiscTotal})
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), edit));
    lDisc->setBuddy(eDiscNumber);
    imCover = new QLabel(gbDisc);
    imCover->setObjectName(QStringLiteral("imCover"));
    imCover->setAlignment(Qt::AlignCenter);
    imCover->setFrameShape(QFrame::StyledPanel);
    imCover->setToolTip(QStringLiteral("No cover"));
    bChooseCover = new QPushButton(QStringLiteral("Choose cover..."), gbDisc);
    connect(bChooseCover, &QPushButton::clicked, this, &TfrmMain::bChooseCoverClick);

    ListView1 = new QTreeWidget(FClient);
    ListView1->setColumnCount(5);
    ListView1->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Title"),
                                QStringLiteral("Artist"), QStringLiteral("Start Time"),
                                QStringLiteral("Length(min)")});
    ListView1->setColumnWidth(colNumber, 90);
    ListView1->setColumnWidth(colTitle, 230);
    ListView1->setColumnWidth(colArtist, 150);
    ListView1->setColumnWidth(colStart, 100);
    ListView1->setColumnWidth(colLength, 100);
    // The title takes the width the other columns leave; they keep theirs.
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionResizeMode(colTitle, QHeaderView::Stretch);
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
            [this](QTreeWidgetItem* item, int column) { ListView1DblClick(item, column); });
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
    wav->addAction(miConverters[ConverterWavToOpus]);
    for (int tag = 7; tag < ConverterWavToOpus; ++tag)
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
    tools->addAction(miConvertAudioFiles);
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
                           QStyle::SP_DriveNetIcon, aHomepage);
    // A house where the desktop's icon theme has one; a folder would look like "Folder".
    tbHome->setIcon(QIcon::fromTheme(QStringLiteral("go-home"), tbHome->icon()));
    tbExit = AddToolButton(QStringLiteral("Exit"), QString(), QStyle::SP_DialogCloseButton, miExit);
}

// The disc fields share the group's width: the year as wide as four digits need, the genre
// its share of the design width (665 pixels), and what the labels leave to artist, album and
// comment in equal parts. Each label sits 6 pixels after the previous edit and each edit 1
// pixel after its label; the artist label keeps its place.
void TfrmMain::LayoutControls() {
    const int clientWidth = FClient->width();
    const int clientHeight = FClient->height();
    const int groupWidth = std::max(0, clientWidth - 6);
    gbDisc->setGeometry(3, 2, groupWidth, DiscGroupHeight);
    imCover->setGeometry(std::max(0, groupWidth - 5 - CoverEdge),
                         (DiscGroupHeight - CoverEdge) / 2 + 4, CoverEdge, CoverEdge);
    // The fields share what the cover leaves.
    const int fieldsWidth = std::max(0, groupWidth - CoverSpace);

    const int editTop = 19;
    auto labelWidth = [](QLabel* label) {
        return label->fontMetrics().horizontalAdvance(label->text()) + 2;
    };
    const int yearWidth =
        std::max(groupWidth * 45 / DiscGroupDesignWidth,
                 ID3year->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    const int genreWidth = groupWidth * 109 / DiscGroupDesignWidth;
    int fixed = 8 + 5 + 5 * 1 + 4 * 6 + yearWidth + genreWidth;
    for (QLabel* label : {lArtist, lAlbum, lYear, lGenre, lComment})
        fixed += labelWidth(label);
    const int shared = std::max(0, fieldsWidth - fixed);
    int x = 8;
    // An edit width below 0 fills the rest of the group less 5 pixels.
    auto place = [&](QLabel* label, QWidget* edit, int editWidth) {
        const int width = labelWidth(label);
        label->setGeometry(x, editTop, width, EditHeight);
        x += width + 1;
        if (editWidth < 0) editWidth = std::max(0, fieldsWidth - x - 5);
        edit->setGeometry(x, editTop, editWidth, EditHeight);
        x += editWidth + 6;
    };
    place(lArtist, ID3artist, shared / 3);
    place(lAlbum, ID3album, shared / 3);
    place(lYear, ID3year, yearWidth);
    place(lGenre, ID3genre, genreWidth);
    place(lComment, ID3comment, -1);
    // Second row: the disc's place in its set, and the cover chosen by hand.
    const int rowTop = editTop + EditHeight + 6;
    const int numberWidth = ID3year->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12;
    x = 8;
    for (auto [label, edit] :
         {std::pair<QLabel*, QLineEdit*>{lDisc, eDiscNumber}, {lDiscOf, eDiscTotal}}) {
        const int width = labelWidth(label);
        label->setGeometry(x, rowTop, width, EditHeight);
        x += width + 1;
        edit->setGeometry(x, rowTop, numberWidth, EditHeight);
        x += numberWidth + 6;
    }
    const int buttonWidth = bChooseCover->sizeHint().width();
    bChooseCover->setGeometry(std::max(x, fieldsWidth - 5 - buttonWidth), rowTop, buttonWidth,
                              EditHeight);

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

} // namespace bw
