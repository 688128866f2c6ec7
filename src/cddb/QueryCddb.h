// The modal dialog through which every CDDB lookup starts: server, query script and proxy
// settings, and the Query button that runs the query in the stop window.
#pragma once

#include <QDialog>
#include <QStringList>

#include "CddbFieldsView.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace bw {

// The public CDDB servers offered, the default first.
extern const QStringList CddbServers;
inline const QString DefaultCddbScript = QStringLiteral("/~cddb/cddb.cgi");

class TfrmQueryCDDB : public QDialog {
    Q_OBJECT
public:
    TfrmQueryCDDB(TCddbFieldsView* fields, QWidget* parent = nullptr);

    int FirstTrack = 0;
    int LastTrack = 0;
    int CDHandle = 0;

    QComboBox* cbServer;
    QLineEdit* eScript;
    QCheckBox* cbProxy;
    QLineEdit* eAddress;
    QLineEdit* ePort;
    QPushButton* bQuery;
    QPushButton* bClose;
    QPushButton* bDefault;

public slots:
    void cbProxyClick();
    void bDefaultClick();
    void bQueryClick();
    void bCloseClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    TCddbFieldsView* FFields;
};

} // namespace bw
