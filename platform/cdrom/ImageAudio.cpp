#include "ImageAudio.h"

#include "FFmpegOwners.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <algorithm>
#include <cctype>
#include <cstring>

namespace fs = std::filesystem;

namespace bw {

using media::FF;

namespace {

using namespace bw::media;

constexpr int CdRate = 44100;
constexpr std::uint64_t FrameBytes = 4; // one stereo 16-bit sample
// A jump forward shorter than this is decoded through rather than sought.
constexpr std::uint64_t ShortJumpBytes = 5 * CdRate * FrameBytes;

bool IsFlac(std::string_view head) {
    return head.substr(0, 4) == "fLaC";
}

[[noreturn]] void NotCdAudio(const fs::path& path) {
    throw EDiscImage(path.string() + " is not 16-bit stereo 44.1 kHz audio.");
}

void PutLe16(std::uint8_t* out, std::int32_t sample) {
    const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample));
    out[0] = static_cast<std::uint8_t>(value & 0xFF);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

// ---- FLAC through libFLAC ------------------------------------------------------------------

class TFlacDecoder : public TImageAudioDecoder {
public:
    explicit TFlacDecoder(const fs::path& path) : FDecoder(FLAC__stream_decoder_new()) {
        if (!FDecoder) return;
        FOpen = FLAC__stream_decoder_init_file(FDecoder, path.c_str(), OnWrite, nullptr, OnError,
                                               this) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
    }
    ~TFlacDecoder() override {
        if (FDecoder) FLAC__stream_decoder_delete(FDecoder);
    }
    TFlacDecoder(const TFlacDecoder&) = delete;
    TFlacDecoder& operator=(const TFlacDecoder&) = delete;
    bool Open() const { return FOpen; }

protected:
    bool NextBlock() override {
        if (FPending) {
            FPending = false;
            return true;
        }
        FGot = false;
        while (!FGot) {
            if (FFailed || !FLAC__stream_decoder_process_single(FDecoder)) return false;
            if (FLAC__stream_decoder_get_state(FDecoder) == FLAC__STREAM_DECODER_END_OF_STREAM &&
                !FGot)
                return false;
        }
        return !FFailed;
    }
    bool SeekTo(std::uint64_t sample) override {
        FGot = false;
        FFailed = false;
        if (!FLAC__stream_decoder_seek_absolute(FDecoder, sample)) {
            if (FLAC__stream_decoder_get_state(FDecoder) == FLAC__STREAM_DECODER_SEEK_ERROR)
                FLAC__stream_decoder_flush(FDecoder);
            return false;
        }
        // The decoder has handed over the block that starts at the sample.
        FPending = FGot;
        return true;
    }

private:
    static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*,
                                                  const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* data) {
        auto* self = static_cast<TFlacDecoder*>(data);
        if (frame->header.channels != 2 || frame->header.bits_per_sample != 16 ||
            frame->header.number_type != FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
            self->FFailed = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        const unsigned count = frame->header.blocksize;
        self->FBlock.resize(std::size_t(count) * FrameBytes);
        std::uint8_t* out = self->FBlock.data();
        for (unsigned i = 0; i < count; ++i, out += FrameBytes) {
            PutLe16(out, buffer[0][i]);
            PutLe16(out + 2, buffer[1][i]);
        }
        self->FBlockStart = frame->header.number.sample_number;
        self->FGot = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
        // A damaged frame would leave a gap: the read fails instead of returning other audio.
        static_cast<TFlacDecoder*>(data)->FFailed = true;
    }

    FLAC__StreamDecoder* FDecoder;
    bool FOpen = false;
    bool FGot = false;
    bool FPending = false;
    bool FFailed = false;
};

TImageFileInfo ProbeFlac(const fs::path& path) {
    FLAC__StreamMetadata info;
    if (!FLAC__metadata_get_streaminfo(path.c_str(), &info))
        throw EDiscImage(path.string() + " is a damaged FLAC file.");
    const FLAC__StreamMetadata_StreamInfo& s = info.data.stream_info;
    if (s.sample_rate != CdRate || s.channels != 2 || s.bits_per_sample != 16) NotCdAudio(path);
    if (s.total_samples == 0)
        throw EDiscImage(path.string() + " does not say how many samples it holds.");
    return {0, s.total_samples * FrameBytes};
}

// ---- WavPack, APE and other lossless files through FFmpeg ----------------------------------

// An input file opened with FFmpeg, its audio stream and a decoder for it.
struct TFFmpegInput {
    TInputFormat Format;
    TCodecContext Decoder;
    int Stream = -1;

