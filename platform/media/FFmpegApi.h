// FFmpeg's libraries, loaded on first use rather than when the program starts: they and the
// libraries they pull in are most of what the program would otherwise load (and relocate)
// before main, a cost every command paid, also those that never decode with FFmpeg.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

// Every entry point the program calls, with the library that exports it.
#define BW_FFMPEG_ENTRY_POINTS(X)                                                                  \
    X(avutil, av_audio_fifo_alloc)                                                                 \
    X(avutil, av_audio_fifo_free)                                                                  \
    X(avutil, av_audio_fifo_read)                                                                  \
    X(avutil, av_audio_fifo_realloc)                                                               \
    X(avutil, av_audio_fifo_size)                                                                  \
    X(avutil, av_audio_fifo_write)                                                                 \
    X(avutil, av_channel_layout_compare)                                                           \
    X(avutil, av_channel_layout_from_mask)                                                         \
    X(avutil, av_channel_layout_copy)                                                              \
    X(avutil, av_channel_layout_default)                                                           \
    X(avutil, av_channel_layout_uninit)                                                            \
    X(avutil, av_dict_get)                                                                         \
    X(avutil, av_dict_set)                                                                         \
    X(avutil, av_frame_alloc)                                                                      \
    X(avutil, av_frame_free)                                                                       \
    X(avutil, av_frame_get_buffer)                                                                 \
    X(avutil, av_frame_unref)                                                                      \
    X(avutil, av_free)                                                                             \
    X(avutil, av_freep)                                                                            \
    X(avutil, av_get_bytes_per_sample)                                                             \
    X(avutil, av_log_set_level)                                                                    \
    X(avutil, av_malloc)                                                                           \
    X(avutil, av_mallocz)                                                                          \
    X(avutil, av_rescale)                                                                          \
    X(avutil, av_rescale_q)                                                                        \
    X(avutil, av_samples_set_silence)                                                              \
    X(avutil, av_strerror)                                                                         \
    X(swresample, swr_alloc_set_opts2)                                                             \
    X(swresample, swr_convert)                                                                     \
    X(swresample, swr_free)                                                                        \
    X(swresample, swr_get_out_samples)                                                             \
    X(swresample, swr_init)                                                                        \
    X(avcodec, av_packet_alloc)                                                                    \
    X(avcodec, av_packet_free)                                                                     \
    X(avcodec, av_packet_get_side_data)                                                            \
    X(avcodec, av_packet_rescale_ts)                                                               \
    X(avcodec, av_packet_unref)                                                                    \
    X(avcodec, av_parser_close)                                                                    \
    X(avcodec, av_parser_init)                                                                     \
    X(avcodec, av_parser_parse2)                                                                   \
    X(avcodec, avcodec_alloc_context3)                                                             \
    X(avcodec, avcodec_descriptor_get)                                                             \
    X(avcodec, avcodec_find_decoder)                                                               \
    X(avcodec, avcodec_find_encoder_by_name)                                                       \
    X(avcodec, avcodec_flush_buffers)                                                              \
    X(avcodec, avcodec_free_context)                                                               \
    X(avcodec, avcodec_open2)                                                                      \
    X(avcodec, avcodec_parameters_from_context)                                                    \
    X(avcodec, avcodec_parameters_to_context)                                                      \
    X(avcodec, avcodec_receive_frame)                                                              \
    X(avcodec, avcodec_receive_packet)                                                             \
    X(avcodec, avcodec_send_frame)                                                                 \
    X(avcodec, avcodec_send_packet)                                                                \
    X(avformat, av_codec_get_id)                                                                   \
    X(avformat, av_find_best_stream)                                                               \
    X(avformat, av_read_frame)                                                                     \
    X(avformat, av_seek_frame)                                                                     \
    X(avformat, av_write_frame)                                                                    \
    X(avformat, av_write_trailer)                                                                  \
    X(avformat, avformat_alloc_context)                                                            \
    X(avformat, avformat_alloc_output_context2)                                                    \
    X(avformat, avformat_close_input)                                                              \
    X(avformat, avformat_find_stream_info)                                                         \
    X(avformat, avformat_flush)                                                                    \
    X(avformat, avformat_free_context)                                                             \
    X(avformat, avformat_get_riff_audio_tags)                                                      \
    X(avformat, avformat_new_stream)                                                               \
    X(avformat, avformat_open_input)                                                               \
    X(avformat, avformat_seek_file)                                                                \
    X(avformat, avformat_write_header)                                                             \
    X(avformat, avio_alloc_context)                                                                \
    X(avformat, avio_context_free)                                                                 \
    X(avformat, avio_flush)

namespace bw::media {

struct TFFmpegApi {
#define BW_FFMPEG_SLOT(library, name) decltype(&::name) name = nullptr;
    BW_FFMPEG_ENTRY_POINTS(BW_FFMPEG_SLOT)
#undef BW_FFMPEG_SLOT
};

// The entry points, the libraries loaded on the first call (from any thread). Throws
// TMediaError naming what is missing when a library or an entry point cannot be found.
const TFFmpegApi& FF();
// The entry points when they have been loaded; null otherwise, never loading nor throwing
// (for destructors, which may run after a failed load).
const TFFmpegApi* FFIfLoaded() noexcept;

} // namespace bw::media
