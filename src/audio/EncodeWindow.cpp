#include "EncodeWindow.h"

#include "JobProgressPanel.h"
#include "JobReportWindow.h"
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
    FFiles = list;
    BeginOverall();
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
    FFiles = files;
    BeginOverall();
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
    lSkipped = new QLabel(QStringLiteral("0"), this);
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
    pOverall = new TJobProgressPanel(this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Input file:"), lInputFileName);
    fields->addRow(QStringLiteral("Output file:"), lOutputFileName);
    fields->addRow(QStringLiteral("Selected files:"), lSelectedTracks);
    fields->addRow(QStringLiteral("Completed:"), lCompleted);
    fields->addRow(QStringLiteral("Skipped:"), lSkipped);
    fields->addRow(QStringLiteral("Output folder:"), lOutputFolder);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lProgressHint);
    layout->addWidget(ProgressBar1);
    layout->addWidget(pOverall);
    layout->addWidget(mSkipped);
    layout->addStretch(1); // a larger window keeps its lines together
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
    setMinimumWidth(400);
}

TfrmEncodeProgress::~TfrmEncodeProgress() = default; // the job stops its output

void TfrmEncodeProgress::bStopClick() {
    reject();
}

void TfrmEncodeProgress::BeginOverall() {
    // Until a file is opened its length is guessed from its size, as CD audio; each file
    // opened teaches the rate of the list's own kind of files.
    std::vector<double> seconds;
    for (const fs::path& file : FFiles->Files) {
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        FBytes.push_back(ec ? 0.0 : static_cast<double>(size));
        seconds.push_back(FBytes.back() / 176400.0);
    }
    FLengthKnown.assign(FBytes.size(), false);
    pOverall->Begin(std::move(seconds), 1);
}

void TfrmEncodeProgress::FileStarted(double audioSeconds) {
    if (FCurrent >= FBytes.size() || audioSeconds <= 0) return;
    FLengthKnown[FCurrent] = true;
    FKnownSeconds += audioSeconds;
    FKnownBytes += FBytes[FCurrent];
    TOverallProgress& progress = pOverall->Progress();
    progress.SetItemSeconds(FCurrent, audioSeconds);
    if (FKnownBytes > 0)
        for (std::size_t i = FCurrent + 1; i < FBytes.size(); ++i)
            if (!FLengthKnown[i])
                progress.SetItemSeconds(i, FBytes[i] * FKnownSeconds / FKnownBytes);
}

void TfrmEncodeProgress::Outcome(const fs::path& input, const fs::path& output,
                                 const std::string& result, bool converted) {
    TJobSummary::TRow row;
    row.Cells = {input.filename().string(), converted ? output.filename().string() : "-", result};
    row.Problem = !converted;
    FRows.push_back(std::move(row));
    // Files passed over before the list started are not the file in hand.
    if (FJob && FCurrent < FBytes.size() && input == FFiles->Files[FCurrent])
        pOverall->Progress().ItemDone(FCurrent);
    lCompleted->setText(QString::number(FConverted));
    lSkipped->setText(QString::number(FSkipped + FFailed));
}

void TfrmEncodeProgress::FileDone(const fs::path& input, const fs::path& output,
                                  const std::string& note) {
    ++FConverted;
    Outcome(input, output, note.empty() ? "converted" : "converted (" + note + ")", true);
    if (note.empty()) return;
    mSkipped->show();
    mSkipped->appendPlainText(Q(input.string()) + QStringLiteral(": ") + Q(note));
}

TJobSummary TfrmEncodeProgress::Summary() const {
    TJobSummary summary;
    summary.Title = FFinished ? "Conversion finished" : "Conversion stopped";
    summary.Folder = Settings.OutputFolder;
    summary.Facts.emplace_back("Output folder:", Settings.OutputFolder);
    summary.Columns = {"File", "Output", "Result"};
    summary.Rows = FRows;
    const std::size_t listed = FFiles->Files.size();
    summary.Verdict = CountOf(std::size_t(FConverted), "file") + " converted";
    if (FSkipped > 0) summary.Verdict += ", " + std::to_string(FSkipped) + " skipped";
    if (FFailed > 0) summary.Verdict += ", " + std::to_string(FFailed) + " failed";
    // Rows also hold files passed over before the list started; those are not in it.
    const std::size_t inList = std::min(listed, FFiles->Next);
    if (!FFinished && inList < listed)
        summary.Verdict += ", " + std::to_string(listed - inList) + " not converted (stopped)";
    return summary;
}

void TfrmEncodeProgress::done(int result) {
    // Closing by any means stops the running conversion; its partial file stays.
    FJob->Stop();
    FEndedUnseen = UserAway();
    pOverall->Finish();
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
    FCurrent = FFiles->Next > 0 ? FFiles->Next - 1 : 0;
    FCurrentOutput = output;
    lInputFileName->setText(Q(input.filename().string()));
    lOutputFileName->setText(Q(output.filename().string()));
    ProgressBar1->setFormat(lProgressHint->text());
}

void TfrmEncodeProgress::SetCompleted(int) {
    // The job says it when a file is taken up; the window counts the files converted.
    lCompleted->setText(QString::number(FConverted));
}

void TfrmEncodeProgress::SetProgress(int percent) {
    ProgressBar1->setValue(percent < 0 ? 0 : percent);
    if (percent > 0) pOverall->Progress().SetStage(FCurrent, 0, percent / 100.0);
}

bool TfrmEncodeProgress::AskOverwrite(const fs::path& output) {
    QWidget* active = QApplication::activeWindow();
    const bool replace = AskOverwriteFile(active ? active : this, Q(output.string()));
    if (!replace) {
        ++FSkipped;
        Outcome(FFiles->Files[FCurrent], output,
                "skipped: " + output.filename().string() + " exists and was kept", false);
    }
    return replace;
}

void TfrmEncodeProgress::ShowError(const fs::path& input, const std::string& text) {
    ++FFailed;
    Outcome(input, {}, "failed: " + text, false);
    bw::ShowError(this, Q(input.string()) + QStringLiteral(": ") + Q(text));
}

void TfrmEncodeProgress::FileSkipped(const fs::path& input, const std::string& why) {
    ++FSkipped;
    Outcome(input, {}, "skipped: " + why, false);
    mSkipped->show();
    mSkipped->appendPlainText(QStringLiteral("Skipped ") + Q(input.string()) +
                              QStringLiteral(": ") + Q(why));
}

void TfrmEncodeProgress::JobFinished() {
    FFinished = true;
    pOverall->Finish();
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
