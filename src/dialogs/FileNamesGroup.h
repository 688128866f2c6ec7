// The "File names" group of the options dialog's "Output" page: the [Rip] FileNameTemplate
// with its placeholders explained beside it and an example of the name it gives. OK refuses
// a template that cannot name every track's file apart within the output folder.
#pragma once

#include <QGroupBox>

class QLabel;
class QLineEdit;

namespace bw {

class TFileNamesGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TFileNamesGroup(QWidget* parent = nullptr);

    void Load();
    // Empty when the template can be stored; else why not.
    QString Problem() const;
    void Store();

    QLineEdit* editFileNameTemplate{};
    QLabel* lPlaceholders{};
    QLabel* lExample{}; // the name an example track gets, or why the template is refused

private:
    void ShowExample();
};

// Why a template cannot be used, or empty when it can: it is empty, holds a control
// character or an unknown placeholder, begins with "/", has an empty, "." or ".." folder or
// file name, or its file name has neither %t nor %n (every track would get the same name).
QString FileNameTemplateProblem(const QString& text);

} // namespace bw
