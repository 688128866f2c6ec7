// One owner per FFmpeg handle, freed in one place, also on every failure path.
#pragma once

#include "FFmpegApi.h"

#include <memory>
#include <mutex>
#include <string>

namespace bw::media {

struct TCodecContextDeleter {
    void operator()(AVCodecContext* p) const { FF().avcodec_free_context(&p); }
};
struct TFrameDeleter {
    void operator()(AVFrame* p) const { FF().av_frame_free(&p); }
};
struct TPacketDeleter {
    void operator()(AVPacket* p) const { FF().av_packet_free(&p); }
};
struct TSwrDeleter {
    void operator()(SwrContext* p) const { FF().swr_free(&p); }
};
struct TFifoDeleter {
    void operator()(AVAudioFifo* p) const { FF().av_audio_fifo_free(p); }
};
// An I/O context made with avio_alloc_context: its buffer is FFmpeg's to replace, so it is
// freed through the context.
struct TIOContextDeleter {
    void operator()(AVIOContext* p) const {
        if (!p) return;
        FF().av_freep(&p->buffer);
        FF().avio_context_free(&p);
    }
};

// A muxer context; its I/O context is owned apart.
struct TOutputFormatDeleter {
    void operator()(AVFormatContext* p) const { FF().avformat_free_context(p); }
};
// A demuxer context opened with avformat_open_input.
struct TInputFormatDeleter {
    void operator()(AVFormatContext* p) const { FF().avformat_close_input(&p); }
};

using TOutputFormat = std::unique_ptr<AVFormatContext, TOutputFormatDeleter>;
using TInputFormat = std::unique_ptr<AVFormatContext, TInputFormatDeleter>;
using TCodecContext = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
using TFrame = std::unique_ptr<AVFrame, TFrameDeleter>;
using TPacket = std::unique_ptr<AVPacket, TPacketDeleter>;
using TSwr = std::unique_ptr<SwrContext, TSwrDeleter>;
using TFifo = std::unique_ptr<AVAudioFifo, TFifoDeleter>;
using TIOContext = std::unique_ptr<AVIOContext, TIOContextDeleter>;

// What FFmpeg says about damaged input, or about formats it refuses, is not for our users:
// the program reports failures itself. Set once, before the first use of the libraries.
inline void QuietFFmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { FF().av_log_set_level(AV_LOG_FATAL); });
}

// FFmpeg's text for an error code.
inline std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    FF().av_strerror(code, text, sizeof text);
    return text;
}

} // namespace bw::media
