#include "MediaReader.h"

#include "FrameCount.h"
#include "MediaError.h"
#include "MediaIOContext.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace bw::media {

namespace {

// GUIDs as they are stored: the first three fields little-endian.
constexpr std::uint8_t AsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t ContentEncryptionGuid[16] = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
                                                    0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};
constexpr std::uint8_t ExtendedContentEncryptionGuid[16] = {
    0x14, 0xE6, 0x8A, 0x29, 0x22, 0x26, 0x17, 0x4C, 0xB9, 0x35, 0xDA, 0xE0, 0x7E, 0xE9, 0x28, 0x9C};
constexpr std::size_t AsfHeaderPeek = 256 * 1024;

std::uint64_t Le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// The keys FFmpeg's demuxers give each attribute, in order of preference.
std::vector<const char*> KeysOf(const std::string& name) {
    if (name == "Author") return {"artist", "author", "Author"};
    if (name == "Title") return {"title"};
    if (name == "WM/AlbumTitle") return {"album", "WM/AlbumTitle"};
    if (name == "WM/Genre") return {"genre", "WM/Genre"};
    if (name == "WM/Track") return {"track", "WM/TrackNumber", "WM/Track"};
    if (name == "WM/Year") return {"WM/Year", "date", "year"};
    if (name == "Copyright") return {"copyright"};
    return {name.c_str()};
}

} // namespace

bool AsfHeaderProtected(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 30 || std::memcmp(bytes.data(), AsfHeaderGuid, 16) != 0) return false;
    std::uint64_t end = std::min<std::uint64_t>(Le64(bytes.data() + 16), bytes.size());
    std::uint64_t at = 30;
    while (at + 24 <= end) {
        const std::uint8_t* object = bytes.data() + at;
        if (std::memcmp(object, ContentEncryptionGuid, 16) == 0 ||
            std::memcmp(object, ExtendedContentEncryptionGuid, 16) == 0)
            return true;
        std::uint64_t size = Le64(object + 16);
        if (size < 24 || size > end - at) break;
        at += size;
    }
    return false;
}

TMediaReader::TMediaReader(TMediaIO& io) : FIO(io) {}

TMediaReader::~TMediaReader() {
    if (const TFFmpegApi* ff = FFIfLoaded()) ff->av_channel_layout_uninit(&FSwrLayout);
}

bool TMediaReader::Open(bool countFrames) {
    // Protected content is recognised from the header bytes before FFmpeg sees them.
    std::int64_t origin = FIO.Seek(0, SEEK_CUR);
    if (origin >= 0) {
        std::vector<std::uint8_t> head(30);
        std::size_t have = 0;
        auto fill = [&] {
            while (have < head.size()) {
                int got = FIO.Read(head.data() + have, static_cast<int>(head.size() - have));
                if (got <= 0) break;
                have += static_cast<std::size_t>(got);
            }
            head.resize(have);
        };
        fill();
        // Only an ASF header is read on, and no further than its own end.
        if (have == 30 && std::memcmp(head.data(), AsfHeaderGuid, 16) == 0) {
            head.resize(static_cast<std::size_t>(
                std::clamp<std::uint64_t>(Le64(head.data() + 16), 30, AsfHeaderPeek)));
            fill();
        }
        FProtected = AsfHeaderProtected(head);
        // Nothing of it can be decoded; the caller only needs to know why.
        if (FProtected) return true;
        if (FIO.Seek(origin, SEEK_SET) < 0) return false;
    }
    if (!OpenFormat()) return false;
    FFrame.reset(FF().av_frame_alloc());
    FPacket.reset(FF().av_packet_alloc());
    if (!FFrame || !FPacket) return false;
    if (!OpenAudio()) return true;
    // The true length: what the decoder will give, delay and padding removed.
    TFrameCount count = CountFrames(FFormat.get(), FStream, FSampleRate, countFrames);
    FFrames = count.Frames;
    if (FFrames >= 0) FDuration = FF().av_rescale(FFrames, 10000000, FSampleRate);
    if (count.ReadPackets) {
        // Read again from the start, with a demuxer as fresh as the first.
        FFormat.reset();
        FIOContext.reset();
        if (FIO.Seek(origin, SEEK_SET) < 0 || !OpenFormat()) {
            FDecoder.reset();
            return false;
        }
        DiscardOtherStreams();
    }
    return true;
}

