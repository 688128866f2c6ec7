#include "StopQuery.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "UiShell.h"

namespace bw {

TfrmStopQuery::TfrmStopQuery(TCddbFieldsView* fields, QWidget* parent, TQueryService service)
    : QDialog(parent), FFields(fields), FService(service) {
    const bool cddb = service == TQueryService::Cddb;
    setWindowTitle(cddb ? QStringLiteral("Query CDDB...") : QStringLiteral("Query MusicBrainz..."));
    // Fixed border, no caption-bar buttons: the window is left through its button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    lHint = new QLabel(cddb ? QStringLiteral("Query CDDB, please waiting...")
                            : QStringLiteral("Query MusicBrainz, please wait..."),
                       this);
    Panel1 = new QFrame(this);
    lNoMatch = new QLabel(QStringLiteral("No match found,perhaps:\n"
                                         "1.No information in CDDB server\n"
                                         "2.error CDDB options\n"
                                         "3.check the network"),
                          Panel1);
    // The MusicBrainz lookup says in the panel why it found nothing.
    lNoMatch->setTextFormat(Qt::PlainText);
    lNoMatch->setWordWrap(!cddb);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addWidget(lNoMatch);
    Panel1->hide();
    bStop = new QPushButton(QStringLiteral("Stop"), this);
    connect(bStop, &QPushButton::clicked, this, &TfrmStopQuery::bStopClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lHint);
    layout->addWidget(Panel1);
    layout->addWidget(bStop, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TfrmStopQuery::~TfrmStopQuery() = default; // the thread's destructor stops it

void TfrmStopQuery::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TfrmStopQuery::FormShow() {
    if (FService == TQueryService::MusicBrainz)
        MusicBrainzThread = std::make_unique<TQueryMusicBrainzThread>(&FTarget, CDHandle);
    else
        QueryThread = std::make_unique<TQueryCDDBThread>(&FTarget, FirstTrack, LastTrack, CDHandle);
}

void TfrmStopQuery::bStopClick() {
    if (QueryThread) QueryThread->Stop();
    if (MusicBrainzThread) MusicBrainzThread->Stop();
    done(QDialog::Rejected);
}

void TfrmStopQuery::reject() {
    // Escape acts as the button does.
    bStopClick();
}

bool TfrmStopQuery::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_QUERYDONE)) {
        QueryDone(static_cast<TMessageEvent*>(event)->Message().WParam);
        return true;
    }
    return QDialog::event(event);
}

void TfrmStopQuery::QueryDone(std::intptr_t wParam) {
    if (wParam == QueryNoMatch) {
        if (MusicBrainzThread) {
            lNoMatch->setText(QString::fromStdString(MusicBrainzThread->Result().Message));
            lNoMatch->setMinimumWidth(std::min(lNoMatch->sizeHint().width(), 360));
        }
        lHint->hide();
        Panel1->show();
        bStop->setText(QStringLiteral("Close"));
    } else if (wParam == QueryFinished) {
        // The releases MusicBrainz found wait in the thread for the caller, who lets the
        // user choose one once this window is gone.
        if (FFields && QueryThread) FFields->ApplyCddbResult(QueryThread->Result());
        done(QueryEndedResult);
    } else if (wParam == QueryFailed) {
        // A failure is not a success with nothing found: say why, and leave the CDDB dialog
        // open so that another server or proxy can be tried.
        std::string why = QueryThread ? QueryThread->Result().Error : std::string();
        if (why.empty()) why = "The CDDB query failed.";
        ShowError(this, QString::fromStdString(why));
        done(QDialog::Rejected);
    }
}

} // namespace bw
