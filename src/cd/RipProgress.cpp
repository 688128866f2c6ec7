#include "RipProgress.h"

#include "ApplyOptions.h"
#include "AuException.h"
#include "DetachedWorkers.h"
#include "FLACOut.h"
#include "FileNameTemplate.h"
#include "FileShare.h"
#include "FileTags.h"
#include "Genres.h"
#include "Loudness.h"
#include "MACOut.h"
#include "MP3Out.h"
#include "OpusOut.h"
#include "RipReport.h"
#include "VorbisOut.h"
#include "WMAOut.h"

#include "WaveIn.h"
#include "id3.h"
#include "ripthread.h"
#include <thread>

#include <cctype>
#include <set>

namespace fs = std::filesystem;

namespace bw {

namespace {
// A track refused before any read (its file exists, or no part file could be made).
constexpr int RefusedBeforeReading = 6;
// A track not read because the disc went away during an earlier one.
constexpr int DiscGoneBeforeReading = 7;

// A name within the output folder whose every part is a plain file name (folders of the
// file-name template, never "..").
bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    for (const auto& part : fs::path(name))
        if (!IsPlainFileName(part.string())) return false;
    return true;
}
} // namespace

namespace {

constexpr int FormatMP3 = 0;
constexpr int FormatWAV = 1;
constexpr int FormatOgg = 2;
constexpr int FormatWMA = 3;
constexpr int FormatFLAC = 4;
constexpr int FormatAPE = 5;
constexpr int FormatOpus = 6;

} // namespace

std::vector<TRipEntry> RipEntriesOf(const std::vector<std::string>& selection) {
    std::vector<TRipEntry> entries;
    for (const std::string& text : selection) {
        if (text.size() < 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
            !std::isdigit(static_cast<unsigned char>(text[1])))
            continue;
        TRipEntry entry;
        entry.Entry = (text[0] - '0') * 10 + (text[1] - '0');
        entry.TrackNumber = entry.Entry;
        entry.Title = text.substr(2);
        entries.push_back(std::move(entry));
    }
    AssignFileStems(entries);
    return entries;
}

void AssignFileStems(std::vector<TRipEntry>& entries) {
    std::set<std::string> taken;
    for (TRipEntry& entry : entries) {
        entry.FileStem = entry.Title;
        if (!IsPlainFileName(entry.Title)) continue;
        for (int n = 2; taken.count(entry.FileStem); ++n)
            entry.FileStem = entry.Title + " (" + std::to_string(n) + ")";
        taken.insert(entry.FileStem);
    }
}

void AssignTemplateStems(std::vector<TRipEntry>& entries, const std::string& fileNameTemplate,
                         const TDiscFields& disc, const TDiscRelease& release) {
    TFileNameFields fields;
    fields.Artist = disc.Artist;
    fields.Album = disc.Album;
    fields.Year = disc.Year;
    fields.Genre = DiscGenreTagText(disc);
    fields.DiscNumber = release.DiscNumber;
    std::set<std::string> taken;
    for (TRipEntry& entry : entries) {
        fields.TrackNumber = entry.TrackNumber;
        fields.TrackArtist = release.TrackArtist(entry.TrackNumber);
        fields.Title = entry.Title;
        const std::string stem = ExpandFileNameTemplate(fileNameTemplate, fields);
        entry.FileStem = stem;
        for (int n = 2; taken.count(entry.FileStem); ++n)
            entry.FileStem = stem + " (" + std::to_string(n) + ")";
        taken.insert(entry.FileStem);
    }
}

std::string OutputExtension(int outputFormat) {
    switch (outputFormat) {
    case FormatMP3:
        return ".mp3";
    case FormatWAV:
        return ".wav";
    case FormatOgg:
        return ".ogg";
    case FormatWMA:
        return ".wma";
    case FormatFLAC:
        return ".flac";
    case FormatAPE:
        return ".ape";
    case FormatOpus:
        return ".opus";
    default:
        return {};
    }
}

