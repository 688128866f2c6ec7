#include "FileNamesGroup.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "FileNameTemplate.h"
#include "Global.h"

namespace bw {

QString FileNameTemplateProblem(const QString& text) {
    return QString::fromStdString(bw::FileNameTemplateProblem(text.toStdString()));
}

TFileNamesGroup::TFileNamesGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("File names"), parent) {
    editFileNameTemplate = new QLineEdit(this);
    lPlaceholders = new QLabel(
        QStringLiteral("%A artist, %d album, %y year, %g genre, %t track number (two digits), "
                       "%n title, %a track artist (else the artist), %D disc number; \"/\" "
                       "makes folders"),
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
    // The second disc of a set, its first track by a guest.
    const TFileNameFields example{"The Band", "First Album",  "1999",      "Rock",
                                  1,          "Opening Song", "The Guest", 2};
    lExample->setText(QStringLiteral("Example: ") +
                      QString::fromStdString(ExpandFileNameTemplate(
                          editFileNameTemplate->text().toStdString(), example)));
}

} // namespace bw
