// The CUE sheet parser must never crash or hang on any text; what it accepts must be a
// consistent layout: tracks rising, extents covering the disc without gaps. The files a
// sheet names for its tracks are read from any text without throwing.
#include "CueSheet.h"
#include "FuzzImageLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        bwfuzz::CheckLayout(bw::ParseCueSheet(text, "/images", bwfuzz::FakeProbe, "f.cue"));
    } catch (const bw::EDiscImage&) {
    }
    for (const auto& file : bw::CueSheetFileTracks(text))
        if (file.Track < 0 || file.Track > 99) __builtin_trap();
    return 0;
}
