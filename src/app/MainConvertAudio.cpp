#include "MainConvertAudio.h"

#include "ConvertQuestion.h"
#include "ConvertSources.h"
#include "EncodeWindow.h"
#include "Global.h"
#include "JobReportWindow.h"
#include "Main.h"
#include "MainSupport.h"
#include "UiShell.h"

namespace fs = std::filesystem;

namespace bw {

using namespace mainwindow;

namespace {

TConvertSourceKind AskSourceKind(QWidget* parent) {
    TfrmConvertQuestion question(parent);
    question.exec();
    return question.Choice();
}

const QStringList AudioFilters = {
    QStringLiteral("Audio files (*.wav *.mp3 *.wma *.flac *.ogg *.oga *.opus *.ape *.wv *.m4a "
                   "*.aif *.aiff *.aifc)"),
    QStringLiteral("All files (*)"),
};

} // namespace

std::function<TConvertSourceKind(QWidget*)>& ConvertSourceChooser() {
    static std::function<TConvertSourceKind(QWidget*)> chooser = AskSourceKind;
    return chooser;
}

void TfrmMain::miConvertAudioFilesClick() {
    const TConvertSourceKind kind = ConvertSourceChooser()(this);
    if (kind == TConvertSourceKind::Cancel) return;
    // The question may have changed the format and the folder.
    cbOutputFormat->setCurrentIndex(Settings.OutputFormat);
    eOutputDir->setText(Q(Settings.OutputFolder));
    auto files = std::make_shared<TConvertFiles>();
    files->KeepOwnOutputs = true;
    std::vector<std::pair<fs::path, std::string>> passedOver;
    if (kind == TConvertSourceKind::Files) {
        const QStringList chosen = UiShell().OpenFiles(
            this, {QStringLiteral("Please select the audio files to convert"), AudioFilters});
        if (chosen.isEmpty()) return;
        if (!CheckOutputFolder()) return;
        for (const QString& file : chosen)
            files->Files.emplace_back(S(file));
    } else {
        const QString folder =
            UiShell().BrowseForFolder(this, QStringLiteral("Please select the folder to convert"));
        if (folder.isEmpty()) return;
        if (!CheckOutputFolder()) return;
        files->SkipNonAudio = true;
        AddFolderTree(*files, fs::path(S(folder)), fs::path(Settings.OutputFolder),
                      [&](const fs::path& path, const std::string& why) {
                          passedOver.emplace_back(path, why);
                      });
        if (files->Files.empty() && passedOver.empty()) {
            ShowInformation(this, folder + QStringLiteral(" holds no files to convert."));
            return;
        }
    }
    const int format = Settings.OutputFormat;
    TfrmEncodeProgress window(this, files,
                              [format](const fs::path&) { return MakeOutputChain(format, {}); });
    for (const auto& [path, why] : passedOver)
        window.AddSkipped(path, why);
    window.exec();
    ReportJobEnd(this, window.Summary(), window.EndedUnseen());
}

} // namespace bw