bool TMediaReader::OpenFormat() {
    FIOContext = MakeIOContext(FIO, false);
    AVFormatContext* format = FF().avformat_alloc_context();
    if (!format) return false;
    format->pb = FIOContext.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context itself.
    if (FF().avformat_open_input(&format, nullptr, nullptr, nullptr) < 0) return false;
    FFormat.reset(format);
    return FF().avformat_find_stream_info(FFormat.get(), nullptr) >= 0 &&
           (FStream < 0 || FStream < static_cast<int>(FFormat->nb_streams));
}

void TMediaReader::DiscardOtherStreams() {
    // Other streams are not read at all.
    for (unsigned i = 0; i < FFormat->nb_streams; ++i)
        if (static_cast<int>(i) != FStream) FFormat->streams[i]->discard = AVDISCARD_ALL;
}

bool TMediaReader::OpenAudio() {
    const AVCodec* codec = nullptr;
    int stream = FF().av_find_best_stream(FFormat.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return false;
    AVStream* s = FFormat->streams[stream];
    TCodecContext decoder(FF().avcodec_alloc_context3(codec));
    if (!decoder || FF().avcodec_parameters_to_context(decoder.get(), s->codecpar) < 0)
        return false;
    decoder->pkt_timebase = s->time_base;
    if (FF().avcodec_open2(decoder.get(), codec, nullptr) < 0) return false;
    int channels = decoder->ch_layout.nb_channels;
    if (channels < 1 || decoder->sample_rate <= 0) return false;
    FDecoder = std::move(decoder);
    FStream = stream;
    // What the encoders can hold; a stream of more channels is mixed down by FFmpeg.
    FChannels = channels <= MaxChannels ? channels : 2;
    const AVChannelLayout& layout = FDecoder->ch_layout;
    FChannelMask =
        FChannels == channels && layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    FSampleRate = FDecoder->sample_rate;
    // Lossless sources of more than 16 bits keep their resolution, up to the 24 bits the
    // pipeline carries; everything else is handed out as 16-bit samples.
    const AVCodecDescriptor* descriptor = FF().avcodec_descriptor_get(codec->id);
    bool lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) &&
                    !(descriptor->props & AV_CODEC_PROP_LOSSY);
    int sourceBits = std::max(s->codecpar->bits_per_raw_sample, FDecoder->bits_per_raw_sample);
    bool wide = FF().av_get_bytes_per_sample(FDecoder->sample_fmt) > 2;
    FBits = lossless && (sourceBits > 16 || (sourceBits <= 0 && wide)) ? 24 : 16;
    DiscardOtherStreams();
    if (FFormat->duration != AV_NOPTS_VALUE && FFormat->duration > 0)
        FDuration = FF().av_rescale(FFormat->duration, 10000000, AV_TIME_BASE);
    return true;
}

std::string TMediaReader::Attribute(const std::string& name) const {
    if (!FFormat) return {};
    for (const char* key : KeysOf(name)) {
        for (AVDictionary* metadata :
             {FFormat->metadata, FStream >= 0 ? FFormat->streams[FStream]->metadata : nullptr}) {
            const AVDictionaryEntry* entry =
                FF().av_dict_get(metadata, key, nullptr, AV_DICT_MATCH_CASE);
            if (entry && entry->value && *entry->value) return entry->value;
        }
    }
    return {};
}

