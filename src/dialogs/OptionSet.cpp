#include "OptionSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "FileNamesGroup.h"
#include "Global.h"
#include "OffsetFindWindow.h"
#include "RippingPage.h"
#include "TagsPage.h"
#include "UiShell.h"
#include "WMAOut.h"
#include "akrip32.h"

namespace bw {

namespace {

const QStringList Mp3BitrateEntries = {
    QStringLiteral(" 32 kbit/s"), QStringLiteral(" 40 kbit/s"), QStringLiteral(" 48 kbit/s"),
    QStringLiteral(" 56 kbit/s"), QStringLiteral(" 64 kbit/s"), QStringLiteral(" 80 kbit/s"),
    QStringLiteral(" 96 kbit/s"), QStringLiteral("112 kbit/s"), QStringLiteral("128 kbit/s"),
    QStringLiteral("160 kbit/s"), QStringLiteral("192 kbit/s"), QStringLiteral("224 kbit/s"),
    QStringLiteral("256 kbit/s"), QStringLiteral("320 kbit/s")};

const QStringList OggBitrateEntries = {
    QStringLiteral(" Default"),   QStringLiteral(" 45 kbit/s"), QStringLiteral(" 48 kbit/s"),
    QStringLiteral(" 56 kbit/s"), QStringLiteral(" 64 kbit/s"), QStringLiteral(" 80 kbit/s"),
    QStringLiteral(" 96 kbit/s"), QStringLiteral("112 kbit/s"), QStringLiteral("128 kbit/s"),
    QStringLiteral("144 kbit/s"), QStringLiteral("160 kbit/s"), QStringLiteral("192 kbit/s"),
    QStringLiteral("224 kbit/s"), QStringLiteral("256 kbit/s"), QStringLiteral("320 kbit/s")};

const QStringList ConstantBitrateEntries = {
    QStringLiteral("48"),  QStringLiteral("56"),  QStringLiteral("64"),
    QStringLiteral("80"),  QStringLiteral("96"),  QStringLiteral("128"),
    QStringLiteral("192"), QStringLiteral("256"), QStringLiteral("320")};

const QStringList StereoModeEntries = {QStringLiteral("Stereo"), QStringLiteral("Joint Stereo"),
                                       QStringLiteral("Dual Channels"), QStringLiteral("Mono")};

QStringList Numbers(int from, int to) {
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString::number(i);
    return list;
}

QComboBox* NewList(QWidget* parent, const QStringList& entries, bool editable) {
    auto* list = new QComboBox(parent);
    list->addItems(entries);
    list->setEditable(editable);
    // Typed text never becomes an entry of its own.
    if (editable) list->setInsertPolicy(QComboBox::NoInsert);
    return list;
}

QSlider* NewTrackBar(QWidget* parent, int from, int to) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setRange(from, to);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setPageStep(1);
    return bar;
}

// A "Less" ... "More" group around a track bar.
QGroupBox* NewCpuGroup(QWidget* parent, QSlider*& bar) {
    auto* group = new QGroupBox(QStringLiteral("CPU Usage"), parent);
    bar = NewTrackBar(group, 1, 3);
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral("Less"), group));
    row->addWidget(bar, 1);
    row->addWidget(new QLabel(QStringLiteral("More"), group));
    return group;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

void SetEntries(QListWidget* list, const std::vector<std::string>& entries) {
    list->clear();
    for (const std::string& entry : entries)
        list->addItem(Q(entry));
}

// The lists of a WMA sink of the dialog's own, made with a desired bitrate of 0, lossless
// and VBR off and VBR quality 0; only its VBR flag changes.
class TWMAOutFormats : public TWMAFormatLister {
public:
    std::vector<std::string> Codecs() override { return FOut.Codecs(); }
    std::vector<std::string> Formats(int codec) override {
        FOut.VBR = VBR;
        return FOut.Formats(codec);
    }

private:
    TWMAOut FOut;
};

} // namespace

std::unique_ptr<TWMAFormatLister> NewWMAFormatLister() {
    return std::make_unique<TWMAOutFormats>();
}

