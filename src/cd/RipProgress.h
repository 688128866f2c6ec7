// The rip job: rips the chosen tracks one after another with TCDRipThread and, unless the
// output format is WAV, encodes each WAV while the next track is read (TRipPipeline), then
// deletes the WAV (unless kept) once its encoding has ended and tags MP3 files. Every file is
// written under a part name and renamed when complete (TRipTrackFiles, one per track); a file of
// the same name that exists is replaced only when the view's AskOverwrite agrees. It is driven
// only by posted messages (the rip thread's, and its own for the encoder's events), handled on
// the main thread in posting order. The rip window and the command line show it through
// TRipJobView and forward Stop.
#pragma once

#include "Global.h"
#include "Messages.h"
#include "RipPipeline.h"
#include "RipTagging.h"
#include "RipTrackFiles.h"
#include "SecureRead.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bw {

class TAuFileOut;
class TCDRipThread;
class TLoudnessMeter;
class TRipReport;
class TWaveIn;

// Posted by the job's rip thread after its body has returned, so that a thread that ends
// without its finished message does not leave the job waiting for ever.
constexpr int WM_RIPTHREADENDED = 2127;
// Posted by the job's encoder with its progress (wParam, per cent): the rip thread's
// progress arrives meanwhile as WM_RIPPROGRESS.
constexpr int WM_ENCODEPROGRESS = 2140;

// One track of the job.
struct TRipEntry {
    int Entry = 0;       // position in the table of contents counted from 1 (what is read)
    int TrackNumber = 0; // the number its tag carries
    std::string Title;
    // The file name without extension: the title, or the title with " (2)", " (3)", ...
    // when an earlier track of the same job has that name.
    std::string FileStem;
};

// Entries of the main window's selection: "03Intro" is entry 3 titled "Intro". Entries
// without a two-digit prefix are dropped.
std::vector<TRipEntry> RipEntriesOf(const std::vector<std::string>& selection);

// Gives every entry its FileStem so that no two entries of one job write the same file.
// Titles that cannot be file names keep their title (the rip refuses them).
void AssignFileStems(std::vector<TRipEntry>& entries);
// The same with stems from the file name template ([Rip] FileNameTemplate): paths within the
// output folder that may hold folders.
void AssignTemplateStems(std::vector<TRipEntry>& entries, const std::string& fileNameTemplate,
                         const TDiscFields& disc, const TDiscRelease& release = {});

// What the job shows; the window maps these onto its controls, the command line onto lines.
class TRipJobView {
public:
    virtual ~TRipJobView() = default;
    virtual void ShowError(const std::string& text) = 0;
    virtual void SetProgressHint(const std::string& text) = 0;
    virtual void SetProgressCaption(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void SetCurrentTrack(const std::string& title) = 0;
    virtual void SetCompleted(int count) = 0;
    // The job has ended by itself; the window closes.
    virtual void JobFinished() = 0;
    // A track has been dealt with: `output` is the file it produced (empty when none), `error`
    // what went wrong (empty on success).
    virtual void TrackDone(const TRipEntry&, const std::filesystem::path& /*output*/,
                           const std::string& /*error*/) {}
    // A track has been read whole (before it is encoded): how the drive read it.
    virtual void TrackRead(const TRipEntry&, const TTrackReadStats&) {}
    // The progress now shown is that of the job's track at this index (counted from 0): the
    // one being read, or once reading is over, the one being encoded.
    virtual void SetTrackIndex(int /*index*/) {}
    // A track failed; its encoding may end while the next track is being read.
    virtual void ShowTrackError(const TRipEntry&, const std::string& text) { ShowError(text); }
    // A file of a track's name exists already: true to replace it. The track fails otherwise,
    // so nothing the program did not write is replaced without asking.
    virtual bool AskOverwrite(const std::filesystem::path& /*output*/) { return false; }
};

// The extension of an output format's files (".mp3", ".wav", ...).
std::string OutputExtension(int outputFormat);

// A new encoder for an output format other than WAV, with the job's initial settings.
// Raises the component's failure (a codec library that cannot be loaded) or, for a format
// this build cannot write, a text that says what is missing.
std::unique_ptr<TAuFileOut> MakeRipEncoder(int outputFormat);

class TRipJob {
public:
    // `self` receives the job's messages and hands them back to HandleMessage on the main
    // thread; `view` shows them. Both outlive the job.
    TRipJob(int cdHandle, std::vector<TRipEntry> entries, const TDiscFields& disc,
            TMessageTarget& self, TRipJobView& view);
    ~TRipJob();
    TRipJob(const TRipJob&) = delete;
    TRipJob& operator=(const TRipJob&) = delete;

