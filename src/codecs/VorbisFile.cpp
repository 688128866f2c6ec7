#include "VorbisFile.h"

namespace bw {

TLibraryBinding<TVorbisFileApi>& VorbisFileLibrary() {
    static TLibraryBinding<TVorbisFileApi> binding(
        "libvorbisfile.so.3", [](const TSharedLibrary&, TVorbisFileApi&) { return true; });
    return binding;
}

} // namespace bw
