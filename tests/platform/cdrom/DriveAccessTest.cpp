// The drive list from the system's device nodes, through a stand-in system: nodes that
// cannot be opened are listed with the reason, links to a listed device are not listed
// twice. (The build machines have no drive; the stand-in is the only way to test this.)
#include "DriveSources.h"
#include "TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>

using namespace bw;
namespace fs = std::filesystem;

TEST(DriveAccess, EveryNodeIsListedOnceWithWhatStopsItFromOpening) {
    bwtest::TempDir dir;
    for (const char* name : {"sr0", "sr1", "sr2"})
        bwtest::WriteFileText(dir.Path() / name, "");
    fs::create_symlink(dir.Path() / "sr0", dir.Path() / "cdrom");
    const std::string sr0 = (dir.Path() / "sr0").string(), sr1 = (dir.Path() / "sr1").string(),
                      sr2 = (dir.Path() / "sr2").string(), link = (dir.Path() / "cdrom").string();
    std::map<std::string, int> errors = {{sr1, EACCES}, {sr2, ENXIO}};
    TDriveSystem system;
    // /dev/sr*, then udev's and libcdio's names, which repeat them.
    system.Nodes = [&] { return std::vector<std::string>{sr0, sr1, sr2, link, sr1}; };
    system.OpenError = [&](const std::string& node) {
        return errors.count(node) ? errors[node] : 0;
    };
    auto drives = ListPhysicalDrives(system);
    ASSERT_EQ(drives.size(), 3u);
    struct Expected {
        std::string Path;
        std::string Problem; // a part of it; empty: opens
    };
    const std::vector<Expected> expected = {
        {sr0, ""},
        {sr1, "permission denied. Add your user to the 'cdrom' group"},
        {sr2, "cannot be opened: No such device or address"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].Path);
        EXPECT_EQ(drives[i].Path, expected[i].Path);
        EXPECT_EQ(drives[i].Target, i);
        EXPECT_FALSE(drives[i].IsImage);
        if (expected[i].Problem.empty())
            EXPECT_EQ(drives[i].AccessProblem, "");
        else
            EXPECT_NE(drives[i].AccessProblem.find(expected[i].Problem), std::string::npos)
                << drives[i].AccessProblem;
    }
}
