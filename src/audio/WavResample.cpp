#include "WavResample.h"

#include "AuException.h"
#include "AuSampleRate.h"
#include "EncodeProgress.h"
#include "UiShell.h"
#include "WMAOut.h"
#include "WaveIn.h"
#include "WaveOut.h"

#include <algorithm>

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bw {

namespace {

QString NameOnly(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

} // namespace

TfrmWavResample::TfrmWavResample(QWidget* owner)
    : QDialog(owner), FWaveIn(std::make_unique<TWaveIn>()),
      FResampler(std::make_unique<TResampler>()), FConverter(std::make_unique<TAudioConverter>()),
      FWaveOut(std::make_unique<TWaveOut>()) {
    setWindowTitle(QStringLiteral("Wave Converter"));

    auto* input = new QGroupBox(QStringLiteral("Input File Parameters"), this);
    Label5 = new QLabel(input);
    Label6 = new QLabel(input);
    Label7 = new QLabel(input);
    Label8 = new QLabel(input);
    Label15 = new QLabel(input);
    auto* inputForm = new QFormLayout(input);
    inputForm->addRow(QStringLiteral("File name:"), Label5);
    inputForm->addRow(QStringLiteral("Channels:"), Label6);
    inputForm->addRow(QStringLiteral("Sample rate:"), Label7);
    inputForm->addRow(QStringLiteral("Bits per sample:"), Label8);
    inputForm->addRow(QStringLiteral("Encoding:"), Label15);

    auto* output = new QGroupBox(QStringLiteral(" Output File Parameters "), this);
    Label10 = new QLabel(output);
    SpinEdit1 = new QSpinBox(output);
    SpinEdit1->setRange(1, 2);
    SpinEdit1->setValue(1);
    SpinEdit3 = new QSpinBox(output);
    SpinEdit3->setRange(8, 24);
    SpinEdit3->setSingleStep(8);
    SpinEdit3->setValue(8);
    // Only 8, 16 and 24 bits exist: a value typed in between goes to the nearest of them.
    SpinEdit3->setKeyboardTracking(false);
    connect(SpinEdit3, &QSpinBox::valueChanged, this, [this](int bits) {
        const int whole = std::clamp((bits + 4) / 8 * 8, 8, 24);
        if (whole != bits) SpinEdit3->setValue(whole);
    });
    Edit1 = new QLineEdit(QStringLiteral("22050"), output);
    ComboBox1 = new QComboBox(output);
    ComboBox1->addItems({QStringLiteral("RAW PCM"), QStringLiteral("DVI IMA ADPCM")});
    ComboBox1->setCurrentIndex(0);
    auto* outputForm = new QFormLayout(output);
    outputForm->addRow(QStringLiteral("File name:"), Label10);
    outputForm->addRow(QStringLiteral("Channels:"), SpinEdit1);
    outputForm->addRow(QStringLiteral("Bits per sample:"), SpinEdit3);
    outputForm->addRow(QStringLiteral("Sample rate:"), Edit1);
    outputForm->addRow(QStringLiteral("Encoding:"), ComboBox1);

    Button1 = new QPushButton(QStringLiteral("Input File..."), this);
    Button2 = new QPushButton(QStringLiteral("Output File..."), this);
    Button3 = new QPushButton(QStringLiteral("Start Convert"), this);
    Button4 = new QPushButton(QStringLiteral("Close"), this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    connect(Button1, &QPushButton::clicked, this, &TfrmWavResample::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmWavResample::Button2Click);
    connect(Button3, &QPushButton::clicked, this, [this] {
        // The application's error box for what the start raises.
        try {
            Button3Click();
        } catch (const std::exception& e) {
            ShowError(this, QString::fromStdString(e.what()));
        }
    });
    connect(Button4, &QPushButton::clicked, this, &TfrmWavResample::Button4Click);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {Button1, Button2, Button3, Button4})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(input);
    layout->addWidget(output);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);

    OpenDialog = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), {},
                                            QStringLiteral("Wave Files (*.wav *.WAV)"));
    };
    SaveDialog = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(
            parent, QStringLiteral("Save As"), {},
            QStringLiteral("Wave Files (*.wav *.WAV);;Windows Media Files (*.wma *.WMA)"));
    };

    FResampler->SetQuality(TResamplerQuality::rqBest);
    FResampler->SetOutSampleRate(44100);
    FConverter->SetMode(TMSConverterMode::msmMonoToBoth);
    FConverter->SetOutBitsPerSample(0);
    FConverter->SetOutChannels(0);
    FResampler->SetInput(FWaveIn.get());
    FConverter->SetInput(FResampler.get());
    FWaveOut->SetWavType(wtPCM);
    FWaveOut->SetBlockSize(512);
    FWaveOut->SetFileMode(foRewrite);
    Wire(*FWaveOut);
}