int EntryIndex(const QComboBox* list) {
    if (!list->isEditable()) return list->currentIndex();
    return list->findText(list->currentText(), Qt::MatchFixedString);
}

bool BitrateOfText(const QString& text, int& value) {
    bool ok = false;
    value = text.left(3).trimmed().toInt(&ok, 10);
    return ok;
}

TfrmOptions::TfrmOptions(QWidget* parent, std::unique_ptr<TWMAFormatLister> wma)
    : QDialog(parent), FWMAOut1(std::move(wma)) {
    setWindowTitle(QStringLiteral("Options"));
    setObjectName(QStringLiteral("frmOptions"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    PageControl1 = new QTabWidget(this);
    CreateOutputPage();
    CreateLamePage();
    CreateOggPage();
    CreateWmaPage();
    CreateFlacPage();
    CreateApePage();
    OpusPage = new TOpusOptionsPage;
    PageControl1->addTab(OpusPage, QStringLiteral("Opus"));
    TabSheet7 = new TRippingPage;
    ReadingRows = AddReadingRows(*TabSheet7);
    PageControl1->addTab(TabSheet7, RippingPageTitle);
    connect(TabSheet7->btFindOffset, &QPushButton::clicked, this, &TfrmOptions::btFindOffsetClick);
    TagsPage = new TTagsPage;
    PageControl1->addTab(TagsPage, TagsPageTitle);

    btOk = new QPushButton(QStringLiteral("OK"), this);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &TfrmOptions::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmOptions::btCancelClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);

    FormCreate();
}

TfrmOptions::~TfrmOptions() = default;

void TfrmOptions::CreateOutputPage() {
    TabSheet1 = new QWidget;
    PageControl1->addTab(TabSheet1, QStringLiteral("Output"));

    auto* folderGroup = new QGroupBox(QStringLiteral("Output folder"), TabSheet1);
    editOutputDir = new QLineEdit(folderGroup);
    btBrowser = new QPushButton(QStringLiteral("Browse"), folderGroup);
    connect(btBrowser, &QPushButton::clicked, this, &TfrmOptions::btBrowserClick);
    ckbKeepWav = new QCheckBox(QStringLiteral("Delete WAV file after processing"), folderGroup);
    auto* folderLayout = new QGridLayout(folderGroup);
    folderLayout->addWidget(editOutputDir, 0, 0);
    folderLayout->addWidget(btBrowser, 0, 1);
    folderLayout->addWidget(ckbKeepWav, 1, 0, 1, 2);

    auto* formatGroup = new QGroupBox(QStringLiteral("Output format"), TabSheet1);
    cbOutputFormat = new QComboBox(formatGroup);
    for (const char* label : OutputFormatLabels)
        cbOutputFormat->addItem(QString::fromUtf8(label));
    connect(cbOutputFormat, &QComboBox::currentIndexChanged, this,
            &TfrmOptions::ActionOutputFormatUpdate);
    ckNormalize = new QCheckBox(QStringLiteral("Normalize"), formatGroup);
    connect(ckNormalize, &QCheckBox::toggled, this, &TfrmOptions::ckNormalizeClick);
    SpinEdit1 = new QSpinBox(formatGroup);
    SpinEdit1->setRange(0, 100);
    // Changed by the arrows only.
    if (auto* text = SpinEdit1->findChild<QLineEdit*>()) {
        text->setReadOnly(true);
        text->setMaxLength(3);
    }
    auto* formatLayout = new QGridLayout(formatGroup);
    auto* formatLabel = new QLabel(QStringLiteral("Format："), formatGroup);
    formatLabel->setBuddy(cbOutputFormat);
    formatLayout->addWidget(formatLabel, 0, 0);
    formatLayout->addWidget(cbOutputFormat, 0, 1, 1, 3);
    formatLayout->addWidget(ckNormalize, 1, 0);
    formatLayout->addWidget(SpinEdit1, 1, 1);
    formatLayout->addWidget(new QLabel(QStringLiteral("%"), formatGroup), 1, 2);
    formatLayout->setColumnStretch(3, 1);

    cbCDList = new QComboBox(TabSheet1);
    auto* deviceLabel = new QLabel(QStringLiteral("Device："), TabSheet1);
    deviceLabel->setBuddy(cbCDList);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(deviceLabel);
    deviceRow->addWidget(cbCDList, 1);

    auto* page = new QVBoxLayout(TabSheet1);
    FileNames = new TFileNamesGroup(TabSheet1);
    page->addWidget(folderGroup);
    page->addWidget(FileNames);
    page->addWidget(formatGroup);
    page->addLayout(deviceRow);
    page->addStretch();
}

void TfrmOptions::CreateLamePage() {
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet2, QStringLiteral("LAME"));

    auto* rateGroup = new QGroupBox(QStringLiteral("Bit Rate"), TabSheet2);
    rbCBR = new QRadioButton(QStringLiteral("CBR(Constant Bit Rate)"), rateGroup);
    cbConstantBitRate = NewList(rateGroup, ConstantBitrateEntries, false);
    rbVBR = new QRadioButton(QStringLiteral("VBR(Variable Bit Rate)"), rateGroup);
    connect(rbVBR, &QRadioButton::toggled, this, &TfrmOptions::rbVBRClick);
    ckbVBRHead = new QCheckBox(QStringLiteral("Write MP3 VBR Header"), rateGroup);
    cbMinBitRate = NewList(rateGroup, Mp3BitrateEntries, true);
    cbMaxBitRate = NewList(rateGroup, Mp3BitrateEntries, true);
    cbVBRQuality = NewList(rateGroup, Numbers(0, 9), true);
    auto* rate = new QGridLayout(rateGroup);
    rate->addWidget(rbCBR, 0, 0, 1, 2);
    rate->addWidget(new QLabel(QStringLiteral("Bitrate"), rateGroup), 0, 2);
    rate->addWidget(cbConstantBitRate, 0, 3);
    rate->addWidget(rbVBR, 1, 0, 1, 2);
    rate->addWidget(ckbVBRHead, 1, 2, 1, 2);
    rate->addWidget(new QLabel(QStringLiteral("Minimum bitrate:"), rateGroup), 2, 0);
    rate->addWidget(cbMinBitRate, 2, 1);
    rate->addWidget(new QLabel(QStringLiteral("Maximum bitrate:"), rateGroup), 2, 2);
    rate->addWidget(cbMaxBitRate, 2, 3);
    rate->addWidget(new QLabel(QStringLiteral("VBR Quality:"), rateGroup), 3, 0);
    rate->addWidget(cbVBRQuality, 3, 1);

    auto* channelGroup = new QGroupBox(QStringLiteral("Channels"), TabSheet2);
    cbStereoMode = NewList(channelGroup, StereoModeEntries, true);
    (new QHBoxLayout(channelGroup))->addWidget(cbStereoMode);
    QGroupBox* cpuGroup = NewCpuGroup(TabSheet2, tbMP3Cpu);

    bDefault = new QPushButton(QStringLiteral("&Default"), TabSheet2);
    connect(bDefault, &QPushButton::clicked, this, &TfrmOptions::bDefaultClick);

    auto* lower = new QHBoxLayout;
    lower->addWidget(channelGroup);
    lower->addWidget(cpuGroup);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(bDefault);
    auto* page = new QVBoxLayout(TabSheet2);
    page->addWidget(rateGroup);
    page->addLayout(lower);
    page->addStretch();
    page->addLayout(bottom);
}

