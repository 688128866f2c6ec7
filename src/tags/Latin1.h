// ISO-8859-1, the fixed text encoding of ID3v1 blocks, to and from our UTF-8 strings.
#pragma once

#include <string>
#include <string_view>

namespace bw {

// One byte per character. A character outside ISO-8859-1, and each byte of a malformed UTF-8
// sequence, becomes "?".
std::string Latin1FromUtf8(std::string_view utf8);
std::string Utf8FromLatin1(std::string_view latin1);

} // namespace bw
