// The program's main window: opens the CD drive, lists the disc's tracks with a tick box
// each, holds the disc fields the rips and tags use, and offers every command.
#pragma once

#include <QMainWindow>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ApplyOptions.h"
#include "CdLibrary.h"
#include "CdPlayer.h"
#include "CddbFieldsView.h"
#include "CoverArt.h"
#include "Global.h"
#include "QtMessages.h"

class QAction;
class QComboBox;
class QFileSystemWatcher;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace bw {

class TCdTray;
class TCoverFetcher;
class TDiscReader;
class TMediaWatcher;
class TUdevMonitor;
struct TDiscRead;
struct TMusicBrainzIds;
struct TMusicBrainzLookup;

// Texts the window shows in its status bar.
inline const QString StatusNoDevices = QStringLiteral("Can not find CD devices!");
inline const QString StatusBadDeviceIndex =
    QStringLiteral("CD device information error in your configration!");
inline const QString StatusNoTOC = QStringLiteral("Can not get CD device information!");
inline const QString StatusNoAudioDisc = QStringLiteral("Can not find audio CD in your CD device.");
// Shown over the track list while the drive's disc is read.
inline const QString TextReadingDisc = QStringLiteral("Reading the disc...");

// Columns of the track list.
// The artist is the track's own; empty, the disc's.
enum TTrackColumn { colNumber = 0, colTitle = 1, colArtist = 2, colStart = 3, colLength = 4 };

// Converter entries of the menu, by their tag.
constexpr int ConverterResample = 1;   // hidden "Wav to Wav" entry: the resample dialog
constexpr int ConverterWavToOpus = 11; // added after the ten of the menu's first layout
constexpr int ConverterCount = 11;

struct TConverterEntry {
    QString MenuCaption; // empty for the toolbar-only types
    QString DialogTitle;
    QStringList Filters;
};
// Caption, dialog title and file filters of a converter type; unknown types get the
// generic title and the WAV filter.
TConverterEntry ConverterEntry(int converterType);

class TfrmMain : public QMainWindow, public TCddbFieldsView {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Fields besides the controls.
    bool NoAudioDisc = false;
    std::string DriveName;
    bool IsPlaying = false;
    bool IsPaused = false;
    int CDHandle = 0;
    std::string SavedStatusText;
    // Plays the selected track; tests give it the null audio output.
    std::unique_ptr<TCdPlayer> MediaPlayer1;

    // Disc fields.
    QGroupBox* gbDisc{};
    QLabel* lArtist{};
    QLabel* lAlbum{};
    QLabel* lYear{};
    QLabel* lGenre{};
    QLabel* lComment{};
    QLineEdit* ID3artist{};
    QLineEdit* ID3album{};
    QLineEdit* ID3year{};
    QComboBox* ID3genre{};
    QLineEdit* ID3comment{};
    QLabel* lDisc{};
    QLabel* lDiscOf{};
    QLineEdit* eDiscNumber{}; // the disc's place in its set; empty when not known
    QLineEdit* eDiscTotal{};
    QLabel* imCover{}; // the front cover, beside the disc fields
    QPushButton* bChooseCover{};

    QTreeWidget* ListView1{};
    QLabel* lReading{}; // over the list while the disc is read
    QMenu* pmTracks{};

    QGroupBox* gbOutputFormat{};
    QComboBox* cbOutputFormat{};
    QGroupBox* gbOutputFolder{};
    QLineEdit* eOutputDir{};
    QPushButton* bBrowser{};

    QLabel* StatusPanel{};
    QToolBar* ToolBar1{};

    QAction* aSelectAll{};
    QAction* aSelectNone{};
    QAction* aInvertSelection{};
    QAction* aQueryCDDB{};
    QAction* aQueryMusicBrainz{};
    QAction* aRip{};
    QAction* aOptions{};
    QAction* aPlay{};
    QAction* aPause{};
    QAction* aStop{};
    QAction* aEditTrackName{};
    QAction* aHelp{};
    QAction* aHomepage{};

    QAction* miEject{};
    QAction* miCloseCD{};
    QAction* miRefresh{};
    QAction* miExit{};
    QAction* miJumpOutputFolder{};
    QAction* miAbout{};
    QAction* miConvertAudioFiles{};
    std::array<QAction*, ConverterCount + 1> miConverters{}; // by tag; [0] unused