void TfrmOptions::CreateOggPage() {
    TabSheet5 = new QWidget;
    PageControl1->addTab(TabSheet5, QStringLiteral("OGG"));

    cbUseCompress = new QCheckBox(QStringLiteral("Use Quality setting"), TabSheet5);
    tbCompression = NewTrackBar(TabSheet5, 30, 100);
    tbCompression->setPageStep(10);
    tbCompression->setTickInterval(10);
    auto* quality = new QHBoxLayout;
    quality->addWidget(tbCompression, 1);
    quality->addWidget(new QLabel(QStringLiteral("-> Highest quality"), TabSheet5));

    auto* managerGroup = new QGroupBox(QStringLiteral("Use Bitrate manager"), TabSheet5);
    cbOggNomBit = NewList(managerGroup, OggBitrateEntries, true);
    cbOggMaxBit = NewList(managerGroup, OggBitrateEntries, true);
    cbOggMinBit = NewList(managerGroup, OggBitrateEntries, true);
    auto* manager = new QGridLayout(managerGroup);
    manager->addWidget(new QLabel(QStringLiteral("Nominal bitrate:"), managerGroup), 0, 0);
    manager->addWidget(cbOggNomBit, 0, 1);
    manager->addWidget(new QLabel(QStringLiteral("Maximum bitrate:"), managerGroup), 1, 0);
    manager->addWidget(cbOggMaxBit, 1, 1);
    manager->addWidget(new QLabel(QStringLiteral("Minimum bitrate:"), managerGroup), 2, 0);
    manager->addWidget(cbOggMinBit, 2, 1);
    manager->setColumnStretch(2, 1);

    auto* page = new QVBoxLayout(TabSheet5);
    page->addWidget(cbUseCompress);
    page->addLayout(quality);
    page->addWidget(managerGroup);
    page->addStretch();
}

