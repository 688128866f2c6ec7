#include "FLAC.h"

#define BW_RESOLVE(field, name) lib.Resolve(api.field, "FLAC__stream_encoder_" #name)

namespace bw {

namespace {

bool ResolveFLAC(const TSharedLibrary& lib, TFLACApi& api) {
    return BW_RESOLVE(stream_encoder_new, new) && BW_RESOLVE(set_verify, set_verify) &&
           BW_RESOLVE(set_channels, set_channels) &&
           BW_RESOLVE(set_bits_per_sample, set_bits_per_sample) &&
           BW_RESOLVE(set_sample_rate, set_sample_rate) &&
           BW_RESOLVE(set_do_mid_side_stereo, set_do_mid_side_stereo) &&
           BW_RESOLVE(set_loose_mid_side_stereo, set_loose_mid_side_stereo) &&
           BW_RESOLVE(set_blocksize, set_blocksize) &&
           BW_RESOLVE(set_compression_level, set_compression_level) &&
           BW_RESOLVE(set_max_lpc_order, set_max_lpc_order) &&
           BW_RESOLVE(set_qlp_coeff_precision, set_qlp_coeff_precision) &&
           BW_RESOLVE(set_do_qlp_coeff_prec_search, set_do_qlp_coeff_prec_search) &&
           BW_RESOLVE(set_min_residual_partition_order, set_min_residual_partition_order) &&
           BW_RESOLVE(set_max_residual_partition_order, set_max_residual_partition_order) &&
           BW_RESOLVE(set_do_exhaustive_model_search, set_do_exhaustive_model_search) &&
           BW_RESOLVE(set_total_samples_estimate, set_total_samples_estimate) &&
           BW_RESOLVE(init_stream, init_stream) &&
           BW_RESOLVE(process_interleaved, process_interleaved) && BW_RESOLVE(finish, finish) &&
           BW_RESOLVE(stream_encoder_delete, delete);
}

} // namespace

TLibraryBinding<TFLACApi>& FLACLibrary() {
    static TLibraryBinding<TFLACApi> binding("libFLAC.so.12", ResolveFLAC);
    return binding;
}

} // namespace bw
