// Reads what the main window lists of a drive's disc (opening the drive, its table of
// contents, CD-Text and disc key) on a thread of its own: a drive spinning up, or one that
// says "becoming ready", may take many seconds, and the window must not wait for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "CdLibrary.h"

namespace bw {

// One read: what was asked, then what was found.
struct TDiscRead {
    std::uint64_t Serial = 0; // the receiver's number for the read, to drop stale ones
    int Reason = 0;           // the receiver's, carried through
    int DriveIndex = 0;
    int Handle = 0; // the drive's open handle; 0: the read opens the drive first

    bool Opened = false; // Handle was opened by this read; the receiver owns it
    int DriveCount = 0;  // drives listed, when the read opened the drive
    std::string DriveName;
    std::string AccessProblem; // why the drive would not open
    std::string SourcePath;    // the device node or image file
    bool IsImage = false;
    bool HasTOC = false;
    TTOC TOC{}; // with MSF addresses
    std::string DiscKey;
    int HiddenSectors = 0; // audio in the first track's pregap, listed as track 0
    TCDText Text;          // the disc's CD-Text, control characters made blanks
    std::string DiscError; // why there is no readable disc
};

// Does one read on the calling thread. `opened` hears of a handle as soon as the read opened
// one, before it waits for the disc.
void ReadDiscOfDrive(TDiscRead& read, const std::function<void(int handle)>& opened = {});

// Runs reads one after another on its thread and hands each result to `done` there.
class TDiscReader {
public:
    using TDone = std::function<void(TDiscRead read)>;

    explicit TDiscReader(TDone done);
    // Closes the handle a read under way opened (a drive still becoming ready lets go at
    // once) and waits for the thread.
    ~TDiscReader();
    TDiscReader(const TDiscReader&) = delete;
    TDiscReader& operator=(const TDiscReader&) = delete;

    // Queues a read in place of any read not yet begun; a read under way that opened its
    // own handle is cut short (that handle is closed, its result comes without it).
    void Start(TDiscRead read);

private:
    void Run();

    TDone FDone;
    std::mutex FLock;
    std::condition_variable FWake;
    std::optional<TDiscRead> FPending;
    bool FStopping = false;
    int FInFlight = 0;    // a handle the read under way opened
    bool FCutOff = false; // that handle was closed here
    std::thread FThread;
};

} // namespace bw
