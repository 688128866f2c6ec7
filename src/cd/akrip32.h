// The program's binding to the CD drive library: the library's functions and records, and
// the small routines the program builds on them.
#pragma once

#include "CdLibrary.h"

#include <string>
#include <vector>

namespace bw {

// The title of hidden track one audio (GetCDHiddenTrack), listed as track 0. It is no track of
// the TOC: the titles remembered for the disc stay those of the TOC's tracks.
inline constexpr const char* HiddenTrackTitle = "Hidden Track";

// A zero-filled drive list of capacity 8, filled by GetCDList.
TCDList ReadDriveList();

// Vendor followed directly by product, at most 26 characters, without trailing blanks.
std::string DriveDisplayName(const TCDEntry& entry);

// The 12-byte handle request for a listed drive, with the library's defaults.
TGetCDHandle HandleRequestFor(const TCDEntry& entry);

// GetCDHandle; when it fails because every handle is taken, closes the first of the handles
// 1 to 10 that will close and tries once more, so that handles leaked by an earlier run of
// the caller do not lock the drive out. Any other failure closes nothing. Returns the handle
// or 0.
int GetCDHandleRecovering(const TGetCDHandle& request);

// Frame count of a TOC entry read with MSF addresses: minute * 4500 + second * 75 + frame.
int FramesOf(const TTOCTrack& entry);

// Entries of a TOC from its first track through the lead-out.
int TOCEntryCount(const TTOC& toc);

bool IsAudioEntry(const TTOCTrack& entry);

// The start frames of every track and then the lead-out, from a TOC with MSF addresses.
std::vector<int> TOCStartFrames(const TTOC& toc);

// The frame after each track's audio: the next entry's start, less the gap between sessions
// when the next track opens a later session (an enhanced CD's data track), as no drive reads
// that gap.
std::vector<int> TOCEndFrames(const TTOC& toc);

// Frames of the track at entry `index` (0-based) as TOCEndFrames bounds it.
int TOCTrackFrames(const TTOC& toc, int index);

} // namespace bw
