// Disc changes of a CD drive as udev tells of them: a monitor of block disks whose events are
// sorted by IsMediaChange, so that the drive is only looked at when its medium changed.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

struct udev;
struct udev_monitor;

namespace bw {

// The parts of a udev event that matter here.
struct TUdevEvent {
    std::string Action;  // "change", "remove", ...
    std::string DevNode; // "/dev/sr0"
    std::string DevType; // "disk"
    std::map<std::string, std::string> Properties;
};

// The device node a path names (a link such as /dev/cdrom resolved); the path itself when
// it cannot be resolved.
std::string CanonicalDeviceNode(const std::string& path);

// True when the event tells of a disc put into or taken out of the drive whose canonical
// node is `node` (udev's cdrom rules mark those DISK_MEDIA_CHANGE=1, then ID_CDROM_MEDIA),
// of the eject button, or of the drive itself going away.
bool IsMediaChange(const TUdevEvent& event, const std::string& node);

// True when the event tells of a CD drive added or removed (the drive list changes).
bool IsDriveSetChange(const TUdevEvent& event);

// A udev monitor of the "block" subsystem's disks.
class TUdevMonitor {
public:
    // The monitor, or nothing with the reason in `why` when udev cannot be reached (no
    // /run/udev, as in containers, or the monitor fails).
    static std::unique_ptr<TUdevMonitor> Open(std::string& why);
    ~TUdevMonitor();
    TUdevMonitor(const TUdevMonitor&) = delete;
    TUdevMonitor& operator=(const TUdevMonitor&) = delete;

    // Readable when events wait; never blocks.
    int Fd() const;
    // The next waiting event; nothing when none waits.
    std::optional<TUdevEvent> Receive();

private:
    TUdevMonitor(udev* context, udev_monitor* monitor);
    udev* FContext;
    udev_monitor* FMonitor;
};

} // namespace bw
