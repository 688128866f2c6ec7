// The "Ripping" page of the options dialog: the settings of our own sections about reading
// discs, one row per setting (a new setting is one more AddRow call). Beside the read offset,
// "Find offset..." finds the offset of the drive chosen on the "Output" page; the dialog runs
// it.
#pragma once

#include "SettingsPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace bw {

inline const QString RippingPageTitle = QStringLiteral("Ripping");

class TRippingPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TRippingPage(QWidget* parent = nullptr);

    QCheckBox* ckWriteLog{};
    QCheckBox* ckEjectWhenRipped{};
    QSpinBox* seReadOffset{};
    QPushButton* btFindOffset{};
    QLabel* lDriveOffset{}; // the chosen drive's own offset, or that it has none
    QLineEdit* editAccurateRipServer{};
    QLineEdit* editMusicBrainzServer{};
};

// Why a typed server text cannot be used, or empty when it can. An empty text stands for the
// default server. The MusicBrainz server is an address ("https://host[:port]", the scheme may
// be left out); the AccurateRip server a "host[:port]" (an "http://" before it is allowed).
QString MusicBrainzServerProblem(const QString& text);
QString AccurateRipServerProblem(const QString& text);

} // namespace bw