TfrmWavResample::~TfrmWavResample() {
    // Writers before the filters and the reader they pull from.
    FWmaOut.reset();
    FWaveOut.reset();
    FConverter.reset();
    FResampler.reset();
}

void TfrmWavResample::Wire(TAuFileOut& output) {
    output.SetInput(FConverter.get());
    output.SetOnDone([this](TAuOutput* sender) { WaveOut1Done(sender); });
    output.SetOnProgress([this](TAuOutput* sender) { WaveOut1Progress(sender); });
}

void TfrmWavResample::Button1Click() {
    const QString name = OpenDialog(this);
    if (name.isEmpty()) return;
    FWaveIn->SetFileName(name.toStdString());
    bool valid = false;
    try {
        valid = FWaveIn->Valid();
    } catch (const std::exception& e) {
        // A file that cannot be opened, or compressed data that cannot be decoded, changes
        // nothing on screen but says why.
        ShowError(this, QString::fromStdString(e.what()));
        return;
    }
    if (!valid) return;
    Label5->setText(NameOnly(FWaveIn->FileName()));
    Label6->setText(QString::number(FWaveIn->Channels()));
    Label7->setText(QString::number(FWaveIn->SampleRate()));
    Label8->setText(QString::number(FWaveIn->BitsPerSample()));
    static const char* const encodings[] = {"Unsupported", "Raw PCM", "DVI IMA ADPCM",
                                            "Microsoft ADPCM", "ACM"};
    const int type = FWaveIn->WavType();
    Label15->setText(QString::fromLatin1(type >= 0 && type <= 4 ? encodings[type] : ""));
}

void TfrmWavResample::Button2Click() {
    const QString name = SaveDialog(this);
    if (name.isEmpty()) return;
    // ".wav" in any case is a WAV file; any other name is a WMA file.
    if (QFileInfo(name).suffix().compare(QStringLiteral("wav"), Qt::CaseInsensitive) == 0) {
        FSelected = FWaveOut.get();
    } else {
        try {
            if (!FWmaOut) {
                auto wma = std::make_unique<TWMAOut>();
                wma->DesiredBitrate = 256;
                wma->Lossless = false;
                wma->VBR = false;
                wma->VBRQuality = 0;
                FWmaOut = std::move(wma);
                Wire(*FWmaOut);
            }
            FSelected = FWmaOut.get();
        } catch (const std::exception& e) {
            FSelected = nullptr;
            ShowError(this, QString::fromStdString(e.what()));
            return;
        }
    }
    FSelected->SetFileName(name.toStdString());
    Label10->setText(NameOnly(FSelected->FileName()));
}

void TfrmWavResample::Button3Click() {
    if (!FSelected || FSelected->FileName().empty())
        throw EAuException("The output file name is not set!");
    FConverter->SetOutBitsPerSample(0);
    FConverter->SetOutChannels(0);
    const int channels = SpinEdit1->value();
    const int bits = SpinEdit3->value();
    bool isNumber = false;
    const int rate = Edit1->text().trimmed().toInt(&isNumber);
    if (!isNumber)
        throw EAuException("'" + Edit1->text().toStdString() + "' is not a valid integer value");
    if (!FWaveIn->Valid()) return;
    if (bits != FWaveIn->BitsPerSample()) FConverter->SetOutBitsPerSample(bits);
    if (channels != FWaveIn->Channels()) FConverter->SetOutChannels(channels);
    FResampler->SetOutSampleRate(static_cast<std::uint32_t>(rate < 0 ? 0 : rate));
    FWaveOut->SetWavType(ComboBox1->currentIndex() == 1 ? wtDVIADPCM : wtPCM);
    SetRunning(true);
    setWindowTitle(QStringLiteral("Converting..."));
    try {
        FSelected->Start();
    } catch (...) {
        SetRunning(false);
        setWindowTitle(QStringLiteral("Wave Converter"));
        throw;
    }
}

void TfrmWavResample::Button4Click() {
    FWaveOut->Stop(true);
}

void TfrmWavResample::done(int result) {
    FWaveOut->Stop(false);
    if (FWmaOut) FWmaOut->Stop(false);
    QDialog::done(result);
}

void TfrmWavResample::SetRunning(bool running) {
    // The files may not change under a running conversion.
    for (QPushButton* button : {Button1, Button2, Button3})
        button->setEnabled(!running);
}

void TfrmWavResample::WaveOut1Done(TAuOutput* sender) {
    SetRunning(false);
    const std::string& failure = sender->ExceptionMessage();
    setWindowTitle(failure.empty() ? QStringLiteral("Success!") : QString::fromStdString(failure));
}

void TfrmWavResample::WaveOut1Progress(TAuOutput* sender) {
    ProgressBar1->setValue(std::max(0, sender->Progress()));
}

} // namespace bw
