// The rip log, shown read-only in a window of its own: the user reads it as it was written,
// whatever program the desktop would open a text file with.
#pragma once

#include <QDialog>

#include <filesystem>

class QPlainTextEdit;

namespace bw {

class TfrmLogView : public QDialog {
    Q_OBJECT
public:
    // Reads the file now; a file that cannot be read shows why instead of its text.
    TfrmLogView(QWidget* owner, const std::filesystem::path& log);

    QPlainTextEdit* mLog;
};

} // namespace bw
