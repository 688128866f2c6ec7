// Where the drives of the drive list come from: libcdio's physical devices, then the CD
// images named in BRINDLEWAVE_CD_IMAGES.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace bw {

struct TDriveSource {
    std::uint8_t HostAdapter = 0; // 0 physical drives, 1 images
    std::uint8_t Target = 0;      // position among drives of its kind
    std::uint8_t Lun = 0;
    std::string Path; // device node or image file
    bool IsImage = false;
    // Why a physical drive cannot be opened, and what to do about it; empty when it opens.
    std::string AccessProblem;
};

// What the drive list asks of the system, so that tests can stand in for it: the CD device
// nodes (/dev/sr*, those udev tags as CD drives, and libcdio's list; links allowed) and
// the errno of opening one for reading (0 when it opens).
struct TDriveSystem {
    std::function<std::vector<std::string>()> Nodes;
    std::function<int(const std::string&)> OpenError;
};

// The real system.
TDriveSystem RealDriveSystem();

// The physical drives of a system: nodes that name the same device once (the first name
// of it listed), in order, each with its access problem.
std::vector<TDriveSource> ListPhysicalDrives(const TDriveSystem& system);

// The words for an open failure: for a permission error, what to do about it.
std::string DriveAccessProblem(const std::string& node, int error);

// Splits the image list of the environment (':'-separated, empty parts skipped).
std::vector<std::string> SplitImageList(const std::string& text);

// libudev sets up process-wide state on first use without a lock (its hash seed), and the
// disc reader, a play and a probe may list the drives at once: its contexts are made under
// this lock.
std::mutex& LibudevLock();

// Every drive, physical first, in list order.
std::vector<TDriveSource> ListDriveSources();

} // namespace bw
