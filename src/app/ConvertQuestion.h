// The question before "Convert Audio Files...": files or a whole folder, shown with the format
// and the folder the conversion writes to, both of which the user may change here.
#pragma once

#include "MainConvertAudio.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bw {

class TfrmConvertQuestion : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConvertQuestion(QWidget* parent);

    QComboBox* cbOutputFormat;
    QLineEdit* eOutputDir;
    QPushButton* bBrowse;
    QPushButton* bFiles;
    QPushButton* bFolder;
    QPushButton* bCancel;

    // What the user chose; the format and folder are in the settings once it is not Cancel.
    TConvertSourceKind Choice() const { return FChoice; }

private:
    void Choose(TConvertSourceKind kind);

    TConvertSourceKind FChoice = TConvertSourceKind::Cancel;
};

} // namespace bw
