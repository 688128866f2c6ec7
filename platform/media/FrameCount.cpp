#include "FrameCount.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace bw::media {

namespace {

bool LosslessCodec(AVCodecID id) {
    const AVCodecDescriptor* descriptor = FF().avcodec_descriptor_get(id);
    return descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) &&
           !(descriptor->props & AV_CODEC_PROP_LOSSY);
}

// The samples the decoder drops at the start and end of a packet, from its side data.
std::int64_t SkippedSamples(const AVPacket& packet) {
    std::size_t size = 0;
    const std::uint8_t* skip =
        FF().av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!skip || size < 8) return 0;
    return std::int64_t{AV_RL32(skip)} + AV_RL32(skip + 4);
}

// Packet durations in samples, less what the side data drops. -1 when a packet has no
// duration.
std::int64_t CountByPackets(AVFormatContext* format, int stream, int rate) {
    AVStream* s = format->streams[stream];
    TPacket packet(FF().av_packet_alloc());
    if (!packet) return -1;
    std::int64_t frames = 0;
    while (FF().av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            if (packet->duration <= 0) {
                FF().av_packet_unref(packet.get());
                return -1;
            }
            frames += FF().av_rescale_q(packet->duration, s->time_base, AVRational{1, rate}) -
                      SkippedSamples(*packet);
        }
        FF().av_packet_unref(packet.get());
    }
    return std::max<std::int64_t>(frames, 0);
}

std::int64_t CountByDecoding(AVFormatContext* format, int stream, int rate) {
    AVStream* s = format->streams[stream];
    const AVCodec* codec = FF().avcodec_find_decoder(s->codecpar->codec_id);
    if (!codec) return -1;
    TCodecContext decoder(FF().avcodec_alloc_context3(codec));
    if (!decoder || FF().avcodec_parameters_to_context(decoder.get(), s->codecpar) < 0) return -1;
    decoder->pkt_timebase = s->time_base;
    if (FF().avcodec_open2(decoder.get(), codec, nullptr) < 0) return -1;
    TPacket packet(FF().av_packet_alloc());
    TFrame frame(FF().av_frame_alloc());
    if (!packet || !frame) return -1;
    std::int64_t frames = 0;
    bool ended = false;
    for (;;) {
        int result = FF().avcodec_receive_frame(decoder.get(), frame.get());
        if (result == 0) {
            if (frame->sample_rate > 0 && frame->nb_samples > 0)
                frames += FF().av_rescale(frame->nb_samples, rate, frame->sample_rate);
            FF().av_frame_unref(frame.get());
            continue;
        }
        if (result != AVERROR(EAGAIN) || ended) break;
        if (FF().av_read_frame(format, packet.get()) < 0) {
            ended = true;
            FF().avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream) FF().avcodec_send_packet(decoder.get(), packet.get());
        FF().av_packet_unref(packet.get());
    }
    return frames;
}

} // namespace

TFrameCount CountFrames(AVFormatContext* format, int stream, int rate, bool readAhead) {
    TFrameCount count;
    if (!format || stream < 0 || rate <= 0) return count;
    AVStream* s = format->streams[stream];
    const AVCodecParameters* codec = s->codecpar;
    const bool inSamples = s->time_base.num == 1 && s->time_base.den == rate;
    if (LosslessCodec(codec->codec_id) && inSamples && s->duration > 0 &&
        codec->sample_rate == rate) {
        count.Frames = s->duration;
        return count;
    }
    // Only a stream that can be read again from its start is read ahead.
    if (!readAhead || !format->pb || !(format->pb->seekable & AVIO_SEEKABLE_NORMAL)) return count;
    count.ReadPackets = true;
    // MPEG audio packets timed at least as finely as samples carry their exact length, less
    // what a gapless header drops at either end. Other demuxers do not all give the last
    // packet's length the same way (Ogg shortens it and also marks the padding), so their
    // streams are decoded.
    const bool mpegAudio = codec->codec_id == AV_CODEC_ID_MP3 ||
                           codec->codec_id == AV_CODEC_ID_MP2 || codec->codec_id == AV_CODEC_ID_MP1;
    if (mpegAudio && s->time_base.num == 1 && s->time_base.den % rate == 0) {
        count.Frames = CountByPackets(format, stream, rate);
        if (count.Frames >= 0) return count;
        if (FF().avformat_seek_file(format, -1, INT64_MIN, 0, INT64_MAX, AVSEEK_FLAG_BACKWARD) < 0)
            return count;
        FF().avformat_flush(format);
    }
    count.Frames = CountByDecoding(format, stream, rate);
    return count;
}

} // namespace bw::media
