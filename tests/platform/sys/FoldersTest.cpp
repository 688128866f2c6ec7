#include "Folders.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

// A library of our own is found beside the program first, then in <prefix>/lib/brindlewave,
// else left to the system's search by its bare name.
TEST(Folders, ProgramLibrariesBesideThenInThePrivateFolder) {
    struct TCase {
        bool Beside;
        bool Private;
        const char* Expected; // relative to the scratch folder, or the bare name
    } cases[] = {
        {true, true, "usr/bin/libX.so"},
        {false, true, "usr/lib/brindlewave/libX.so"},
        {true, false, "usr/bin/libX.so"},
        {false, false, "libX.so"},
    };
    for (const TCase& c : cases) {
        bwtest::TempDir dir;
        const fs::path bin = dir / "usr/bin";
        fs::create_directories(bin);
        fs::create_directories(dir / "usr/lib/brindlewave");
        if (c.Beside) bwtest::WriteFileText(bin / "libX.so", "");
        if (c.Private) bwtest::WriteFileText(dir / "usr/lib/brindlewave/libX.so", "");
        const std::string expected =
            c.Beside || c.Private ? (dir.Path() / c.Expected).string() : c.Expected;
        EXPECT_EQ(bw::ProgramLibraryPath("libX.so", bin), expected)
            << "beside " << c.Beside << ", private " << c.Private;
    }
}
