#include "RippingPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "AccurateRipLookup.h"
#include "CdRecords.h"
#include "Global.h"
#include "MusicBrainzQuery.h"

namespace bw {

namespace {

QString Trimmed(const QLineEdit* edit) {
    return edit->text().trimmed();
}

} // namespace

QString MusicBrainzServerProblem(const QString& text) {
    return WebServerProblem(QStringLiteral("MusicBrainz"), text);
}

QString AccurateRipServerProblem(const QString& text) {
    QString rest = text.trimmed();
    if (rest.isEmpty()) return {};
    if (rest.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive)) rest = rest.mid(7);
    if (!IsHostAndPort(rest))
        return QStringLiteral("The AccurateRip server \"%1\" is not a host name with an optional "
                              "port (host:port).")
            .arg(text.trimmed());
    return {};
}

TRippingPage::TRippingPage(QWidget* parent) : TSettingsPage(parent) {
    ckWriteLog =
        new QCheckBox(QStringLiteral("Write a rip log and a cue sheet beside the tracks"), this);
    AddRow({}, {ckWriteLog, [this] { ckWriteLog->setChecked(Settings.WriteLog); }, nullptr,
                [this] { Settings.WriteLog = ckWriteLog->isChecked(); }});
    ckEjectWhenRipped =
        new QCheckBox(QStringLiteral("Eject the disc when the rip has finished"), this);
    AddRow({}, {ckEjectWhenRipped,
                [this] { ckEjectWhenRipped->setChecked(Settings.EjectWhenRipped); }, nullptr,
                [this] { Settings.EjectWhenRipped = ckEjectWhenRipped->isChecked(); }});

    seReadOffset = new QSpinBox(this);
    seReadOffset->setRange(-CDMaxReadOffset, CDMaxReadOffset);
    seReadOffset->setSuffix(QStringLiteral(" samples"));
    seReadOffset->setToolTip(
        QStringLiteral("The read offset of drives without one of their own, as AccurateRip's "
                       "list of drives gives it"));
    btFindOffset = new QPushButton(QStringLiteral("Find offset..."), this);
    btFindOffset->setToolTip(QStringLiteral(
        "Finds the read offset of the drive chosen on the Output page with a disc that "
        "AccurateRip knows"));
    auto* offsetRow = new QWidget(this);
    auto* offsetLayout = new QHBoxLayout(offsetRow);
    offsetLayout->setContentsMargins(0, 0, 0, 0);
    offsetLayout->addWidget(seReadOffset, 1);
    offsetLayout->addWidget(btFindOffset);
    AddRow(QStringLiteral("Read offset:"),
           {offsetRow, [this] { seReadOffset->setValue(Settings.ReadOffset); }, nullptr,
            [this] { Settings.ReadOffset = seReadOffset->value(); }},
           seReadOffset);
    lDriveOffset = new QLabel(this);
    lDriveOffset->setWordWrap(true);
    lDriveOffset->setTextFormat(Qt::PlainText); // drive names come from the drive
    AddRow({}, {lDriveOffset, nullptr, nullptr, nullptr});

    editAccurateRipServer = new QLineEdit(this);
    editAccurateRipServer->setPlaceholderText(QString::fromUtf8(DefaultAccurateRipServer));
    AddRow(QStringLiteral("AccurateRip server:"),
           {editAccurateRipServer,
            [this] {
                editAccurateRipServer->setText(QString::fromStdString(Settings.AccurateRipServer));
            },
            [this] { return AccurateRipServerProblem(editAccurateRipServer->text()); },
            [this] {
                const QString text = Trimmed(editAccurateRipServer);
                Settings.AccurateRipServer =
                    text.isEmpty() ? DefaultAccurateRipServer : text.toStdString();
            }});

    editMusicBrainzServer = new QLineEdit(this);
    editMusicBrainzServer->setPlaceholderText(QString::fromStdString(DefaultMusicBrainzServer));
    AddRow(QStringLiteral("MusicBrainz server:"),
           {editMusicBrainzServer,
            [this] {
                editMusicBrainzServer->setText(QString::fromStdString(Settings.MusicBrainzServer));
            },
            [this] { return MusicBrainzServerProblem(editMusicBrainzServer->text()); },
            [this] {
                const QString text = Trimmed(editMusicBrainzServer);
                Settings.MusicBrainzServer =
                    text.isEmpty() ? DefaultMusicBrainzServer : text.toStdString();
            }});
}

} // namespace bw
