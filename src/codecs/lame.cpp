#include "lame.h"

#include <mutex>

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

bool ResolveLame(const TSharedLibrary& lib, TLameApi& api) {
    return BW_RESOLVE(lame_init) && BW_RESOLVE(lame_set_num_samples) &&
           BW_RESOLVE(lame_set_in_samplerate) && BW_RESOLVE(lame_set_num_channels) &&
           BW_RESOLVE(lame_set_out_samplerate) && BW_RESOLVE(lame_set_mode) &&
           BW_RESOLVE(lame_set_copyright) && BW_RESOLVE(lame_set_original) &&
           BW_RESOLVE(lame_set_error_protection) && BW_RESOLVE(lame_set_brate) &&
           BW_RESOLVE(lame_set_quality) && BW_RESOLVE(lame_set_bWriteVbrTag) &&
           BW_RESOLVE(lame_set_VBR) && BW_RESOLVE(lame_set_VBR_q) &&
           BW_RESOLVE(lame_set_VBR_min_bitrate_kbps) && BW_RESOLVE(lame_set_VBR_max_bitrate_kbps) &&
           BW_RESOLVE(lame_init_params) && BW_RESOLVE(lame_encode_buffer_interleaved) &&
           BW_RESOLVE(id3tag_init) && BW_RESOLVE(lame_encode_flush) && BW_RESOLVE(lame_close) &&
           BW_RESOLVE(lame_get_lametag_frame);
}

std::mutex UseLock;
int UseCount = 0;

} // namespace

TLibraryBinding<TLameApi>& LameLibrary() {
    static TLibraryBinding<TLameApi> binding("libmp3lame.so.0", ResolveLame);
    return binding;
}

void LoadLameLibrary() {
    LameLibrary().Load();
}
void UnloadLameLibrary() {
    LameLibrary().Unload();
}
bool LameLoaded() {
    return LameLibrary().Loaded();
}

TLameUse::TLameUse() {
    std::lock_guard lock(UseLock);
    ++UseCount;
    LoadLameLibrary();
}

TLameUse::~TLameUse() {
    std::lock_guard lock(UseLock);
    if (--UseCount == 0) UnloadLameLibrary();
}

} // namespace bw
