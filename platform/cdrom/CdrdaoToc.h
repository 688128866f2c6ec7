// cdrdao TOC files name their data files relative to the TOC file, but libcdio looks
// for them relative to the working folder. Rewriting the names as absolute paths lets
// an image be named from anywhere.
#pragma once

#include <string>

namespace bw {

// The TOC text with every relative file name of a FILE, AUDIOFILE or DATAFILE statement
// prefixed by folder (which ends in "/"). Other text, including comments, stays as it is.
std::string AbsoluteTocFileNames(const std::string& text, const std::string& folder);

} // namespace bw
