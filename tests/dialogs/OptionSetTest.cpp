// The options dialog driven through its controls and handlers; the settings are compared
// as the text a save would write, so every one of the 33 keys is checked at once.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <gmock/gmock.h>

#include "CdImage.h"
#include "OptionsDialogFixture.h"

namespace fs = std::filesystem;
using namespace bw;
using testing::HasSubstr;

namespace {

// A WMA writer's lists as a table: codec c offers FirstCodecFormats + 10 * c
// constant-bitrate formats and 6 (or vbrFormats) variable-bitrate ones.
class TTableFormats : public TWMAFormatLister {
public:
    explicit TTableFormats(int firstCodecFormats = 30, int vbrFormats = 6)
        : FFirst(firstCodecFormats), FVbr(vbrFormats) {}
    std::vector<std::string> Codecs() override { return {"Codec A", "Codec B", "Codec C"}; }
    std::vector<std::string> Formats(int codec) override {
        std::vector<std::string> formats;
        if (codec < 0 || codec > 2) return formats;
        const int count = VBR ? FVbr : FFirst + 10 * codec;
        for (int i = 0; i < count; ++i)
            formats.push_back(std::to_string(codec) + "/" + std::to_string(i) +
                              (VBR ? " VBR" : " CBR"));
        return formats;
    }

private:
    int FFirst, FVbr;
};

class OptionSetTest : public bwtest::OptionsDialogTest {
protected:
    TfrmOptions& Open(std::unique_ptr<TWMAFormatLister> wma = std::make_unique<TTableFormats>()) {
        return OptionsDialogTest::Open(std::move(wma));
    }
};

TEST_F(OptionSetTest, UnchangedOkKeepsEverySetting) {
    bwtest::CdImage image = bwtest::CdImage::Write(Dir.Path(), "disc", {10});
    bwtest::ImageDrives drives(image);
    struct Case {
        const char* Name;
        std::function<void()> Set;
    };
    const Case cases[] = {{"defaults", [] {}},
                          {"every option changed",
                           [] {
                               Settings.OutputFormat = 6;
                               Settings.IsKeepWav = true;
                               Settings.IsNormalize = true;
                               Settings.NormalizePercent = 0;
                               Settings.IsSelectVBR = true;
                               Settings.IsVBRHead = true;
                               Settings.Mp3BitRate = 32;
                               Settings.Mp3MaxBitRate =
                                   320; // shown as "320 kbit/s", stored as 320 again
                               Settings.VBRQuality = 9;
                               Settings.StereoMode = 3;
                               Settings.Mp3CPU = 1;
                               Settings.ConstantBitRate = 8;
                               Settings.IsUseCompress = false;
                               Settings.CompressPosition = 100;
                               Settings.OggMaxBitRate = 14;
                               Settings.OggNomalBitRate = 7;
                               Settings.OggMinBitRate = 1;
                               Settings.CodecIndex = 2;
                               Settings.FormatIndex = 5;
                               Settings.WMAVBR = true;
                               Settings.FLACCompression = 8;
                               Settings.APECompression = 4500;
                               Settings.APECPU = 2;
                               Settings.CDIndex = 0;
                               Settings.OpusBitrate = 300;
                               Settings.OpusMode = 1;
                               Settings.OpusComplexity = 3;
                           }},
                          {"bitrates off the list", [] {
                               Settings.Mp3BitRate = 100; // not an entry: kept as typed text
                               Settings.Mp3MaxBitRate = 999;
                           }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        LoadSaveOptions(true);
        c.Set();
        const std::string before = OptionsFileText();
        TfrmOptions& d = Open();
        d.btOk->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_TRUE(Boxes.empty());
        EXPECT_FALSE(d.DriveChanged());
        // The one change: a CDIndex of -1 loads as the first drive and is stored as 0.
        std::string expected = before;
        if (Settings.CDIndex == 0 && before.find("Index=-1") != std::string::npos)
            expected.replace(expected.find("Index=-1"), 8, "Index=0");
        EXPECT_EQ(OptionsFileText(), expected);
    }
}

// The Opus page shows the stored values, its Default button puts back those of a new
// installation, OK stores what it shows and Cancel nothing.
TEST_F(OptionSetTest, OpusPageDefaultAndOk) {
    Settings.OpusBitrate = 40;
    Settings.OpusMode = 2;
    Settings.OpusComplexity = 0;
    TfrmOptions& d = Open();
    TOpusOptionsPage& page = *d.OpusPage;
    EXPECT_EQ(d.cbOutputFormat->itemText(6), "Opus file(*.OPUS)");
    EXPECT_EQ(page.seOpusBitrate->value(), 40);
    EXPECT_EQ(page.cbOpusMode->currentText(), "CBR(Constant Bit Rate)");
    EXPECT_EQ(page.tbOpusComplexity->value(), 0);
    page.bOpusDefault->click();
    EXPECT_EQ(page.seOpusBitrate->value(), 128);
    EXPECT_EQ(page.cbOpusMode->currentText(), "VBR(Variable Bit Rate)");
    EXPECT_EQ(page.tbOpusComplexity->value(), 10);
    // Typed bitrates stay inside 6..512.
    page.seOpusBitrate->setValue(900);
    EXPECT_EQ(page.seOpusBitrate->value(), 512);
    page.cbOpusMode->setCurrentIndex(1);
    d.cbOutputFormat->setCurrentIndex(6);
    d.btCancel->click();
    EXPECT_EQ(Settings.OpusBitrate, 40);
    EXPECT_EQ(Settings.OutputFormat, 0);

    TfrmOptions& again = Open();
    again.OpusPage->bOpusDefault->click();
    again.OpusPage->cbOpusMode->setCurrentIndex(1);
    again.cbOutputFormat->setCurrentIndex(6);
    again.btOk->click();
    EXPECT_EQ(Settings.OpusBitrate, 128);
    EXPECT_EQ(Settings.OpusMode, 1);
    EXPECT_EQ(Settings.OpusComplexity, 10);
    EXPECT_EQ(Settings.OutputFormat, 6);
    EXPECT_THAT(OptionsFileText(),
                HasSubstr("[OpusOptions]\nBitrate=128\nMode=1\nComplexity=10\n"));
}

TEST_F(OptionSetTest, LoadsTextsAndEnablesControlsAsTheSettingsSay) {
    Settings.Mp3MaxBitRate = 320;
    Settings.Mp3BitRate = 128;
    Settings.OutputFormat = 1;
    Settings.IsNormalize = false;
    Settings.NormalizePercent = 150;
    TfrmOptions& d = Open();
    EXPECT_EQ(d.windowTitle(), "Options");
    QStringList pages;
    for (int i = 0; i < d.PageControl1->count(); ++i)
        pages << d.PageControl1->tabText(i);
    EXPECT_EQ(pages.join(','), "Output,LAME,OGG,WMA,FLAC,APE,Opus,Ripping,Tags");
    EXPECT_EQ(d.PageControl1->currentIndex(), 0);
    EXPECT_EQ(d.cbMaxBitRate->currentText(), "320 kbit/s");
    EXPECT_EQ(d.cbMinBitRate->currentText(), "128 kbit/s");
    EXPECT_EQ(d.cbMinBitRate->itemText(0), " 32 kbit/s");
    EXPECT_EQ(d.cbOggNomBit->itemText(0), " Default");
    EXPECT_EQ(d.cbOggNomBit->count(), 15);
    EXPECT_EQ(d.cbOutputFormat->itemText(5), "APE FILE(*.APE)");

    // WAV output: nothing to delete afterwards.
    EXPECT_FALSE(d.ckbKeepWav->isEnabled());
    d.cbOutputFormat->setCurrentIndex(0);
    EXPECT_TRUE(d.ckbKeepWav->isEnabled());
    // The percentage: enabled with Normalize, 0..100, changed by the arrows only.
    EXPECT_FALSE(d.SpinEdit1->isEnabled());
    EXPECT_EQ(d.SpinEdit1->value(), 100);
    d.ckNormalize->click();
    EXPECT_TRUE(d.SpinEdit1->isEnabled());
    d.SpinEdit1->setFocus();
    QTest::keyClicks(d.SpinEdit1, "5");
    EXPECT_EQ(d.SpinEdit1->value(), 100);
    QTest::keyClick(d.SpinEdit1, Qt::Key_Down);
    EXPECT_EQ(d.SpinEdit1->value(), 99);
    // The VBR controls follow the VBR radio.
    EXPECT_TRUE(d.rbCBR->isChecked());
    for (QWidget* w :
         {static_cast<QWidget*>(d.ckbVBRHead), static_cast<QWidget*>(d.cbMinBitRate),
          static_cast<QWidget*>(d.cbMaxBitRate), static_cast<QWidget*>(d.cbVBRQuality)}) {
        EXPECT_FALSE(w->isEnabled());
        d.rbVBR->click();
        EXPECT_TRUE(w->isEnabled());
        d.rbCBR->click();
    }

    // The LAME page's Default, stored only by OK.
    d.rbVBR->click();
    d.cbConstantBitRate->setCurrentIndex(0);
    d.ckbVBRHead->setChecked(true);
    d.cbMinBitRate->setEditText("64");
    d.cbStereoMode->setCurrentIndex(3);
    d.tbMP3Cpu->setValue(1);
    d.bDefault->click();
    EXPECT_TRUE(d.rbCBR->isChecked());
    EXPECT_FALSE(d.cbVBRQuality->isEnabled());
    EXPECT_EQ(d.cbConstantBitRate->currentText(), "128");
    EXPECT_FALSE(d.ckbVBRHead->isChecked());
    EXPECT_EQ(d.cbMinBitRate->currentText(), "128 kbit/s");
    EXPECT_EQ(d.cbMaxBitRate->currentText(), "320 kbit/s");
    EXPECT_EQ(d.cbVBRQuality->currentText(), "4");
    EXPECT_EQ(d.cbStereoMode->currentText(), "Joint Stereo");
    EXPECT_EQ(d.tbMP3Cpu->value(), 3);
    EXPECT_EQ(Settings.StereoMode, 1);
}

TEST_F(OptionSetTest, OkStopsAtAMissingFolderOrABitrateThatIsNoNumber) {
    const TAppSettings original = Settings;
    const std::string originalText = OptionsFileText();
    {
        TfrmOptions& d = Open();
        d.editOutputDir->setText(QString::fromStdString((Dir / "missing").string()));
        d.cbOutputFormat->setCurrentIndex(2);
        d.btOk->click();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(BoxKinds[0], TBoxKind::Error);
        EXPECT_EQ(Boxes[0], QString::fromStdString((Dir / "missing").string()) +
                                ",the output folder does not exist.");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.focusWidget(), d.editOutputDir);
        EXPECT_EQ(OptionsFileText(), originalText);
        Dialog.reset();
    }

    // "abc" as the minimum bitrate: the settings before it are stored, those after it not.
    struct Case {
        const char* Min;
        const char* Max;
        QString Box; // empty: accepted
        int StoredMin, StoredMax;
    };
    const Case cases[] = {
        {"abc", "320 kbit/s", "'abc' is not a valid integer value", 128, 320},
        {"192 kbit/s", "x20", "'x20' is not a valid integer value", 192, 320},
        {"", "320 kbit/s", "'' is not a valid integer value", 128, 320},
        {"  96", "1000 kbit/s", "", 9, 100}, // three characters, then trimmed
        {"+64 kbit/s", "-8", "", 64, -8},
    };
    fs::create_directories(Dir / "out");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Min);
        Settings = original;
        Boxes.clear();
        TfrmOptions& d = Open();
        d.editOutputDir->setText(QString::fromStdString((Dir / "out").string()));
        d.cbOutputFormat->setCurrentIndex(4);
        d.ckNormalize->setChecked(true);
        d.rbVBR->setChecked(true);
        d.cbMinBitRate->setEditText(c.Min);
        d.cbMaxBitRate->setEditText(c.Max);
        d.cbFlacCompression->setCurrentIndex(7);
        d.btOk->click();
        EXPECT_EQ(Settings.OutputFolder, (Dir / "out").string());
        EXPECT_EQ(Settings.OutputFormat, 4);
        EXPECT_TRUE(Settings.IsNormalize);
        EXPECT_TRUE(Settings.IsSelectVBR);
        EXPECT_EQ(Settings.Mp3BitRate, c.StoredMin);
        EXPECT_EQ(Settings.Mp3MaxBitRate, c.StoredMax);
        if (c.Box.isEmpty()) {
            EXPECT_TRUE(Boxes.empty());
            EXPECT_EQ(d.result(), QDialog::Accepted);
            EXPECT_EQ(Settings.FLACCompression, 7);
        } else {
            ASSERT_EQ(Boxes.size(), 1u);
            EXPECT_EQ(Boxes[0], c.Box);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(Settings.FLACCompression, original.FLACCompression);
        }
    }
}

