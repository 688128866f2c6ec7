#include "EncodeWindow.h"

#include "UiShell.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace bw {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TfrmEncodeProgress::TfrmEncodeProgress(QWidget* owner, const QStringList& files,
                                       const TDiscTagFields& disc)
    : QDialog(owner), FDisc(disc) {
    CreateControls(static_cast<int>(files.size()));
    auto list = std::make_shared<TConvertFiles>();
    for (const QString& file : files)
        list->Files.emplace_back(file.toStdString());
    // The type is read when each file is taken up, after the main window has set it.
    TChainMaker maker = [this](const fs::path&) {
        return MakeConverterChain(ConverterType, FDisc);
    };
    FJob = std::make_unique<TEncodeJob>(list, maker, fs::path(Settings.OutputFolder), FTarget,
                                        static_cast<TEncodeJobView&>(*this));
    FJob->Begin();
}

TfrmEncodeProgress::TfrmEncodeProgress(QWidget* owner, std::shared_ptr<TConvertFiles> files,
                                       TChainMaker maker)
    : QDialog(owner) {
    CreateControls(static_cast<int>(files->Files.size()));
    FJob = std::make_unique<TEncodeJob>(std::move(files), std::move(maker),
                                        fs::path(Settings.OutputFolder), FTarget,
                                        static_cast<TEncodeJobView&>(*this));
    FJob->Begin();
}

void TfrmEncodeProgress::CreateControls(int fileCount) {
    setWindowTitle(BoxCaption);
    lInputFileName = new QLabel(this);
    lOutputFileName = new QLabel(this);
    lSelectedTracks = new QLabel(QString::number(fileCount), this);
    lCompleted = new QLabel(QStringLiteral("0"), this);
    lOutputFolder = new QLabel(Q(Settings.OutputFolder), this);
    lProgressHint = new QLabel(QStringLiteral("Encoding..."), this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(true);
    bStop = new QPushButton(QStringLiteral("Stop"), this);
    connect(bStop, &QPushButton::clicked, this, &TfrmEncodeProgress::bStopClick);
    mSkipped = new QPlainTextEdit(this);
    mSkipped->setReadOnly(true);
    mSkipped->setMaximumHeight(6 * fontMetrics().lineSpacing());
    mSkipped->hide();

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Input file:"), lInputFileName);
    fields->addRow(QStringLiteral("Output file:"), lOutputFileName);
    fields->addRow(QStringLiteral("Selected files:"), lSelectedTracks);
    fields->addRow(QStringLiteral("Completed:"), lCompleted);
    fields->addRow(QStringLiteral("Output folder:"), lOutputFolder);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lProgressHint);
    layout->addWidget(ProgressBar1);
    layout->addWidget(mSkipped);
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
    setMinimumWidth(400);
}

TfrmEncodeProgress::~TfrmEncodeProgress() = default; // the job stops its output

void TfrmEncodeProgress::bStopClick() {
    reject();
}

void TfrmEncodeProgress::done(int result) {
    // Closing by any means stops the running conversion; its partial file stays.
    FJob->Stop();
    QDialog::done(result);
}

bool TfrmEncodeProgress::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_NEXTFILE)) {
        FJob->HandleMessage(static_cast<TMessageEvent*>(event)->Message());
        return true;
    }
    return QDialog::event(event);
}

void TfrmEncodeProgress::ShowFiles(const fs::path& input, const fs::path& output) {
    lInputFileName->setText(Q(input.filename().string()));
    lOutputFileName->setText(Q(output.filename().string()));
    ProgressBar1->setFormat(lProgressHint->text());
}

void TfrmEncodeProgress::SetCompleted(int count) {
    lCompleted->setText(QString::number(count));
}

void TfrmEncodeProgress::SetProgress(int percent) {
    ProgressBar1->setValue(percent < 0 ? 0 : percent);
}

bool TfrmEncodeProgress::AskOverwrite(const fs::path& output) {
    QWidget* active = QApplication::activeWindow();
    return AskOverwriteFile(active ? active : this, Q(output.string()));
}

void TfrmEncodeProgress::ShowError(const fs::path& input, const std::string& text) {
    bw::ShowError(this, Q(input.string()) + QStringLiteral(": ") + Q(text));
}

void TfrmEncodeProgress::FileSkipped(const fs::path& input, const std::string& why) {
    mSkipped->show();
    mSkipped->appendPlainText(QStringLiteral("Skipped ") + Q(input.string()) +
                              QStringLiteral(": ") + Q(why));
}

void TfrmEncodeProgress::FileDone(const fs::path& input, const fs::path&, const std::string& note) {
    if (note.empty()) return;
    mSkipped->show();
    mSkipped->appendPlainText(Q(input.string()) + QStringLiteral(": ") + Q(note));
}

void TfrmEncodeProgress::JobFinished() {
    // The list of files passed over stays up until the user has seen it.
    if (!mSkipped->toPlainText().isEmpty()) {
        lProgressHint->setText(QStringLiteral("Finished."));
        ProgressBar1->setValue(100);
        bStop->setText(QStringLiteral("Close"));
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { accept(); }, Qt::QueuedConnection);
}

} // namespace bw
