#include "RipWindow.h"

#include "DiscIdentity.h"
#include "JobProgressPanel.h"
#include "JobReportWindow.h"

#include "UiShell.h"
#include "akrip32.h"

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
                     const TDiscFields& disc, const TListedDisc* listed)
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
    pOverall = new TJobProgressPanel(this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Current track:"), lCurrentTrack);
    fields->addRow(QStringLiteral("Output format:"), lOutputFormat);
    fields->addRow(QStringLiteral("Selected tracks:"), lSelectedTracks);
    fields->addRow(QStringLiteral("Completed:"), lCompleted);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lProgressHint);
    layout->addWidget(ProgressBar1);
    layout->addWidget(pOverall);
    layout->addStretch(1); // a larger window keeps its lines together
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
    setMinimumWidth(400);

    auto entries = RipEntriesOf(selection);
    lSelectedTracks->setText(QString::number(entries.size()));
    lOutputFormat->setText(Q(OutputFormatName(Settings.OutputFormat)));
    const bool haveToc = listed && TOCEntryCount(listed->TOC) >= 2;
    // The selection counts rows; tags, log, cue sheet and AccurateRip take the disc's own
    // numbers, which start later on a disc whose first track is not 1.
    if (haveToc)
        for (TRipEntry& entry : entries)
            entry.TrackNumber = entry.Entry == 0 ? 0 : listed->TOC.FirstTrack + entry.Entry - 1;
    FJob = std::make_unique<TRipJob>(cdHandle, std::move(entries), disc, FTarget,
                                     static_cast<TRipJobView&>(*this));
    if (listed && listed->Drive) FJob->SetMusicBrainzIds(LoadMusicBrainzIds(listed->Key));
    if (haveToc) {
        TRipDisc ripDisc = listed->Drive
                               ? TRipDisc::ForListedDrive(listed->TOC, *listed->Drive,
                                                          listed->Codes, listed->HiddenSectors)
                               : TRipDisc::FromTOC(listed->TOC);
        ripDisc.Artist = disc.Artist;
        ripDisc.Album = disc.Album;
        FReport = std::make_unique<TRipReport>(std::move(ripDisc));
        // The report window shows every track's CRC, log or not.
        FReport->SetWithCrc32(true);
        FReport->EnableCtdb();
        FJob->SetReport(FReport.get());
    }
    FOutcomes.assign(FJob->Entries().size(), {});
    // The whole job by audio length: each track read, then (unless WAV) encoded.
    std::vector<double> seconds;
    for (const TRipEntry& entry : FJob->Entries())
        seconds.push_back(FReport &&
                                  (entry.Entry == 0 || FReport->Disc().HasTrack(entry.TrackNumber))
                              ? FReport->Disc().TrackSectors(entry.TrackNumber) / 75.0
                              : 1.0);
    pOverall->Begin(std::move(seconds), Settings.OutputFormat == 1 ? 1 : 2);
    FJob->Begin();
}

TfrmCDRip::~TfrmCDRip() {
    FCheck.reset(); // stops a lookup still under way before the report goes
}

std::string TfrmCDRip::AccurateRipStatus() const {
    return FChecked && FReport ? FReport->StatusText() : std::string();
}

void TfrmCDRip::bStopClick() {
    FJob->Stop();
    reject();
}

void TfrmCDRip::done(int result) {
    // Closing by any means ends the job: the rip thread after its block, the encoder at once.
    FJob->Stop();
    if (FJob->Stalled()) FEnd = TJobEnd::Failed;
    FEndedUnseen = UserAway();
    pOverall->Finish();
    FCheck.reset();
    QDialog::done(result);
}

bool TfrmCDRip::event(QEvent* event) {
    const int type = event->type();
    if (type == WM_RIPPROGRESS || type == WM_RIPFAILED || type == WM_RIPTHREADENDED ||
        type == WM_ENCODEPROGRESS) {
        auto* message = static_cast<TMessageEvent*>(event);
        TPostedMessage posted{message->Message().Msg, message->Message().WParam,
                              message->Message().LParam, message->TakeInfo()};
        FJob->HandleMessage(posted);
        return true;
    }
    if (type == WM_ACCURATERIPDONE) {
        AccurateRipDone();
        return true;
    }
    return QDialog::event(event);
}

