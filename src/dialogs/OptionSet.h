// The modal options dialog: output folder and format, normalising, each encoder's options,
// the CD drive in use, and the settings of our own sections: the file name template on the
// "Output" page, the "Ripping" page (with "Find offset...") and the "Tags" page. It loads the
// settings into its controls when created and writes them back on OK; Cancel discards every change.
// Writing "options.ini" happens at program end, not here.
#pragma once

#include "OpusPage.h"

#include <QDialog>

#include "ReadingRows.h"
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace bw {

class TFileNamesGroup;
class TRippingPage;
class TTagsPage;

// What the WMA page offers: the WMA writer's codecs and, per codec, its formats in the
// bitrate mode that VBR selects.
class TWMAFormatLister {
public:
    virtual ~TWMAFormatLister() = default;
    virtual std::vector<std::string> Codecs() = 0;
    // The formats of a codec; empty for a codec that is not listed.
    virtual std::vector<std::string> Formats(int codec) = 0;
    bool VBR = false;
};

// The lister of the program's WMA writer.
std::unique_ptr<TWMAFormatLister> NewWMAFormatLister();

// Shown on the WMA page when no WMA encoder can be listed (FFmpeg built without one).
inline const QString NoWMAEncoderText = QStringLiteral("No WMA encoder available.");
inline const QString NoWMAVbrFormatsText =
    QStringLiteral("The chosen codec has no VBR formats: its CBR formats are listed instead.");

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOptions(QWidget* parent = nullptr,
                         std::unique_ptr<TWMAFormatLister> wma = NewWMAFormatLister());
    ~TfrmOptions() override;

    // After OK: whether the user chose another drive, and which (index into the drive list).
    bool DriveChanged() const { return FDriveChanged; }
    int ChosenDrive() const { return FChosenDrive; }
    // The CDIndex loaded, with -1 taken as 0.
    int LoadedCDIndex = 0;

    QTabWidget* PageControl1{};
    QWidget* TabSheet1{}; // Output
    QWidget* TabSheet2{}; // LAME
    QWidget* TabSheet5{}; // OGG
    QWidget* TabSheet6{}; // WMA
    QWidget* TabSheet4{}; // FLAC
    QWidget* TabSheet3{}; // APE
    TOpusOptionsPage* OpusPage{};
    TRippingPage* TabSheet7{}; // Ripping
    TReadingRows ReadingRows;  // on the Ripping page
    TTagsPage* TagsPage{};
    TFileNamesGroup* FileNames{}; // on the Output page

    QLineEdit* editOutputDir{};
    QPushButton* btBrowser{};
    QCheckBox* ckbKeepWav{};
    QComboBox* cbOutputFormat{};
    QCheckBox* ckNormalize{};
    QSpinBox* SpinEdit1{};
    QComboBox* cbCDList{};

    QRadioButton* rbCBR{};
    QComboBox* cbConstantBitRate{};
    QRadioButton* rbVBR{};
    QCheckBox* ckbVBRHead{};
    QComboBox* cbMinBitRate{};
    QComboBox* cbMaxBitRate{};
    QComboBox* cbVBRQuality{};
    QComboBox* cbStereoMode{};
    QSlider* tbMP3Cpu{};
    QPushButton* bDefault{};

    QCheckBox* cbUseCompress{};
    QSlider* tbCompression{};
    QComboBox* cbOggNomBit{};
    QComboBox* cbOggMaxBit{};
    QComboBox* cbOggMinBit{};

    QListWidget* lbCodecs{};
    QListWidget* lbFormats{};
    QCheckBox* cbWMA_VBR{};
    QPushButton* bWMADefault{};
    QLabel* lNoWMAEncoder{};
    QLabel* lNoWMAVbr{}; // shown when a stored VBR choice has no formats

    QComboBox* cbFlacCompression{};

    QSpinBox* seAPECompression{};
    QSlider* tbAPECpuUsage{};

    QPushButton* btOk{};
    QPushButton* btCancel{};

    TWMAFormatLister& WMAOut1() { return *FWMAOut1; }

public slots:
    void btOkClick();
    void btCancelClick();
    void btBrowserClick();
    void ckNormalizeClick();
    void rbVBRClick();
    void ActionOutputFormatUpdate();
    void lbCodecsClick();
    void cbWMA_VBRClick();
    void bDefaultClick();
    void bWMADefaultClick();
    void btFindOffsetClick();
    void ShowDriveOffset();

private:
    void CreateOutputPage();
    void CreateLamePage();
    void CreateOggPage();
    void CreateWmaPage();
    void CreateFlacPage();
    void CreateApePage();
    void FormCreate();
    void LoadSettings();
    void FillFormats();
    bool HasWMACodecs() const;

    std::unique_ptr<TWMAFormatLister> FWMAOut1;
    bool FFillingWMA = false;
    bool FDriveChanged = false;
    int FChosenDrive = -1;
};

// The index of the entry whose text the list shows, -1 when the text matches none (an
// editable list may hold typed text).
int EntryIndex(const QComboBox* list);

// A bitrate as the list texts give it: the first three characters, trimmed, as a decimal
// number. False when they are not one.
bool BitrateOfText(const QString& text, int& value);

} // namespace bw