    // Empty when opened; else why not (the caller words the failure).
    bool Open(const fs::path& path) {
        QuietFFmpeg();
        AVFormatContext* format = nullptr;
        if (FF().avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
        Format.reset(format);
        if (FF().avformat_find_stream_info(format, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        Stream = FF().av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (Stream < 0 || !codec) return false;
        Decoder.reset(FF().avcodec_alloc_context3(codec));
        if (!Decoder || FF().avcodec_parameters_to_context(Decoder.get(),
                                                           format->streams[Stream]->codecpar) < 0)
            return false;
        Decoder->pkt_timebase = format->streams[Stream]->time_base;
        if (FF().avcodec_open2(Decoder.get(), codec, nullptr) < 0) return false;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (static_cast<int>(i) != Stream) format->streams[i]->discard = AVDISCARD_ALL;
        return true;
    }
    AVStream* AudioStream() const { return Format->streams[Stream]; }
    bool CdAudio() const {
        return Decoder->ch_layout.nb_channels == 2 && Decoder->sample_rate == CdRate &&
               (Decoder->sample_fmt == AV_SAMPLE_FMT_S16 ||
                Decoder->sample_fmt == AV_SAMPLE_FMT_S16P);
    }
    // A time of the stream as a sample number counted from the stream's start.
    std::int64_t SampleOf(std::int64_t ts) const {
        const AVStream* s = AudioStream();
        if (s->start_time != AV_NOPTS_VALUE) ts -= s->start_time;
        return FF().av_rescale_q(ts, s->time_base, AVRational{1, CdRate});
    }
};

class TFFmpegDecoder : public TImageAudioDecoder {
public:
    explicit TFFmpegDecoder(fs::path path) : FPath(std::move(path)) { FOpen = Reopen(); }
    bool Open() const { return FOpen; }

    // Every sample of the stream, counted by decoding it all.
    std::uint64_t CountSamples() {
        std::uint64_t count = 0;
        while (NextBlock())
            count = FBlockStart + FBlock.size() / FrameBytes;
        return count;
    }

protected:
    bool NextBlock() override {
        for (;;) {
            int result = FF().avcodec_receive_frame(FInput.Decoder.get(), FFrame.get());
            if (result == 0) {
                const bool ok = TakeFrame();
                FF().av_frame_unref(FFrame.get());
                return ok;
            }
            if (result != AVERROR(EAGAIN) || FEnded) return false;
            result = FF().av_read_frame(FInput.Format.get(), FPacket.get());
            if (result < 0) {
                FEnded = true;
                FF().avcodec_send_packet(FInput.Decoder.get(), nullptr);
                continue;
            }
            if (FPacket->stream_index == FInput.Stream &&
                FF().avcodec_send_packet(FInput.Decoder.get(), FPacket.get()) < 0) {
                FF().av_packet_unref(FPacket.get());
                return false; // a damaged packet would leave a gap in the audio
            }
            FF().av_packet_unref(FPacket.get());
        }
    }
    bool SeekTo(std::uint64_t sample) override {
        const AVStream* s = FInput.AudioStream();
        std::int64_t ts = FF().av_rescale_q(static_cast<std::int64_t>(sample),
                                            AVRational{1, CdRate}, s->time_base);
        if (s->start_time != AV_NOPTS_VALUE) ts += s->start_time;
        if (FF().av_seek_frame(FInput.Format.get(), FInput.Stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return Reopen(); // decode from the start instead
        FF().avcodec_flush_buffers(FInput.Decoder.get());
        FEnded = false;
        FPositionKnown = false;
        return true;
    }

private:
    bool Reopen() {
        FInput = TFFmpegInput{};
        FFrame.reset(FF().av_frame_alloc());
        FPacket.reset(FF().av_packet_alloc());
        FEnded = false;
        FNext = 0;
        FPositionKnown = true;
        return FFrame && FPacket && FInput.Open(FPath) && FInput.CdAudio();
    }

    bool TakeFrame() {
        const AVFrame* f = FFrame.get();
        if (f->ch_layout.nb_channels != 2 || f->sample_rate != CdRate) return false;
        std::int64_t start = FNext;
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
            start = FInput.SampleOf(f->best_effort_timestamp);
        } else if (!FPositionKnown) {
            return false; // after a seek only a time stamp says where the block lies
        }
        if (start < 0) return false;
        FPositionKnown = true;
        const auto count = static_cast<std::size_t>(f->nb_samples);
        FBlock.resize(count * FrameBytes);
        if (f->format == AV_SAMPLE_FMT_S16) {
            std::memcpy(FBlock.data(), f->data[0], FBlock.size());
        } else if (f->format == AV_SAMPLE_FMT_S16P) {
            const auto* left = reinterpret_cast<const std::int16_t*>(f->extended_data[0]);
            const auto* right = reinterpret_cast<const std::int16_t*>(f->extended_data[1]);
            std::uint8_t* out = FBlock.data();
            for (std::size_t i = 0; i < count; ++i, out += FrameBytes) {
                PutLe16(out, left[i]);
                PutLe16(out + 2, right[i]);
            }
        } else {
            return false;
        }
        FBlockStart = static_cast<std::uint64_t>(start);
        FNext = start + static_cast<std::int64_t>(count);
        return true;
    }

    fs::path FPath;
    TFFmpegInput FInput;
    TFrame FFrame;
    TPacket FPacket;
    bool FOpen = false;
    bool FEnded = false;
    bool FPositionKnown = true;
    std::int64_t FNext = 0;
};

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TImageFileInfo ProbeWithFFmpeg(const fs::path& path) {
    TFFmpegInput input;
    if (!input.Open(path))
        throw EDiscImage(path.string() +
                         " is not a WAV file, nor an audio file that can be decoded.");
    const AVCodecDescriptor* codec = FF().avcodec_descriptor_get(input.Decoder->codec_id);
    if (!codec || !(codec->props & AV_CODEC_PROP_LOSSLESS))
        throw EDiscImage(path.string() + " holds lossy audio (" +
                         Upper(codec ? codec->name : "unknown") +
                         "); a disc image needs lossless audio: WAV, FLAC, WavPack or APE.");
    if (!input.CdAudio()) NotCdAudio(path);
    const AVStream* s = input.AudioStream();
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        return {0, static_cast<std::uint64_t>(
                       FF().av_rescale_q(s->duration, s->time_base, AVRational{1, CdRate})) *
                       FrameBytes};
    // The container does not say: count what decodes.
    TFFmpegDecoder decoder(path);
    if (!decoder.Open()) throw EDiscImage("Cannot read " + path.string());
    return {0, decoder.CountSamples() * FrameBytes};
}

} // namespace

bool IsRiffWave(std::string_view head) {
    return head.size() >= 12 && head.substr(0, 4) == "RIFF" && head.substr(8, 4) == "WAVE";
}

TImageFileInfo ProbeImageAudio(const fs::path& path, std::string_view head) {
    TImageFileInfo info = IsFlac(head) ? ProbeFlac(path) : ProbeWithFFmpeg(path);
    info.Decoded = true;
    return info;
}

std::unique_ptr<TImageAudioDecoder> OpenImageAudio(const fs::path& path) {
    std::string head(4, '\0');
    {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return nullptr;
        head.resize(std::fread(head.data(), 1, head.size(), file));
        std::fclose(file);
    }
    if (IsFlac(head)) {
        auto decoder = std::make_unique<TFlacDecoder>(path);
        if (decoder->Open()) return decoder;
        return nullptr;
    }
    auto decoder = std::make_unique<TFFmpegDecoder>(path);
    if (decoder->Open()) return decoder;
    return nullptr;
}

bool TImageAudioDecoder::Read(std::uint64_t offset, std::uint8_t* out, std::size_t bytes) {
    bool sought = false;
    while (bytes > 0) {
        const std::uint64_t blockFirst = FBlockStart * FrameBytes;
        const std::uint64_t blockEnd = blockFirst + FBlock.size();
        if (FHaveBlock && offset >= blockFirst && offset < blockEnd) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(bytes, blockEnd - offset));
            std::memcpy(out, FBlock.data() + (offset - blockFirst), n);
            out += n;
            offset += n;
            bytes -= n;
            continue;
        }
        // Reads go forward sector after sector: the next block, or one a little ahead, is
        // decoded to; anything else is sought once, then decoded to.
        const bool ahead =
            FHaveBlock && offset >= blockEnd && (sought || offset - blockEnd < ShortJumpBytes);
        if (!ahead) {
            if (sought) return false;
            FHaveBlock = false;
            if (!SeekTo(offset / FrameBytes)) return false;
            sought = true;
        }
        const bool had = FHaveBlock;
        if (!NextBlock()) {
            FHaveBlock = false;
            return false;
        }
        FHaveBlock = true;
        const std::uint64_t first = FBlockStart * FrameBytes;
        // A block past the bytes asked for, or one that does not move on, means the stream
        // cannot give them.
        if (first > offset || (had && first + FBlock.size() <= blockEnd)) {
            FHaveBlock = false;
            return false;
        }
    }
    return true;
}

} // namespace bw
