// Which udev events tell of a disc change in the watched drive, fed without a device.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "UdevMedia.h"

using namespace bw;

TEST(UdevMedia, OnlyMediaChangesOfTheWatchedDriveCount) {
    struct Case {
        const char* Name;
        TUdevEvent Event;
        bool Counts;
    };
    const std::vector<Case> cases = {
        {"disc inserted", {"change", "/dev/sr0", "disk", {{"DISK_MEDIA_CHANGE", "1"}}}, true},
        {"media state", {"change", "/dev/sr0", "disk", {{"ID_CDROM_MEDIA", "1"}}}, true},
        {"eject button", {"change", "/dev/sr0", "disk", {{"DISK_EJECT_REQUEST", "1"}}}, true},
        {"drive unplugged", {"remove", "/dev/sr0", "disk", {}}, true},
        {"another drive", {"change", "/dev/sr1", "disk", {{"DISK_MEDIA_CHANGE", "1"}}}, false},
        {"a partition", {"change", "/dev/sr0", "partition", {{"DISK_MEDIA_CHANGE", "1"}}}, false},
        {"other change", {"change", "/dev/sr0", "disk", {{"ID_FS_TYPE", "iso9660"}}}, false},
        {"flag off", {"change", "/dev/sr0", "disk", {{"DISK_MEDIA_CHANGE", "0"}}}, false},
        {"drive added", {"add", "/dev/sr0", "disk", {{"ID_CDROM_MEDIA", "1"}}}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsMediaChange(c.Event, "/dev/sr0"), c.Counts) << c.Name;

    // Only a CD drive coming or going changes the drive list (read again then, on a worker).
    const std::vector<Case> drives = {
        {"drive added", {"add", "/dev/sr1", "disk", {{"ID_CDROM", "1"}}}, true},
        {"drive unplugged", {"remove", "/dev/sr1", "disk", {{"ID_CDROM", "1"}}}, true},
        {"disc inserted", {"change", "/dev/sr0", "disk", {{"ID_CDROM", "1"}}}, false},
        {"a USB stick", {"add", "/dev/sdb", "disk", {{"ID_BUS", "usb"}}}, false},
    };
    for (const auto& c : drives)
        EXPECT_EQ(IsDriveSetChange(c.Event), c.Counts) << c.Name;
}

TEST(UdevMedia, LinksNameTheirDeviceAndAMissingUdevSaysWhy) {
    bwtest::TempDir dir;
    bwtest::WriteFileText(dir / "sr0", "");
    std::filesystem::create_symlink(dir / "sr0", dir / "cdrom");
    EXPECT_EQ(CanonicalDeviceNode((dir / "cdrom").string()),
              std::filesystem::canonical(dir / "sr0").string());
    std::string why;
    if (!std::filesystem::exists("/run/udev")) {
        EXPECT_EQ(TUdevMonitor::Open(why), nullptr);
        EXPECT_EQ(why, "udev is not running (no /run/udev)");
    }
}
