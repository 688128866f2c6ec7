// The small modal window shown while a CDDB or MusicBrainz query runs: it starts the query
// thread, offers Stop, shows the no-match hint, and closes with result 6 when the query is
// over (a CDDB result is applied to the fields; MusicBrainz releases are left in
// MusicBrainzThread for the caller).
#pragma once

#include <QDialog>
#include <memory>

#include "CddbFieldsView.h"
#include "MusicBrainzThread.h"
#include "QtMessages.h"

class QLabel;
class QPushButton;
class QFrame;

namespace bw {

// Modal result of a query that ended (the "yes" result of a dialog).
constexpr int QueryEndedResult = 6;

enum class TQueryService { Cddb, MusicBrainz };

class TfrmStopQuery : public QDialog {
    Q_OBJECT
public:
    TfrmStopQuery(TCddbFieldsView* fields, QWidget* parent = nullptr,
                  TQueryService service = TQueryService::Cddb);
    ~TfrmStopQuery() override;

    int FirstTrack = 0;
    int LastTrack = 0;
    int CDHandle = 0;
    std::unique_ptr<TQueryCDDBThread> QueryThread;
    std::unique_ptr<TQueryMusicBrainzThread> MusicBrainzThread;

    QLabel* lHint;
    QFrame* Panel1;
    QLabel* lNoMatch;
    QPushButton* bStop;

public slots:
    void bStopClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void reject() override;

private:
    void FormShow();
    void QueryDone(std::intptr_t wParam);

    TCddbFieldsView* FFields;
    TQueryService FService;
    TQtMessageTarget FTarget{this};
    bool FShown = false;
};

} // namespace bw
