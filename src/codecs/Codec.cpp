#include "Codec.h"

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

bool ResolveVorbis(const TSharedLibrary& lib, TVorbisApi& api) {
    return BW_RESOLVE(vorbis_info_init) && BW_RESOLVE(vorbis_comment_init) &&
           BW_RESOLVE(vorbis_comment_add_tag) && BW_RESOLVE(vorbis_analysis_init) &&
           BW_RESOLVE(vorbis_block_init) && BW_RESOLVE(vorbis_analysis_headerout) &&
           BW_RESOLVE(vorbis_analysis_buffer) && BW_RESOLVE(vorbis_analysis_wrote) &&
           BW_RESOLVE(vorbis_analysis_blockout) && BW_RESOLVE(vorbis_analysis) &&
           BW_RESOLVE(vorbis_bitrate_addblock) && BW_RESOLVE(vorbis_bitrate_flushpacket) &&
           BW_RESOLVE(vorbis_block_clear) && BW_RESOLVE(vorbis_dsp_clear) &&
           BW_RESOLVE(vorbis_comment_clear) && BW_RESOLVE(vorbis_info_clear);
}

} // namespace

TLibraryBinding<TVorbisApi>& VorbisLibrary() {
    static TLibraryBinding<TVorbisApi> binding("libvorbis.so.0", ResolveVorbis);
    return binding;
}

} // namespace bw
