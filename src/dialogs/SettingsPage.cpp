#include "SettingsPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QRegularExpression>

namespace bw {

bool IsHostAndPort(const QString& text) {
    // A host of letters, digits, dots, hyphens and underscores, or a bracketed IPv6
    // address, with an optional port of 1..65535.
    static const QRegularExpression shape(
        QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9._-]+)(:([0-9]{1,5}))?$)"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch()) return false;
    if (match.captured(3).isEmpty()) return true;
    const int port = match.captured(3).toInt();
    return port >= 1 && port <= 65535;
}

QString WebServerProblem(const QString& name, const QString& text) {
    QString rest = text.trimmed();
    if (rest.isEmpty()) return {};
    const qsizetype scheme = rest.indexOf(QStringLiteral("://"));
    if (scheme >= 0) {
        const QString kind = rest.left(scheme).toLower();
        if (kind != QStringLiteral("http") && kind != QStringLiteral("https"))
            return QStringLiteral("The %1 server must be an http:// or https:// address.")
                .arg(name);
        rest = rest.mid(scheme + 3);
    }
    while (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (!IsHostAndPort(rest))
        return QStringLiteral("The %1 server \"%2\" is not a host name with an optional "
                              "port (https://host:port).")
            .arg(name, text.trimmed());
    return {};
}

TSettingsPage::TSettingsPage(QWidget* parent) : QWidget(parent) {
    FForm = new QFormLayout(this);
    FForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
}

void TSettingsPage::AddRow(const QString& label, TRow row, QWidget* buddy) {
    if (label.isEmpty()) {
        FForm->addRow(row.Control);
    } else {
        auto* caption = new QLabel(label, this);
        caption->setBuddy(buddy ? buddy : row.Control);
        FForm->addRow(caption, row.Control);
    }
    FRows.push_back(std::move(row));
}

void TSettingsPage::Load() {
    for (const TRow& row : FRows)
        if (row.Load) row.Load();
}

QString TSettingsPage::Check() {
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

void TSettingsPage::Store() {
    for (const TRow& row : FRows)
        if (row.Store) row.Store();
}

void TSettingsPage::ShowDefaults() {
    for (const auto& show : FDefaults)
        show();
}

} // namespace bw