TEST_F(OptionSetTest, CancelAndBrowseChangeNoSetting) {
    const std::string before = OptionsFileText();
    TfrmOptions& d = Open();
    d.btBrowser->click(); // cancelled picker
    EXPECT_EQ(PickerTitles.at(0), "Please select the folder to save the audio file");
    EXPECT_EQ(d.editOutputDir->text(), QString::fromStdString(Settings.OutputFolder));
    FolderAnswer = QString::fromStdString((Dir / "picked").string());
    d.btBrowser->click();
    EXPECT_EQ(d.editOutputDir->text(), FolderAnswer);
    d.cbOutputFormat->setCurrentIndex(5);
    d.rbVBR->click();
    d.tbCompression->setValue(80);
    d.cbFlacCompression->setEditText("12"); // typed, matching no entry
    d.seAPECompression->setValue(5000);
    d.btCancel->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(OptionsFileText(), before);
    EXPECT_EQ(EntryIndex(d.cbFlacCompression), -1);
    d.cbFlacCompression->setEditText("3");
    EXPECT_EQ(EntryIndex(d.cbFlacCompression), 3);
}

TEST_F(OptionSetTest, WmaPageListsCodecsAndFormatsPerMode) {
    struct Case {
        int Codec, Format;
        bool Vbr;
        int ShownCodec, ShownFormat, FormatCount;
    };
    const Case cases[] = {
        {2, 5, true, 2, 5, 6}, // the VBR list of codec 2, its entry 5
        {0, 29, false, 0, 29, 30}, {1, 35, false, 1, 35, 40},
        {0, 30, false, 0, -1, 30}, // past the list: none selected
        {7, 3, false, -1, -1, 0},  // no such codec: nothing listed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Codec << "/" << c.Format);
        Settings.CodecIndex = c.Codec;
        Settings.FormatIndex = c.Format;
        Settings.WMAVBR = c.Vbr;
        TfrmOptions& d = Open();
        EXPECT_EQ(d.lbCodecs->count(), 3);
        EXPECT_EQ(d.lbCodecs->currentRow(), c.ShownCodec);
        EXPECT_EQ(d.cbWMA_VBR->isChecked(), c.Vbr);
        EXPECT_EQ(d.WMAOut1().VBR, c.Vbr);
        EXPECT_EQ(d.lbFormats->count(), c.FormatCount);
        EXPECT_EQ(d.lbFormats->currentRow(), c.ShownFormat);
        EXPECT_TRUE(d.lNoWMAEncoder->isHidden());
    }

    // Choosing a codec, then VBR, refills the formats and selects the first.
    Settings.WMAVBR = true;
    TfrmOptions& d = Open(std::make_unique<TTableFormats>(10));
    d.lbCodecs->setCurrentRow(1);
    EXPECT_EQ(d.lbFormats->count(), 6);
    EXPECT_EQ(d.lbFormats->item(0)->text(), "1/0 VBR");
    EXPECT_EQ(d.lbFormats->currentRow(), 0);
    d.cbWMA_VBR->click();
    EXPECT_FALSE(d.WMAOut1().VBR);
    EXPECT_EQ(d.lbFormats->count(), 20);
    EXPECT_EQ(d.lbFormats->item(0)->text(), "1/0 CBR");

    // Default: codec 0, VBR off, and format 29, which this codec 0 does not have.
    d.cbWMA_VBR->click();
    d.bWMADefault->click();
    EXPECT_EQ(d.lbCodecs->currentRow(), 0);
    EXPECT_FALSE(d.cbWMA_VBR->isChecked());
    EXPECT_EQ(d.lbFormats->count(), 10);
    EXPECT_EQ(d.lbFormats->currentRow(), -1);
    d.lbCodecs->setCurrentRow(2);
    d.lbFormats->setCurrentRow(3);
    d.btOk->click();
    EXPECT_EQ(Settings.CodecIndex, 2);
    EXPECT_EQ(Settings.FormatIndex, 3);
    EXPECT_FALSE(Settings.WMAVBR);
}

