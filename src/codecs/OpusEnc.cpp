#include "OpusEnc.h"

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

bool ResolveOpusEnc(const TSharedLibrary& lib, TOpusEncApi& api) {
    return BW_RESOLVE(ope_comments_create) && BW_RESOLVE(ope_comments_add) &&
           BW_RESOLVE(ope_comments_destroy) && BW_RESOLVE(ope_encoder_create_callbacks) &&
           BW_RESOLVE(ope_encoder_ctl) && BW_RESOLVE(ope_encoder_write_float) &&
           BW_RESOLVE(ope_encoder_drain) && BW_RESOLVE(ope_encoder_destroy) &&
           BW_RESOLVE(ope_strerror);
}

} // namespace

TLibraryBinding<TOpusEncApi>& OpusEncLibrary() {
    static TLibraryBinding<TOpusEncApi> binding("libopusenc.so.0", ResolveOpusEnc);
    return binding;
}

} // namespace bw