void TfrmOptions::CreateWmaPage() {
    TabSheet6 = new QWidget;
    PageControl1->addTab(TabSheet6, QStringLiteral("WMA"));

    lbCodecs = new QListWidget(TabSheet6);
    lbFormats = new QListWidget(TabSheet6);
    connect(lbCodecs, &QListWidget::currentRowChanged, this, [this] {
        if (!FFillingWMA) lbCodecsClick();
    });
    cbWMA_VBR = new QCheckBox(QStringLiteral("VBR(Variable Bit Rate)"), TabSheet6);
    connect(cbWMA_VBR, &QCheckBox::clicked, this, &TfrmOptions::cbWMA_VBRClick);
    bWMADefault = new QPushButton(QStringLiteral("&Default"), TabSheet6);
    connect(bWMADefault, &QPushButton::clicked, this, &TfrmOptions::bWMADefaultClick);
    lNoWMAEncoder = new QLabel(NoWMAEncoderText, TabSheet6);
    lNoWMAEncoder->setVisible(false);
    lNoWMAVbr = new QLabel(NoWMAVbrFormatsText, TabSheet6);
    lNoWMAVbr->setVisible(false);

    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Codecs"), TabSheet6), 0, 0);
    lists->addWidget(lbCodecs, 1, 0);
    lists->addWidget(new QLabel(QStringLiteral("Formats"), TabSheet6), 0, 1);
    lists->addWidget(lbFormats, 1, 1);
    lists->setColumnStretch(1, 2);
    lists->setColumnStretch(0, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbWMA_VBR);
    bottom->addStretch();
    bottom->addWidget(bWMADefault);
    auto* page = new QVBoxLayout(TabSheet6);
    page->addWidget(lNoWMAEncoder);
    page->addWidget(lNoWMAVbr);
    page->addLayout(lists, 1);
    page->addLayout(bottom);
}

void TfrmOptions::CreateFlacPage() {
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, QStringLiteral("FLAC"));
    auto* group = new QGroupBox(QStringLiteral("Compression"), TabSheet4);
    cbFlacCompression = NewList(group, Numbers(0, 8), true);
    auto* row = new QHBoxLayout(group);
    row->addWidget(cbFlacCompression);
    row->addStretch();
    auto* page = new QVBoxLayout(TabSheet4);
    page->addWidget(group);
    page->addStretch();
}

