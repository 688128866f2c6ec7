// The modal conversion window: shows the conversion job (input and output file, counts,
// progress), asks whether to replace files that exist, and forwards Stop. The job itself
// lives in TEncodeJob and runs on this window's posted messages.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "EncodeProgress.h"
#include "JobSummary.h"
#include "QtMessages.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace bw {

class TJobProgressPanel;

class TfrmEncodeProgress : public QDialog, private TEncodeJobView {
    Q_OBJECT
public:
    // Posts the first file's message; set ConverterType before the window is shown.
    TfrmEncodeProgress(QWidget* owner, const QStringList& files, const TDiscTagFields& disc);
    // Converts the files (and the files of folders) with the chains the maker gives, into
    // the settings' output folder.
    TfrmEncodeProgress(QWidget* owner, std::shared_ptr<TConvertFiles> files, TChainMaker maker);
    ~TfrmEncodeProgress() override;

    int ConverterType = ctWavToMp3;

    // Shows a file that is not converted (found in a folder that could not all be read).
    void AddSkipped(const std::filesystem::path& file, const std::string& why) {
        FileSkipped(file, why);
    }
    // What the conversion came to, for the report once the window has closed.
    TJobSummary Summary() const;
    // No window of the program was active as the conversion ended.
    bool EndedUnseen() const { return FEndedUnseen; }

    QLabel* lInputFileName;
    QLabel* lOutputFileName;
    QLabel* lSelectedTracks;
    QLabel* lCompleted;
    QLabel* lSkipped; // files not converted (passed over, kept or failed)
    QLabel* lOutputFolder;
    QLabel* lProgressHint;
    QProgressBar* ProgressBar1;
    QPushButton* bStop;
    // Files of a folder that were passed over, and what the user should know of converted
    // ones (a mix down to stereo), one a line; shown once there is one.
    QPlainTextEdit* mSkipped;
    // The whole list: a bar by audio length, the speed and the time left.
    TJobProgressPanel* pOverall;

public slots:
    void bStopClick();

protected:
    bool event(QEvent* event) override;
    void done(int result) override;

private:
    void CreateControls(int fileCount);
    void BeginOverall();
    // The current file's outcome: a row of the report, and its part of the list done.
    void Outcome(const std::filesystem::path& input, const std::filesystem::path& output,
                 const std::string& result, bool converted);
    void ShowFiles(const std::filesystem::path& input,
                   const std::filesystem::path& output) override;
    void SetCompleted(int count) override;
    void SetProgress(int percent) override;
    bool AskOverwrite(const std::filesystem::path& output) override;
    void ShowError(const std::filesystem::path& input, const std::string& text) override;
    void FileSkipped(const std::filesystem::path& input, const std::string& why) override;
    void FileDone(const std::filesystem::path& input, const std::filesystem::path& output,
                  const std::string& note) override;
    void FileStarted(double audioSeconds) override;
    void JobFinished() override;

    TQtMessageTarget FTarget{this};
    TDiscTagFields FDisc;
    std::shared_ptr<TConvertFiles> FFiles;
    std::size_t FCurrent = 0; // the list's file in hand
    std::filesystem::path FCurrentOutput;
    // Bytes of audio a second, learnt from the files opened so far: the lengths of the files
    // not yet opened are guessed from their sizes.
    double FKnownSeconds = 0, FKnownBytes = 0;
    std::vector<double> FBytes;
    std::vector<bool> FLengthKnown;
    int FConverted = 0, FSkipped = 0, FFailed = 0;
    bool FFinished = false;
    bool FEndedUnseen = false;
    std::vector<TJobSummary::TRow> FRows;
    std::unique_ptr<TEncodeJob> FJob;
};

} // namespace bw
