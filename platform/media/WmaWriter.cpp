#include "WmaWriter.h"

#include "MediaError.h"
#include "MediaIOContext.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace bw::media {

TWmaWriter::TWmaWriter(TMediaIO& io) : FIO(io) {
    FIOContext = MakeIOContext(FIO, true);
    AVFormatContext* format = nullptr;
    if (FF().avformat_alloc_output_context2(&format, nullptr, "asf", nullptr) < 0 || !format)
        throw TMediaError("FFmpeg has no ASF muxer");
    FFormat.reset(format);
    FFormat->pb = FIOContext.get();
    FFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    FFrame.reset(FF().av_frame_alloc());
    FPacket.reset(FF().av_packet_alloc());
    if (!FFrame || !FPacket) throw TMediaError("Out of memory");
}

TWmaWriter::~TWmaWriter() = default;

void TWmaWriter::Check(int code, const char* what) {
    if (code < 0) throw TMediaError(std::string(what) + ": " + AvErrorText(code));
}

void TWmaWriter::SetProfile(const TWmaCodec& codec, const TWmaFormat& format) {
    const AVCodec* encoder = FF().avcodec_find_encoder_by_name(codec.Encoder.c_str());
    if (!encoder) throw TMediaError("FFmpeg has no " + codec.Encoder + " encoder");
    TCodecContext context(FF().avcodec_alloc_context3(encoder));
    if (!context) throw TMediaError("Out of memory");
    context->bit_rate = format.Bitrate;
    context->sample_rate = format.SampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->time_base = AVRational{1, format.SampleRate};
    FF().av_channel_layout_default(&context->ch_layout, format.Channels);
    if (FFormat->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(FF().avcodec_open2(context.get(), encoder, nullptr), "Cannot open the WMA encoder");
    FStream = FF().avformat_new_stream(FFormat.get(), nullptr);
    if (!FStream) throw TMediaError("Out of memory");
    FStream->time_base = context->time_base;
    Check(FF().avcodec_parameters_from_context(FStream->codecpar, context.get()),
          "Cannot describe the WMA stream");
    FFifo.reset(FF().av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, format.Channels, context->frame_size));
    if (!FFifo) throw TMediaError("Out of memory");
    FEncoder = std::move(context);
}

void TWmaWriter::SetInput(const TPcmFormat& pcm) {
    if (!FEncoder) throw TMediaError("The WMA stream has no format");
    AVSampleFormat sampleFormat;
    switch (pcm.BitsPerSample) {
    case 8:
        sampleFormat = AV_SAMPLE_FMT_U8;
        break;
    case 16:
        sampleFormat = AV_SAMPLE_FMT_S16;
        break;
    case 24:
        sampleFormat = AV_SAMPLE_FMT_S32;
        break;
    default:
        throw TMediaError("Cannot encode " + std::to_string(pcm.BitsPerSample) +
                          "-bit samples into WMA");
    }
    if (pcm.Channels < 1 || pcm.Channels > 2 || pcm.SampleRate <= 0)
        throw TMediaError("Cannot encode this PCM format into WMA");
    AVChannelLayout inLayout;
    FF().av_channel_layout_default(&inLayout, pcm.Channels);
    SwrContext* swr = nullptr;
    Check(FF().swr_alloc_set_opts2(&swr, &FEncoder->ch_layout, AV_SAMPLE_FMT_FLTP,
                                   FEncoder->sample_rate, &inLayout, sampleFormat, pcm.SampleRate,
                                   0, nullptr),
          "Cannot convert the input to the WMA format");
    FSwr.reset(swr);
    Check(FF().swr_init(FSwr.get()), "Cannot convert the input to the WMA format");
    FInput = pcm;
}

void TWmaWriter::SetAttribute(const std::string& name, const std::string& value) {
    // The muxer puts title and copyright into the content description object, where every
    // player looks, only under its own lower-case keys; other names it stores as given.
    std::string key = name == "Title" ? "title" : name == "Copyright" ? "copyright" : name;
    FF().av_dict_set(&FFormat->metadata, key.c_str(), value.c_str(), 0);
}

void TWmaWriter::BeginWriting() {
    if (!FEncoder || !FSwr) throw TMediaError("The WMA stream has no format");
    Check(FF().avformat_write_header(FFormat.get(), nullptr), "Cannot write the file header");
    FBegun = true;
}

