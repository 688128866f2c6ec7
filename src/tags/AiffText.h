// The text chunks of an AIFF file (NAME, AUTH, ANNO), which FFmpeg and older tools write
// instead of, or beside, an ID3 chunk. TagLib reads only the ID3 chunk.
#pragma once

#include <istream>
#include <string>

namespace bw {

struct TAiffText {
    std::string Name, Author, Annotation; // UTF-8; Latin-1 bytes are converted
};

// Walks the chunks of the FORM at the stream's start. Reads only the chunk headers and the
// text chunks (each at most 64 KiB kept), so a file of any size costs a few reads; several
// ANNO chunks are joined by a line break. Anything that is not AIFF gives nothing.
TAiffText ReadAiffText(std::istream& In);

} // namespace bw
