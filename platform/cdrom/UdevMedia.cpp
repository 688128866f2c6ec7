#include "UdevMedia.h"

#include "DriveSources.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace bw {

std::string CanonicalDeviceNode(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool IsMediaChange(const TUdevEvent& event, const std::string& node) {
    if (event.DevNode != node) return false;
    if (event.Action == "remove") return true; // unplugged: the disc is gone with it
    if (event.Action != "change" || event.DevType != "disk") return false;
    auto is = [&](const char* key) {
        auto found = event.Properties.find(key);
        return found != event.Properties.end() && found->second == "1";
    };
    return is("DISK_MEDIA_CHANGE") || is("DISK_EJECT_REQUEST") ||
           event.Properties.count("ID_CDROM_MEDIA") > 0;
}

bool IsDriveSetChange(const TUdevEvent& event) {
    if (event.Action != "add" && event.Action != "remove") return false;
    auto cdrom = event.Properties.find("ID_CDROM");
    return cdrom != event.Properties.end() && cdrom->second == "1";
}

std::unique_ptr<TUdevMonitor> TUdevMonitor::Open(std::string& why) {
    // Without the udev daemon's run folder no events would ever come.
    if (::access("/run/udev", F_OK) != 0) {
        why = "udev is not running (no /run/udev)";
        return nullptr;
    }
    std::lock_guard held(LibudevLock());
    udev* context = udev_new();
    if (!context) {
        why = "udev cannot be reached";
        return nullptr;
    }
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", "disk") < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        why = "the udev monitor cannot be opened";
        return nullptr;
    }
    const int fd = udev_monitor_get_fd(monitor);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<TUdevMonitor>(new TUdevMonitor(context, monitor));
}

TUdevMonitor::TUdevMonitor(udev* context, udev_monitor* monitor)
    : FContext(context), FMonitor(monitor) {}

TUdevMonitor::~TUdevMonitor() {
    udev_monitor_unref(FMonitor);
    udev_unref(FContext);
}

int TUdevMonitor::Fd() const {
    return udev_monitor_get_fd(FMonitor);
}

std::optional<TUdevEvent> TUdevMonitor::Receive() {
    udev_device* device = udev_monitor_receive_device(FMonitor);
    if (!device) return std::nullopt;
    auto text = [](const char* value) { return std::string(value ? value : ""); };
    TUdevEvent event;
    event.Action = text(udev_device_get_action(device));
    event.DevNode = text(udev_device_get_devnode(device));
    event.DevType = text(udev_device_get_devtype(device));
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
        event.Properties[text(udev_list_entry_get_name(entry))] =
            text(udev_list_entry_get_value(entry));
    }
    udev_device_unref(device);
    return event;
}

} // namespace bw
