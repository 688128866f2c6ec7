#include "EditTrackName.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace bw {

TfrmEditTrackName::TfrmEditTrackName(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Edit Track's Title"));
    // A dialog border: fixed size, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    gbName = new QGroupBox(QStringLiteral("Please enter the new track title"), this);
    eName = new QLineEdit(gbName);
    eName->setMinimumWidth(320);
    auto* groupLayout = new QVBoxLayout(gbName);
    groupLayout->addWidget(eName);
    gbArtist = new QGroupBox(QStringLiteral("Track artist (empty: the disc's artist)"), this);
    eArtist = new QLineEdit(gbArtist);
    auto* artistLayout = new QVBoxLayout(gbArtist);
    artistLayout->addWidget(eArtist);

    aOK = new QAction(QStringLiteral("&OK"), this);
    btOk = new QPushButton(aOK->text(), this);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    // Enter is handled by eName alone, so that it does nothing while OK is disabled.
    for (QPushButton* button : {btOk, btCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbName);
    layout->addWidget(gbArtist);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(aOK, &QAction::triggered, this, &TfrmEditTrackName::aOKExecute);
    connect(aOK, &QAction::changed, btOk, [this] { btOk->setEnabled(aOK->isEnabled()); });
    connect(btOk, &QPushButton::clicked, aOK, &QAction::trigger);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(eName, &QLineEdit::textChanged, this, &TfrmEditTrackName::UpdateActions);
    connect(eName, &QLineEdit::returnPressed, this, &TfrmEditTrackName::eNameReturnPressed);
    connect(eArtist, &QLineEdit::returnPressed, this, &TfrmEditTrackName::eNameReturnPressed);
    UpdateActions();
}

void TfrmEditTrackName::UpdateActions() {
    aOK->setEnabled(!eName->text().isEmpty());
}

void TfrmEditTrackName::aOKExecute() {
    if (!aOK->isEnabled()) return;
    accept();
}

void TfrmEditTrackName::eNameReturnPressed() {
    if (aOK->isEnabled()) aOK->trigger();
}

void TfrmEditTrackName::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QLineEdit* first = FocusArtist ? eArtist : eName;
    first->selectAll();
    first->setFocus();
}

} // namespace bw