void TfrmOptions::CreateApePage() {
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet3, QStringLiteral("APE"));
    auto* group = new QGroupBox(QStringLiteral("Compression"), TabSheet3);
    seAPECompression = new QSpinBox(group);
    seAPECompression->setRange(1000, 10000);
    seAPECompression->setSingleStep(500);
    auto* row = new QHBoxLayout(group);
    row->addWidget(seAPECompression);
    row->addStretch();
    QGroupBox* cpuGroup = NewCpuGroup(TabSheet3, tbAPECpuUsage);
    auto* page = new QVBoxLayout(TabSheet3);
    page->addWidget(group);
    page->addWidget(cpuGroup);
    page->addStretch();
}

// ---------------------------------------------------------------------------------------

bool TfrmOptions::HasWMACodecs() const {
    return lbCodecs->count() > 0;
}

void TfrmOptions::FillFormats() {
    const int codec = lbCodecs->currentRow();
    FFillingWMA = true;
    SetEntries(lbFormats, codec >= 0 ? FWMAOut1->Formats(codec) : std::vector<std::string>());
    FFillingWMA = false;
}

void TfrmOptions::FormCreate() {
    FFillingWMA = true;
    SetEntries(lbCodecs, FWMAOut1->Codecs());
    lbCodecs->setCurrentRow(0);
    FFillingWMA = false;
    FillFormats();
    lbFormats->setCurrentRow(0);
    // Without an encoder the page says so, and OK leaves the stored WMA choice alone.
    const bool wma = HasWMACodecs();
    lNoWMAEncoder->setVisible(!wma);
    for (QWidget* control : {static_cast<QWidget*>(lbCodecs), static_cast<QWidget*>(lbFormats),
                             static_cast<QWidget*>(cbWMA_VBR), static_cast<QWidget*>(bWMADefault)})
        control->setEnabled(wma);
    // VBR only when some codec has formats for it (FFmpeg's encoders have none).
    bool vbr = false;
    FWMAOut1->VBR = true;
    for (int c = 0; c < lbCodecs->count() && !vbr; ++c)
        vbr = !FWMAOut1->Formats(c).empty();
    FWMAOut1->VBR = false;
    cbWMA_VBR->setEnabled(vbr);
    LoadSettings();
    PageControl1->setCurrentIndex(0);
}

void TfrmOptions::LoadSettings() {
    editOutputDir->setText(Q(Settings.OutputFolder));
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    ActionOutputFormatUpdate();
    ckbKeepWav->setChecked(!Settings.IsKeepWav);
    ckNormalize->setChecked(Settings.IsNormalize);
    ckNormalizeClick();
    SpinEdit1->setValue(Settings.NormalizePercent);

    rbVBR->setChecked(Settings.IsSelectVBR);
    rbCBR->setChecked(!Settings.IsSelectVBR);
    ckbVBRHead->setChecked(Settings.IsVBRHead);
    cbMinBitRate->setEditText(QString::number(Settings.Mp3BitRate) + QStringLiteral(" kbit/s"));
    cbMaxBitRate->setEditText(QString::number(Settings.Mp3MaxBitRate) + QStringLiteral(" kbit/s"));
    cbVBRQuality->setCurrentIndex(Settings.VBRQuality);
    cbStereoMode->setCurrentIndex(Settings.StereoMode);
    tbMP3Cpu->setValue(Settings.Mp3CPU);
    cbConstantBitRate->setCurrentIndex(Settings.ConstantBitRate);
    rbVBRClick();

    cbUseCompress->setChecked(Settings.IsUseCompress);
    tbCompression->setValue(Settings.CompressPosition);
    cbOggMaxBit->setCurrentIndex(Settings.OggMaxBitRate);
    cbOggNomBit->setCurrentIndex(Settings.OggNomalBitRate);
    cbOggMinBit->setCurrentIndex(Settings.OggMinBitRate);

    if (HasWMACodecs()) {
        FFillingWMA = true;
        lbCodecs->setCurrentRow(Settings.CodecIndex);
        FFillingWMA = false;
        cbWMA_VBR->setChecked(Settings.WMAVBR);
        FWMAOut1->VBR = Settings.WMAVBR;
        FillFormats();
        // A stored VBR choice the codec has no formats for: its CBR list, and a note why.
        const bool noVbrFormats =
            Settings.WMAVBR && lbCodecs->currentRow() >= 0 && lbFormats->count() == 0;
        lNoWMAVbr->setVisible(noVbrFormats);
        if (noVbrFormats) {
            cbWMA_VBR->setChecked(false);
            FWMAOut1->VBR = false;
            FillFormats();
        }
        lbFormats->setCurrentRow(Settings.FormatIndex);
    }

    cbFlacCompression->setCurrentIndex(Settings.FLACCompression);
    seAPECompression->setValue(Settings.APECompression);
    tbAPECpuUsage->setValue(Settings.APECPU);
    OpusPage->Load(Settings);
    TabSheet7->Load();
    TagsPage->Load();
    FileNames->Load();

    LoadedCDIndex = Settings.CDIndex == -1 ? 0 : Settings.CDIndex;
    const TCDList drives = KnownDriveList();
    cbCDList->clear();
    for (int i = 0; i < drives.Count; ++i)
        cbCDList->addItem(Q(DriveDisplayName(drives.Entries[i])));
    cbCDList->setCurrentIndex(-1); // a stored drive that is gone selects none
    if (LoadedCDIndex < cbCDList->count()) cbCDList->setCurrentIndex(LoadedCDIndex);
    ShowDriveOffset();
    connect(cbCDList, &QComboBox::currentIndexChanged, this, &TfrmOptions::ShowDriveOffset,
            Qt::UniqueConnection);
}

