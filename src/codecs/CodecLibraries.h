// The codec libraries that live as long as the program: the Ogg Vorbis set, libFLAC, libopusenc,
// libsamplerate and our APE encoder. A program makes one TCodecLibraries at start (before any
// window or component) and keeps it to the end. A library that fails to load leaves its flag clear
// and the program goes on; only the components that need it refuse to be created.
#pragma once

namespace bw {

class TCodecLibraries {
public:
    TCodecLibraries();
    ~TCodecLibraries();
    TCodecLibraries(const TCodecLibraries&) = delete;
    TCodecLibraries& operator=(const TCodecLibraries&) = delete;
};

} // namespace bw
