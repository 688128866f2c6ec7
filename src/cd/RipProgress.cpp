#include "RipProgress.h"

#include "ApplyOptions.h"
#include "AuException.h"
#include "FLACOut.h"
#include "FileNameTemplate.h"
#include "FileTags.h"
#include "FileShare.h"
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

#include <cctype>
#include <set>

namespace fs = std::filesystem;

namespace bw {

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
                         const TDiscFields& disc) {
    TFileNameFields fields;
    fields.Artist = disc.Artist;
    fields.Album = disc.Album;
    fields.Year = disc.Year;
    if (disc.GenreIndex >= 0)
        fields.Genre = std::string(Id3v1GenreName(GenreCodeOfListIndex(disc.GenreIndex)));
    std::set<std::string> taken;
    for (TRipEntry& entry : entries) {
        fields.TrackNumber = entry.TrackNumber;
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
      FOutputFormat(Settings.OutputFormat) {
    AssignTemplateStems(FEntries, Settings.FileNameTemplate, FDisc);
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
                [this](TAuOutput* sender) { FSelf.PostProgress(sender->Progress()); });
            FEncoder->SetOnDone([this](TAuOutput*) { FSelf.PostProgress(2000, 0); });
        } catch (const std::exception& e) {
            FFailures = static_cast<int>(FEntries.size());
            FView.ShowError(e.what());
            FFinished = true;
            FView.JobFinished();
            return;
        }
    }
    int trackTotal = Settings.TrackCount;
    for (const TRipEntry& entry : FEntries)
        trackTotal = std::max(trackTotal, entry.TrackNumber);
    FTagger = std::make_unique<TRipTagger>(FDisc, FIds, trackTotal);
    FTagger->StartCoverFetch();
    FRunning = true;
    StartTrack(FEntries[0]);
}

void TRipJob::StartTrack(const TRipEntry& entry) {
    FTrackFinished = false;
    FRipThread = std::make_unique<TCDRipThread>(entry.Entry, entry.FileStem);
    FRipThread->CDHandle = FCDHandle;
    if (FReport) FRipThread->ReadOffset = FReport->Disc().ReadOffset;
    FRipThread->Window = &FSelf;
    // The number tells this thread's end from that of the previous track, whose message may
    // still be queued.
    FRipThread->OnTerminate = [this, serial = ++FRipSerial] {
        FSelf.Post(WM_RIPTHREADENDED, serial);
    };
    FRipThread->Start();
}

void TRipJob::StopJob() {
    if (!FRunning) return;
    if (FRipThread) {
        FRipThread->StopRequested = true;
        FRipThread.reset();
    }
    FRunning = false;
}

void TRipJob::Stop() {
    StopJob();
    if (FTagger) FTagger->Cancel();
    if (FEncoder) {
        FEncoder->Stop(false);
        FEncoder->SetFileName({});
    }
    if (FWaveIn) FWaveIn->SetFileName({});
}

fs::path TRipJob::PathOf(const TRipEntry& entry, const std::string& extension) const {
    return AddTrailingBackslash(Settings.OutputFolder) + entry.FileStem + extension;
}

void TRipJob::Fail(const TRipEntry& entry, const std::string& text) {
    ++FFailures;
    FView.ShowError(text);
    TrackDone(entry, {}, text);
}

void TRipJob::SetReport(TRipReport* report) {
    FReport = report;
    if (report)
        for (const TRipEntry& entry : FEntries)
            report->SetTrackTitle(entry.TrackNumber, entry.Title);
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
        const TRipEntry& entry = FEntries[FCompletedCount];
        ++FFailures;
        FView.ShowError("Cannot normalize " + PathOf(entry, ".wav").string() + ".");
        TrackDone(entry, {}, "normalizing failed");
        ++FCompletedCount;
        if (FCompletedCount == static_cast<int>(FEntries.size())) {
            FinishJob();
        } else {
            NextTrack("Extracting...");
        }
        return;
    }
    if (message.Msg != WM_RIPPROGRESS || !message.Info) return;
    const int percent = message.Info->Percent;
    if (percent == 999) {
        FView.SetProgressHint("Normalizing...");
    } else if (percent == 1000) {
        FTrackFinished = true;
        Ripped(message.Info->ErrorCode);
    } else if (percent == 2000) {
        Encoded(message.Info->ErrorCode);
    } else if (percent >= 1 && percent <= 100) {
        FView.SetProgress(percent);
    }
}

