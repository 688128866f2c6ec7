#include "FileNameTemplate.h"

#include <gtest/gtest.h>

namespace {

TEST(FileNameTemplate, ValuesNeverMakeFoldersNorLeaveTheOutputFolder) {
    bw::TFileNameFields fields{"Artist", "Album", "1999", "Jazz", 7, "Title"};
    struct {
        const char* Template;
        bw::TFileNameFields Fields;
        const char* Expected;
    } const cases[] = {
        {"%n", fields, "Title"},
        {"", fields, "Title"},
        {"%A/%d/%t %n", fields, "Artist/Album/07 Title"},
        {"%y - %g - %t", fields, "1999 - Jazz - 07"},
        {"100%% %n %x", fields, "100% Title %x"},
        {"%n", {"", "", "", "", 3, "AC/DC"}, "AC-DC"},
        {"%n", {"", "", "", "", 3, ".."}, "Track03"},
        {"%n", {"", "", "", "", 3, "."}, "Track03"},
        {"%n", {"", "", "", "", 3, ""}, "Track03"},
        {"%A/%n", {"..", "", "", "", 12, "../../etc/passwd"}, "Unknown Artist/..-..-etc-passwd"},
        // Missing disc fields give every track of the disc the same folder.
        {"%A/%d/%n", {"", "", "", "", 1, "x"}, "Unknown Artist/Unknown Album/x"},
        {"%y/%g/%t", {"", "", "", "", 2, "x"}, "Unknown Year/Unknown Genre/02"},
        {"../%n", fields, "Track07/Title"},
        {"/abs//%n/", fields, "abs/Title"},
        {"%n", {"", "", "", "", 2, std::string("a\0b", 3)}, "ab"},
        // A track's own artist, else the disc's; the disc number, 1 for a single disc.
        {"%A/%d/%D-%t %n", {"Band", "Box", "", "", 3, "Song", "", 2}, "Band/Box/2-03 Song"},
        {"%D-%t", fields, "1-07"},
        {"%t %a - %n", {"VA", "", "", "", 1, "Song", "Guest/Star", 0}, "01 Guest-Star - Song"},
        {"%t %a - %n", fields, "07 Artist - Title"},
    };
    for (const auto& c : cases) {
        const std::string path = bw::ExpandFileNameTemplate(c.Template, c.Fields);
        EXPECT_EQ(path, c.Expected) << c.Template;
        EXPECT_TRUE(bw::IsSafeRelativePath(path)) << path;
    }
    EXPECT_EQ(bw::TemplateFolderOf("a/b/c"), "a/b");
    EXPECT_EQ(bw::TemplateFolderOf("c"), "");
    // Very long titles are cut at a character boundary.
    std::string longTitle;
    for (int i = 0; i < 150; ++i)
        longTitle += "東";
    fields.Title = longTitle;
    const std::string cut = bw::ExpandFileNameTemplate("%n", fields);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(cut.size() % 3, 0u);
}

TEST(FileNameTemplate, SafeRelativePaths) {
    for (const char* bad : {"", "/x", "x/", "a//b", "..", "a/../b", "./a"})
        EXPECT_FALSE(bw::IsSafeRelativePath(bad)) << bad;
    for (const char* good : {"a", "a/b c/d", "...", "..a"})
        EXPECT_TRUE(bw::IsSafeRelativePath(good)) << good;
}

} // namespace
