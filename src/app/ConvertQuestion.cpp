#include "ConvertQuestion.h"

#include "Global.h"
#include "UiShell.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bw {

TfrmConvertQuestion::TfrmConvertQuestion(QWidget* parent) : QDialog(parent) {
    setWindowTitle(BoxCaption);
    auto* question = new QLabel(QStringLiteral("Convert chosen files, or every audio file of a "
                                               "folder and its subfolders?"),
                                this);
    question->setWordWrap(true);
    cbOutputFormat = new QComboBox(this);
    for (const char* label : OutputFormatLabels)
        cbOutputFormat->addItem(QString::fromUtf8(label));
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir = new QLineEdit(QString::fromStdString(Settings.OutputFolder), this);
    eOutputDir->setReadOnly(true);
    bBrowse = new QPushButton(QStringLiteral("&Change..."), this);
    connect(bBrowse, &QPushButton::clicked, this, [this] {
        const QString folder = UiShell().BrowseForFolder(
            this, QStringLiteral("Please select the folder to save the audio file"));
        if (!folder.isEmpty()) eOutputDir->setText(folder);
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(eOutputDir, 1);
    folderRow->addWidget(bBrowse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Convert to:"), cbOutputFormat);
    form->addRow(QStringLiteral("Into the folder:"), folderRow);

    auto* buttons = new QDialogButtonBox(this);
    bFiles = buttons->addButton(QStringLiteral("&Files..."), QDialogButtonBox::AcceptRole);
    bFolder = buttons->addButton(QStringLiteral("F&older..."), QDialogButtonBox::AcceptRole);
    bCancel = buttons->addButton(QDialogButtonBox::Cancel);
    bFiles->setDefault(true);
    connect(bFiles, &QPushButton::clicked, this, [this] { Choose(TConvertSourceKind::Files); });
    connect(bFolder, &QPushButton::clicked, this, [this] { Choose(TConvertSourceKind::Folder); });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

void TfrmConvertQuestion::Choose(TConvertSourceKind kind) {
    FChoice = kind;
    Settings.OutputFormat = cbOutputFormat->currentIndex();
    Settings.OutputFolder = eOutputDir->text().toStdString();
    accept();
}

} // namespace bw
