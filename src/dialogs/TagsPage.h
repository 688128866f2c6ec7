// The "Tags" page of the options dialog: what the files get beyond the disc's fields
// (ReplayGain, the front cover embedded and saved beside them) and the server the cover
// comes from. Its Default button shows the values of a new installation.
#pragma once

#include "SettingsPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace bw {

inline const QString TagsPageTitle = QStringLiteral("Tags");

class TTagsPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TTagsPage(QWidget* parent = nullptr);

    QCheckBox* ckReplayGain{};
    QCheckBox* ckEmbedCover{};
    QCheckBox* ckSaveCover{};
    QLineEdit* editCoverArtServer{};
    QPushButton* bTagsDefault{};
};

} // namespace bw
