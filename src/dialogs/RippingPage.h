// The "Ripping" page of the options dialog: the settings of our own sections, one row per
// setting. Each row knows how to show its setting, whether the control holds a value it can
// store, and how to store it; the dialog loads every row when it opens and stores them on OK,
// after each row has accepted its value. A new setting is one more AddRow call.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;

namespace bw {

inline const QString RippingPageTitle = QStringLiteral("Ripping");

class TRippingPage : public QWidget {
    Q_OBJECT
public:
    struct TRow {
        QWidget* Control = nullptr;
        std::function<void()> Load;
        // Empty when the control holds a value Store can keep; else why not. May be empty.
        std::function<QString()> Check;
        std::function<void()> Store;
    };

    explicit TRippingPage(QWidget* parent = nullptr);

    // Puts the settings into the rows' controls.
    void Load();
    // Empty when every row can be stored; else the first complaint, and ProblemControl()
    // is the row's control.
    QString Check();
    QWidget* ProblemControl() const { return FProblemControl; }
    // Writes every row back into the settings; call only after Check found nothing.
    void Store();

    // Adds a row at the bottom of the page; an empty label leaves the control the whole row
    // (a check box carries its own text).
    void AddRow(const QString& label, TRow row);

    QCheckBox* ckWriteLog{};
    QSpinBox* seReadOffset{};
    QLineEdit* editAccurateRipServer{};
    QLineEdit* editMusicBrainzServer{};

private:
    QFormLayout* FForm{};
    std::vector<TRow> FRows;
    QWidget* FProblemControl{};
};

// Why a typed server text cannot be used, or empty when it can. An empty text stands for the
// default server. The MusicBrainz server is an address ("https://host[:port]", the scheme may
// be left out); the AccurateRip server a "host[:port]" (an "http://" before it is allowed).
QString MusicBrainzServerProblem(const QString& text);
QString AccurateRipServerProblem(const QString& text);

} // namespace bw