    QToolButton* tbRip{};
    QToolButton* tbConvert{};
    QToolButton* tbCDDB{};
    QToolButton* tbMusicBrainz{};
    QToolButton* tbFolder{};
    QToolButton* tbPlay{};
    QToolButton* tbPause{};
    QToolButton* tbStop{};
    QToolButton* tbOptions{};
    QToolButton* tbHelp{};
    QToolButton* tbHome{};
    QToolButton* tbExit{};

    // Re-reads the disc's titles from the cache and its table of contents into the list; the
    // drive is read off the window's thread, the list filled when that read ends.
    void RefreshTrackList();
    // True while the drive's disc is being read for the list.
    bool DiscReadRunning() const { return FReading; }
    void ClearDiscFields();
    // True when the output folder exists; otherwise says so in a box.
    bool CheckOutputFolder();
    // Reopens the drive chosen in the options dialog and lists its disc.
    void ChangeDrive(int index);
    void RunConverter(int converterType);

    bool AnyTrackTicked() const;
    // One entry per ticked row: two-digit row number followed by the row's title.
    std::vector<std::string> TrackSelection() const;
    TDiscFields DiscFields() const;
    // The disc fields as the encoders' comments take them: the genre by its shown name.
    TDiscTagFields DiscTagFields() const;
    QString StatusText() const;
    void SetStatusText(const QString& text);
    // Key of the disc whose tracks the list shows; empty when none.
    const std::string& ListedDiscKey() const { return FListedDiscKey; }
    // Watches the drive for disc changes (started once the first read of the drive ended):
    // a physical drive through udev's media-change events, an image drive through its files;
    // at the given interval where neither can tell.
    void StartMediaWatch(int intervalMs);
    // What a CDDB query found goes into the disc fields and the titles of the rows.
    // Titles the user typed are replaced only when the user agrees.
    void ApplyCddbResult(const TCddbQueryResult& result) override;
    // The releases of a MusicBrainz lookup: the user chooses one when there are several (the
    // one chosen for the disc before comes selected); its fields, ids and cover are taken.
    void ApplyMusicBrainzLookup(const TMusicBrainzLookup& lookup, int firstTrack);
    // The cover the files of a rip get (fetched after a lookup, or chosen); none when empty.
    const TCoverArt& Cover() const { return FCover; }

public slots:
    void aSelectAllExecute();
    void aSelectNoneExecute();
    void aInvertSelectionExecute();
    void aQueryCDDBExecute();
    void aQueryMusicBrainzExecute();
    void aRipExecute();
    void aOptionsExecute();
    void aPlayExecute();
    void aPauseExecute();
    void aStopExecute();
    void aEditTrackNameExecute();
    void aHelpExecute();
    void aHomepageExecute();
    void miEjectClick();
    void miCloseCDClick();
    void miRefreshClick();
    void miJumpOutputFolderClick();
    void miAboutClick();
    void miConvertAudioFilesClick(); // MainConvertAudio.cpp
    void bBrowserClick();
    void bChooseCoverClick();
    void cbOutputFormatChange(int index);
    // A row clicked with Ctrl held: flips that row's tick only.
    void ListView1CtrlClick(QTreeWidgetItem* item);
    void ListView1DblClick(QTreeWidgetItem* item, int column = colTitle);
    // The running program was started a second time: come to the front.
    void WMShowInstance();
    // A volume arrived or was removed (DBT_ event and device type). While a modal window is
    // open the change is held, and applied once no modal window is left: a dialog may be
    // editing a row that the change would delete. `drive` names the drive the change came
    // from (DriveSerial when the watch began); a change of a drive the window has left since
    // is dropped. 0: the window's drive now.
    void WMDeviceChange(int event, int deviceType, std::uint64_t drive = 0);
    // Counts the window's changes of drive: what a disc change of a drive carries.
    std::uint64_t DriveSerial() const { return FDriveSerial; }
    void UpdateActions();
    // The player's notice that a play has ended by itself.
    void MediaPlayer1Notify(TPlayResult result, std::uint64_t play, const std::string& why);
    void PlayFailed(const std::string& why); // the status bar says why

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    QToolButton* AddToolButton(const QString& caption, const QString& hint, int icon,
                               QAction* follows);
    void LayoutControls();
    void FormShow();
    void FormActivate();
    void FormClose();
    void ClearTrackList();
    // Stores the listed disc's fields and titles in the cache, so that a disc change or the
    // end of the program does not lose what the user typed.
    void SaveListedDiscInfo();
    // The rows' titles and artists and the disc's place in its set go into the settings.
    void TakeTitlesFromList();
    // The disc's release (its track artists and place in its set) into the rows and fields.
    void ShowDiscRelease(bool keepTypedArtists = false);
    // Shows a cover beside the disc fields (an empty one clears the place).
    void ShowCover(const TCoverArt& cover);
    void CoverFetched();
    // For a disc just listed: which cached titles count as typed, and the cover chosen for it.
    void TakeRememberedDiscState();
    void RememberMusicBrainzIds(const TMusicBrainzIds& ids);
    // True when the rows hold titles the user typed that the result would change.
    bool ReplacesTypedTitles(const TCddbQueryResult& result) const;
    void OpenRipWindow(const std::vector<std::string>& selection);
    void OpenConversionWindow(const QStringList& files, int converterType);
    void ApplyDeviceChange(int event);
    void ApplyHeldDeviceChanges();
    // Gives the window's handle back (a read borrowing it lets go at once); false when it
    // would not close.
    bool ReleaseDrive();
    TGetCDHandle DriveRequest() const;
    // A drive came or went: the drive list is read again on a worker.
    void RelistDrives();
    // The disc reads (MainDiscRead.cpp), in the order a held read gives way to another.
    enum TDiscReadReason { rrArrival, rrRefresh, rrDriveChange, rrStartup };
    void StartDiscRead(TDiscReadReason reason);
    void ApplyDiscRead(TDiscRead read);
    void ApplyOpenedDrive(const TDiscRead& read);
    void ListDisc(const TDiscRead& read);
    void ShowReading(bool reading);
    // Says so and returns true while the disc is read: commands that need the TOC wait.
    bool RefuseWhileReading();
    // A rip, a play or the window's own read has the drive: nothing else may touch it
    // (MainMediaWatch.cpp). A read asked for meanwhile runs once the drive is free.
    bool DriveBusy() const { return IsPlaying || FRipping; }
    void UpdateDriveHold();
    void WatchDriveEvents();
    void TakeUdevEvents();