std::unique_ptr<TAuFileOut> MakeRipEncoder(int outputFormat) {
    switch (outputFormat) {
    case FormatMP3: {
        auto out = std::make_unique<TMP3Out>();
        out->BitRate = TMP3BitRate::br128;
        return out;
    }
    case FormatOgg: {
        auto out = std::make_unique<TVorbisOut>();
        out->Compression = 0.2f;
        out->Serial = 0;
        return out;
    }
    case FormatFLAC: {
        auto out = std::make_unique<TFLACOut>();
        out->BlockSize = 4608;
        out->SetCompressionLevel(-1);
        return out;
    }
    case FormatWMA:
        // Desired bitrate 0, not lossless, no VBR: the settings choose codec and format.
        return std::make_unique<TWMAOut>();
    case FormatAPE: {
        auto out = std::make_unique<TMACOut>();
        out->SetCompressionLevel(2000);
        out->MaxAudioBytes = -1;
        return out;
    }
    case FormatOpus:
        return std::make_unique<TOpusOut>();
    default:
        throw EAuException("Unknown output format " + std::to_string(outputFormat) + ".");
    }
}

namespace {

// Copies the settings (and for Ogg Vorbis, FLAC and Opus the disc fields) into the encoder.
void ApplyOptionsFor(int outputFormat, TAuFileOut& encoder, const TDiscTagFields& disc) {
    switch (outputFormat) {
    case FormatMP3:
        ApplyMP3Options(static_cast<TMP3Out&>(encoder));
        break;
    case FormatOgg:
        ApplyVorbisOptions(static_cast<TVorbisOut&>(encoder), disc);
        break;
    case FormatFLAC:
        ApplyFLACOptions(static_cast<TFLACOut&>(encoder), disc);
        break;
    case FormatWMA:
        ApplyWMAOptions(static_cast<TWMAOut&>(encoder));
        break;
    case FormatAPE:
        ApplyAPEOptions(static_cast<TMACOut&>(encoder));
        break;
    case FormatOpus:
        ApplyOpusOptions(static_cast<TOpusOut&>(encoder), disc);
        break;
    default:
        break;
    }
}

} // namespace

TRipJob::TRipJob(int cdHandle, std::vector<TRipEntry> entries, const TDiscFields& disc,
                 TMessageTarget& self, TRipJobView& view)
    : FCDHandle(cdHandle), FEntries(std::move(entries)), FDisc(disc), FSelf(self), FView(view),
      FOutputFormat(Settings.OutputFormat), FRelease(Settings.CDRelease) {
    AssignTemplateStems(FEntries, Settings.FileNameTemplate, FDisc, FRelease);
}

void TRipJob::SetDiscRelease(const TDiscRelease& release) {
    FRelease = release;
    AssignTemplateStems(FEntries, Settings.FileNameTemplate, FDisc, FRelease);
    SetReport(FReport);
}

TRipJob::~TRipJob() {
    Stop();
    // The encoder goes before the readers it pulls from.
    FEncoder.reset();
    FMeter.reset();
    FWaveIn.reset();
}

fs::path TRipJob::AlbumFolder() const {
    const std::string folder =
        FEntries.empty() ? std::string() : TemplateFolderOf(FEntries.front().FileStem);
    return AddTrailingBackslash(AddTrailingBackslash(Settings.OutputFolder) + folder);
}

void TRipJob::Begin() {
    FView.SetProgressHint("Extracting...");
    FView.SetProgressCaption("Initializing...");
    FView.SetCompleted(0);
    if (FEntries.empty()) {
        FFinished = true;
        FView.JobFinished();
        return;
    }
    FView.SetCurrentTrack(FEntries[0].Title);
    if (FOutputFormat != FormatWAV) {
        // The encoder is made before any track is read, so that a missing codec is reported
        // before the disc is touched.
        try {
            FWaveIn = std::make_unique<TWaveIn>();
            FWaveIn->SetEndSample(-1);
            FWaveIn->SetLoop(false);
            FEncoder = MakeRipEncoder(FOutputFormat);
            // The loudness is measured from the PCM on its way to the encoder.
            FMeter = std::make_unique<TLoudnessMeter>();
            FMeter->SetInput(FWaveIn.get());
            FEncoder->SetInput(FMeter.get());
            FEncoder->SetOnProgress(
                [this](TAuOutput* sender) { FSelf.Post(WM_ENCODEPROGRESS, sender->Progress()); });
            FEncoder->SetOnDone([this](TAuOutput*) { FSelf.PostProgress(2000, 0); });
        } catch (const std::exception& e) {
            FFailures = static_cast<int>(FEntries.size());
            FView.ShowError(e.what());
            FFinished = true;
            FView.JobFinished();
            return;
        }
    }
    // The disc's last audio track; a disc never saved in cd.dat loads a count of 100.
    int trackTotal = 0;
    if (FReport) {
        const TRipDisc& disc = FReport->Disc();
        for (int i = 0; i < disc.TrackCount(); ++i)
            if (disc.IsAudio[static_cast<std::size_t>(i)]) trackTotal = disc.FirstTrack + i;
    } else if (Settings.TrackCount < MaxTracks) {
        trackTotal = Settings.TrackCount;
    }
    for (const TRipEntry& entry : FEntries)
        trackTotal = std::max(trackTotal, entry.TrackNumber);
    FTagger = std::make_unique<TRipTagger>(FDisc, FIds, trackTotal);
    FTagger->SetRelease(FRelease);
    if (FReport) {
        const TRipDisc& disc = FReport->Disc();
        std::map<int, std::string> isrc;
        for (std::size_t i = 0; i < disc.Isrc.size(); ++i)
            isrc[disc.FirstTrack + static_cast<int>(i)] = disc.Isrc[i];
        FTagger->SetDiscCodes(disc.Catalog, std::move(isrc));
    }
    FTagger->StartCoverFetch();
    FRunning = true;
    FPipeline = TRipPipeline(static_cast<int>(FEntries.size()), FOutputFormat != FormatWAV);
    FRipOk.assign(FEntries.size(), false);
    FDiscGone = false;
    FFiles.clear();
    for (std::size_t i = 0; i < FEntries.size(); ++i)
        FFiles.push_back(std::make_unique<TRipTrackFiles>());
    Act(FPipeline.Begin());
}

