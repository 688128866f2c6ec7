#include "FFmpegApi.h"

#include "MediaError.h"

#include <atomic>
#include <dlfcn.h>

#include <string>

namespace bw::media {

// The file names the libraries are loaded by; the package's dependencies are found from
// them. A new FFmpeg needs them updated.
static_assert(LIBAVUTIL_VERSION_MAJOR == 57 && LIBSWRESAMPLE_VERSION_MAJOR == 4 &&
                  LIBAVCODEC_VERSION_MAJOR == 59 && LIBAVFORMAT_VERSION_MAJOR == 59,
              "the FFmpeg library names below follow the headers' major versions");

namespace {

struct TLoaded {
    TFFmpegApi Api;
    std::string Error; // why FFmpeg cannot be used; empty when it can
};

TLoaded Load() {
    TLoaded loaded;
    // Loaded for the program's whole life, in dependency order.
    void* avutil = dlopen("libavutil.so.57", RTLD_NOW | RTLD_LOCAL);
    void* swresample = dlopen("libswresample.so.4", RTLD_NOW | RTLD_LOCAL);
    void* avcodec = dlopen("libavcodec.so.59", RTLD_NOW | RTLD_LOCAL);
    void* avformat = dlopen("libavformat.so.59", RTLD_NOW | RTLD_LOCAL);
    if (!avutil || !swresample || !avcodec || !avformat) {
        const char* why = dlerror();
        loaded.Error = std::string("FFmpeg's libraries could not be loaded: ") +
                       (why ? why : "unknown reason");
        return loaded;
    }
#define BW_FFMPEG_RESOLVE(library, name)                                                           \
    loaded.Api.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                  \
    if (!loaded.Api.name && loaded.Error.empty())                                                  \
        loaded.Error = "FFmpeg's libraries could not be loaded: " #library " lacks " #name;
    BW_FFMPEG_ENTRY_POINTS(BW_FFMPEG_RESOLVE)
#undef BW_FFMPEG_RESOLVE
    return loaded;
}

} // namespace

namespace {
std::atomic<const TFFmpegApi*> Usable{nullptr};
} // namespace

const TFFmpegApi& FF() {
    static const TLoaded loaded = Load();
    if (!loaded.Error.empty()) throw TMediaError(loaded.Error);
    Usable.store(&loaded.Api, std::memory_order_release);
    return loaded.Api;
}

const TFFmpegApi* FFIfLoaded() noexcept {
    return Usable.load(std::memory_order_acquire);
}

} // namespace bw::media
