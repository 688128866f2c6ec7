// The small modal dialog in which the user renames one track of the main window's list.
// The caller fills eName with the current title and reads it back after an OK result.
#pragma once

#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace bw {

class TfrmEditTrackName : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEditTrackName(QWidget* parent = nullptr);

    QGroupBox* gbName;
    QLineEdit* eName;
    // The track's own artist; empty, the disc's.
    QGroupBox* gbArtist;
    QLineEdit* eArtist;
    bool FocusArtist = false; // the artist field has the focus when shown
    QAction* aOK;
    QPushButton* btOk;
    QPushButton* btCancel;

public slots:
    void aOKExecute();
    void eNameReturnPressed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateActions();
};

} // namespace bw