TRipTrackFiles& TRipJob::FilesOf(const TRipEntry& entry) {
    return *FFiles[static_cast<std::size_t>(&entry - FEntries.data())];
}

void TRipJob::StartTrack(const TRipEntry& entry) {
    FTrackFinished = false;
    // Nothing more can be read: the tracks not reached still pass in order, as failures.
    if (FDiscGone) {
        FSelf.PostProgress(1000, DiscGoneBeforeReading);
        return;
    }
    const bool wavOutput = FOutputFormat == FormatWAV;
    FilesOf(entry).Begin(PathOf(entry, ".wav"), wavOutput || Settings.IsKeepWav,
                         wavOutput ? fs::path() : PathOf(entry, OutputExtension(FOutputFormat)));
    // A title that is no file name gets no part file: the rip thread refuses it. Folders of
    // the file-name template are made here, so that the part files can go into them.
    if (IsSafeRelativeName(entry.FileStem)) {
        if (const fs::path folder = PathOf(entry, ".wav").parent_path();
            folder != fs::path(Settings.OutputFolder)) {
            std::error_code ec;
            // A missing output folder stays an error of the track.
            if (fs::is_directory(Settings.OutputFolder, ec)) fs::create_directories(folder, ec);
        }
        const fs::path existing = FilesOf(entry).FirstExisting();
        std::string error;
        // A pipe or device of that name is never opened, whatever the answer (a folder only
        // fails the encode, which keeps the track's WAV).
        std::error_code ec;
        if (const std::string reason = existing.empty() || fs::is_directory(existing, ec)
                                           ? std::string()
                                           : NotAFileReason(existing);
            !reason.empty()) {
            Fail(entry, "Cannot create file " + existing.string() + ": it " + reason);
            FSelf.PostProgress(1000, RefusedBeforeReading);
            return;
        }
        if (!existing.empty() && !FView.AskOverwrite(existing)) {
            ++FFailures;
            TrackDone(entry, {}, existing.string() + " exists already");
            FSelf.PostProgress(1000, RefusedBeforeReading);
            return;
        }
        FilesOf(entry).SetReplace(!existing.empty());
        if (!FilesOf(entry).CreateWavPart(error)) {
            Fail(entry, error);
            FSelf.PostProgress(1000, RefusedBeforeReading);
            return;
        }
    }
    FRipThread = std::make_unique<TCDRipThread>(entry.Entry, entry.FileStem);
    FRipThread->OutputPath = FilesOf(entry).WavPart();
    FRipThread->CDHandle = FCDHandle;
    if (FReport) FRipThread->ReadOffset = FReport->Disc().ReadOffset;
    FRipTarget = std::make_shared<TDetachableTarget>(&FSelf);
    FRipThread->Window = FRipTarget.get();
    // The number tells this thread's end from that of the previous track, whose message may
    // still be queued. The thread keeps its target alive.
    FRipThread->OnTerminate = [target = FRipTarget, serial = ++FRipSerial] {
        target->Post(WM_RIPTHREADENDED, serial);
    };
    FRipThread->Start();
}

