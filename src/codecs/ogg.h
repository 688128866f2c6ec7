// libogg, loaded at program start from "libogg.so.0".
#pragma once

#include "SharedLibrary.h"

#include <ogg/ogg.h>

namespace bw {

struct TOggApi {
    decltype(&::ogg_stream_init) ogg_stream_init;
    decltype(&::ogg_stream_packetin) ogg_stream_packetin;
    decltype(&::ogg_stream_pageout) ogg_stream_pageout;
    decltype(&::ogg_stream_flush) ogg_stream_flush;
    decltype(&::ogg_page_eos) ogg_page_eos;
    decltype(&::ogg_stream_clear) ogg_stream_clear;
};

TLibraryBinding<TOggApi>& OggLibrary();

} // namespace bw
