#include "ogg.h"

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

bool ResolveOgg(const TSharedLibrary& lib, TOggApi& api) {
    return BW_RESOLVE(ogg_stream_init) && BW_RESOLVE(ogg_stream_packetin) &&
           BW_RESOLVE(ogg_stream_pageout) && BW_RESOLVE(ogg_stream_flush) &&
           BW_RESOLVE(ogg_page_eos) && BW_RESOLVE(ogg_stream_clear);
}

} // namespace

TLibraryBinding<TOggApi>& OggLibrary() {
    static TLibraryBinding<TOggApi> binding("libogg.so.0", ResolveOgg);
    return binding;
}

} // namespace bw
