// Every library and format code the program is built on, for the About box and --help.
#pragma once

#include <array>
#include <string>

namespace bw {

struct TLibraryLicence {
    const char* Library;
    const char* Use;
    const char* Licence;
};

// In the order they are listed.
inline constexpr std::array<TLibraryLicence, 17> UsedLibraries = {{
    {"LAME", "MP3 encoding", "GNU LGPL 2.0 or later"},
    {"libogg and libvorbis", "Ogg Vorbis encoding", "BSD 3-clause"},
    {"libFLAC", "FLAC encoding", "BSD 3-clause"},
    {"libopus and libopusenc", "Opus encoding", "BSD 3-clause"},
    {"Monkey's Audio encoder", "APE encoding (Brindlewave's own libMACDll)", "as Brindlewave"},
    {"libsamplerate", "sample-rate conversion", "BSD 2-clause"},
    {"FFmpeg", "WMA encoding, WMA, MP3 and other decoding", "GNU LGPL 2.1 or later"},
    {"libcdio", "CD drive access", "GNU GPL 3 or later"},
    {"libcdio-paranoia", "secure reading of CD drives", "GNU GPL 3 or later"},
    {"libcurl", "CDDB, MusicBrainz, AccurateRip and cover lookups over HTTP",
     "curl licence (MIT/X style)"},
    {"libdiscid", "MusicBrainz disc ids", "GNU LGPL 2.1 or later"},
    {"nlohmann-json", "MusicBrainz replies", "MIT"},
    {"TagLib", "tags of every format", "GNU LGPL 2.1 or MPL 1.1"},
    {"expat", "CUETools database replies", "MIT"},
    {"zlib", "CRC32 checksums", "zlib licence"},
    {"Qt", "the windows and desktop notifications", "GNU LGPL 3"},
    {"libpulse", "CD playback through the sound server", "GNU LGPL 2.1 or later"},
}};

// "Built on: LAME (MP3 encoding), ..." wrapped for a terminal of 80 columns.
inline std::string UsedLibrariesText() {
    std::string text = "Built on:";
    std::size_t column = text.size();
    for (const TLibraryLicence& library : UsedLibraries) {
        std::string item = " ";
        item.append(library.Library).append(" (").append(library.Use).append(")");
        item += &library == &UsedLibraries.back() ? '.' : ',';
        if (column + item.size() > 79) {
            text += "\n ";
            column = 1;
        }
        text += item;
        column += item.size();
    }
    return text + "\n";
}

} // namespace bw
