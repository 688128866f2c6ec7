// The file conversion job: converts a list of files one after another, each through a
// reader, optional filters and a writer, into the output folder under the input's name with
// the writer's extension. It advances only by WM_NEXTFILE messages posted to itself (wParam
// 0 for the first file, 1 after a file), handled on the main thread. The conversion window
// and the command line show it through TEncodeJobView; several jobs may share one file list
// to convert files side by side.
#pragma once

#include "ApplyOptions.h"
#include "AuFileIn.h"
#include "AuFileOut.h"
#include "FileTags.h"
#include "Global.h"
#include "Loudness.h"
#include "Messages.h"
#include "id3.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bw {

// The converter types of the main window's menu.
enum TConverterType {
    ctWavToMp3 = 2,
    ctWavToOgg = 3,
    ctWavToWma = 4,
    ctWavToFlac = 5,
    ctWavToApe = 6,
    ctMp3ToWav = 7,
    ctWmaToWav = 8,
    ctMp3ToWma = 9,
    ctWmaToMp3 = 10,
    ctWavToOpus = 11,
};

// The components that convert one file: reader -> filters -> writer.
struct TConvertChain {
    std::unique_ptr<TAuFileIn> Reader;
    std::vector<std::unique_ptr<TAuConverter>> Filters; // reader side first
    std::unique_ptr<TAuFileOut> Output;
    std::string Extension; // of the output file, with its dot
    // Between the last filter and the writer, when ReplayGain is measured.
    std::unique_ptr<TLoudnessMeter> Meter;
    // The disc fields that a WAV source's output is tagged with.
    std::optional<TDiscTagFields> DiscTags;

    void Connect();
    // The writer first: it must stop pulling before the filters and the reader go.
    void Release();
};

// Makes the chain that converts one input file.
using TChainMaker = std::function<TConvertChain(const std::filesystem::path& input)>;

// The reader for a file, by its content: a RIFF WAVE file the WAV reader, anything else the
// media reader (the MP3 reader for a name ending in ".mp3").
std::unique_ptr<TAuFileIn> MakeReaderFor(const std::filesystem::path& input);
// The chain of a converter type, with the settings applied to its writer and, for Ogg
// Vorbis and FLAC, the disc fields as comments; the WAV types leave the reader to be chosen
// by each file's content. Raises when the type's components are not
// available.
TConvertChain MakeConverterChain(int converterType, const TDiscTagFields& disc);
// The chain that converts any source into an output format of the main window's list (0
// MP3, 1 WAV, 2 Ogg Vorbis, 3 WMA, 4 FLAC, 5 APE, 6 Opus); its reader is chosen by each file's
// content.
TConvertChain MakeOutputChain(int outputFormat, const TDiscTagFields& disc);
// A 16-bit converter between a reader and an encoder that reads only 16-bit samples.
std::unique_ptr<TAuConverter> MakeTo16Bits();

// The files of a run, shared by the jobs that convert them.
struct TConvertFiles {
    std::vector<std::filesystem::path> Files;
    // When not empty, the folder below the output folder that each file's output goes to.
    std::vector<std::filesystem::path> Subfolders;
    // Files found in folders: one that is no audio (by its content, and by its name when it
    // cannot be read) is passed over with a note instead of counting as a failure.
    bool SkipNonAudio = false;
    std::size_t Next = 0; // the next file to take up
    // Output files of this run (claimed when their conversion starts): when set, a later
    // input never replaces one of them.
    bool KeepOwnOutputs = false;
    std::set<std::filesystem::path> Written;
};

class TEncodeJobView {
public:
    virtual ~TEncodeJobView() = default;
    virtual void ShowFiles(const std::filesystem::path& input,
                           const std::filesystem::path& output) = 0;
    virtual void SetCompleted(int count) = 0;
    virtual void SetProgress(int percent) = 0;
    // The output exists: true to replace it.
    virtual bool AskOverwrite(const std::filesystem::path& output) = 0;
    // A file could not be converted; the job goes on with the next one.
    virtual void ShowError(const std::filesystem::path& input, const std::string& text) = 0;
    // note: what the user should know of the output ("downmixed 6 channels to stereo"), or
    // empty.
    virtual void FileDone(const std::filesystem::path& /*input*/,
                          const std::filesystem::path& /*output*/, const std::string& /*note*/) {}
    // The current file's conversion has started; its audio is this long (0 when unknown).
    virtual void FileStarted(double /*audioSeconds*/) {}
    // A file found in a folder is not audio and was passed over.
    virtual void FileSkipped(const std::filesystem::path& input, const std::string& why) = 0;
    // The list is done; the window closes.
    virtual void JobFinished() = 0;
};

class TEncodeJob {
public:
    TEncodeJob(std::shared_ptr<TConvertFiles> files, TChainMaker maker,
               std::filesystem::path outputFolder, TMessageTarget& self, TEncodeJobView& view);
    ~TEncodeJob();
    TEncodeJob(const TEncodeJob&) = delete;
    TEncodeJob& operator=(const TEncodeJob&) = delete;

    // Writes each file under a unique temporary name and renames it into place only when
    // complete, so that a failure never leaves half a file nor destroys the file replaced.
    void SetWriteThroughTemporary(bool value) { FTemporary = value; }

    // Posts the first WM_NEXTFILE.
    void Begin();
    void HandleMessage(const TPostedMessage& message);
    // Stops the running conversion without its done notification (the window's close).
    void Stop();

    bool Finished() const { return FFinished; }
    int Failures() const { return FFailures; }

private:
    void NextFile();
    void EndOfFile();
    void Skip(const std::filesystem::path& input, const std::string& text);
    void ReleaseChain();
    void CarryTags();
    // The output's progress, or the reader's against its expected length when the exact one
    // is not known before decoding.
    int ProgressOf(TAuOutput& output) const;

    std::shared_ptr<TConvertFiles> FFiles;
    TChainMaker FMaker;
    std::filesystem::path FOutputFolder;
    TMessageTarget& FSelf;
    TEncodeJobView& FView;
    bool FTemporary = false;
    bool FFinished = false;
    bool FStopped = false;
    int FFailures = 0;
    TConvertChain FChain;
    std::filesystem::path FInput, FOutput, FWriting; // FWriting: the file the writer makes
    std::optional<Tid3tag> FId3v1;                   // for an MP3 made from a tagged file
    std::optional<TFileTags> FSourceTags;            // carried into the finished file
    std::int64_t FExpectedBytes = 0;                 // of PCM from the reader, for progress
};

} // namespace bw
