#include "FileNamesGroup.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "FileNameTemplate.h"
#include "Global.h"

namespace bw {

QString FileNameTemplateProblem(const QString& text) {
    if (text.trimmed().isEmpty())
        return QStringLiteral("The file name template is empty: it needs at least %n (the "
                              "track's title) or %t (its number).");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("The file name template holds a control character.");
        if (c != QLatin1Char('%')) continue;
        const QString code = text.mid(i, 2);
        if (code.size() < 2 || !QStringLiteral("Adygtn%").contains(code[1]))
            return QStringLiteral("The file name template holds \"%1\", which is no "
                                  "placeholder: use %A, %d, %y, %g, %t or %n (%% for a %).")
                .arg(code);
        ++i;
    }
    if (text.startsWith(QLatin1Char('/')))
        return QStringLiteral("The file name template must not begin with \"/\": it names the "
                              "files within the output folder.");
    const QStringList parts = text.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.trimmed().isEmpty())
            return QStringLiteral("The file name template has an empty folder or file name "
                                  "(\"//\" or a \"/\" at its end).");
        if (part == QStringLiteral(".") || part == QStringLiteral(".."))
            return QStringLiteral("The file name template must not use \".\" or \"..\" as a "
                                  "folder name.");
    }
    // "%%t" is a "%" and a "t", not the track's number.
    QString name = parts.last();
    name.replace(QStringLiteral("%%"), QString());
    if (!name.contains(QStringLiteral("%t")) && !name.contains(QStringLiteral("%n")))
        return QStringLiteral("The file name template gives every track the same name: put %t "
                              "or %n after its last \"/\".");
    return {};
}

TFileNamesGroup::TFileNamesGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("File names"), parent) {
    editFileNameTemplate = new QLineEdit(this);
    lPlaceholders = new QLabel(
        QStringLiteral("%A artist, %d album, %y year, %g genre, %t track number (two digits), "
                       "%n title; \"/\" makes folders"),
        this);
    lPlaceholders->setWordWrap(true);
    lExample = new QLabel(this);
    lExample->setTextFormat(Qt::PlainText);
    lExample->setWordWrap(true);
    auto* label = new QLabel(QStringLiteral("Template:"), this);
    label->setBuddy(editFileNameTemplate);
    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(editFileNameTemplate, 0, 1);
    layout->addWidget(lPlaceholders, 1, 1);
    layout->addWidget(lExample, 2, 1);
    connect(editFileNameTemplate, &QLineEdit::textChanged, this, &TFileNamesGroup::ShowExample);
}

void TFileNamesGroup::Load() {
    editFileNameTemplate->setText(QString::fromStdString(
        Settings.FileNameTemplate.empty() ? DefaultFileNameTemplate : Settings.FileNameTemplate));
    ShowExample();
}

QString TFileNamesGroup::Problem() const {
    return FileNameTemplateProblem(editFileNameTemplate->text());
}

void TFileNamesGroup::Store() {
    Settings.FileNameTemplate = editFileNameTemplate->text().toStdString();
}

void TFileNamesGroup::ShowExample() {
    if (const QString problem = Problem(); !problem.isEmpty()) {
        lExample->setText(problem);
        return;
    }
    const TFileNameFields example{"The Band", "First Album", "1999", "Rock", 1, "Opening Song"};
    lExample->setText(QStringLiteral("Example: ") +
                      QString::fromStdString(ExpandFileNameTemplate(
                          editFileNameTemplate->text().toStdString(), example)));
}

} // namespace bw