void TRipJob::Ripped(int errorCode) {
    const TRipEntry& entry = FEntries[FCompletedCount];
    const fs::path wav = PathOf(entry, ".wav");
    if (errorCode == 3)
        Fail(entry, "Error while reading CD information!");
    else if (const std::string reason = NotAFileReason(wav); errorCode == 5 && !reason.empty())
        Fail(entry, "Cannot create file " + wav.string() + ": it " + reason);
    else if (errorCode == 5)
        Fail(entry,
             wav.string() +
                 " is not a valid file name. Please rename the Title in the CD tracks list.");
    else if (errorCode != 0)
        Fail(entry, "Ripping " + wav.string() + " failed.");
    else {
        if (FReport) FReport->AddRippedTrack(entry.TrackNumber, wav);
        if (OnTrackRipped) OnTrackRipped(entry, wav);
    }
    ++FCompletedCount;

    if (FOutputFormat == FormatWAV) {
        // The WAV stays header and samples only; its loudness still counts for the album.
        if (errorCode == 0) TrackDone(entry, wav, {});
        if (FCompletedCount == static_cast<int>(FEntries.size())) {
            FinishJob();
        } else {
            NextTrack("Initializing...");
        }
        return;
    }
    if (errorCode != 0) {
        FSelf.PostProgress(2000, 4); // this track's encoding is skipped
        return;
    }
    FView.SetProgressHint("Encoding...");
    FView.SetProgressCaption("Encoding...");
    FWaveIn->SetFileName(wav);
    FEncoder->SetFileName(PathOf(entry, OutputExtension(FOutputFormat)));
    try {
        ApplyOptionsFor(FOutputFormat, *FEncoder, DiscTagFieldsOf(FDisc));
        FEncoder->Start();
    } catch (const std::exception& e) {
        // Reported as the encoder's failure; the job goes on with the next track.
        Fail(entry, FEncoder->FileName().string() + ": " + e.what());
        FSelf.PostProgress(2000, 4);
    }
}

void TRipJob::Encoded(int errorCode) {
    const TRipEntry& entry = FEntries[FCompletedCount - 1];
    WaitMilliseconds(FWaitMs);
    const fs::path output = FEncoder->FileName();
    const bool encoded = errorCode == 0;
    const std::string failure = encoded ? FEncoder->ExceptionMessage() : std::string();
    if (encoded && failure.empty()) {
        const fs::path wav = FWaveIn->FileName();
        std::error_code ec;
        // A WAV that another program holds stays; so does the only copy of a track whose
        // encoding failed (below).
        if (!Settings.IsKeepWav && !wav.empty() && fs::exists(wav, ec) &&
            !IsFileLocked(wav.string()))
            fs::remove(wav, ec);
        if (FOutputFormat == FormatMP3) TagMp3(entry, output);
        // Full tags in every format but WAV (Opus included).
        TagFile(entry, output);
        TrackDone(entry, output, {});
    } else if (encoded) {
        // A damaged file must not pass for the track; its WAV is kept.
        std::error_code ec;
        fs::remove(output, ec);
        Fail(entry, output.string() + ": " + failure);
    }
    FWaveIn->SetFileName({});
    FEncoder->SetFileName({});
    if (FCompletedCount == static_cast<int>(FEntries.size())) {
        WaitMilliseconds(FWaitMs);
        FinishJob();
    } else {
        NextTrack("Extracting...");
    }
}

void TRipJob::TagMp3(const TRipEntry& entry, const fs::path& mp3) {
    std::error_code ec;
    if (!fs::exists(mp3, ec)) return;
    Tid3tag tag;
    tag.SetTitle(entry.Title);
    tag.SetArtist(FDisc.Artist);
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

void TRipJob::NextTrack(const std::string& caption) {
    const TRipEntry& entry = FEntries[FCompletedCount];
    FView.SetProgressHint("Extracting...");
    FView.SetProgressCaption(caption);
    FView.SetCurrentTrack(entry.Title);
    FView.SetCompleted(FCompletedCount);
    FRipThread.reset();
    StartTrack(entry);
}

} // namespace bw
