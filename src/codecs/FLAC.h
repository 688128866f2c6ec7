// libFLAC, loaded at program start from "libFLAC.so.12".
#pragma once

#include "SharedLibrary.h"

#include <FLAC/stream_encoder.h>

namespace bw {

struct TFLACApi {
    decltype(&::FLAC__stream_encoder_new) stream_encoder_new;
    decltype(&::FLAC__stream_encoder_set_verify) set_verify;
    decltype(&::FLAC__stream_encoder_set_channels) set_channels;
    decltype(&::FLAC__stream_encoder_set_bits_per_sample) set_bits_per_sample;
    decltype(&::FLAC__stream_encoder_set_sample_rate) set_sample_rate;
    decltype(&::FLAC__stream_encoder_set_do_mid_side_stereo) set_do_mid_side_stereo;
    decltype(&::FLAC__stream_encoder_set_loose_mid_side_stereo) set_loose_mid_side_stereo;
    decltype(&::FLAC__stream_encoder_set_blocksize) set_blocksize;
    decltype(&::FLAC__stream_encoder_set_compression_level) set_compression_level;
    decltype(&::FLAC__stream_encoder_set_max_lpc_order) set_max_lpc_order;
    decltype(&::FLAC__stream_encoder_set_qlp_coeff_precision) set_qlp_coeff_precision;
    decltype(&::FLAC__stream_encoder_set_do_qlp_coeff_prec_search) set_do_qlp_coeff_prec_search;
    decltype(&::FLAC__stream_encoder_set_min_residual_partition_order)
        set_min_residual_partition_order;
    decltype(&::FLAC__stream_encoder_set_max_residual_partition_order)
        set_max_residual_partition_order;
    decltype(&::FLAC__stream_encoder_set_do_exhaustive_model_search) set_do_exhaustive_model_search;
    decltype(&::FLAC__stream_encoder_set_total_samples_estimate) set_total_samples_estimate;
    decltype(&::FLAC__stream_encoder_init_stream) init_stream;
    decltype(&::FLAC__stream_encoder_process_interleaved) process_interleaved;
    decltype(&::FLAC__stream_encoder_finish) finish;
    decltype(&::FLAC__stream_encoder_delete) stream_encoder_delete;
};

TLibraryBinding<TFLACApi>& FLACLibrary();

} // namespace bw