    // Starts the first track and fills the view's labels.
    void Begin();
    // Handles WM_RIPPROGRESS, WM_RIPFAILED and WM_RIPTHREADENDED; ignores anything else.
    void HandleMessage(TPostedMessage& message);
    // Ends the job early: stops the rip thread (after its current block) and the encoder.
    void Stop();

    // Runs on the main thread once a track's WAV file is complete (ripped and normalized),
    // before it is encoded or deleted. `wav` is still the track's hidden part file: files take
    // their final names only when the track is done.
    std::function<void(const TRipEntry&, const std::filesystem::path& wav)> OnTrackRipped;

    // Tells the report every track's outcome (the checksums of each WAV before it is encoded,
    // the file it becomes, or why it failed) and rips with the report's read offset. The
    // report outlives the job.
    void SetReport(TRipReport* report);
    // The disc's MusicBrainz ids, for the tags and the cover; set before Begin.
    void SetMusicBrainzIds(const TMusicBrainzIds& ids) { FIds = ids; }
    // The disc's release (track artists, disc number, label...), for file names, tags and the
    // cue sheet; the job starts with Settings.CDRelease. Set before Begin.
    void SetDiscRelease(const TDiscRelease& release);
    // The folder the album's files go to (the log, cue sheet and cover go there too).
    std::filesystem::path AlbumFolder() const;
    // The pauses after an encoder's end; the window keeps 300 ms, the command line none.
    void SetWaitMilliseconds(int ms) { FWaitMs = ms; }
    // True once every entry has been dealt with.
    bool Finished() const { return FFinished; }
    // True after the drive refused the rip (WM_RIPFAILED): nothing moves until Stop.
    bool Stalled() const { return FStalled; }
    // Tracks whose rip or encoding failed.
    int Failures() const { return FFailures; }
    // Tracks kept with suspicious positions (secure reading).
    int SuspiciousTracks() const { return FSuspicious; }
    const std::vector<TRipEntry>& Entries() const { return FEntries; }

private:
    void Dispatch(TPostedMessage& message);
    void StartTrack(const TRipEntry& entry);
    void StopJob(bool discardReading = false);
    void Ripped(int errorCode);
    void Encoded(int errorCode);
    // Starts what the pipeline says, shows it, and ends the job when all is done.
    void Act(TRipPipeline::TNext next);
    void StartRead(int index);
    void StartEncode(int index);
    void ShowEncoding();
    void TagMp3(const TRipEntry& entry, const std::filesystem::path& mp3);
    // Full tags with TagLib; a failure is shown and counted, and the file stays.
    void TagFile(const TRipEntry& entry, const std::filesystem::path& file);
    void FinishJob();
    std::filesystem::path PathOf(const TRipEntry& entry, const std::string& extension) const;
    void Fail(const TRipEntry& entry, const std::string& text);
    void TrackDone(const TRipEntry& entry, const std::filesystem::path& output,
                   const std::string& error);

    int FCDHandle;
    std::vector<TRipEntry> FEntries;
    bool FRunning = false; // SelectedTracks exists: between Begin and StopJob
    TDiscFields FDisc;
    TMessageTarget& FSelf;
    TRipJobView& FView;
    int FOutputFormat;
    TRipPipeline FPipeline{0, false};
    std::vector<bool> FRipOk; // by index: the track's WAV is complete
    bool FShowingEncode = false;
    int FWaitMs = 300;
    TRipReport* FReport = nullptr;
    bool FFinished = false;
    bool FStalled = false;
    bool FTrackFinished = false;  // the current rip thread posted its 1000
    std::intptr_t FRipSerial = 0; // counts the rip threads started
    int FFailures = 0;
    int FSuspicious = 0;
    std::unique_ptr<TCDRipThread> FRipThread;
    // What the rip thread posts through: detached when the job lets go of a thread.
    std::shared_ptr<TDetachableTarget> FRipTarget;
    std::unique_ptr<TWaveIn> FWaveIn;
    std::unique_ptr<TLoudnessMeter> FMeter; // between the reader and the encoder
    TMusicBrainzIds FIds;
    TDiscRelease FRelease;
    std::unique_ptr<TRipTagger> FTagger;
    std::unique_ptr<TAuFileOut> FEncoder;
    // The part files of each track, by its index in the job (two tracks may be under way).
    std::vector<std::unique_ptr<TRipTrackFiles>> FFiles;
    bool FDiscGone = false; // the disc went away: nothing more is read
    TRipTrackFiles& FilesOf(const TRipEntry& entry);
};

} // namespace bw
