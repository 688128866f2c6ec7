// libsamplerate, loaded at program start from "libsamplerate.so.0".
#pragma once

#include "SharedLibrary.h"

#include <samplerate.h>

namespace bw {

struct TSampleRateApi {
    decltype(&::src_new) src_new;
    decltype(&::src_delete) src_delete;
    decltype(&::src_process) src_process;
    decltype(&::src_is_valid_ratio) src_is_valid_ratio;
    decltype(&::src_strerror) src_strerror;
    decltype(&::src_short_to_float_array) src_short_to_float_array;
};

TLibraryBinding<TSampleRateApi>& SampleRateLibrary();

// Program start and end.
bool LoadSampleRateLibrary();
void UnloadSampleRateLibrary();
bool SampleRateLoaded();

} // namespace bw
