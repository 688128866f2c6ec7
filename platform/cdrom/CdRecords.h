// The records the CD drive library exchanges with its callers. They keep a fixed byte
// layout (packed, sizes checked below) because callers fill and read them by offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bw {

constexpr int CDSectorBytes = 2352; // 16-bit stereo, 588 frames
constexpr int CDSectorsPerSecond = 75;
constexpr int CDMaxDrives = 8;       // entries in a drive list
constexpr int CDMaxTOCEntries = 100; // 99 tracks and the lead-out
// Between the last track of a session and the first of the next lie that session's lead-out
// (6750 sectors), the next one's lead-in (4500) and its first track's pregap (150). No drive
// reads them as audio.
constexpr int CDSessionGapSectors = 11400;

// ModifyCDParms parameter: 1 = TOC addresses as minute/second/frame, 0 = as sector numbers.
constexpr int CDP_MSF = 36;
// ModifyCDParms parameter: the drive's read offset in samples (588 a sector). Reads then
// return the audio that many samples later on the disc (earlier when negative), taken from
// the neighbouring sectors, with silence beyond the disc's audio.
constexpr int CDP_READ_OFFSET = 64;
constexpr int CDMaxReadOffset = 10 * 588;

#pragma pack(push, 1)

// One drive of the drive list, 121 bytes.
struct TCDEntry {
    std::uint8_t HostAdapter;
    std::uint8_t Target;
    std::uint8_t Lun;
    std::uint8_t Reserved1[66];
    char Vendor[9];   // NUL-terminated, space-padded to 8 characters like inquiry data
    char Product[17]; // NUL-terminated
    std::uint8_t Reserved2[26];
};

// The drive list, 970 bytes: the caller zero-fills it and sets Capacity.
struct TCDList {
    std::uint8_t Capacity;
    std::uint8_t Count;
    TCDEntry Entries[CDMaxDrives];
};

// Request for a drive handle, 12 bytes. Bytes after Lun left zero select the defaults.
struct TGetCDHandle {
    std::uint8_t Size;    // 12
    std::uint8_t Version; // 1
    std::uint8_t HostAdapter;
    std::uint8_t Target;
    std::uint8_t Lun;
    std::uint8_t Reserved[7];
};

// One table-of-contents entry, 8 bytes, as a drive reports it.
struct TTOCTrack {
    // The session the track belongs to, from 1 (a drive's full TOC reports it); 0 unknown.
    std::uint8_t Session;
    std::uint8_t AdrControl;  // high nibble ADR, low nibble control (bit 2 set: data track)
    std::uint8_t TrackNumber; // 0xAA for the lead-out
    std::uint8_t Reserved2;
    // Minute/second/frame in bytes 1..3 when MSF addressing is on (byte 0 zero),
    // otherwise the big-endian sector number.
    std::uint8_t Address[4];
};

// The table of contents, 804 bytes: entries run from the first track through the lead-out.
struct TTOC {
    std::uint8_t Length[2]; // big-endian byte count of what follows this field
    std::uint8_t FirstTrack;
    std::uint8_t LastTrack;
    TTOCTrack Tracks[CDMaxTOCEntries];
};

// Header of a read request, 24 bytes; the audio buffer follows it directly in memory.
struct TReadRequest {
    // Counted from the first track's address; read as signed, a negative value reaches into
    // the first track's pregap (hidden track one audio), down to the disc's sector 0.
    std::uint32_t StartSector;
    std::uint32_t SectorCount;
    std::uint32_t BufferSize; // bytes of buffer after the header, SectorCount * 2352
    std::uint32_t ReturnedBytes;
    std::uint32_t Unused;
    std::int32_t DataOffset; // where in the buffer the returned audio starts
};

#pragma pack(pop)

static_assert(sizeof(TCDEntry) == 121);
static_assert(offsetof(TCDEntry, Vendor) == 69 && offsetof(TCDEntry, Product) == 78);
static_assert(sizeof(TCDList) == 970);
static_assert(sizeof(TGetCDHandle) == 12);
static_assert(sizeof(TTOCTrack) == 8);
static_assert(sizeof(TTOC) == 804);
static_assert(sizeof(TReadRequest) == 24);

} // namespace bw