void TfrmOptions::btOkClick() {
    std::error_code ec;
    const QString folder = editOutputDir->text();
    if (!std::filesystem::is_directory(std::filesystem::path(folder.toStdString()), ec)) {
        ShowError(this, folder + QStringLiteral(",") +
                            QStringLiteral("the output folder does not exist."));
        if (PageControl1->currentWidget() == TabSheet1) editOutputDir->setFocus();
        return;
    }
    // The settings of our own are checked before anything is stored.
    if (const QString problem = FileNames->Problem(); !problem.isEmpty()) {
        PageControl1->setCurrentWidget(TabSheet1);
        ShowError(this, problem);
        FileNames->editFileNameTemplate->setFocus();
        return;
    }
    for (TSettingsPage* page :
         {static_cast<TSettingsPage*>(TabSheet7), static_cast<TSettingsPage*>(TagsPage)}) {
        if (const QString problem = page->Check(); !problem.isEmpty()) {
            PageControl1->setCurrentWidget(page);
            ShowError(this, problem);
            if (QWidget* control = page->ProblemControl()) control->setFocus();
            return;
        }
    }

    Settings.IsKeepWav = !ckbKeepWav->isChecked();
    Settings.OutputFormat = cbOutputFormat->currentIndex();
    Settings.OutputFolder = folder.toStdString();
    Settings.IsNormalize = ckNormalize->isChecked();
    Settings.NormalizePercent = SpinEdit1->value();
    Settings.IsSelectVBR = rbVBR->isChecked();
    Settings.IsVBRHead = ckbVBRHead->isChecked();
    // A bitrate that is not a number stops here, with what came before already stored.
    for (auto [list, setting] : {std::pair{cbMinBitRate, &Settings.Mp3BitRate},
                                 std::pair{cbMaxBitRate, &Settings.Mp3MaxBitRate}}) {
        int value = 0;
        if (!BitrateOfText(list->currentText(), value)) {
            ShowError(this, QStringLiteral("'%1' is not a valid integer value")
                                .arg(list->currentText().left(3).trimmed()));
            return;
        }
        *setting = value;
    }
    Settings.VBRQuality = EntryIndex(cbVBRQuality);
    Settings.StereoMode = EntryIndex(cbStereoMode);
    Settings.Mp3CPU = tbMP3Cpu->value();
    Settings.ConstantBitRate = EntryIndex(cbConstantBitRate);
    Settings.IsUseCompress = cbUseCompress->isChecked();
    Settings.CompressPosition = tbCompression->value();
    Settings.OggMaxBitRate = EntryIndex(cbOggMaxBit);
    Settings.OggNomalBitRate = EntryIndex(cbOggNomBit);
    Settings.OggMinBitRate = EntryIndex(cbOggMinBit);
    if (HasWMACodecs()) {
        Settings.CodecIndex = lbCodecs->currentRow();
        Settings.FormatIndex = lbFormats->currentRow();
        Settings.WMAVBR = cbWMA_VBR->isChecked();
    }
    Settings.FLACCompression = EntryIndex(cbFlacCompression);
    Settings.APECompression = seAPECompression->value();
    Settings.APECPU = tbAPECpuUsage->value();
    OpusPage->Save(Settings);
    Settings.CDIndex = cbCDList->currentIndex();
    TabSheet7->Store();
    TagsPage->Store();
    FileNames->Store();

    // Only a listed drive can be switched to: with none selected the drive stays.
    FChosenDrive = cbCDList->currentIndex();
    FDriveChanged = cbCDList->count() > 0 && FChosenDrive >= 0 && FChosenDrive != LoadedCDIndex;
    accept();
}

