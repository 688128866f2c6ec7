#include "WaveDataDecoder.h"

#include "FFmpegOwners.h"
#include "MediaError.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>

namespace bw::media {

namespace {

struct TParserDeleter {
    void operator()(AVCodecParserContext* p) const { FF().av_parser_close(p); }
};
using TParser = std::unique_ptr<AVCodecParserContext, TParserDeleter>;

const AVCodec* DecoderOf(std::uint16_t tag) {
    const AVCodecTag* const tables[] = {FF().avformat_get_riff_audio_tags(), nullptr};
    AVCodecID id = FF().av_codec_get_id(tables, tag);
    return id == AV_CODEC_ID_NONE ? nullptr : FF().avcodec_find_decoder(id);
}

} // namespace

std::optional<TPcmFormat> SuggestPcmFormat(const TWaveFormatRecord& format) {
    if (format.Channels < 1 || format.Channels > 8 || format.SampleRate <= 0 ||
        !DecoderOf(format.FormatTag))
        return std::nullopt;
    return TPcmFormat{format.Channels, format.SampleRate, 16};
}

struct TWaveDataDecoder::TImpl {
    TPcmFormat Pcm;
    std::size_t BlockBytes = 0; // without a parser: the record's blocks are the packets
    TCodecContext Decoder;
    TParser Parser;
    TPacket Packet;
    TFrame Frame;
    TSwr Swr;
    AVChannelLayout OutLayout{};
    AVChannelLayout SwrLayout{};
    int SwrFormat = -1;
    int SwrRate = 0;
    int OtherRate = 0;                   // the rate of a frame skipped for its rate
    std::uint64_t Kept = 0, Skipped = 0; // frames at the header's rate, and at another
    std::uint64_t Total = 0;             // bytes decoded so far
    std::vector<std::uint8_t> Padded;    // the piece (or block) with the padding FFmpeg reads
    std::vector<std::uint8_t> Carry;     // without a parser: the start of an unfinished block

    ~TImpl() {
        if (const TFFmpegApi* ff = FFIfLoaded()) {
            ff->av_channel_layout_uninit(&SwrLayout);
            ff->av_channel_layout_uninit(&OutLayout);
        }
    }

    void Drain(std::vector<std::uint8_t>& out) {
        const std::size_t frameBytes = static_cast<std::size_t>(Pcm.Channels) * 2;
        AVFrame* frame = Frame.get();
        while (FF().avcodec_receive_frame(Decoder.get(), frame) == 0) {
            if (frame->nb_samples > 0 && frame->ch_layout.nb_channels > 0 &&
                frame->sample_rate > 0) {
                if (frame->sample_rate != Pcm.SampleRate) {
                    OtherRate = frame->sample_rate;
                    ++Skipped;
                    FF().av_frame_unref(frame);
                    continue;
                }
                ++Kept;
                if (!Swr || FF().av_channel_layout_compare(&frame->ch_layout, &SwrLayout) != 0 ||
                    frame->format != SwrFormat || frame->sample_rate != SwrRate)
                    SetUpConverter(frame);
                int capacity = std::max(FF().swr_get_out_samples(Swr.get(), frame->nb_samples), 0);
                if (Total + static_cast<std::uint64_t>(capacity) * frameBytes > MaxDecodedBytes)
                    throw TMediaError("its audio is too long for a WAV file");
                std::size_t at = out.size();
                out.resize(at + static_cast<std::size_t>(capacity) * frameBytes);
                std::uint8_t* dst = out.data() + at;
                int got = FF().swr_convert(Swr.get(), &dst, capacity,
                                           const_cast<const std::uint8_t**>(frame->extended_data),
                                           frame->nb_samples);
                std::size_t bytes = static_cast<std::size_t>(std::max(got, 0)) * frameBytes;
                out.resize(at + bytes);
                Total += bytes;
            }
            FF().av_frame_unref(frame);
        }
    }

    void SetUpConverter(AVFrame* frame) {
        SwrContext* s = nullptr;
        if (FF().swr_alloc_set_opts2(&s, &OutLayout, AV_SAMPLE_FMT_S16, Pcm.SampleRate,
                                     &frame->ch_layout, static_cast<AVSampleFormat>(frame->format),
                                     frame->sample_rate, 0, nullptr) < 0 ||
            FF().swr_init(s) < 0) {
            FF().swr_free(&s);
            throw TMediaError("Cannot convert the decoded audio");
        }
        Swr.reset(s);
        FF().av_channel_layout_uninit(&SwrLayout);
        FF().av_channel_layout_copy(&SwrLayout, &frame->ch_layout);
        SwrFormat = frame->format;
        SwrRate = frame->sample_rate;
    }