void TRipJob::StopJob(bool discardReading) {
    if (!FRunning) return;
    if (FRipThread) {
        FRipThread->StopRequested = true;
        FRipTarget->Detach();
        // A drive stuck in a read can hold the thread for a minute: it is joined away from
        // the caller (the window), and posts nothing more. A stopped thread may open its WAV
        // only after the job discarded it: that part goes once the thread has ended.
        fs::path reading = discardReading ? FRipThread->OutputPath : fs::path();
        RunDetached(StoppedRipKind, [thread = std::shared_ptr<TCDRipThread>(std::move(FRipThread)),
                                     reading]() mutable {
            thread.reset();
            std::error_code ec;
            if (!reading.empty()) fs::remove(reading, ec);
        });
    }
    FRunning = false;
}

void TRipJob::Stop() {
    StopJob(true);
    if (FTagger) FTagger->Cancel();
    if (FEncoder) {
        FEncoder->Stop(false);
        FEncoder->SetFileName({});
    }
    if (FWaveIn) FWaveIn->SetFileName({});
    // The rip thread and the encoder have ended: what they left unfinished goes.
    for (auto& files : FFiles)
        files->Discard();
}

fs::path TRipJob::PathOf(const TRipEntry& entry, const std::string& extension) const {
    return AddTrailingBackslash(Settings.OutputFolder) + entry.FileStem + extension;
}

void TRipJob::Fail(const TRipEntry& entry, const std::string& text) {
    ++FFailures;
    FView.ShowTrackError(entry, text);
    TrackDone(entry, {}, text);
}

void TRipJob::SetReport(TRipReport* report) {
    FReport = report;
    if (report)
        for (const TRipEntry& entry : FEntries) {
            report->SetTrackTitle(entry.TrackNumber, entry.Title);
            report->SetTrackPerformer(entry.TrackNumber, FRelease.TrackArtist(entry.TrackNumber));
        }
}

void TRipJob::TrackDone(const TRipEntry& entry, const fs::path& output, const std::string& error) {
    if (FReport && error.empty())
        FReport->SetProducedFile(entry.TrackNumber, output);
    else if (FReport)
        FReport->AddFailedTrack(entry.TrackNumber, error);
    FView.TrackDone(entry, output, error);
}

void TRipJob::HandleMessage(TPostedMessage& message) {
    // Messages that arrive after the job has stopped are only dropped.
    if (!FRunning) return;
    try {
        Dispatch(message);
    } catch (const std::exception& e) {
        // The job then waits for its next message, as after any handled one.
        ++FFailures;
        FView.ShowError(e.what());
    }
}

void TRipJob::Dispatch(TPostedMessage& message) {
    if (message.Msg == WM_RIPFAILED) {
        FStalled = true;
        FView.ShowError(message.LParam == 1 ? "CD extract failed! Please try again."
                                            : "Error while reading TOC information!");
        return;
    }
    if (message.Msg == WM_RIPTHREADENDED) {
        // A thread that ends without saying the track is finished failed while normalizing:
        // the WAV is whole but unscaled. Report it rather than wait for ever.
        if (message.WParam != FRipSerial || FTrackFinished || FStalled || !FRipThread ||
            FRipThread->StopRequested)
            return;
        FTrackFinished = true;
        const TRipEntry& entry = FEntries[static_cast<std::size_t>(FPipeline.Reading())];
        FilesOf(entry).Discard();
        ++FFailures;
        FView.ShowTrackError(entry, "Cannot normalize " + PathOf(entry, ".wav").string() + ".");
        TrackDone(entry, {}, "normalizing failed");
        // A track that failed passes the encoder by, keeping the order of what is shown.
        Act(FPipeline.Read());
        return;
    }
    if (message.Msg == WM_ENCODEPROGRESS) {
        const auto percent = static_cast<int>(message.WParam);
        FView.TrackProgress(FPipeline.Encoding(), 1, percent);
        if (FShowingEncode && percent >= 1 && percent <= 100) FView.SetProgress(percent);
        return;
    }
    if (message.Msg != WM_RIPPROGRESS || !message.Info) return;
    const int percent = message.Info->Percent;
    if (percent == RipWaitingForDrive) {
        FWaitingForDrive = true;
        FView.SetProgressHint("Waiting for the stopped rip to let go of the drive...");
    } else if (percent == 999) {
        FView.SetProgressHint("Normalizing...");
    } else if (percent == 1000) {
        FTrackFinished = true;
        Ripped(message.Info->ErrorCode);
    } else if (percent == 2000) {
        Encoded(message.Info->ErrorCode);
    } else if (percent >= 1 && percent <= 100) {
        if (FWaitingForDrive) FView.SetProgressHint("Extracting...");
        FWaitingForDrive = false;
        // The track is set up once it reads: "Initializing..." is over.
        if (FInitializing && !FShowingEncode) FView.SetProgressCaption("Extracting...");
        FInitializing = false;
        FView.TrackProgress(FPipeline.Reading(), 0, percent);
        FView.SetProgress(percent);
    }
}

