#include "RippingPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>

#include "AccurateRipLookup.h"
#include "CdRecords.h"
#include "Global.h"
#include "MusicBrainzQuery.h"

namespace bw {

namespace {

// "host" or "host:port" with a port of 1..65535; a host of letters, digits, dots, hyphens
// and underscores, or a bracketed IPv6 address.
bool IsHostAndPort(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9._-]+)(:([0-9]{1,5}))?$)"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch()) return false;
    if (match.captured(3).isEmpty()) return true;
    const int port = match.captured(3).toInt();
    return port >= 1 && port <= 65535;
}

QString Trimmed(const QLineEdit* edit) {
    return edit->text().trimmed();
}

} // namespace

QString MusicBrainzServerProblem(const QString& text) {
    QString rest = text.trimmed();
    if (rest.isEmpty()) return {};
    const qsizetype scheme = rest.indexOf(QStringLiteral("://"));
    if (scheme >= 0) {
        const QString name = rest.left(scheme).toLower();
        if (name != QStringLiteral("http") && name != QStringLiteral("https"))
            return QStringLiteral("The MusicBrainz server must be an http:// or https:// address.");
        rest = rest.mid(scheme + 3);
    }
    while (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (!IsHostAndPort(rest))
        return QStringLiteral("The MusicBrainz server \"%1\" is not a host name with an optional "
                              "port (https://host:port).")
            .arg(text.trimmed());
    return {};
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

TRippingPage::TRippingPage(QWidget* parent) : QWidget(parent) {
    FForm = new QFormLayout(this);
    FForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    ckWriteLog =
        new QCheckBox(QStringLiteral("Write a rip log and a cue sheet beside the tracks"), this);
    AddRow({}, {ckWriteLog, [this] { ckWriteLog->setChecked(Settings.WriteLog); }, nullptr,
                [this] { Settings.WriteLog = ckWriteLog->isChecked(); }});

    seReadOffset = new QSpinBox(this);
    seReadOffset->setRange(-CDMaxReadOffset, CDMaxReadOffset);
    seReadOffset->setSuffix(QStringLiteral(" samples"));
    seReadOffset->setToolTip(
        QStringLiteral("The drive's read offset, as AccurateRip's list of drives gives it"));
    AddRow(QStringLiteral("Read offset:"),
           {seReadOffset, [this] { seReadOffset->setValue(Settings.ReadOffset); }, nullptr,
            [this] { Settings.ReadOffset = seReadOffset->value(); }});

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

void TRippingPage::AddRow(const QString& label, TRow row) {
    if (label.isEmpty()) {
        FForm->addRow(row.Control);
    } else {
        auto* caption = new QLabel(label, this);
        caption->setBuddy(row.Control);
        FForm->addRow(caption, row.Control);
    }
    FRows.push_back(std::move(row));
}

void TRippingPage::Load() {
    for (const TRow& row : FRows)
        if (row.Load) row.Load();
}

QString TRippingPage::Check() {
    FProblemControl = nullptr;
    for (const TRow& row : FRows) {
        if (!row.Check) continue;
        QString problem = row.Check();
        if (!problem.isEmpty()) {
            FProblemControl = row.Control;
            return problem;
        }
    }
    return {};
}

void TRippingPage::Store() {
    for (const TRow& row : FRows)
        if (row.Store) row.Store();
}

} // namespace bw