    void Send(AVPacket* p, std::vector<std::uint8_t>& out) {
        // A damaged frame is skipped; the decoder resynchronises on the next one.
        FF().avcodec_send_packet(Decoder.get(), p);
        Drain(out);
    }

    void SendBytes(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
        Padded.assign(data, data + size);
        Padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        Packet->data = Padded.data();
        Packet->size = static_cast<int>(size);
        Send(Packet.get(), out);
    }

    void Parse(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out) {
        // The parser reads a little past the end of what it is given.
        Padded.assign(piece.begin(), piece.end());
        Padded.resize(piece.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const std::uint8_t* p = Padded.data();
        int rest = static_cast<int>(piece.size());
        while (rest > 0) {
            std::uint8_t* frameData = nullptr;
            int frameSize = 0;
            int used = FF().av_parser_parse2(Parser.get(), Decoder.get(), &frameData, &frameSize, p,
                                             rest, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) break;
            p += used;
            rest -= used;
            if (frameSize > 0) {
                Packet->data = frameData;
                Packet->size = frameSize;
                Send(Packet.get(), out);
            }
            if (used == 0 && frameSize == 0) break;
        }
    }
};

TWaveDataDecoder::TWaveDataDecoder(const TWaveFormatRecord& format, const TPcmFormat& pcm)
    : F(std::make_unique<TImpl>()) {
    QuietFFmpeg();
    const AVCodec* codec = DecoderOf(format.FormatTag);
    if (!codec) throw TMediaError("No decoder for WAVE format " + std::to_string(format.FormatTag));
    F->Pcm = pcm;
    F->Decoder.reset(FF().avcodec_alloc_context3(codec));
    if (!F->Decoder) throw TMediaError("Out of memory");
    AVCodecContext* decoder = F->Decoder.get();
    decoder->sample_rate = format.SampleRate;
    FF().av_channel_layout_default(&decoder->ch_layout, format.Channels);
    decoder->block_align = format.BlockAlign;
    decoder->bit_rate = format.BitRate;
    if (!format.Extra.empty()) {
        decoder->extradata = static_cast<std::uint8_t*>(
            FF().av_mallocz(format.Extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!decoder->extradata) throw TMediaError("Out of memory");
        std::copy(format.Extra.begin(), format.Extra.end(), decoder->extradata);
        decoder->extradata_size = static_cast<int>(format.Extra.size());
    }
    if (FF().avcodec_open2(decoder, codec, nullptr) < 0)
        throw TMediaError("Cannot open the decoder for WAVE format " +
                          std::to_string(format.FormatTag));
    F->Parser.reset(FF().av_parser_init(codec->id));
    F->Packet.reset(FF().av_packet_alloc());
    F->Frame.reset(FF().av_frame_alloc());
    if (!F->Packet || !F->Frame) throw TMediaError("Out of memory");
    FF().av_channel_layout_default(&F->OutLayout, pcm.Channels);
    F->BlockBytes = format.BlockAlign > 0 ? static_cast<std::size_t>(format.BlockAlign) : 4096;
}

TWaveDataDecoder::~TWaveDataDecoder() = default;

void TWaveDataDecoder::Decode(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out) {
    if (F->Parser) {
        F->Parse(piece, out);
        return;
    }
    std::vector<std::uint8_t>& carry = F->Carry;
    carry.insert(carry.end(), piece.begin(), piece.end());
    std::size_t at = 0;
    for (; carry.size() - at >= F->BlockBytes; at += F->BlockBytes)
        F->SendBytes(carry.data() + at, F->BlockBytes, out);
    carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(at));
}

void TWaveDataDecoder::Finish(std::vector<std::uint8_t>& out) {
    if (F->Parser) {
        // What the parser still holds.
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        FF().av_parser_parse2(F->Parser.get(), F->Decoder.get(), &frameData, &frameSize, nullptr, 0,
                              AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (frameSize > 0) {
            F->Packet->data = frameData;
            F->Packet->size = frameSize;
            F->Send(F->Packet.get(), out);
        }
    } else if (!F->Carry.empty()) {
        F->SendBytes(F->Carry.data(), F->Carry.size(), out); // a short last block
        F->Carry.clear();
    }
    F->Packet->data = nullptr;
    F->Packet->size = 0;
    F->Send(nullptr, out);
    // A damaged frame at another rate is skipped; audio mostly at another rate (a stray sync
    // word at the header's rate among it) is a header that lies.
    if (F->OtherRate != 0 && (F->Total == 0 || F->Skipped > F->Kept))
        throw TMediaError("its header says " + std::to_string(F->Pcm.SampleRate) +
                          " Hz but its audio is " + std::to_string(F->OtherRate) + " Hz");
}

} // namespace bw::media
