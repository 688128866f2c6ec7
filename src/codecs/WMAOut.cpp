#include "WMAOut.h"

#include "AudioStream.h"
#include "MediaError.h"
#include "WmaFormats.h"
#include "WmaWriter.h"

#include <cmath>

namespace bw {

namespace {

const char* const NoVbrFormats = "The WMA encoders have no VBR or lossless formats";

} // namespace

TWMAOut::TWMAOut() {
    for (const auto& codec : media::WmaCodecs())
        FCodecs.push_back(codec.Name);
}

TWMAOut::~TWMAOut() {
    Shutdown();
    ReleaseRun();
}

const std::vector<std::string>& TWMAOut::Formats(int c) {
    FFormats.clear();
    const auto& codecs = media::WmaCodecs();
    if (c < 0 || c >= static_cast<int>(codecs.size())) return FFormats;
    const media::TWmaCodec& codec = codecs[c];
    // The VBR list of a codec that has none stays empty.
    if ((VBR || Lossless) && !codec.HasVbrFormats) return FFormats;
    for (const auto& format : codec.Formats)
        FFormats.push_back(format.Description);
    return FFormats;
}

void TWMAOut::ReleaseRun() {
    FWriter.reset();
    FStreamAdapter.reset();
    FSampleBuffer = {};
    CloseDestination();
}

void TWMAOut::FailRun() {
    ReleaseRun();
    if (TAuInput* input = Input()) input->ResetInput();
}

void TWMAOut::SetUpByIndex(int codec, std::uint32_t format, bool enumerateVbr) {
    const auto& codecs = media::WmaCodecs();
    // An index outside the lists would leave the writer without a format and write a broken
    // file: refuse instead.
    if (codec >= static_cast<int>(codecs.size())) throw EAuException("Failed to init codec");
    if (enumerateVbr && !codecs[codec].HasVbrFormats) throw EAuException(NoVbrFormats);
    if (format >= codecs[codec].Formats.size()) throw EAuException("Failed to init codec");
    try {
        FWriter->SetProfile(codecs[codec], codecs[codec].Formats[format]);
    } catch (const media::TMediaError&) {
        throw EAuException("fff");
    }
    TAuInput& input = *Input();
    FWriter->SetInput({input.Channels(), input.SampleRate(), input.BitsPerSample()});
}

void TWMAOut::SetUpByTarget(std::int64_t target, bool vbr, bool lossless) {
    if (!vbr && target < 1000) target *= 1000;
    TAuInput& input = *Input();
    media::TPcmFormat wanted{input.Channels(), input.SampleRate(), input.BitsPerSample()};
    auto choice = media::FindCodecFormat(media::WmaCodecs(), wanted, target, lossless, vbr);
    if (!choice) throw EAuException("Failed to init codec");
    SetUpByIndex(choice->Codec, static_cast<std::uint32_t>(choice->Format), false);
}

void TWMAOut::WriteAttributes() {
    const TId3v2Tags& tags = Id3v2Tags();
    auto set = [&](const char* name, const std::string& value) {
        if (!value.empty()) FWriter->SetAttribute(name, value);
    };
    set("Author", tags.Artist());
    set("WM/AlbumTitle", tags.Album());
    set("WM/Genre", tags.Genre());
    set("WM/Year", tags.Year());
    // The numbered attribute other players read; "WM/Track" counts from 0 in some of them.
    set("WM/TrackNumber", tags.Track());
    set("Title", tags.Title());
    set("Copyright", tags.Comment());
}

// A failure of a run's step releases the run; the media layer's errors reach the user as
// the pipeline's own.
template <typename Step>
void TWMAOut::Guarded(Step&& step) {
    try {
        step();
    } catch (const media::TMediaError& e) {
        FailRun();
        throw EAuException(e.what());
    } catch (...) {
        FailRun();
        throw;
    }
}

void TWMAOut::PrepareOutput() {
    if (!StreamAssigned() && FileName().empty()) throw EAuException("File name is not assigned.");
    Guarded([&] {
        TAuInput& input = *Input();
        input.OpenRead();
        OpenDestination(false);
        try {
            FStreamAdapter = std::make_unique<TAudioStream>(*FStream);
            FWriter = std::make_unique<media::TWmaWriter>(*FStreamAdapter);
        } catch (const media::TMediaError&) {
            throw EAuException("Cannot create file");
        }
        if (CodecIndex >= 0)
            SetUpByIndex(CodecIndex, FormatIndex, VBR || Lossless);
        else if (VBR)
            SetUpByTarget(VBRQuality, true, Lossless);
        else
            SetUpByTarget(DesiredBitrate, false, Lossless);
        int bytes = input.Channels() * input.BitsPerSample() * input.SampleRate() / 100;
        FSampleBuffer.assign(static_cast<std::size_t>(bytes), 0);
        FBytesPerSecond = static_cast<double>(input.Channels()) * (input.BitsPerSample() / 8) *
                          input.SampleRate();
        WriteAttributes();
        FWriter->BeginWriting();
        FTime = 0;
        FEndOfInput = false;
    });
}

bool TWMAOut::OutputBlock(bool Abort) {
    if (Abort || FEndOfInput) return false;
    Guarded([&] {
        bool end = false;
        int n =
            Input()->PullExactly(FSampleBuffer.data(), static_cast<int>(FSampleBuffer.size()), end);
        if (end) FEndOfInput = true;
        FWriter->WriteSample(FSampleBuffer.data(), static_cast<std::size_t>(n));
        // The running end time of the blocks, as a caller may ask for it; the encoder itself
        // counts samples.
        FTime += static_cast<std::int64_t>(std::llround(n / FBytesPerSecond * 10000000.0));
    });
    return true;
}

void TWMAOut::FinishOutput() {
    Guarded([&] {
        Input()->CloseRead();
        FWriter->EndWriting();
    });
    ReleaseRun();
}

} // namespace bw
