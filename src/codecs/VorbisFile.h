// libvorbisfile, loaded at program start from "libvorbisfile.so.3". The Ogg Vorbis output
// requires it although it calls none of its functions.
#pragma once

#include "SharedLibrary.h"

namespace bw {

struct TVorbisFileApi {};

TLibraryBinding<TVorbisFileApi>& VorbisFileLibrary();

} // namespace bw
