// The drive library's open handles: what each holds, the table of their numbers, and the
// failure code each thread last saw. Shared by the library's source files only.
#pragma once

#include "CdFaults.h"
#include "CdLibrary.h"
#include "DiscImage.h"
#include "DriveFaults.h"
#include "DriveSources.h"

#include <array>
#include <atomic>
#include <cdio/cdio.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace bw::cdlib {

// Records the calling thread's failure code; returns 0, the library's failure result.
int Failed(TCDLibError code);

// Owns one libcdio object.
class TCdio {
public:
    TCdio() = default;
    explicit TCdio(CdIo_t* cdio) : F(cdio) {}
    ~TCdio() { Reset(); }
    TCdio(const TCdio&) = delete;
    TCdio& operator=(const TCdio&) = delete;
    TCdio& operator=(TCdio&& other) noexcept {
        if (this != &other) {
            Reset();
            F = other.F;
            other.F = nullptr;
        }
        return *this;
    }
    CdIo_t* Get() const { return F; }
    void Reset() {
        if (F) cdio_destroy(F);
        F = nullptr;
    }

private:
    CdIo_t* F = nullptr;
};

// Our own parsers read CUE sheets and cdrdao TOC files as their writers mean them; libcdio

// Start sectors (LSN) of the disc's tracks followed by its lead-out.
struct TDiscLayout {
    track_t FirstTrack = 0;
    std::vector<lsn_t> Starts;
    std::vector<std::uint8_t> Controls;
    std::vector<std::uint8_t> Sessions; // every track's, then the lead-out's (0)
};

// The state of one open handle. Lock serialises libcdio calls on it: libcdio objects are

// not thread-safe, and a rip thread reads while the main thread may ask for the TOC.
struct TDriveHandle {
    TDriveSource Source;
    std::mutex Lock;
    // The inserted disc, reopened at every TOC read to follow media changes: through
    // libcdio, or (CUE sheets and cdrdao TOC files) through our image reader.
    TCdio Disc;
    std::unique_ptr<TImageReader> Image;
    TDiscLayout Layout;    // of the disc; no starts when it has no readable TOC
    std::string DiscError; // why there is no readable disc
    std::vector<std::string> Warnings;
    TCDText Text;
    bool Msf = false;
    int ReadOffset = 0; // samples
    TCDFaults Faults;
    // An image drive's misbehaviour from the environment; FaultsError when it cannot be read.
    TDriveFaultState Simulated;
    std::string FaultsError;
    std::chrono::steady_clock::time_point OpenedAt = std::chrono::steady_clock::now();
    bool Ejected = false; // the simulated disc went away
    // Closing or cutting the handle ends a wait for the drive to become ready, so that a
    // reader thread lets go at once. A cut handle fails every call until its opener closes it.
    std::mutex WakeLock;
    std::condition_variable Wake;
    bool Closed = false; // under WakeLock: closed or cut
    std::atomic<bool> Cut{false};
    // The hidden track found for the disc whose layout starts as HiddenFor.
    std::vector<lsn_t> HiddenFor;
    int HiddenSectors = 0;
    // The sub-channel codes read for the disc whose layout starts as CodesFor.
    std::vector<lsn_t> CodesFor;
    TCDCodes Codes;
};

// Handle numbers 1..CDMaxHandles. A number is free again only once its opener closed it, so
// that no caller ever acts on another opener's drive through a number it kept.
class THandleTable {
public:
    // The new handle's number; 0 when every number is taken.
    int Add(std::shared_ptr<TDriveHandle> handle);
    // The open handle of that number; none when the number is free or its handle was cut.
    std::shared_ptr<TDriveHandle> Find(int handle);
    // Cut handles too.
    std::shared_ptr<TDriveHandle> FindAny(int handle);
    bool Remove(int handle);

private:
    std::mutex FLock;
    std::array<std::shared_ptr<TDriveHandle>, CDMaxHandles> FHandles;
};

THandleTable& Handles();

} // namespace bw::cdlib
