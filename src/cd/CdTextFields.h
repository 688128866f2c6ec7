// The disc fields and titles a disc carries itself, as CD-Text, for discs the title cache
// does not know yet.
#pragma once

#include <string>

#include "CdLibrary.h"

namespace bw {

// The CD-Text of the disc in an open drive (as its latest TOC read found it), with control
// characters made blanks; false when the drive has none to give.
bool ReadDiscCdText(int handle, TCDText& text);

// Loads the disc's entry of the title cache into Settings (LoadSaveDiscInfo) and, when the
// cache does not know the disc, puts its CD-Text in place of the empty fields and the
// "TrackNN" titles. firstTrack is the TOC's first track. True when CD-Text was used.
bool LoadDiscInfoOrCdText(const std::string& DiscKey, int handle, int firstTrack);
// The same with the CD-Text already read (ReadDiscCdText), without asking the drive.
bool LoadDiscInfoOrCdText(const std::string& DiscKey, const TCDText& text, int firstTrack);

} // namespace bw
