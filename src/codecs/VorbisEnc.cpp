#include "VorbisEnc.h"

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

bool ResolveVorbisEnc(const TSharedLibrary& lib, TVorbisEncApi& api) {
    return BW_RESOLVE(vorbis_encode_init) && BW_RESOLVE(vorbis_encode_setup_vbr) &&
           BW_RESOLVE(vorbis_encode_setup_init);
}

} // namespace

TLibraryBinding<TVorbisEncApi>& VorbisEncLibrary() {
    static TLibraryBinding<TVorbisEncApi> binding("libvorbisenc.so.2", ResolveVorbisEnc);
    return binding;
}

} // namespace bw
