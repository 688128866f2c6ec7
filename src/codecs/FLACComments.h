// The Vorbis comment metadata block that the FLAC output writes in place of the library's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bw {

constexpr const char* FLACVendorString = "VENDOR=Hacked";

// The block with its 4-byte header: type 4 (bit 7 set when IsLast), 24-bit big-endian body
// length, the vendor string and the comments (UTF-8 "name=value"), little-endian lengths.
// Comments that would push the body past the 24-bit length field are left out, so the block
// never corrupts the stream.
std::vector<std::uint8_t> BuildFLACCommentBlock(bool IsLast,
                                                const std::vector<std::string>& comments);

} // namespace bw
