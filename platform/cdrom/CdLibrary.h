// The CD drive library: drive list, drive handles, table of contents and digital audio
// reads. Physical drives (and Nero images) are read through libcdio, CUE sheets and cdrdao TOC
// files through our own parsers. Physical drives come first, then the CD images named in
// BRINDLEWAVE_CD_IMAGES (paths separated by ':'), each acting as a drive with that disc
// inserted. Results follow the library's convention: non-zero (1) is success.
// Every function may be called from any thread.
#pragma once

#include "CdRecords.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bw {

// Codes returned by GetAspiLibError for the calling thread's latest failure.
enum TCDLibError : int {
    CDERR_NONE = 0,
    CDERR_BAD_ARGUMENT = 1,  // null record, wrong size or version, unknown parameter
    CDERR_NO_SUCH_DRIVE = 2, // the handle request names no listed drive
    CDERR_OPEN_FAILED = 3,   // the drive could not be opened
    CDERR_TOO_MANY_HANDLES = 4,
    CDERR_BAD_HANDLE = 5,   // not open, or cut short (CutCDHandle)
    CDERR_NO_DISC = 6,      // no disc, or a disc without a readable table of contents
    CDERR_OUT_OF_RANGE = 7, // sectors outside the disc
    CDERR_READ_FAILED = 8,
    CDERR_BUFFER_TOO_SMALL = 9,
    CDERR_PARAMETER_REFUSED = 10,
};

// Handles are small numbers from 1; at most this many are open at once.
constexpr int CDMaxHandles = 10;

// Fills Count and the entries of a zero-filled list whose Capacity is set (at most 8 are
// filled). Returns the count.
int GetCDList(TCDList* list);

// Opens the drive of a listed entry; returns its handle, 0 on failure.
int GetCDHandle(const TGetCDHandle* request);

// Non-zero when the handle was open and is now closed. Only the handle's opener (or whoever
// it handed the handle to) closes it: the number may be given to the next opener at once.
int CloseCDHandle(int handle);

// Cuts an open handle short without freeing its number: a wait on it (a drive becoming
// ready) ends at once and every later call on it fails with CDERR_BAD_HANDLE, until its
// opener closes it. For a thread that no longer wants what another thread's handle is
// waiting for. Non-zero when the handle was open.
int CutCDHandle(int handle);

// Sets a drive parameter: CDP_MSF (value 0 or 1) or CDP_READ_OFFSET (samples, at most
// CDMaxReadOffset either way; 0 when a handle opens). Non-zero when set.
int ModifyCDParms(int handle, int parameter, int value);

// Reads the disc's table of contents; 1 when it was filled.
int ReadTOC(int handle, TTOC* toc);

// Reads request->SectorCount audio sectors from request->StartSector into the buffer that
// follows the header; sets ReturnedBytes and DataOffset. 1 when the audio was delivered.
int ReadCDAudioLBA(int handle, TReadRequest* request);

// Code of the calling thread's latest failure (TCDLibError): each thread sees its own.
int GetAspiLibError();
// Records a failure of the library's other parts (the CDDB functions) for the calling thread.
void SetAspiLibError(int code);

// CD-Text of a disc (UTF-8): the disc's title and performer, and each track's, by TOC
// entry from the first track. Texts the disc does not carry are empty.
struct TCDText {
    std::string Title, Performer;
    std::vector<std::string> TrackTitles, TrackPerformers;
};

// The CD-Text of the disc that the latest ReadTOC found on the handle; false when the handle
// is not open or that read found no disc.
bool GetCDText(int handle, TCDText& text);

// Why the latest ReadTOC on the handle found no readable disc, in words (for an image: the
// missing file, or the line that cannot be read); empty when it found one.
std::string GetCDDiscError(int handle);

// What the latest ReadTOC noticed about a disc it could read, in words: for example an image
// data file that ends before its last track does.
std::vector<std::string> GetCDDiscWarnings(int handle);

// Where a listed drive reads from: the device node or the image file; empty when the
// entry names no drive.
std::string GetCDSource(const TCDEntry& entry);

// Where an open handle reads from: the device node or image file, and whether libcdio opens
// it itself (a physical drive or an NRG image; CUE sheets and TOC files are read by our own
// parsers). False when the handle is not open.
struct TCDHandleSource {
    std::string Path;
    bool IsImage = false;
    bool ThroughLibcdio = false;
};
bool GetCDHandleSource(int handle, TCDHandleSource& source);

// The session of every track (then 0 for the lead-out) from the start sectors of the tracks
// and the lead-out and the first sector of the disc's last session as the drive reports it
// (0 or the first track's start on a single-session disc).
std::vector<std::uint8_t> TrackSessions(const std::vector<std::int32_t>& starts,
                                        std::int32_t lastSessionStart);

// The disc's catalogue number (MCN, 13 digits) and each track's ISRC (12 characters) by TOC
// entry from the first track, as the disc carries them; empty when it does not. Texts that
// are not of their form are left out (they come from the disc). False when the handle is not
// open or the latest ReadTOC found no disc.
struct TCDCodes {
    std::string Catalog;
    std::vector<std::string> Isrc;
};
bool GetCDCodes(int handle, TCDCodes& codes);

// Hidden track one audio: the sectors from the disc's sector 0 up to the first track's
// index 1, when any sample among them is not zero; 0 when that pregap is empty or digital
// silence, cannot be read, or the first track is data. Worked out on the calling thread the
// first time it is asked for a disc (an image's whole pregap is read, a drive's at most
// HiddenTrackProbeSectors spread over it) and remembered while the same disc is in. The
// TOC's readers call it after ReadTOC; reads reach the hidden track with a negative
// StartSector. The TOC and the disc ids do not change: it is no track of the TOC.
constexpr int HiddenTrackProbeSectors = 3 * CDSectorsPerSecond;
int GetCDHiddenTrack(int handle);
// Whether the `pregap` sectors from the disc's sector 0 hold anything but zeros, read through
// `read`: all of them when `whole`, else at most HiddenTrackProbeSectors spread over them.
// False when a read fails, and then *failed is set.
using TSectorReader = std::function<bool(std::uint8_t*, std::int64_t first, std::uint32_t count)>;
bool PregapHasAudio(std::int64_t pregap, bool whole, const TSectorReader& read,
                    bool* failed = nullptr);

// Why a listed drive cannot be opened and what to do (for example "add your user to the
// 'cdrom' group"); empty when it can, or when the entry names no physical drive.
std::string GetCDAccessProblem(const TCDEntry& entry);

// A read request with room for its audio, as ReadCDAudioLBA expects it in memory.
class TReadRequestBuffer {
public:
    explicit TReadRequestBuffer(std::uint32_t sectorCount);

    TReadRequest* Request() { return reinterpret_cast<TReadRequest*>(FStorage.get()); }
    // The audio returned by the last read (ReturnedBytes bytes from DataOffset).
    const std::uint8_t* ReturnedData();

private:
    std::unique_ptr<std::uint8_t[]> FStorage;
};

} // namespace bw