void TfrmCDRip::ShowError(const std::string& text) {
    // What stopped the whole job goes into the report's verdict.
    if (FJob && FFailure.empty() &&
        (FJob->Stalled() || FJob->Failures() >= static_cast<int>(FJob->Entries().size())))
        FFailure = text;
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

void TfrmCDRip::SetCompleted(int) {
    // The job says it when a track starts; the window counts each track as it is done.
    lCompleted->setText(QString::number(FDealt));
}

std::size_t TfrmCDRip::IndexOf(const TRipEntry& entry) const {
    const std::vector<TRipEntry>& entries = FJob->Entries();
    if (&entry >= entries.data() && &entry < entries.data() + entries.size())
        return static_cast<std::size_t>(&entry - entries.data());
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].Entry == entry.Entry) return i;
    return entries.size();
}

void TfrmCDRip::TrackProgress(int index, int stage, int percent) {
    if (index >= 0) pOverall->Progress().SetStage(std::size_t(index), stage, percent / 100.0);
}

void TfrmCDRip::TrackDone(const TRipEntry& entry, const std::filesystem::path& output,
                          const std::string& error) {
    const std::size_t index = IndexOf(entry);
    if (index >= FOutcomes.size()) return;
    if (!FOutcomes[index].Dealt) ++FDealt;
    FOutcomes[index] = {true, output, error};
    pOverall->Progress().ItemDone(index);
    lCompleted->setText(QString::number(FDealt));
}

void TfrmCDRip::TrackRead(const TRipEntry& entry, const TTrackReadStats& stats) {
    pOverall->Progress().SetStage(IndexOf(entry), 0, 1.0);
    if (!stats.Suspicious.empty())
        FSuspicious.push_back(TwoDigits(entry.TrackNumber) + " " + entry.Title + ": " +
                              ReadVerdict(stats));
}

void TfrmCDRip::JobFinished() {
    FEnd = TJobEnd::Finished;
    if (!FSuspicious.empty()) {
        // Said once, at the end: the tracks are kept, but their reads never agreed there.
        std::string text = "These tracks were kept, but the drive never read the same twice "
                           "at some places:";
        for (const std::string& line : FSuspicious)
            text += "\n" + line;
        ShowError(text);
        FSuspicious.clear();
    }
    if (FReport && !FReport->Tracks().empty()) {
        // The database may take a while: the window stays, saying so, and Stop still works.
        SetProgressHint("Checking AccurateRip...");
        FCheck = std::make_unique<TAccurateRipCheck>(
            *FReport, AccurateRipServer(), AccurateRipHttpOptions(), Settings.IsNormalize, FTarget);
        return;
    }
    // Also when the job ends before the window is shown: the close then waits for the loop.
    QMetaObject::invokeMethod(
        this, [this] { accept(); }, Qt::QueuedConnection);
}

bool TfrmCDRip::AskOverwrite(const std::filesystem::path& output) {
    return AskOverwriteFile(this, Q(output.string()));
}

void TfrmCDRip::AccurateRipDone() {
    if (!FCheck) return; // stopped meanwhile
    FCheck.reset();
    FChecked = true;
    if (Settings.WriteLog) {
        bool declined = false; // the user keeps an earlier file: no error to tell
        try {
            FLog = FReport->WriteFiles(FJob->AlbumFolder(), [&](const std::filesystem::path& file) {
                declined = !AskOverwrite(file);
                return !declined;
            });
        } catch (const std::exception& e) {
            if (!declined) ShowError(e.what());
        }
    }
    accept();
}

TJobSummary TfrmCDRip::Summary() const {
    TRipSummaryInput input;
    input.Entries = &FJob->Entries();
    input.Outcomes = &FOutcomes;
    input.Report = FReport.get();
    input.AccurateRipChecked = FChecked;
    input.End = FEnd;
    input.Failure = FFailure;
    input.Folder = FJob->AlbumFolder();
    input.Log = FLog;
    return RipSummaryOf(input);
}

} // namespace bw
