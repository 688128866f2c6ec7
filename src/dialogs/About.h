// The About box: the program's name and version, what it does, its home page, and the
// libraries it is built on with their licences.
#pragma once

#include "UsedLibraries.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace bw {

inline const QString ProgramHomePage = QStringLiteral("https://vellamor.org/brindlewave/");

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* lProgram{};
    QLabel* lPurpose{};
    QLabel* lHomePage{};
    QLabel* lLibraries{};
    QPushButton* btOk{};
};

// "Brindlewave" and the version.
QString ProgramNameAndVersion();

} // namespace bw