void TRipJob::Ripped(int errorCode) {
    const int index = FPipeline.Reading();
    const TRipEntry& entry = FEntries[static_cast<std::size_t>(index)];
    const fs::path wav = PathOf(entry, ".wav");
    if (errorCode == 3 && FRipThread && FRipThread->DiscGone) FDiscGone = true;
    if (errorCode != 0) FilesOf(entry).Discard(); // a part cut short by the failure
    if (errorCode == RefusedBeforeReading)
        ; // the reason has been shown
    else if (errorCode == DiscGoneBeforeReading) {
        ++FFailures;
        TrackDone(entry, {}, "the disc was taken out of the drive");
    } else if (errorCode == 3 && FRipThread && !FRipThread->Failure.empty())
        Fail(entry, FRipThread->Failure);
    else if (errorCode == 3)
        Fail(entry, "Error while reading CD information!" +
                        (FRipThread && !FRipThread->ReadError.empty()
                             ? " Track " + TwoDigits(entry.TrackNumber) + ": " +
                                   FRipThread->ReadError + "."
                             : std::string()));
    else if (const std::string reason = NotAFileReason(wav); errorCode == 5 && !reason.empty())
        Fail(entry, "Cannot create file " + wav.string() + ": it " + reason);
    else if (errorCode == 5)
        Fail(entry,
             wav.string() +
                 " is not a valid file name. Please rename the Title in the CD tracks list.");
    else if (errorCode != 0)
        Fail(entry, "Ripping " + wav.string() + " failed.");
    else {
        const TTrackReadStats& stats = FRipThread->Stats;
        if (!ReadOk(stats)) ++FSuspicious;
        if (FReport) {
            FReport->AddRippedTrack(entry.TrackNumber, FilesOf(entry).WavPart());
            FReport->SetReadStats(entry.TrackNumber, stats);
        }
        FView.TrackRead(entry, stats);
        if (OnTrackRipped) OnTrackRipped(entry, FilesOf(entry).WavPart());
        if (FOutputFormat == FormatWAV) {
            if (const std::string error = FilesOf(entry).FinishWav(); error.empty())
                TrackDone(entry, wav, {});
            else
                Fail(entry, error);
        }
    }
    FRipOk[static_cast<std::size_t>(index)] = errorCode == 0;
    Act(FPipeline.Read());
}

void TRipJob::Act(TRipPipeline::TNext next) {
    if (next.Encode >= 0) StartEncode(next.Encode);
    if (next.Read >= 0) StartRead(next.Read);
    if (next.Finished) {
        if (FDiscGone) FView.ShowError("The disc was taken out of the drive; the rip ends.");
        if (FOutputFormat != FormatWAV) WaitMilliseconds(FWaitMs);
        FinishJob();
        return;
    }
    // With nothing left to read, the progress shown is the encoder's.
    if (FPipeline.Reading() < 0 && FPipeline.Encoding() >= 0 && !FShowingEncode) ShowEncoding();
}

void TRipJob::StartRead(int index) {
    const TRipEntry& entry = FEntries[static_cast<std::size_t>(index)];
    FShowingEncode = false;
    FView.SetProgressHint("Extracting...");
    FInitializing = index == 0 || FOutputFormat == FormatWAV;
    FView.SetProgressCaption(FInitializing ? "Initializing..." : "Extracting...");
    FView.SetCurrentTrack(entry.Title);
    FView.SetCompleted(FPipeline.DoneCount());
    FView.SetTrackIndex(index);
    FRipThread.reset();
    StartTrack(entry);
}

