#include "RipWindow.h"

#include "DiscIdentity.h"

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
                     const TDiscFields& disc, const TCDEntry* drive)
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
    TTOC toc{};
    const bool haveToc = ModifyCDParms(cdHandle, CDP_MSF, 1) != 0 && ReadTOC(cdHandle, &toc) == 1;
    // The selection counts rows; tags, log, cue sheet and AccurateRip take the disc's own
    // numbers, which start later on a disc whose first track is not 1.
    if (haveToc)
        for (TRipEntry& entry : entries)
            entry.TrackNumber = entry.Entry == 0 ? 0 : toc.FirstTrack + entry.Entry - 1;
    FJob = std::make_unique<TRipJob>(cdHandle, std::move(entries), disc, FTarget,
                                     static_cast<TRipJobView&>(*this));
    if (drive) FJob->SetMusicBrainzIds(LoadMusicBrainzIds(DiscKeyOfDrive(*drive)));
    if (haveToc) {
        TRipDisc ripDisc =
            drive ? TRipDisc::ForDrive(toc, *drive, cdHandle) : TRipDisc::FromTOC(toc);
        ripDisc.Artist = disc.Artist;
        ripDisc.Album = disc.Album;
        FReport = std::make_unique<TRipReport>(std::move(ripDisc));
        FReport->SetWithCrc32(Settings.WriteLog);
        FReport->EnableCtdb();
        FJob->SetReport(FReport.get());
    }
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

void TfrmCDRip::TrackRead(const TRipEntry& entry, const TTrackReadStats& stats) {
    if (!stats.Suspicious.empty())
        FSuspicious.push_back(TwoDigits(entry.TrackNumber) + " " + entry.Title + ": " +
                              ReadVerdict(stats));
}

void TfrmCDRip::JobFinished() {
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
            FReport->WriteFiles(FJob->AlbumFolder(), [&](const std::filesystem::path& file) {
                declined = !AskOverwrite(file);
                return !declined;
            });
        } catch (const std::exception& e) {
            if (!declined) ShowError(e.what());
        }
    }
    accept();
}

} // namespace bw
