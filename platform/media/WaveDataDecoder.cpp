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
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
using TParser = std::unique_ptr<AVCodecParserContext, TParserDeleter>;

const AVCodec* DecoderOf(std::uint16_t tag) {
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tables, tag);
    return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
}

} // namespace

std::optional<TPcmFormat> SuggestPcmFormat(const TWaveFormatRecord& format) {
    if (format.Channels < 1 || format.Channels > 8 || format.SampleRate <= 0 ||
        !DecoderOf(format.FormatTag))
        return std::nullopt;
    return TPcmFormat{format.Channels, format.SampleRate, 16};
}

std::vector<std::uint8_t> DecodeWaveData(const TWaveFormatRecord& format,
                                         std::span<const std::uint8_t> data,
                                         const TPcmFormat& pcm) {
    QuietFFmpeg();
    const AVCodec* codec = DecoderOf(format.FormatTag);
    if (!codec) throw TMediaError("No decoder for WAVE format " + std::to_string(format.FormatTag));
    TCodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder) throw TMediaError("Out of memory");
    decoder->sample_rate = format.SampleRate;
    av_channel_layout_default(&decoder->ch_layout, format.Channels);
    decoder->block_align = format.BlockAlign;
    decoder->bit_rate = format.BitRate;
    std::vector<std::uint8_t> extra(format.Extra);
    if (!extra.empty()) {
        decoder->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!decoder->extradata) throw TMediaError("Out of memory");
        std::copy(extra.begin(), extra.end(), decoder->extradata);
        decoder->extradata_size = static_cast<int>(extra.size());
    }
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw TMediaError("Cannot open the decoder for WAVE format " +
                          std::to_string(format.FormatTag));
    TParser parser(av_parser_init(codec->id));
    TPacket packet(av_packet_alloc());
    TFrame frame(av_frame_alloc());
    if (!packet || !frame) throw TMediaError("Out of memory");

    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, pcm.Channels);
    TSwr swr;
    AVChannelLayout swrLayout{};
    int swrFormat = -1, swrRate = 0;
    std::vector<std::uint8_t> out;
    int otherRate = 0; // the rate of a frame skipped for its rate
    const std::size_t frameBytes = static_cast<std::size_t>(pcm.Channels) * 2;

    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            if (frame->nb_samples > 0 && frame->ch_layout.nb_channels > 0 &&
                frame->sample_rate > 0) {
                // A frame at another rate than the header's is damaged (or the header lies):
                // converting 44.1 kHz frames to the 10^9 Hz a header invents would ask for
                // gigabytes from a small file. Such frames are skipped like broken ones.
                if (frame->sample_rate != pcm.SampleRate) {
                    otherRate = frame->sample_rate;
                    av_frame_unref(frame.get());
                    continue;
                }
                if (!swr || av_channel_layout_compare(&frame->ch_layout, &swrLayout) != 0 ||
                    frame->format != swrFormat || frame->sample_rate != swrRate) {
                    SwrContext* s = nullptr;
                    if (swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, pcm.SampleRate,
                                            &frame->ch_layout,
                                            static_cast<AVSampleFormat>(frame->format),
                                            frame->sample_rate, 0, nullptr) < 0 ||
                        swr_init(s) < 0) {
                        swr_free(&s);
                        av_channel_layout_uninit(&swrLayout);
                        throw TMediaError("Cannot convert the decoded audio");
                    }
                    swr.reset(s);
                    av_channel_layout_uninit(&swrLayout);
                    av_channel_layout_copy(&swrLayout, &frame->ch_layout);
                    swrFormat = frame->format;
                    swrRate = frame->sample_rate;
                }
                int capacity = swr_get_out_samples(swr.get(), frame->nb_samples);
                std::size_t at = out.size();
                if (at + static_cast<std::size_t>(std::max(capacity, 0)) * frameBytes >
                    MaxDecodedBytes)
                    throw TMediaError("its audio is too long for a WAV file");
                out.resize(at + static_cast<std::size_t>(std::max(capacity, 0)) * frameBytes);
                std::uint8_t* dst = out.data() + at;
                int got = swr_convert(swr.get(), &dst, capacity,
                                      const_cast<const std::uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
                out.resize(at + static_cast<std::size_t>(std::max(got, 0)) * frameBytes);
            }
            av_frame_unref(frame.get());
        }
    };
    auto send = [&](AVPacket* p) {
        // A damaged frame is skipped; the decoder resynchronises on the next one.
        avcodec_send_packet(decoder.get(), p);
        drain();
    };

    const std::uint8_t* at = data.data();
    std::size_t left = data.size();
    if (parser) {
        // The parser reads a little past the end of what it is given: feed it padded chunks.
        constexpr std::size_t Chunk = 64 * 1024;
        std::vector<std::uint8_t> padded(Chunk + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        while (left > 0) {
            std::size_t n = std::min(Chunk, left);
            std::copy(at, at + n, padded.begin());
            std::fill(padded.begin() + static_cast<std::ptrdiff_t>(n), padded.end(), 0);
            at += n;
            left -= n;
            const std::uint8_t* p = padded.data();
            int rest = static_cast<int>(n);
            while (rest > 0) {
                std::uint8_t* frameData = nullptr;
                int frameSize = 0;
                int used = av_parser_parse2(parser.get(), decoder.get(), &frameData, &frameSize, p,
                                            rest, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
                if (used < 0) break;
                p += used;
                rest -= used;
                if (frameSize > 0) {
                    packet->data = frameData;
                    packet->size = frameSize;
                    send(packet.get());
                }
                if (used == 0 && frameSize == 0) break;
            }
        }
        // What the parser still holds.
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        av_parser_parse2(parser.get(), decoder.get(), &frameData, &frameSize, nullptr, 0,
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (frameSize > 0) {
            packet->data = frameData;
            packet->size = frameSize;
            send(packet.get());
        }
    } else {
        // No parser: the record's blocks are the packets.
        std::size_t block =
            format.BlockAlign > 0 ? static_cast<std::size_t>(format.BlockAlign) : 4096;
        std::vector<std::uint8_t> padded;
        while (left > 0) {
            std::size_t n = std::min(block, left);
            padded.assign(at, at + n);
            padded.resize(n + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            packet->data = padded.data();
            packet->size = static_cast<int>(n);
            send(packet.get());
            at += n;
            left -= n;
        }
    }
    packet->data = nullptr;
    packet->size = 0;
    send(nullptr);
    av_channel_layout_uninit(&swrLayout);
    if (out.empty() && otherRate != 0)
        throw TMediaError("its header says " + std::to_string(pcm.SampleRate) +
                          " Hz but its audio is " + std::to_string(otherRate) + " Hz");
    return out;
}

} // namespace bw::media
