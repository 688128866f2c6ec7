#include "FileShare.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace bw;

TEST(FileShare, LocksFollowTheSharingMode) {
    bwtest::TempDir dir;
    auto path = dir / "f.bin";
    bwtest::WriteFileText(path, "x");

    TFileHandle reader = OpenShared(path, O_RDONLY, TShareMode::DenyWrite);
    ASSERT_TRUE(reader.IsOpen());
    // Readers share; an exclusive open fails while a reader holds the file.
    EXPECT_TRUE(OpenShared(path, O_RDONLY, TShareMode::DenyWrite).IsOpen());
    EXPECT_FALSE(OpenShared(path, O_RDWR, TShareMode::DenyAll).IsOpen());
    EXPECT_TRUE(IsFileLocked(path));
    reader.Close();
    EXPECT_FALSE(IsFileLocked(path));

    TFileHandle writer = OpenShared(path, O_RDWR, TShareMode::DenyAll);
    ASSERT_TRUE(writer.IsOpen());
    EXPECT_FALSE(OpenShared(path, O_RDONLY, TShareMode::DenyWrite).IsOpen());
    EXPECT_TRUE(OpenShared(path, O_RDONLY, TShareMode::DenyNone).IsOpen());
}

TEST(FileShare, LockedMeansExistingAndNotOpenableForWriting) {
    bwtest::TempDir dir;
    EXPECT_FALSE(IsFileLocked(dir / "missing"));
    auto path = dir / "ro.bin";
    bwtest::WriteFileText(path, "x");
    EXPECT_FALSE(IsFileLocked(path));
    EXPECT_FALSE(IsReadOnly(path));
    chmod(path.c_str(), 0444); // read-only even when the tests run as root
    EXPECT_TRUE(IsFileLocked(path));
    EXPECT_TRUE(IsReadOnly(path));
    EXPECT_FALSE(IsReadOnly(dir / "missing"));
}
