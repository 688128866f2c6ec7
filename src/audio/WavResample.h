// The "Wave Converter" dialog: converts one WAV file into a WAV file of another rate,
// channel count, sample size or encoding (or into a WMA file), through a resampler and a
// format converter, and reports the result in its caption.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace bw {

class TAudioConverter;
class TAuFileOut;
class TAuOutput;
class TResampler;
class TWaveIn;
class TWaveOut;

class TfrmWavResample : public QDialog {
    Q_OBJECT
public:
    explicit TfrmWavResample(QWidget* owner = nullptr);
    ~TfrmWavResample() override;

    // Input parameters: file name, channels, rate, bits, encoding.
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label15;
    // Output parameters.
    QLabel* Label10;
    QSpinBox* SpinEdit1; // channels
    QSpinBox* SpinEdit3; // bits per sample
    QLineEdit* Edit1;    // sample rate
    QComboBox* ComboBox1;
    QPushButton* Button1; // "Input File..."
    QPushButton* Button2; // "Output File..."
    QPushButton* Button3; // "Start Convert"
    QPushButton* Button4; // "Close"
    QProgressBar* ProgressBar1;

    // The open and save dialogs; tests answer them. An empty name is a cancel.
    std::function<QString(QWidget* parent)> OpenDialog;
    std::function<QString(QWidget* parent)> SaveDialog;

    // The output the chosen name selects: the WAV writer, the WMA writer, or none yet.
    TAuFileOut* SelectedOutput() const { return FSelected; }
    TWaveOut& WaveOut1() { return *FWaveOut; }

public slots:
    void Button1Click();
    void Button2Click();
    // Raises EAuException "The output file name is not set!" and, for a rate that is not a
    // number, EConvertError; the button's handler shows either in an error box.
    void Button3Click();
    void Button4Click();

protected:
    void done(int result) override;

private:
    void StartConvert();
    void WaveOut1Done(TAuOutput* sender);
    void WaveOut1Progress(TAuOutput* sender);
    void Wire(TAuFileOut& output);
    void SetRunning(bool running);

    std::unique_ptr<TWaveIn> FWaveIn;
    std::unique_ptr<TResampler> FResampler;
    std::unique_ptr<TAudioConverter> FConverter;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TAuFileOut> FWmaOut; // made when a WMA name is first chosen
    TAuFileOut* FSelected = nullptr;
};

} // namespace bw
