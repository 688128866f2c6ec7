#include "RipWindow.h"

#include "UiShell.h"

#include <QFormLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace bw {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TfrmCDRip::TfrmCDRip(QWidget* owner, int cdHandle, const std::vector<std::string>& selection,
                     const TDiscFields& disc)
    : QDialog(owner) {
    setWindowTitle(BoxCaption);
    lCurrentTrack = new QLabel(this);
    lOutputFormat = new QLabel(this);
    lSelectedTracks = new QLabel(this);
    lCompleted = new QLabel(this);
    lProgressHint = new QLabel(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(true);
    bStop = new QPushButton(QStringLiteral("Stop"), this);
    connect(bStop, &QPushButton::clicked, this, &TfrmCDRip::bStopClick);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Current track:"), lCurrentTrack);
    fields->addRow(QStringLiteral("Output format:"), lOutputFormat);
    fields->addRow(QStringLiteral("Selected tracks:"), lSelectedTracks);
    fields->addRow(QStringLiteral("Completed:"), lCompleted);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lProgressHint);
    layout->addWidget(ProgressBar1);
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
    setMinimumWidth(360);

    auto entries = RipEntriesOf(selection);
    lSelectedTracks->setText(QString::number(entries.size()));
    lOutputFormat->setText(Q(OutputFormatName(Settings.OutputFormat)));
    FJob = std::make_unique<TRipJob>(cdHandle, std::move(entries), disc, FTarget,
                                     static_cast<TRipJobView&>(*this));
    FJob->Begin();
}

TfrmCDRip::~TfrmCDRip() = default; // the job stops its thread and encoder

void TfrmCDRip::bStopClick() {
    FJob->Stop();
    reject();
}

void TfrmCDRip::done(int result) {
    // Closing by any means ends the job: the rip thread after its block, the encoder at once.
    FJob->Stop();
    QDialog::done(result);
}

bool TfrmCDRip::event(QEvent* event) {
    const int type = event->type();
    if (type == WM_RIPPROGRESS || type == WM_RIPFAILED || type == WM_RIPTHREADENDED) {
        auto* message = static_cast<TMessageEvent*>(event);
        TPostedMessage posted{message->Message().Msg, message->Message().WParam,
                              message->Message().LParam, message->TakeInfo()};
        FJob->HandleMessage(posted);
        return true;
    }
    return QDialog::event(event);
}

void TfrmCDRip::ShowError(const std::string& text) {
    bw::ShowError(this, Q(text));
}

void TfrmCDRip::SetProgressHint(const std::string& text) {
    lProgressHint->setText(Q(text));
}

void TfrmCDRip::SetProgressCaption(const std::string& text) {
    ProgressBar1->setFormat(Q(text));
}

void TfrmCDRip::SetProgress(int percent) {
    ProgressBar1->setValue(percent);
}

void TfrmCDRip::SetCurrentTrack(const std::string& title) {
    lCurrentTrack->setText(Q(title));
}

void TfrmCDRip::SetCompleted(int count) {
    lCompleted->setText(QString::number(count));
}

void TfrmCDRip::JobFinished() {
    // Also when the job ends before the window is shown: the close then waits for the loop.
    QMetaObject::invokeMethod(
        this, [this] { accept(); }, Qt::QueuedConnection);
}

} // namespace bw
