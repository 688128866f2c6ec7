// Reads what the main window lists of a drive's disc (opening the drive, its table of
// contents, CD-Text and disc key) on a thread of its own: a drive spinning up, or one that
// says "becoming ready", may take many seconds, and the window must not wait for it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CdLibrary.h"
#include "CdRecords.h"

namespace bw {

// One read: what was asked, then what was found.
struct TDiscRead {
    std::uint64_t Serial = 0; // the receiver's number for the read, to drop stale ones
    int Reason = 0;           // the receiver's, carried through
    int DriveIndex = 0;
    int Handle = 0; // the drive's open handle; 0: the read opens the drive first

    bool Opened = false; // Handle was opened by this read; the receiver owns it
    int DriveCount = 0;  // drives listed, when the read opened the drive
    TCDList Drives{};    // the drive list, when the read opened the drive
    std::string DriveName;
    std::string AccessProblem; // why the drive would not open
    std::string SourcePath;    // the device node or image file
    bool IsImage = false;
    bool HasTOC = false;
    TTOC TOC{}; // with MSF addresses
    std::string DiscKey;
    int HiddenSectors = 0; // audio in the first track's pregap, listed as track 0
    TCDCodes Codes;        // catalogue number and ISRCs, read once here for the rips
    TCDText Text;          // the disc's CD-Text, control characters made blanks
    std::string DiscError; // why there is no readable disc
};

class TCutOff;

// Does one read on the calling thread. `cut`, when given, ends it early: a handle the read
// opened is cut short (its waits end), and the read stops before its next step. The read
// closes nothing: a handle it opened is the caller's.
void ReadDiscOfDrive(TDiscRead& read, TCutOff* cut = nullptr);

// Runs reads one after another on a worker and hands each result to `done` there.
class TDiscReader {
public:
    using TDone = std::function<void(TDiscRead read)>;

    explicit TDiscReader(TDone done);
    // Cuts the read under way short and returns at once, without waiting for the worker: a
    // drive stuck in a command keeps only the worker, which closes what it opened and calls
    // `done` no more.
    ~TDiscReader();
    TDiscReader(const TDiscReader&) = delete;
    TDiscReader& operator=(const TDiscReader&) = delete;

    // Queues a read in place of any read not yet begun; the read under way is cut short (a
    // handle it opened is closed by the worker, and its result comes without it).
    void Start(TDiscRead read);
    // Closes a handle the caller owns. When the read under way uses it, the handle is cut
    // short and the worker closes it once that read has let go of it. False when the handle
    // was not open.
    bool CloseHandle(int handle);

private:
    struct TState;
    static void Run(const std::shared_ptr<TState>& state);
    std::shared_ptr<TState> FState;
};

} // namespace bw
