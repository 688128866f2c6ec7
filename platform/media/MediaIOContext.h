// An FFmpeg I/O context over a TMediaIO, with read, write and seek callbacks.
#pragma once

#include "FFmpegOwners.h"
#include "MediaIO.h"

namespace bw::media {

// For reading (write false) or writing. The TMediaIO must outlive the context.
TIOContext MakeIOContext(TMediaIO& io, bool write);

} // namespace bw::media
