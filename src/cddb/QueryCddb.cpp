#include "QueryCddb.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "Global.h"
#include "StopQuery.h"

namespace bw {

// Only services that still answer: the public freedb.org service and its regional mirrors
// closed in 2020.
const QStringList CddbServers = {
    QStringLiteral("gnudb.gnudb.org"),
};

TfrmQueryCDDB::TfrmQueryCDDB(TCddbFieldsView* fields, QWidget* parent)
    : QDialog(parent), FFields(fields) {
    setWindowTitle(QStringLiteral("Query CDDB"));

    auto* gbServer = new QGroupBox(QStringLiteral("Server"), this);
    cbServer = new QComboBox(gbServer);
    cbServer->setEditable(true);
    cbServer->addItems(CddbServers);
    eScript = new QLineEdit(DefaultCddbScript, gbServer);
    auto* serverLayout = new QFormLayout(gbServer);
    serverLayout->addRow(QStringLiteral("Freedb Server:"), cbServer);
    serverLayout->addRow(QStringLiteral("Query Script:"), eScript);

    auto* gbProxy = new QGroupBox(QStringLiteral("Proxy server"), this);
    cbProxy = new QCheckBox(QStringLiteral("Use a proxy server"), gbProxy);
    eAddress = new QLineEdit(gbProxy);
    ePort = new QLineEdit(gbProxy);
    eAddress->setEnabled(false);
    ePort->setEnabled(false);
    auto* proxyLayout = new QFormLayout(gbProxy);
    proxyLayout->addRow(cbProxy);
    proxyLayout->addRow(QStringLiteral("Address:"), eAddress);
    proxyLayout->addRow(QStringLiteral("Port:"), ePort);

    bQuery = new QPushButton(QStringLiteral("Query"), this);
    bClose = new QPushButton(QStringLiteral("Close"), this);
    bDefault = new QPushButton(QStringLiteral("Default"), this);
    bQuery->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bQuery);
    buttons->addWidget(bClose);
    buttons->addWidget(bDefault);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbServer);
    layout->addWidget(gbProxy);
    layout->addLayout(buttons);

    connect(cbProxy, &QCheckBox::clicked, this, &TfrmQueryCDDB::cbProxyClick);
    connect(bDefault, &QPushButton::clicked, this, &TfrmQueryCDDB::bDefaultClick);
    connect(bQuery, &QPushButton::clicked, this, &TfrmQueryCDDB::bQueryClick);
    connect(bClose, &QPushButton::clicked, this, &TfrmQueryCDDB::bCloseClick);
}

void TfrmQueryCDDB::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmQueryCDDB::FormShow() {
    const QString server = QString::fromStdString(Settings.CDDBServer);
    int index = cbServer->findText(server, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        cbServer->setCurrentIndex(index);
    } else {
        // A host the user typed earlier stays visible rather than being replaced.
        cbServer->setCurrentIndex(0);
        if (!server.isEmpty()) cbServer->setEditText(server);
    }
    eScript->setText(QString::fromStdString(Settings.CDDBScript));
    cbProxy->setChecked(Settings.UseProxy);
    cbProxyClick();
    eAddress->setText(QString::fromStdString(Settings.ProxyAddress));
    ePort->setText(QString::fromStdString(Settings.Port));
}

void TfrmQueryCDDB::cbProxyClick() {
    eAddress->setEnabled(cbProxy->isChecked());
    ePort->setEnabled(cbProxy->isChecked());
}

void TfrmQueryCDDB::bDefaultClick() {
    cbServer->setCurrentIndex(0);
    cbServer->setEditText(cbServer->itemText(0));
    eScript->setText(DefaultCddbScript);
    cbProxy->setChecked(false);
    cbProxyClick();
}

void TfrmQueryCDDB::bQueryClick() {
    Settings.CDDBServer = cbServer->currentText().trimmed().toStdString();
    Settings.CDDBScript = eScript->text().toStdString();
    Settings.UseProxy = cbProxy->isChecked();
    Settings.ProxyAddress = eAddress->text().toStdString();
    Settings.Port = ePort->text().toStdString();

    TfrmStopQuery stop(FFields, this);
    stop.FirstTrack = FirstTrack;
    stop.LastTrack = LastTrack;
    stop.CDHandle = CDHandle;
    if (stop.exec() == QueryEndedResult) accept();
}

void TfrmQueryCDDB::bCloseClick() {
    reject();
}

} // namespace bw
