#include "IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace bw;

TEST(IniFile, NamesIgnoreCaseAndFirstMatchWins) {
    auto ini = TIniFile::Parse("[Sec]\nKey=one\nkey=two\n[SEC]\nKEY=three\nOther=x\n");
    EXPECT_EQ(ini.ReadString("sec", "KEY", "d"), "one");
    // A repeated section is never consulted, even for keys the first one lacks.
    EXPECT_EQ(ini.ReadString("Sec", "Other", "d"), "d");
    EXPECT_EQ(ini.ReadString("Missing", "Key", "d"), "d");
}

TEST(IniFile, TolerantOfMessyFiles) {
    using namespace std::string_literals;
    std::string text = "orphan=1\r\n[A]\r\nno equals sign\r\n  spaced  =  value  \r\n"
                       "empty=\r\n;comment=5\r\n\x01\xff\x00junk=\x7f\r\n[ B \nlast=x"s;
    auto ini = TIniFile::Parse(text);
    EXPECT_EQ(ini.ReadString("", "orphan", "d"), "d"); // keys before any section belong nowhere
    EXPECT_EQ(ini.ReadString("A", "spaced", "d"), "value");
    EXPECT_EQ(ini.ReadString("A", "empty", "d"), "");
    EXPECT_FALSE(ini.HasKey("A", ";comment"));
    // An unclosed header still opens its section; the last line needs no line end.
    EXPECT_EQ(ini.ReadString("B", "last", "d"), "x");
}

TEST(IniFile, IntegersAndBooleans) {
    auto ini = TIniFile::Parse("[S]\na=42\nb=-7\nc=abc\nd=\ne=12x\nf=99999999999\ng=0\nh= 5 \n");
    EXPECT_EQ(ini.ReadInteger("S", "a", 1), 42);
    EXPECT_EQ(ini.ReadInteger("S", "b", 1), -7);
    EXPECT_EQ(ini.ReadInteger("S", "c", 1), 1);
    EXPECT_EQ(ini.ReadInteger("S", "d", 1), 1);
    EXPECT_EQ(ini.ReadInteger("S", "e", 1), 1);
    EXPECT_EQ(ini.ReadInteger("S", "f", 1), 1); // beyond 32 bits
    EXPECT_EQ(ini.ReadInteger("S", "h", 1), 5);
    EXPECT_TRUE(ini.ReadBool("S", "b", false));
    EXPECT_FALSE(ini.ReadBool("S", "g", true));
    EXPECT_TRUE(ini.ReadBool("S", "d", true)); // empty gives the default
    EXPECT_FALSE(ini.ReadBool("S", "d", false));
}

TEST(IniFile, OverlongValuesAreCut) {
    std::string longValue(5000, 'v');
    auto ini = TIniFile::Parse("[S]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), MaxIniValueLength);
    ini.WriteString("S", "w", longValue);
    EXPECT_EQ(ini.ReadString("S", "w", "").size(), MaxIniValueLength);
}

TEST(IniFile, WritesReplaceInPlaceAndKeepTheRest) {
    auto ini = TIniFile::Parse("; note\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    ini.WriteInteger("a", "Y", 20);   // existing key keeps its place and spelling
    ini.WriteString("A", "new", "n"); // new key joins its section
    ini.WriteBool("C", "flag", true); // new section at the end
    ini.WriteString("B", "z", "line\nbreak");
    EXPECT_EQ(ini.Text(), "; note\n[A]\nx=1\ny=20\nnew=n\n\n[B]\nz=line\n\n[C]\nflag=1\n");
    auto again = TIniFile::Parse(ini.Text());
    EXPECT_EQ(again.ReadInteger("A", "y", 0), 20);
    EXPECT_TRUE(again.ReadBool("C", "flag", false));
}

TEST(IniFile, SaveIsAtomicAndReportsFailure) {
    bwtest::TempDir dir;
    auto path = dir / "f.ini";
    EXPECT_EQ(TIniFile::Load(path).Text(), ""); // missing reads as empty

    TIniFile ini;
    ini.WriteString("S", "k", "v");
    ini.Save(path);
    EXPECT_EQ(bwtest::ReadFileText(path), "[S]\nk=v\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    chmod(path.c_str(), 0444);
    ini.WriteString("S", "k", "changed");
    try {
        ini.Save(path);
        FAIL() << "a read-only file was overwritten";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string());
    }
    EXPECT_EQ(bwtest::ReadFileText(path), "[S]\nk=v\n");
    // A folder that does not exist cannot be written either.
    EXPECT_THROW(ini.Save(dir / "no" / "such.ini"), EIniWriteError);
}
