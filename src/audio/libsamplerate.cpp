#include "libsamplerate.h"

namespace bw {

namespace {

bool ResolveSampleRate(const TSharedLibrary& lib, TSampleRateApi& api) {
    return lib.Resolve(api.src_new, "src_new") && lib.Resolve(api.src_delete, "src_delete") &&
           lib.Resolve(api.src_process, "src_process") &&
           lib.Resolve(api.src_is_valid_ratio, "src_is_valid_ratio") &&
           lib.Resolve(api.src_strerror, "src_strerror") &&
           lib.Resolve(api.src_short_to_float_array, "src_short_to_float_array");
}

} // namespace

TLibraryBinding<TSampleRateApi>& SampleRateLibrary() {
    static TLibraryBinding<TSampleRateApi> binding("libsamplerate.so.0", ResolveSampleRate);
    return binding;
}

bool LoadSampleRateLibrary() {
    return SampleRateLibrary().Load();
}
void UnloadSampleRateLibrary() {
    SampleRateLibrary().Unload();
}
bool SampleRateLoaded() {
    return SampleRateLibrary().Loaded();
}

} // namespace bw
