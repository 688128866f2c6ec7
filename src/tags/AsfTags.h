// Windows Media (ASF) attributes: the fields under the names MusicBrainz's tagger writes,
// several values as several attributes.
#pragma once

#include "FileTags.h"

namespace TagLib::ASF {
class Tag;
}

namespace bw {

void WriteAsf(TagLib::ASF::Tag& Tag, const TFileTags& Tags);
void ReadAsf(const TagLib::ASF::Tag& Tag, TFileTags& Tags);

} // namespace bw
