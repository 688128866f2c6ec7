#include "CodecLibraries.h"

#include "Codec.h"
#include "FLAC.h"
#include "MACLibrary.h"
#include "OpusEnc.h"
#include "VorbisEnc.h"
#include "VorbisFile.h"
#include "libsamplerate.h"
#include "ogg.h"

#include <fenv.h>

namespace bw {

TCodecLibraries::TCodecLibraries() {
    // Codec arithmetic must never trap.
    fedisableexcept(FE_ALL_EXCEPT);
    OggLibrary().Load();
    VorbisLibrary().Load();
    VorbisFileLibrary().Load();
    VorbisEncLibrary().Load();
    FLACLibrary().Load();
    OpusEncLibrary().Load();
    LoadSampleRateLibrary();
    LoadMACLibrary();
}

TCodecLibraries::~TCodecLibraries() {
    UnloadMACLibrary();
    UnloadSampleRateLibrary();
    OpusEncLibrary().Unload();
    FLACLibrary().Unload();
    VorbisEncLibrary().Unload();
    VorbisFileLibrary().Unload();
    VorbisLibrary().Unload();
    OggLibrary().Unload();
}

} // namespace bw
