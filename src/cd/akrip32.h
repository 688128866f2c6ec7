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

// A zero-filled drive list of capacity 8, filled by GetCDList (which opens and asks every
// physical drive: not for the window's thread). Remembered for KnownDriveList.
TCDList ReadDriveList();

// The drive list as last read, without asking any drive, while the drive set is unchanged
// (the same image drives, and no drive came or went since, see ForgetDriveList); read now
// only when none is known.
TCDList KnownDriveList();
// A drive came or went (udev): the next KnownDriveList reads the list again.
void ForgetDriveList();

// Vendor followed directly by product, at most 26 characters, without trailing blanks.
std::string DriveDisplayName(const TCDEntry& entry);

// The 12-byte handle request for a listed drive, with the library's defaults.
TGetCDHandle HandleRequestFor(const TCDEntry& entry);

// Why GetCDHandle just failed on the calling thread for this listed drive, in words: the
// drive's access problem, or that every drive handle is taken. Handles of other owners are
// never closed to make room: a full table is this caller's error to report.
std::string DriveOpenProblem(const TCDEntry& entry);

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
