// LAME, loaded from "libmp3lame.so.0" by the first MP3 output and released with the last.
#pragma once

#include "SharedLibrary.h"

#include <lame/lame.h>

namespace bw {

struct TLameApi {
    decltype(&::lame_init) lame_init;
    decltype(&::lame_set_num_samples) lame_set_num_samples;
    decltype(&::lame_set_in_samplerate) lame_set_in_samplerate;
    decltype(&::lame_set_num_channels) lame_set_num_channels;
    decltype(&::lame_set_out_samplerate) lame_set_out_samplerate;
    decltype(&::lame_set_mode) lame_set_mode;
    decltype(&::lame_set_copyright) lame_set_copyright;
    decltype(&::lame_set_original) lame_set_original;
    decltype(&::lame_set_error_protection) lame_set_error_protection;
    decltype(&::lame_set_brate) lame_set_brate;
    decltype(&::lame_set_quality) lame_set_quality;
    decltype(&::lame_set_bWriteVbrTag) lame_set_bWriteVbrTag;
    decltype(&::lame_set_VBR) lame_set_VBR;
    decltype(&::lame_set_VBR_q) lame_set_VBR_q;
    decltype(&::lame_set_VBR_min_bitrate_kbps) lame_set_VBR_min_bitrate_kbps;
    decltype(&::lame_set_VBR_max_bitrate_kbps) lame_set_VBR_max_bitrate_kbps;
    decltype(&::lame_init_params) lame_init_params;
    decltype(&::lame_encode_buffer_interleaved) lame_encode_buffer_interleaved;
    decltype(&::id3tag_init) id3tag_init;
    decltype(&::lame_encode_flush) lame_encode_flush;
    decltype(&::lame_close) lame_close;
    decltype(&::lame_get_lametag_frame) lame_get_lametag_frame;
};

TLibraryBinding<TLameApi>& LameLibrary();

// Returns at once when loaded; otherwise tries to load. The result is LameLoaded().
void LoadLameLibrary();
void UnloadLameLibrary();
bool LameLoaded();

// One MP3 output's claim on the library: the first claim loads it, the last release unloads
// it, so the library stays while any output may still encode.
class TLameUse {
public:
    TLameUse();
    ~TLameUse();
    TLameUse(const TLameUse&) = delete;
    TLameUse& operator=(const TLameUse&) = delete;
};

} // namespace bw