    QWidget* FClient = nullptr;
    bool FShown = false;
    bool FClosed = false;
    std::string FListedDiscKey;
    std::atomic<int> FDriveIndex{0}; // read by the disc watcher's thread
    std::unique_ptr<TMediaWatcher> FMediaWatcher;
    struct THeldDeviceChange {
        int Event;
        std::uint64_t Drive;
    };
    std::vector<THeldDeviceChange> FHeldDeviceChanges;
    std::uint64_t FDriveSerial = 1;
    QTimer* FHeldDeviceTimer = nullptr; // looks for the end of the modal window
    std::unique_ptr<TCdTray> FTray;
    std::uint64_t FCurrentPlay = 0; // the play whose end notice counts; 0 none

    std::unique_ptr<TDiscReader> FDiscReader;
    std::uint64_t FReadSerial = 0; // of the read whose result counts
    bool FReading = false;
    bool FReadOpens = false; // the read under way opens the drive
    int FHeldRead = -1;      // a TDiscReadReason waiting for the drive, or -1
    bool FRipping = false;
    std::string FDiscProblem;       // why the latest read found no disc, in the drive's words
    std::optional<TTOC> FListedTOC; // the table the list was made from; lookups use it
    int FListedHidden = 0;          // and what its read found: hidden track, codes
    TCDCodes FListedCodes;
    TCDList FDrives{};        // the drive list as the latest opening read found it
    std::string FDriveSource; // the window's drive: device node or image file
    bool FDriveIsImage = false;
    int FWatchInterval = 1000;
    bool FUdevTried = false;
    std::unique_ptr<TUdevMonitor> FUdev;
    std::string FUdevNode; // the drive's node as udev names it
    QFileSystemWatcher* FImageWatch = nullptr;

    bool FEditArtistFirst = false; // the row was double-clicked on its artist
    TCoverArt FCover;
    TQtMessageTarget FCoverTarget{this};          // outlives the fetcher that posts to it
    std::unique_ptr<TCoverFetcher> FCoverFetcher; // the chosen release's cover, after a lookup
};

} // namespace bw
