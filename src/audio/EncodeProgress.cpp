#include "EncodeProgress.h"

#include "ConvertTags.h"

#include "AuException.h"
#include "AuSampleRate.h"
#include "ConvertSources.h"
#include "ConvertTags.h"
#include "FLACOut.h"
#include "FileShare.h"
#include "MACOut.h"
#include "MP3Out.h"
#include "OpusOut.h"
#include "PartFile.h"
#include "VorbisOut.h"
#include "WMAOut.h"
#include "WMIn.h"
#include "WaveIn.h"
#include "WaveOut.h"
#include "id3.h"

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace bw {

namespace {

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

} // namespace

void TConvertChain::Connect() {
    TAuInput* source = Reader.get();
    for (auto& filter : Filters) {
        filter->SetInput(source);
        source = filter.get();
    }
    if (Meter) {
        Meter->SetInput(source);
        source = Meter.get();
    }
    Output->SetInput(source);
}

void TConvertChain::Release() {
    Output.reset();
    Meter.reset();
    while (!Filters.empty())
        Filters.pop_back();
    Reader.reset();
}

namespace {

// Nothing in a conversion needs the length before encoding (the WAV writer completes its
// header at the end), so opening a source, on the window's thread, decodes none of it.
std::unique_ptr<TAuFileIn> MakeMediaReader(bool mp3) {
    std::unique_ptr<TWMIn> reader = mp3 ? std::make_unique<TMP3In>() : std::make_unique<TWMIn>();
    reader->SetExactLength(false);
    return reader;
}

} // namespace

std::unique_ptr<TAuFileIn> MakeReaderFor(const fs::path& input) {
    std::unique_ptr<TAuFileIn> reader;
    if (IsWaveFile(input))
        reader = std::make_unique<TWaveIn>();
    else
        reader = MakeMediaReader(LowerExtension(input) == ".mp3");
    reader->SetFileName(input);
    return reader;
}

std::unique_ptr<TAuConverter> MakeTo16Bits() {
    auto to16 = std::make_unique<TAudioConverter>();
    to16->SetOutBitsPerSample(16);
    return to16;
}

namespace {

enum class TEncoderKind { MP3, Ogg, FLAC, WMA, APE, Opus };

template <typename TOut, typename TApply>
void UseEncoder(TConvertChain& chain, const char* extension, TApply apply) {
    auto out = std::make_unique<TOut>();
    apply(*out);
    chain.Output = std::move(out);
    chain.Extension = extension;
}

// Gives the chain its encoder, with the settings (and for Ogg Vorbis and FLAC the disc
// fields) copied in, and the extension of its files.
void SetEncoder(TConvertChain& chain, TEncoderKind kind, const TDiscTagFields& disc) {
    switch (kind) {
    case TEncoderKind::MP3:
        UseEncoder<TMP3Out>(chain, ".mp3", [](auto& out) { ApplyMP3Options(out); });
        // LAME reads 16-bit samples only; 8 and 24-bit files are converted on the way
        // rather than read as noise.
        chain.Filters.push_back(MakeTo16Bits());
        return;
    case TEncoderKind::Ogg:
        return UseEncoder<TVorbisOut>(chain, ".ogg",
                                      [&](auto& out) { ApplyVorbisOptions(out, disc); });
    case TEncoderKind::FLAC:
        return UseEncoder<TFLACOut>(chain, ".flac",
                                    [&](auto& out) { ApplyFLACOptions(out, disc); });
    case TEncoderKind::WMA:
        return UseEncoder<TWMAOut>(chain, ".wma", [](auto& out) { ApplyWMAOptions(out); });
    case TEncoderKind::APE:
        return UseEncoder<TMACOut>(chain, ".ape", [](auto& out) { ApplyAPEOptions(out); });
    case TEncoderKind::Opus:
        return UseEncoder<TOpusOut>(chain, ".opus",
                                    [&](auto& out) { ApplyOpusOptions(out, disc); });
    }
}

// A file any of our readers can read; one that throws (protected content) is audio too, and
// fails with the reason when its conversion starts.
bool LooksLikeAudio(TAuFileIn& reader) {
    try {
        return reader.Valid();
    } catch (const std::exception&) {
        return true;
    }
}

} // namespace

TConvertChain MakeConverterChain(int converterType, const TDiscTagFields& disc) {
    TConvertChain chain;
    chain.Reader = std::make_unique<TWaveIn>(); // the WAV converters; the others replace it
    chain.DiscTags = disc;
    switch (converterType) {
    case ctWavToMp3:
        SetEncoder(chain, TEncoderKind::MP3, disc);
        break;
    case ctWavToOgg:
        SetEncoder(chain, TEncoderKind::Ogg, disc);
        break;
    case ctWavToFlac:
        SetEncoder(chain, TEncoderKind::FLAC, disc);
        break;
    case ctWavToWma:
        SetEncoder(chain, TEncoderKind::WMA, disc);
        break;
    case ctWavToApe:
        SetEncoder(chain, TEncoderKind::APE, disc);
        break;
    case ctWavToOpus:
        SetEncoder(chain, TEncoderKind::Opus, disc);
        break;
    case ctMp3ToWav:
    case ctWmaToWav: {
        chain.Reader = MakeMediaReader(converterType == ctMp3ToWav);
        auto out = std::make_unique<TWaveOut>();
        out->SetWavType(wtPCM);
        out->SetBlockSize(512);
        out->SetFileMode(foRewrite);
        chain.Output = std::move(out);
        chain.Extension = ".wav";
        break;
    }
    case ctMp3ToWma:
        chain.Reader = MakeMediaReader(true);
        SetEncoder(chain, TEncoderKind::WMA, disc);
        break;
    case ctWmaToMp3:
        chain.Reader = MakeMediaReader(false);
        SetEncoder(chain, TEncoderKind::MP3, disc);
        break;
    default:
        throw EAuException("Unknown converter type " + std::to_string(converterType) + ".");
    }
    return chain;
}

TConvertChain MakeOutputChain(int outputFormat, const TDiscTagFields& disc) {
    TConvertChain chain;
    // By the output format's index; WAV (1) needs no encoder.
    constexpr TEncoderKind Encoders[] = {TEncoderKind::MP3, TEncoderKind::MP3,  TEncoderKind::Ogg,
                                         TEncoderKind::WMA, TEncoderKind::FLAC, TEncoderKind::APE,
                                         TEncoderKind::Opus};
    if (outputFormat < 0 || outputFormat >= static_cast<int>(std::size(Encoders)))
        throw EAuException("Unknown output format " + std::to_string(outputFormat) + ".");
    if (outputFormat == 1) {
        auto out = std::make_unique<TWaveOut>();
        out->SetWavType(wtPCM);
        out->SetBlockSize(512);
        out->SetFileMode(foRewrite);
        chain.Output = std::move(out);
        chain.Extension = ".wav";
    } else {
        SetEncoder(chain, Encoders[outputFormat], disc);
    }
    return chain;
}

TEncodeJob::TEncodeJob(std::shared_ptr<TConvertFiles> files, TChainMaker maker,
                       fs::path outputFolder, TMessageTarget& self, TEncodeJobView& view)
    : FFiles(std::move(files)), FMaker(std::move(maker)), FOutputFolder(std::move(outputFolder)),
      FSelf(self), FView(view) {}

TEncodeJob::~TEncodeJob() {
    Stop();
}

void TEncodeJob::Begin() {
    FSelf.Post(WM_NEXTFILE, 0);
}

void TEncodeJob::Stop() {
    FStopped = true;
    if (FChain.Output) FChain.Output->Stop(false);
    ReleaseChain();
}

void TEncodeJob::ReleaseChain() {
    FChain.Release();
    // Only the temporary file this run created goes; never a file of that name from before.
    if (FTemporary && !FWriting.empty()) {
        std::error_code ec;
        fs::remove(FWriting, ec);
    }
    FWriting.clear();
}

void TEncodeJob::HandleMessage(const TPostedMessage& message) {
    if (message.Msg != WM_NEXTFILE || FStopped || FFinished) return;
    try {
        if (message.WParam == 1 && FChain.Output) EndOfFile();
        NextFile();
    } catch (const std::exception& e) {
        // Whatever failed belongs to the file in hand: report it and go on with the next.
        Skip(FInput, e.what());
    }
}

void TEncodeJob::EndOfFile() {
    std::string failure = FChain.Output->ExceptionMessage();
    // A tagged source's tags go on; a WAV source gets the disc fields (WAV outputs of such
    // sources stay header and samples). Both get the track gain measured on the way.
    if (failure.empty() && (FSourceTags || FChain.Extension != ".wav")) {
        try {
            const std::unique_ptr<TLoudness> measured =
                FChain.Meter ? FChain.Meter->TakeMeasurement() : nullptr;
            if (FSourceTags) {
                const TFileTags written = CarrySourceTags(
                    FWriting, *FSourceTags, LossyExtension(FChain.Extension), measured.get());
                // The ID3v1.1 block says what the ID3v2 tag says.
                if (FId3v1) FId3v1 = Id3v1TagOf(written);
            } else {
                TagConvertedFile(FInput, FChain.DiscTags, FWriting, measured.get());
            }
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    FSourceTags.reset();
    // The ID3v1.1 block goes into the finished file only, before it takes its name.
    if (failure.empty() && FId3v1 && FId3v1->WriteToFile(FWriting) != Id3Written)
        failure = "cannot write the ID3 tag into " + FWriting.string();
    FId3v1.reset();
    if (failure.empty() && FTemporary) {
        std::error_code ec;
        fs::rename(FWriting, FOutput, ec);
        if (ec)
            failure = "cannot rename " + FWriting.string() + ": " + ec.message();
        else
            FWriting.clear();
    }
    ReleaseChain();
    if (!failure.empty()) {
        ++FFailures;
        FView.ShowError(FInput, failure);
        return;
    }
    FView.FileDone(FInput, FOutput);
}

void TEncodeJob::Skip(const fs::path& input, const std::string& text) {
    ReleaseChain();
    ++FFailures;
    FView.ShowError(input, text);
    FSelf.Post(WM_NEXTFILE, 1);
}

void TEncodeJob::CarryTags() {
    // The titles of a WMA or MP3 input go along: as attributes into a WMA file, and as an
    // ID3v1.1 block into an MP3 file once it is complete.
    FId3v1.reset();
    auto* tagged = dynamic_cast<TWMIn*>(FChain.Reader.get());
    if (!tagged) return;
    if (auto* wma = dynamic_cast<TWMAOut*>(FChain.Output.get()))
        wma->SetId3v2Tags(tagged->Id3v2Tags());
    if (dynamic_cast<TMP3Out*>(FChain.Output.get())) FId3v1 = Id3v1TagOf(tagged->Id3v2Tags());
}

int TEncodeJob::ProgressOf(TAuOutput& output) const {
    const int percent = output.Progress();
    if (percent >= 0) return std::min(percent, 100);
    // A source whose exact length is known only once decoded: its expected length.
    const TAuFileIn* reader = FChain.Reader.get();
    if (!reader || FExpectedBytes <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(100, reader->Position() * 100 / FExpectedBytes));
}

void TEncodeJob::NextFile() {
    if (FFiles->Next >= FFiles->Files.size()) {
        FFinished = true;
        FView.JobFinished();
        return;
    }
    FView.SetCompleted(static_cast<int>(FFiles->Next));
    FInput = FFiles->Files[FFiles->Next++];
    try {
        FChain = FMaker(FInput);
        if (!FChain.Reader) FChain.Reader = MakeReaderFor(FInput);
        FChain.Reader->SetFileName(FInput);
    } catch (const std::exception& e) {
        return Skip(FInput, e.what());
    }
    if (FFiles->SkipNonAudio && !HasAudioExtension(FInput) && !LooksLikeAudio(*FChain.Reader)) {
        ReleaseChain();
        FView.FileSkipped(FInput, "not an audio file");
        FSelf.Post(WM_NEXTFILE, 1);
        return;
    }
    const std::size_t index = FFiles->Next - 1;
    FOutput = FOutputFolder;
    if (index < FFiles->Subfolders.size()) FOutput /= FFiles->Subfolders[index];
    FOutput /= FInput.filename();
    FOutput.replace_extension(FChain.Extension);
    FView.ShowFiles(FInput, FOutput);
    FView.SetProgress(0);

    std::error_code ec;
    if (FInput.filename().empty()) return Skip(FInput, "not a file");
    // Named pipes, devices and folders, in or out: opening one could wait forever.
    if (std::string reason = NotAFileReason(FInput); !reason.empty())
        return Skip(FInput, "it " + reason);
    if (std::string reason = NotAFileReason(FOutput); !reason.empty())
        return Skip(FInput, "Cannot create file " + FOutput.string() + ": it " + reason);
    if (SameFile(FInput, FOutput)) return Skip(FInput, "the output would replace the input itself");
    const fs::path claim = fs::weakly_canonical(FOutput, ec);
    if (FFiles->KeepOwnOutputs && FFiles->Written.count(claim))
        return Skip(FInput, "another input of this run already wrote " + FOutput.string());
    if (fs::exists(FOutput, ec) && !FView.AskOverwrite(FOutput)) {
        ReleaseChain();
        FSelf.Post(WM_NEXTFILE, 1);
        return;
    }
    try {
        if (!FChain.Reader->Valid())
            return Skip(FInput, "not " + SourceKindOf(FInput) + " file that can be read");
        CarryTags();
        FSourceTags = SourceTags(FInput);
        // Claimed before it is written, so that a job running beside this one sees it too.
        if (FFiles->KeepOwnOutputs) FFiles->Written.insert(claim);
        FWriting = FOutput;
        if (!fs::is_directory(FOutput.parent_path(), ec) &&
            !fs::create_directories(FOutput.parent_path(), ec))
            return Skip(FInput, "cannot create the folder " + FOutput.parent_path().string());
        if (FTemporary) {
            FWriting = CreatePartFile(FOutput, ec);
            if (FWriting.empty())
                return Skip(FInput, "cannot create a file in " + FOutputFolder.string());
        }
        if (Settings.ReplayGain) FChain.Meter = std::make_unique<TLoudnessMeter>();
        FChain.Connect();
        FChain.Output->SetFileName(FWriting);
        const std::int64_t frameBytes =
            std::int64_t{FChain.Reader->Channels()} * (FChain.Reader->BitsPerSample() / 8);
        FExpectedBytes = FChain.Reader->ExpectedTotalSamples() * frameBytes;
        FChain.Output->SetOnProgress(
            [this](TAuOutput* sender) { FView.SetProgress(ProgressOf(*sender)); });
        FChain.Output->SetOnDone([this](TAuOutput*) { FSelf.Post(WM_NEXTFILE, 1); });
        FChain.Output->Start();
    } catch (const std::exception& e) {
        Skip(FInput, e.what());
    }
}

} // namespace bw
