#include "OpusOut.h"

#include "VorbisChannelOrder.h"

#include <opus_defines.h>

#include <array>
#include <cctype>

namespace bw {

namespace {

const TOpusEncApi& Opus() {
    return OpusEncLibrary().Api();
}

// libopusenc copies the comments it is given, so one set serves a single create call.
struct TCommentsDeleter {
    void operator()(OggOpusComments* comments) const { Opus().ope_comments_destroy(comments); }
};

} // namespace

std::vector<std::pair<std::string, std::string>> OpusCommentsOf(const TVorbisTags& tags) {
    std::vector<std::pair<std::string, std::string>> comments;
    for (int i = 0; i < tags.TagCount(); ++i) {
        std::string key = tags.KeyAt(i);
        std::string value = tags.ValueAsString(key);
        if (value.empty()) continue;
        for (char& ch : key)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        comments.emplace_back(std::move(key), std::move(value));
    }
    return comments;
}

void TOpusOut::TEncoderDeleter::operator()(OggOpusEnc* encoder) const {
    Opus().ope_encoder_destroy(encoder);
}

TOpusOut::TOpusOut() {
    if (!OpusEncLibrary().Loaded()) throw EAuException(OpusEncLibrary().NotLoadedMessage());
}

TOpusOut::~TOpusOut() {
    Shutdown();
    ReleaseRun();
}

void TOpusOut::ReleaseRun() {
    FEncoder.reset();
    FSampleBuffer = {};
    FSamples = {};
    CloseDestination();
}

void TOpusOut::FailRun() {
    ReleaseRun();
    if (TAuInput* input = Input()) input->ResetInput();
}

int TOpusOut::WriteCallback(void* client, const unsigned char* data, opus_int32 bytes) {
    auto* self = static_cast<TOpusOut*>(client);
    if (self->FWriteError) return 1;
    try {
        self->FStream->WriteBuffer(data, bytes);
        return 0;
    } catch (...) {
        self->FWriteError = std::current_exception();
        return 1;
    }
}

void TOpusOut::Check(int result, const char* what) {
    if (FWriteError) std::rethrow_exception(std::exchange(FWriteError, nullptr));
    if (result != OPE_OK)
        throw EAuException(std::string(what) + ": " + Opus().ope_strerror(result));
}

void TOpusOut::PrepareOutput() {
    try {
        if (Bitrate < MinBitrate || Bitrate > MaxBitrate)
            throw EAuException("Opus encoder setup with the requested bitrate failed. Choose " +
                               std::to_string(MinBitrate) + " to " + std::to_string(MaxBitrate) +
                               " kbit/s.");
        if (Complexity < 0 || Complexity > MaxComplexity)
            throw EAuException("Opus encoder setup with the requested complexity failed. Choose "
                               "0 to " +
                               std::to_string(MaxComplexity) + ".");
        if (Mode > TOpusMode::omCBR)
            throw EAuException("Opus encoder setup with the requested mode failed.");
        OpenDestination(false);
        FWriteError = nullptr;
        FDrained = false;
        TAuInput& input = *Input();
        input.OpenRead();
        FBits = input.BitsPerSample();
        FChannels = input.Channels();
        if (FChannels < 1 || FChannels > MaxChannels)
            throw EAuException("Opus encoder setup failed: unsupported channel count.");
        FFramesIn = 0;
        if (FBits != 8 && FBits != 16 && FBits != 24)
            throw EAuException("Opus encoder setup failed: unsupported sample size.");

        const auto& opus = Opus();
        std::unique_ptr<OggOpusComments, TCommentsDeleter> comments(opus.ope_comments_create());
        if (!comments) throw EAuException("Opus encoder setup failed: out of memory.");
        for (const auto& [key, value] : OpusCommentsOf(FComments))
            Check(opus.ope_comments_add(comments.get(), key.c_str(), value.c_str()),
                  "Opus encoder setup failed");
        OpusEncCallbacks callbacks{WriteCallback, CloseCallback};
        int error = OPE_OK;
        FEncoder.reset(opus.ope_encoder_create_callbacks(&callbacks, this, comments.get(),
                                                         input.SampleRate(), FChannels,
                                                         FChannels > 2 ? 1 : 0, &error));
        if (!FEncoder)
            Check(error == OPE_OK ? OPE_INTERNAL_ERROR : error, "Opus encoder setup failed");
        OggOpusEnc* e = FEncoder.get();
        Check(opus.ope_encoder_ctl(e, OPUS_SET_BITRATE(Bitrate * 1000)),
              "Opus encoder setup with the requested bitrate failed");
        Check(opus.ope_encoder_ctl(e, OPUS_SET_VBR(Mode == TOpusMode::omCBR ? 0 : 1)),
              "Opus encoder setup with the requested mode failed");
        Check(opus.ope_encoder_ctl(
                  e, OPUS_SET_VBR_CONSTRAINT(Mode == TOpusMode::omConstrainedVBR ? 1 : 0)),
              "Opus encoder setup with the requested mode failed");
        Check(opus.ope_encoder_ctl(e, OPUS_SET_COMPLEXITY(Complexity)),
              "Opus encoder setup with the requested complexity failed");
        // The header's output gain stays 0: players add the R128 gain tags on top of it, and
        // those are measured on the samples as they are encoded.
        Check(opus.ope_encoder_ctl(e, OPE_SET_HEADER_GAIN(0)), "Opus encoder setup failed");
        FSampleBuffer.assign(std::size_t(FBits / 8) * BlockFrames * FChannels, 0);
        FSamples.assign(std::size_t(BlockFrames) * FChannels, 0.0f);
    } catch (...) {
        FailRun();
        throw;
    }
}

bool TOpusOut::OutputBlock(bool Abort) {
    if (Abort || FDrained) return false;
    try {
        bool end = false;
        const int bytes =
            Input()->PullExactly(FSampleBuffer.data(), static_cast<int>(FSampleBuffer.size()), end);
        const std::uint8_t* p = FSampleBuffer.data();
        const int frames = bytes * 8 / FBits / FChannels; // whole frames only
        // Surround streams take their channels in Vorbis order.
        const std::array<int, 16> from = VorbisChannelSources(FChannels);
        float* out = FSamples.data();
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < FChannels; ++c) {
                const int at = i * FChannels + from[c];
                float& value = out[i * FChannels + c];
                if (FBits == 16) {
                    value =
                        static_cast<std::int16_t>(p[2 * at] | p[2 * at + 1] << 8) * (1.0f / 32768);
                } else if (FBits == 8) {
                    value = (int(p[at]) - 128) * (1.0f / 128);
                } else {
                    const int v = p[3 * at] | p[3 * at + 1] << 8 | p[3 * at + 2] << 16;
                    value = ((v ^ 0x800000) - 0x800000) * (1.0f / 8388608);
                }
            }
        const auto& opus = Opus();
        if (frames > 0)
            Check(opus.ope_encoder_write_float(FEncoder.get(), out, frames),
                  "Failed to encode data");
        FFramesIn += frames;
        if (end) {
            // Never drained without audio: libopusenc 0.2.1 fails an assertion then (at 48 kHz)
            // and takes the whole process down. Such a source is refused instead.
            if (FFramesIn == 0) throw EAuException(NoAudioText);
            // The rest of the audio and the end of the stream.
            Check(opus.ope_encoder_drain(FEncoder.get()), "Failed to encode data");
            FDrained = true;
        }
        return !FDrained;
    } catch (...) {
        FailRun();
        throw;
    }
}

void TOpusOut::FinishOutput() {
    ReleaseRun();
    Input()->CloseRead();
    FComments.Clear();
}

} // namespace bw