void TfrmOptions::ShowDriveOffset() {
    const TCDList drives = KnownDriveList();
    const int index = cbCDList->currentIndex();
    const bool listed = index >= 0 && index < drives.Count;
    TabSheet7->lDriveOffset->setText(DriveOffsetText(listed ? &drives.Entries[index] : nullptr));
    TabSheet7->btFindOffset->setEnabled(listed);
}

void TfrmOptions::btFindOffsetClick() {
    const TCDList drives = KnownDriveList();
    const int index = cbCDList->currentIndex();
    if (index < 0 || index >= drives.Count) {
        ShowError(this, QStringLiteral("Choose a drive on the Output page first."));
        return;
    }
    FindAndKeepDriveOffset(this, drives.Entries[index]);
    ShowDriveOffset();
}

void TfrmOptions::btCancelClick() {
    reject();
}

void TfrmOptions::btBrowserClick() {
    const QString folder = UiShell().BrowseForFolder(
        this, QStringLiteral("Please select the folder to save the audio file"));
    if (!folder.isEmpty()) editOutputDir->setText(folder);
}

void TfrmOptions::ckNormalizeClick() {
    SpinEdit1->setEnabled(ckNormalize->isChecked());
}

void TfrmOptions::rbVBRClick() {
    const bool vbr = rbVBR->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(ckbVBRHead), static_cast<QWidget*>(cbMinBitRate),
          static_cast<QWidget*>(cbMaxBitRate), static_cast<QWidget*>(cbVBRQuality)})
        control->setEnabled(vbr);
}

void TfrmOptions::ActionOutputFormatUpdate() {
    ckbKeepWav->setEnabled(cbOutputFormat->currentIndex() != 1);
}

void TfrmOptions::lbCodecsClick() {
    FillFormats();
    lbFormats->setCurrentRow(0);
}

void TfrmOptions::cbWMA_VBRClick() {
    FWMAOut1->VBR = cbWMA_VBR->isChecked();
    FillFormats();
    lbFormats->setCurrentRow(0);
}

void TfrmOptions::bDefaultClick() {
    rbCBR->setChecked(true);
    rbVBRClick();
    cbConstantBitRate->setCurrentIndex(5);
    ckbVBRHead->setChecked(false);
    cbMinBitRate->setCurrentIndex(8);
    cbMaxBitRate->setCurrentIndex(13);
    cbVBRQuality->setCurrentIndex(4);
    cbStereoMode->setCurrentIndex(1);
    tbMP3Cpu->setValue(3);
}

void TfrmOptions::bWMADefaultClick() {
    FFillingWMA = true;
    lbCodecs->setCurrentRow(0);
    FFillingWMA = false;
    cbWMA_VBR->setChecked(false);
    FWMAOut1->VBR = false;
    FillFormats();
    lbFormats->setCurrentRow(29 < lbFormats->count() ? 29 : -1);
}

} // namespace bw
