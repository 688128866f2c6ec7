// libvorbisenc, loaded at program start from "libvorbisenc.so.2".
#pragma once

#include "SharedLibrary.h"

#include <vorbis/vorbisenc.h>

namespace bw {

struct TVorbisEncApi {
    decltype(&::vorbis_encode_init) vorbis_encode_init;
    decltype(&::vorbis_encode_setup_vbr) vorbis_encode_setup_vbr;
    decltype(&::vorbis_encode_setup_init) vorbis_encode_setup_init;
};

TLibraryBinding<TVorbisEncApi>& VorbisEncLibrary();

} // namespace bw
