#include "TagsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CoverArt.h"
#include "Global.h"

namespace bw {

namespace {

// A check box of a setting that a new installation has on.
void AddCheckRow(TSettingsPage& page, QCheckBox* box, bool TAppSettings::*setting) {
    page.AddRow({}, {box, [box, setting] { box->setChecked(Settings.*setting); }, nullptr,
                     [box, setting] { Settings.*setting = box->isChecked(); }});
    page.AddDefault([box] { box->setChecked(true); });
}

} // namespace

TTagsPage::TTagsPage(QWidget* parent) : TSettingsPage(parent) {
    ckReplayGain = new QCheckBox(
        QStringLiteral("Write ReplayGain values (track and album gain and peak)"), this);
    AddCheckRow(*this, ckReplayGain, &TAppSettings::ReplayGain);
    ckEmbedCover = new QCheckBox(
        QStringLiteral("Embed the album's front cover in the files (when MusicBrainz knows "
                       "the release)"),
        this);
    AddCheckRow(*this, ckEmbedCover, &TAppSettings::EmbedCover);
    ckSaveCover = new QCheckBox(
        QStringLiteral("Save the front cover beside the files (cover.jpg or cover.png)"), this);
    AddCheckRow(*this, ckSaveCover, &TAppSettings::SaveCover);

    editCoverArtServer = new QLineEdit(this);
    editCoverArtServer->setPlaceholderText(QString::fromUtf8(DefaultCoverArtServer));
    const QString name = QStringLiteral("Cover Art Archive");
    AddRow(
        QStringLiteral("Cover Art Archive server:"),
        {editCoverArtServer,
         [this] { editCoverArtServer->setText(QString::fromStdString(Settings.CoverArtServer)); },
         [this, name] { return WebServerProblem(name, editCoverArtServer->text()); },
         [this] {
             const QString text = editCoverArtServer->text().trimmed();
             Settings.CoverArtServer = text.isEmpty() ? DefaultCoverArtServer : text.toStdString();
         }});
    AddDefault([this] { editCoverArtServer->clear(); });

    bTagsDefault = new QPushButton(QStringLiteral("&Default"), this);
    connect(bTagsDefault, &QPushButton::clicked, this, &TSettingsPage::ShowDefaults);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(bTagsDefault);
    auto* spacer = new QVBoxLayout;
    spacer->addStretch();
    spacer->addLayout(bottom);
    Form()->addRow(spacer);
}

} // namespace bw
