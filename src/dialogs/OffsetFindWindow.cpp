#include "OffsetFindWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <mutex>

#include "DetachedWorkers.h"
#include "DriveOffsets.h"
#include "RipReport.h"
#include "UiShell.h"

namespace bw {

namespace {

constexpr int WM_OFFSETFIND = 2140;     // worker -> window
constexpr std::intptr_t StepPosted = 0; // a new step text
constexpr std::intptr_t SearchDone = 1;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

struct TfrmFindOffset::TState {
    std::mutex Lock;
    std::string Step;
    TOffsetFindResult Result;
    std::atomic<bool> Cancel{false};
    std::unique_ptr<TDetachableTarget> Target;
};

TfrmFindOffset::TfrmFindOffset(const TCDEntry& drive, QWidget* parent)
    : QDialog(parent), FState(std::make_shared<TState>()), FDrive(drive) {
    setWindowTitle(QStringLiteral("Find Read Offset"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    FState->Target = std::make_unique<TDetachableTarget>(&FTarget);
    lStep = new QLabel(QStringLiteral("Opening the drive..."), this);
    lStep->setTextFormat(Qt::PlainText);
    lStep->setMinimumWidth(360);
    pbBusy = new QProgressBar(this);
    pbBusy->setRange(0, 0); // how long the lookup and the reads take is not known
    bStop = new QPushButton(QStringLiteral("Stop"), this);
    connect(bStop, &QPushButton::clicked, this, &TfrmFindOffset::bStopClick);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Drive: ") + Q(DriveOffsetNameOf(drive)), this));
    layout->addWidget(lStep);
    layout->addWidget(pbBusy);
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
}

TfrmFindOffset::~TfrmFindOffset() {
    FState->Target->Detach();
    FState->Cancel = true;
}

void TfrmFindOffset::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FStarted) return;
    FStarted = true;
    // Read on this thread: the worker must not touch the settings record.
    const std::string server = AccurateRipServer();
    const THttpRequest options = AccurateRipHttpOptions();
    // The worker shares the state, so it may outlive the window after a stop; a drive stuck
    // in a read then ends the search on its own time, never on the interface's.
    RunDetached("offset search", [state = FState, drive = FDrive, server, options] {
        auto say = [&state](const std::string& text) {
            {
                std::lock_guard lock(state->Lock);
                state->Step = text;
            }
            state->Target->Post(WM_OFFSETFIND, StepPosted);
        };
        TOffsetFindResult result;
        const TGetCDHandle request = HandleRequestFor(drive);
        const int handle = GetCDHandle(&request);
        TTOC toc{};
        if (handle == 0) {
            result.Error = DriveOpenProblem(drive);
        } else if (ModifyCDParms(handle, CDP_MSF, 1) == 0 || ReadTOC(handle, &toc) != 1) {
            const std::string why = GetCDDiscError(handle);
            result.Error =
                "there is no readable disc in the drive" + (why.empty() ? "" : ": " + why);
        } else {
            // A worker lets no exception out: that would end the program.
            try {
                result = FindReadOffset(handle, toc, server, options, say, &state->Cancel);
            } catch (const std::exception& e) {
                result = TOffsetFindResult();
                result.Error = e.what();
            }
        }
        if (handle != 0) CloseCDHandle(handle);
        {
            std::lock_guard lock(state->Lock);
            state->Result = std::move(result);
        }
        state->Target->Post(WM_OFFSETFIND, SearchDone);
    });
}

void TfrmFindOffset::bStopClick() {
    FState->Target->Detach();
    FState->Cancel = true;
    done(QDialog::Rejected);
}

void TfrmFindOffset::reject() {
    // Escape acts as Stop does.
    bStopClick();
}

bool TfrmFindOffset::event(QEvent* event) {
    if (event->type() != static_cast<QEvent::Type>(WM_OFFSETFIND)) return QDialog::event(event);
    if (static_cast<TMessageEvent*>(event)->Message().WParam == SearchDone) {
        done(QDialog::Accepted);
    } else {
        std::lock_guard lock(FState->Lock);
        lStep->setText(Q(FState->Step) + QStringLiteral("..."));
    }
    return true;
}

TOffsetFindResult TfrmFindOffset::Result() const {
    std::lock_guard lock(FState->Lock);
    return FState->Result;
}

QString DriveOffsetText(const TCDEntry* drive) {
    if (!drive) return QStringLiteral("Choose a drive on the Output page to find its read offset.");
    const std::string name = DriveOffsetNameOf(*drive);
    if (const auto own = StoredDriveOffset(name))
        return QStringLiteral("%1: %2 samples, its own").arg(Q(name)).arg(*own);
    return QStringLiteral("%1 has no read offset of its own: the one above is used.").arg(Q(name));
}

bool FindAndKeepDriveOffset(QWidget* parent, const TCDEntry& drive) {
    TfrmFindOffset window(drive, parent);
    if (window.exec() != QDialog::Accepted) return false;
    const TOffsetFindResult result = window.Result();
    const QString name = Q(DriveOffsetNameOf(drive));
    if (!result.Found) {
        ShowError(parent,
                  QStringLiteral("No read offset found for %1: %2.").arg(name, Q(result.Error)));
        return false;
    }
    const QString found =
        QStringLiteral("The read offset of %1 is %2 samples (%3 track(s) matched the "
                       "AccurateRip database, confidence %4).")
            .arg(name)
            .arg(result.Offset)
            .arg(result.Tracks)
            .arg(result.Confidence);
    if (!AskYesNo(parent, found + QStringLiteral("\nKeep it for this drive?"))) return false;
    StoreDriveOffset(DriveOffsetNameOf(drive), result.Offset);
    return true;
}

} // namespace bw