TEST_F(OptionSetTest, WmaVbrOnlyWhereThereAreVbrFormats) {
    struct Case {
        const char* Name;
        int VbrFormats;
        bool StoredVbr;
        bool BoxEnabled, Checked, Note;
        int FormatCount;
    };
    const Case cases[] = {
        {"VBR formats, VBR stored", 6, true, true, true, false, 6},
        {"VBR formats, CBR stored", 6, false, true, false, false, 30},
        {"no VBR formats, VBR stored: the CBR list and a note", 0, true, false, false, true, 30},
        {"no VBR formats, CBR stored", 0, false, false, false, false, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Settings.CodecIndex = 0;
        Settings.FormatIndex = 3;
        Settings.WMAVBR = c.StoredVbr;
        TfrmOptions& d = Open(std::make_unique<TTableFormats>(30, c.VbrFormats));
        EXPECT_EQ(d.cbWMA_VBR->isEnabled(), c.BoxEnabled);
        EXPECT_EQ(d.cbWMA_VBR->isChecked(), c.Checked);
        EXPECT_EQ(d.WMAOut1().VBR, c.Checked);
        EXPECT_EQ(!d.lNoWMAVbr->isHidden(), c.Note);
        EXPECT_EQ(d.lbFormats->count(), c.FormatCount);
        EXPECT_EQ(d.lbFormats->currentRow(), 3);
        d.btOk->click();
        EXPECT_EQ(Settings.WMAVBR, c.Checked);
    }
}

TEST_F(OptionSetTest, WmaPageShowsTheEncodersOfOurMediaLayer) {
    // FFmpeg's WMA encoders: constant-bitrate formats only, entry 29 of the first codec
    // being the stored default.
    Settings.WMAVBR = false;
    TfrmOptions& d = Open(NewWMAFormatLister());
    ASSERT_GT(d.lbCodecs->count(), 0);
    EXPECT_TRUE(d.lNoWMAEncoder->isHidden());
    EXPECT_EQ(d.lbCodecs->currentRow(), 0);
    ASSERT_GE(d.lbFormats->count(), 30);
    EXPECT_EQ(d.lbFormats->currentRow(), 29);
    EXPECT_EQ(d.lbFormats->currentItem()->text(), "128 kbit/s, 44 kHz, stereo CBR");
    EXPECT_FALSE(d.cbWMA_VBR->isEnabled()); // no VBR formats to offer
    d.bWMADefault->click();
    EXPECT_FALSE(d.cbWMA_VBR->isChecked());
    EXPECT_EQ(d.lbFormats->currentItem()->text(), "128 kbit/s, 44 kHz, stereo CBR");
}

TEST_F(OptionSetTest, WithoutAWmaEncoderThePageSaysSoAndKeepsTheChoice) {
    Settings.CodecIndex = 1;
    Settings.FormatIndex = 12;
    Settings.WMAVBR = true;
    TfrmOptions& d = Open(std::make_unique<bwtest::TNoWmaLister>());
    EXPECT_FALSE(d.lNoWMAEncoder->isHidden());
    EXPECT_EQ(d.lNoWMAEncoder->text(), NoWMAEncoderText);
    EXPECT_FALSE(d.bWMADefault->isEnabled());
    d.btOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(Settings.CodecIndex, 1);
    EXPECT_EQ(Settings.FormatIndex, 12);
    EXPECT_TRUE(Settings.WMAVBR);
}

TEST_F(OptionSetTest, DriveListNamesEachDriveAndOnlyAListedDriveIsChosen) {
    bwtest::CdImage a = bwtest::CdImage::Write(Dir.Path(), "first-disc", {10});
    bwtest::CdImage b = bwtest::CdImage::Write(Dir.Path(), "second-disc-with-a-long-name", {10});
    bwtest::ImageDrives drives(a.CuePath().string() + ":" + b.CuePath().string());
    struct Case {
        int Stored;
        int Choose; // -2: leave the list alone
        int Loaded, Shown;
        bool Changed;
    };
    const Case cases[] = {
        {-1, -2, 0, 0, false},
        {1, -2, 1, 1, false},
        {0, 1, 0, 0, true},
        {5, -2, 5, -1, false}, // a drive no longer there: nothing to switch to
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Stored);
        Settings.CDIndex = c.Stored;
        TfrmOptions& d = Open();
        ASSERT_EQ(d.cbCDList->count(), 2);
        EXPECT_EQ(d.cbCDList->itemText(0), "IMAGE   first-disc.cue");
        EXPECT_EQ(d.cbCDList->itemText(1), "IMAGE   second-disc-with");
        EXPECT_EQ(d.LoadedCDIndex, c.Loaded);
        EXPECT_EQ(d.cbCDList->currentIndex(), c.Shown);
        if (c.Choose >= 0) d.cbCDList->setCurrentIndex(c.Choose);
        d.btOk->click();
        EXPECT_EQ(d.DriveChanged(), c.Changed);
        if (c.Changed) {
            EXPECT_EQ(d.ChosenDrive(), c.Choose);
        }
        EXPECT_EQ(Settings.CDIndex, d.cbCDList->currentIndex());
    }
}

} // namespace