void TRipJob::ShowEncoding() {
    const int index = FPipeline.Encoding();
    if (!FRipOk[static_cast<std::size_t>(index)]) return; // it passes the encoder by
    FShowingEncode = true;
    FView.SetProgressHint("Encoding...");
    FView.SetProgressCaption("Encoding...");
    FView.SetProgress(0);
    FView.SetCurrentTrack(FEntries[static_cast<std::size_t>(index)].Title);
    FView.SetCompleted(FPipeline.DoneCount());
    FView.SetTrackIndex(index);
}

void TRipJob::StartEncode(int index) {
    const TRipEntry& entry = FEntries[static_cast<std::size_t>(index)];
    FShowingEncode = false;
    if (!FRipOk[static_cast<std::size_t>(index)]) {
        FSelf.PostProgress(2000, 4); // this track's encoding is skipped
        return;
    }
    const fs::path output = PathOf(entry, OutputExtension(FOutputFormat));
    std::string error;
    if (!FilesOf(entry).CreateEncodedPart(error)) {
        Fail(entry, error);
        FSelf.PostProgress(2000, 4);
        return;
    }
    FWaveIn->SetFileName(FilesOf(entry).WavPart());
    FEncoder->SetFileName(FilesOf(entry).EncodedPart());
    try {
        ApplyOptionsFor(FOutputFormat, *FEncoder, DiscTagFieldsOf(FDisc));
        FEncoder->Start();
    } catch (const std::exception& e) {
        // Reported as the encoder's failure; the job goes on with the next track.
        Fail(entry, output.string() + ": " + e.what());
        FSelf.PostProgress(2000, 4);
    }
}

void TRipJob::Encoded(int errorCode) {
    if (FPipeline.Encoding() < 0) return;
    const TRipEntry& entry = FEntries[static_cast<std::size_t>(FPipeline.Encoding())];
    WaitMilliseconds(FWaitMs);
    const fs::path output = PathOf(entry, OutputExtension(FOutputFormat));
    const bool encoded = errorCode == 0;
    const std::string failure = encoded ? FEncoder->ExceptionMessage() : std::string();
    FWaveIn->SetFileName({});
    FEncoder->SetFileName({});
    if (encoded && failure.empty()) {
        // Tagged before it takes its name, so that the file appears whole.
        if (FOutputFormat == FormatMP3) TagMp3(entry, FilesOf(entry).EncodedPart());
        const std::string error = FilesOf(entry).FinishEncoded();
        if (!error.empty()) {
            Fail(entry, error);
        } else {
            // Full tags in every format but WAV, under the final name TagLib tells the
            // format by; the album's gain reaches them when the job ends.
            TagFile(entry, output);
            TrackDone(entry, output, {});
        }
    } else {
        // A damaged file must not pass for the track; its WAV, the only copy, is kept.
        FilesOf(entry).KeepWavOnly();
        if (encoded) Fail(entry, output.string() + ": " + failure);
    }
    Act(FPipeline.Encoded());
}

void TRipJob::TagMp3(const TRipEntry& entry, const fs::path& mp3) {
    std::error_code ec;
    if (!fs::exists(mp3, ec)) return;
    Tid3tag tag;
    tag.SetTitle(entry.Title);
    // The track's own artist, as its ID3v2 tag has it.
    const std::string artist = FRelease.TrackArtist(entry.TrackNumber);
    tag.SetArtist(artist.empty() ? FDisc.Artist : artist);
    tag.SetAlbum(FDisc.Album);
    tag.SetYear(FDisc.Year);
    tag.SetComment(FDisc.Comment);
    tag.Genre = GenreCodeOfListIndex(FDisc.GenreIndex);
    tag.SetTrack(static_cast<std::uint8_t>(entry.TrackNumber));
    tag.WriteToFile(mp3); // a tag that cannot be written leaves the audio as it is
}

void TRipJob::TagFile(const TRipEntry& entry, const fs::path& file) {
    if (!FTagger) return;
    std::unique_ptr<TLoudness> loudness;
    if (Settings.ReplayGain && FMeter) loudness = FMeter->TakeMeasurement();
    try {
        FTagger->TagTrack(entry.TrackNumber, entry.Title, file, std::move(loudness));
    } catch (const std::exception& e) {
        ++FFailures;
        FView.ShowError(e.what());
    }
}

void TRipJob::FinishJob() {
    StopJob();
    if (FTagger) {
        for (const std::string& message : FTagger->Finish())
            FView.ShowError(message);
    }
    FFinished = true;
    FView.JobFinished();
}

} // namespace bw
