// Which disc is in the drive: the key its titles are remembered under, and whether there
// is an audio disc at all. There are no track descriptor files to read a serial from, so a
// disc is known by its CDDB disc id, which depends only on its table of contents.
#pragma once

#include "CdRecords.h"

#include <string>

namespace bw {

// The CDDB disc id of the first drive holding an audio disc, as the decimal text of a
// signed 32-bit number (it may begin with "-"); empty when no drive holds one.
std::string GetDiscKey();

// The key of the disc whose table of contents (read with MSF addresses) this is; empty when
// it has no audio track.
std::string DiscKeyOfTOC(const TTOC& toc);

class TCutOff;

// The key of the audio disc in one listed drive; empty when it holds none. `cut`, when given,
// ends the look early (the drive's handle is cut short): empty then.
std::string DiscKeyOfDrive(const TCDEntry& entry, TCutOff* cut = nullptr);

// True when the first drive holds a disc with at least one audio track.
bool IsAudioDiscPresent();

// The key text of a disc id.
std::string DiscKeyText(unsigned discId);

} // namespace bw