bool TMediaReader::Convert(AVFrame* frame, const std::uint8_t*& data, std::size_t& size) {
    if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels < 1 || frame->sample_rate <= 0)
        return false;
    if (!FSwr || FF().av_channel_layout_compare(&frame->ch_layout, &FSwrLayout) != 0 ||
        frame->format != FSwrFormat || frame->sample_rate != FSwrRate) {
        // The frame's own channels where they are kept, so that nothing is remixed.
        AVChannelLayout out{};
        if (frame->ch_layout.nb_channels == FChannels)
            FF().av_channel_layout_copy(&out, &frame->ch_layout);
        else
            FF().av_channel_layout_default(&out, FChannels);
        SwrContext* swr = nullptr;
        int result = FF().swr_alloc_set_opts2(
            &swr, &out, FBits == 24 ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16, FSampleRate,
            &frame->ch_layout, static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
            nullptr);
        FF().av_channel_layout_uninit(&out);
        FSwr.reset(swr);
        if (result < 0 || FF().swr_init(FSwr.get()) < 0) {
            FSwr.reset();
            return false;
        }
        FF().av_channel_layout_uninit(&FSwrLayout);
        FF().av_channel_layout_copy(&FSwrLayout, &frame->ch_layout);
        FSwrFormat = frame->format;
        FSwrRate = frame->sample_rate;
    }
    int capacity = FF().swr_get_out_samples(FSwr.get(), frame->nb_samples);
    if (capacity <= 0) return false;
    const std::size_t converted = FBits == 24 ? 4 : 2; // bytes of a sample out of swresample
    FOut.resize(static_cast<std::size_t>(capacity) * FChannels * converted);
    std::uint8_t* out = FOut.data();
    int frames =
        FF().swr_convert(FSwr.get(), &out, capacity,
                         const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (frames <= 0) return false;
    if (FBits == 24) {
        // The top three bytes of each 32-bit sample, packed in place.
        std::size_t samples = static_cast<std::size_t>(frames) * FChannels;
        for (std::size_t i = 0; i < samples; ++i)
            std::memmove(FOut.data() + i * 3, FOut.data() + i * 4 + 1, 3);
    }
    std::size_t frameBytes = static_cast<std::size_t>(FChannels) * (FBits / 8);
    std::size_t skip = 0;
    // After a seek, the frames before the time asked for are dropped.
    std::int64_t start = FNextFrame;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        start = FF().av_rescale_q(frame->best_effort_timestamp,
                                  FFormat->streams[FStream]->time_base, AVRational{1, FSampleRate});
    FNextFrame = start + frames;
    if (FSkipTo >= 0) {
        if (start + frames <= FSkipTo) return false;
        if (start < FSkipTo) skip = static_cast<std::size_t>(FSkipTo - start);
        FSkipTo = -1;
    }
    data = FOut.data() + skip * frameBytes;
    size = (static_cast<std::size_t>(frames) - skip) * frameBytes;
    return true;
}

bool TMediaReader::NextSample(const std::uint8_t*& data, std::size_t& size) {
    if (!FDecoder) return false;
    for (;;) {
        int result = FF().avcodec_receive_frame(FDecoder.get(), FFrame.get());
        if (result == 0) {
            bool got = Convert(FFrame.get(), data, size);
            FF().av_frame_unref(FFrame.get());
            if (got) return true;
            continue;
        }
        if (result != AVERROR(EAGAIN)) return false; // the end, or a decoder that gave up
        if (FInputEnded) return false;
        result = FF().av_read_frame(FFormat.get(), FPacket.get());
        if (result < 0) {
            FInputEnded = true;
            FF().avcodec_send_packet(FDecoder.get(), nullptr);
            continue;
        }
        if (FPacket->stream_index == FStream) {
            // A damaged packet is skipped; the decoder resynchronises on the next one.
            FF().avcodec_send_packet(FDecoder.get(), FPacket.get());
        }
        FF().av_packet_unref(FPacket.get());
    }
}

bool TMediaReader::SetRange(std::int64_t start) {
    if (!FDecoder) return false;
    if (!(FFormat->pb->seekable & AVIO_SEEKABLE_NORMAL)) return false;
    AVStream* s = FFormat->streams[FStream];
    std::int64_t ts =
        FF().av_rescale_q(std::max<std::int64_t>(start, 0), AVRational{1, 10000000}, s->time_base);
    if (s->start_time != AV_NOPTS_VALUE) ts += s->start_time;
    if (FF().avformat_seek_file(FFormat.get(), FStream, INT64_MIN, ts, ts, 0) < 0) return false;
    FF().avcodec_flush_buffers(FDecoder.get());
    FInputEnded = false;
    FSkipTo = FF().av_rescale_q(ts, s->time_base, AVRational{1, FSampleRate});
    FNextFrame = FSkipTo;
    return true;
}

} // namespace bw::media
