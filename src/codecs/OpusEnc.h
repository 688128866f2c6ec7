// libopusenc (with libopus beneath it), loaded at program start from "libopusenc.so.0".
#pragma once

#include "SharedLibrary.h"

#include <opusenc.h>

namespace bw {

struct TOpusEncApi {
    decltype(&::ope_comments_create) ope_comments_create;
    decltype(&::ope_comments_add) ope_comments_add;
    decltype(&::ope_comments_destroy) ope_comments_destroy;
    decltype(&::ope_encoder_create_callbacks) ope_encoder_create_callbacks;
    decltype(&::ope_encoder_ctl) ope_encoder_ctl;
    decltype(&::ope_encoder_write_float) ope_encoder_write_float;
    decltype(&::ope_encoder_drain) ope_encoder_drain;
    decltype(&::ope_encoder_destroy) ope_encoder_destroy;
    decltype(&::ope_strerror) ope_strerror;
};

TLibraryBinding<TOpusEncApi>& OpusEncLibrary();

} // namespace bw
