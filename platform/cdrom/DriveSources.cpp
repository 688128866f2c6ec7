#include "DriveSources.h"

#include <algorithm>
#include <cdio/cdio.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <libudev.h>
#include <mutex>
#include <unistd.h>

namespace bw {

namespace {

// Owns the list that cdio_get_devices returns.
class TDeviceList {
public:
    TDeviceList() : FList(cdio_get_devices(DRIVER_DEVICE)) {}
    ~TDeviceList() {
        if (FList) cdio_free_device_list(FList);
    }
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;
    char** Get() const { return FList; }

private:
    char** FList;
};

} // namespace

std::mutex& LibudevLock() {
    static std::mutex lock;
    return lock;
}

namespace {

// Block devices that udev tags as CD drives (ID_CDROM), by their device node.
std::vector<std::string> UdevCdNodes() {
    std::lock_guard held(LibudevLock());
    std::vector<std::string> nodes;
    udev* context = udev_new();
    if (!context) return nodes;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate) {
        udev_enumerate_add_match_subsystem(enumerate, "block");
        udev_enumerate_add_match_property(enumerate, "ID_CDROM", "1");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!device) continue;
            if (const char* node = udev_device_get_devnode(device)) nodes.push_back(node);
            udev_device_unref(device);
        }
        udev_enumerate_unref(enumerate);
    }
    udev_unref(context);
    return nodes;
}

} // namespace

std::vector<std::string> SplitImageList(const std::string& text) {
    std::vector<std::string> paths;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(':', begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) paths.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return paths;
}

std::string DriveAccessProblem(const std::string& node, int error) {
    if (error == 0) return {};
    if (error == EACCES || error == EPERM)
        return node + " cannot be opened: permission denied. Add your user to the 'cdrom' "
                      "group (sudo usermod -aG cdrom $USER), then log in again.";
    return node + " cannot be opened: " + std::strerror(error) + ".";
}

TDriveSystem RealDriveSystem() {
    TDriveSystem system;
    system.Nodes = [] {
        std::vector<std::string> nodes;
        std::vector<std::string> sr;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
            std::string name = entry.path().filename().string();
            if (name.size() > 2 && name.compare(0, 2, "sr") == 0 &&
                name.find_first_not_of("0123456789", 2) == std::string::npos)
                sr.push_back(entry.path().string());
        }
        // sr10 after sr9.
        std::sort(sr.begin(), sr.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        nodes = sr;
        for (const auto& node : UdevCdNodes())
            nodes.push_back(node);
        TDeviceList devices;
        for (char** device = devices.Get(); device && *device; ++device)
            nodes.push_back(*device);
        return nodes;
    };
    system.OpenError = [](const std::string& node) {
        int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno;
        ::close(fd);
        return 0;
    };
    return system;
}

std::vector<TDriveSource> ListPhysicalDrives(const TDriveSystem& system) {
    std::vector<TDriveSource> sources;
    std::vector<std::string> seen; // the devices listed, by their resolved path
    std::uint8_t target = 0;
    for (const auto& node : system.Nodes()) {
        std::error_code error;
        std::string device = std::filesystem::weakly_canonical(node, error).string();
        if (error) device = node;
        if (std::find(seen.begin(), seen.end(), device) != seen.end()) continue;
        seen.push_back(device);
        if (target == 255) break;
        TDriveSource source;
        source.HostAdapter = 0;
        source.Target = target++;
        source.Path = node;
        source.AccessProblem = DriveAccessProblem(node, system.OpenError(node));
        sources.push_back(source);
    }
    return sources;
}

std::vector<TDriveSource> ListDriveSources() {
    static const TDriveSystem real = RealDriveSystem();
    std::vector<TDriveSource> sources = ListPhysicalDrives(real);
    std::uint8_t target = 0;
    const char* images = std::getenv("BRINDLEWAVE_CD_IMAGES");
    for (const auto& path : SplitImageList(images ? images : "")) {
        if (target == 255) break;
        TDriveSource source;
        source.HostAdapter = 1;
        source.Target = target++;
        source.Path = path;
        source.IsImage = true;
        sources.push_back(source);
    }
    return sources;
}

} // namespace bw