void TWmaWriter::WriteSample(const std::uint8_t* data, std::size_t size) {
    if (!FBegun) throw TMediaError("Writing has not begun");
    int frameBytes = FInput.Channels * FInput.BitsPerSample / 8;
    int frames = static_cast<int>(size / static_cast<std::size_t>(frameBytes));
    if (frames == 0) return;
    const std::uint8_t* in = data;
    if (FInput.BitsPerSample == 24) {
        // The resampler has no packed 24-bit format: widen to 32 bits.
        std::size_t count = static_cast<std::size_t>(frames) * FInput.Channels;
        FWide.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = data + 3 * i;
            FWide[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                 static_cast<std::uint32_t>(p[1]) << 16 |
                                                 static_cast<std::uint32_t>(p[2]) << 24);
        }
        in = reinterpret_cast<const std::uint8_t*>(FWide.data());
    }
    int capacity = FF().swr_get_out_samples(FSwr.get(), frames);
    Check(FF().av_audio_fifo_realloc(FFifo.get(), FF().av_audio_fifo_size(FFifo.get()) + capacity),
          "Out of memory");
    // Straight into the FIFO's planes would need its internals; a frame buffer serves.
    FFrame->nb_samples = capacity;
    FFrame->format = AV_SAMPLE_FMT_FLTP;
    FF().av_channel_layout_copy(&FFrame->ch_layout, &FEncoder->ch_layout);
    Check(FF().av_frame_get_buffer(FFrame.get(), 0), "Out of memory");
    int converted = FF().swr_convert(FSwr.get(), FFrame->data, capacity, &in, frames);
    Check(converted, "Cannot convert the input to the WMA format");
    FF().av_audio_fifo_write(FFifo.get(), reinterpret_cast<void**>(FFrame->data), converted);
    FF().av_frame_unref(FFrame.get());
    EncodeFrames(false);
}

void TWmaWriter::EncodeFrames(bool flush) {
    const int frameSize = FEncoder->frame_size;
    while (FF().av_audio_fifo_size(FFifo.get()) >= frameSize ||
           (flush && FF().av_audio_fifo_size(FFifo.get()) > 0)) {
        FFrame->nb_samples = frameSize;
        FFrame->format = AV_SAMPLE_FMT_FLTP;
        FFrame->sample_rate = FEncoder->sample_rate;
        FF().av_channel_layout_copy(&FFrame->ch_layout, &FEncoder->ch_layout);
        Check(FF().av_frame_get_buffer(FFrame.get(), 0), "Out of memory");
        int got =
            FF().av_audio_fifo_read(FFifo.get(), reinterpret_cast<void**>(FFrame->data), frameSize);
        // The encoder takes whole frames only: the last one is completed with silence.
        if (got < frameSize)
            FF().av_samples_set_silence(FFrame->data, got, frameSize - got,
                                        FEncoder->ch_layout.nb_channels, AV_SAMPLE_FMT_FLTP);
        FFrame->pts = FNextPts;
        FNextPts += frameSize;
        Encode(FFrame.get());
        FF().av_frame_unref(FFrame.get());
    }
}

void TWmaWriter::Encode(AVFrame* frame) {
    Check(FF().avcodec_send_frame(FEncoder.get(), frame), "Cannot encode the audio");
    for (;;) {
        int result = FF().avcodec_receive_packet(FEncoder.get(), FPacket.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        Check(result, "Cannot encode the audio");
        FPacket->stream_index = FStream->index;
        FF().av_packet_rescale_ts(FPacket.get(), FEncoder->time_base, FStream->time_base);
        result = FF().av_write_frame(FFormat.get(), FPacket.get());
        FF().av_packet_unref(FPacket.get());
        Check(result, "Cannot write the file");
    }
}

void TWmaWriter::EndWriting() {
    if (!FBegun) throw TMediaError("Writing has not begun");
    // What the resampler still holds, then the last partial frame, then the encoder's delay.
    int pending = FF().swr_get_out_samples(FSwr.get(), 0);
    if (pending > 0) {
        FFrame->nb_samples = pending;
        FFrame->format = AV_SAMPLE_FMT_FLTP;
        FF().av_channel_layout_copy(&FFrame->ch_layout, &FEncoder->ch_layout);
        Check(FF().av_frame_get_buffer(FFrame.get(), 0), "Out of memory");
        int converted = FF().swr_convert(FSwr.get(), FFrame->data, pending, nullptr, 0);
        Check(converted, "Cannot convert the input to the WMA format");
        Check(FF().av_audio_fifo_realloc(FFifo.get(),
                                         FF().av_audio_fifo_size(FFifo.get()) + converted),
              "Out of memory");
        FF().av_audio_fifo_write(FFifo.get(), reinterpret_cast<void**>(FFrame->data), converted);
        FF().av_frame_unref(FFrame.get());
    }
    EncodeFrames(true);
    // The decoder overlaps each frame with the next: without one more frame the end of the
    // last one would never be heard.
    if (FNextPts > 0) {
        std::vector<float> silence(static_cast<std::size_t>(FEncoder->frame_size));
        std::vector<float*> planes(static_cast<std::size_t>(FEncoder->ch_layout.nb_channels),
                                   silence.data());
        FF().av_audio_fifo_write(FFifo.get(), reinterpret_cast<void**>(planes.data()),
                                 FEncoder->frame_size);
        EncodeFrames(true);
    }
    Encode(nullptr);
    Check(FF().av_write_trailer(FFormat.get()), "Cannot complete the file");
    FBegun = false;
    FF().avio_flush(FIOContext.get());
    if (FIOContext->error < 0)
        throw TMediaError("Cannot write the file: " + AvErrorText(FIOContext->error));
}

} // namespace bw::media
