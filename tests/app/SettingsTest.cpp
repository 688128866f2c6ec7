#include "AppFixture.h"
#include "IniFile.h"

#include <sstream>
#include <sys/stat.h>

using namespace bw;

using SettingsStore = AppFolders;

namespace {
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}
} // namespace

TEST_F(SettingsStore, MissingFileGivesDefaultsAndSaveWritesEveryKeyInOrder) {
    LoadSaveOptions(true);
    EXPECT_EQ(Settings.OutputFolder, (Dir / "program").string() + "/Output");
    EXPECT_EQ(Settings.OutputFormat, 0);
    EXPECT_FALSE(Settings.IsKeepWav);
    EXPECT_EQ(Settings.NormalizePercent, 95);
    EXPECT_EQ(Settings.Mp3BitRate, 128);
    EXPECT_EQ(Settings.Mp3MaxBitRate, 320);
    EXPECT_EQ(Settings.VBRQuality, 4);
    EXPECT_EQ(Settings.StereoMode, 1);
    EXPECT_EQ(Settings.Mp3CPU, 3);
    EXPECT_EQ(Settings.ConstantBitRate, 5);
    EXPECT_TRUE(Settings.IsUseCompress);
    EXPECT_EQ(Settings.CompressPosition, 30);
    EXPECT_EQ(Settings.FormatIndex, 29);
    EXPECT_EQ(Settings.FLACCompression, 2);
    EXPECT_EQ(Settings.APECompression, 2000);
    EXPECT_EQ(Settings.APECPU, 3);
    EXPECT_EQ(Settings.CDIndex, -1);
    EXPECT_EQ(Settings.CDDBServer, "gnudb.gnudb.org");
    EXPECT_EQ(Settings.CDDBScript, "/~cddb/cddb.cgi");
    EXPECT_EQ(Settings.Port, "80");
    EXPECT_FALSE(std::filesystem::exists(OptionsPath())); // loading writes nothing

    LoadSaveOptions(false);
    auto lines = Lines(bwtest::ReadFileText(OptionsPath()));
    std::vector<std::string> expected = {"[CommonOptions]",
                                         "OutputFolder=" + Settings.OutputFolder,
                                         "OutputFormat=0",
                                         "IsKeepWav=0",
                                         "IsNormalize=0",
                                         "NormalizePercent=95",
                                         "EnableRipTime=0",
                                         "RipTime=0",
                                         "[Mp3Options]",
                                         "IsSelectVBR=0",
                                         "IsVBRHead=0",
                                         "BitRate=128",
                                         "MaxBitRate=320",
                                         "VBRQuality=4",
                                         "StereoMode=1",
                                         "CPU=3",
                                         "ConstantBitRate=5",
                                         "[OggOptions]",
                                         "IsUseCompress=1",
                                         "CompressPosition=30",
                                         "MaxBitRate=0",
                                         "NomalBitRate=0",
                                         "MinBitRate=0",
                                         "[WMAOptions]",
                                         "CodecIndex=0",
                                         "FormatIndex=29",
                                         "VBR=0",
                                         "[FLACOptions]",
                                         "Compression=2",
                                         "[APEOptions]",
                                         "Compression=2000",
                                         "CPU=3",
                                         "[CDOptions]",
                                         "Index=-1",
                                         "CDDb=0",
                                         "[QueryCDDB]",
                                         "Server=gnudb.gnudb.org",
                                         "Script=/~cddb/cddb.cgi",
                                         "UseProxy=0",
                                         "ProxyAddress=",
                                         "Port=80",
                                         "[MusicBrainz]",
                                         "Server=https://musicbrainz.org",
                                         "[AccurateRip]",
                                         "Server=www.accuraterip.com",
                                         "ReadOffset=0",
                                         "[CTDB]",
                                         "Server=http://db.cuetools.net",
                                         "[Rip]",
                                         "WriteLog=0",
                                         "ReadMode=0",
                                         "MaxRereads=20",
                                         "MaxRetries=5",
                                         "FileNameTemplate=%n",
                                         "EjectWhenRipped=0",
                                         "[OpusOptions]",
                                         "Bitrate=128",
                                         "Mode=0",
                                         "Complexity=10",
                                         "[Tags]",
                                         "CoverArtServer=https://coverartarchive.org",
                                         "EmbedCover=1",
                                         "SaveCover=1",
                                         "ReplayGain=1"};
    EXPECT_EQ(lines, expected);
    // 33 keys in 8 sections, then our own sections.
    EXPECT_EQ(lines.size(), 33u + 8u + 2u + 10u + 4u + 5u + 2u);
}

TEST_F(SettingsStore, StoredValuesAndTheirLimits) {
    WriteOptions("[commonoptions]\nOutputFolder=\nIsKeepWav=\nIsNormalize=2\n"
                 "NormalizePercent=150\n[OggOptions]\nCompressPosition=10\n"
                 "[Mp3Options]\nConstantBitRate=5\nMaxBitRate=256\n[OggOptions]\nMaxBitRate=9\n"
                 "[QueryCDDB]\nPort=eighty\nServer=\n");
    LoadSaveOptions(true);
    EXPECT_EQ(Settings.OutputFolder, "");      // empty text stays empty
    EXPECT_FALSE(Settings.IsKeepWav);          // empty bool is the default
    EXPECT_TRUE(Settings.IsNormalize);         // any non-zero integer is true
    EXPECT_EQ(Settings.NormalizePercent, 150); // not clamped
    EXPECT_EQ(Settings.CompressPosition, 30);
    EXPECT_EQ(Settings.ConstantBitRate, 5);
    EXPECT_EQ(Settings.Mp3MaxBitRate, 256);
    EXPECT_EQ(Settings.OggMaxBitRate, 0); // the section tells recurring key names apart
    EXPECT_EQ(Settings.Port, "eighty");
    EXPECT_EQ(Settings.CDDBServer, "");

    WriteOptions("[OggOptions]\nCompressPosition=250\n");
    LoadSaveOptions(true);
    EXPECT_EQ(Settings.CompressPosition, 100);
    WriteOptions("[OggOptions]\nCompressPosition=55\n");
    LoadSaveOptions(true);
    EXPECT_EQ(Settings.CompressPosition, 55);
}

TEST_F(SettingsStore, ValuesSurviveARoundTrip) {
    LoadSaveOptions(true);
    Settings.OutputFolder = "/music/out folder=with equals";
    Settings.OutputFormat = 4;
    Settings.IsKeepWav = true;
    Settings.Mp3CPU = 1;
    Settings.ProxyAddress = "proxy.example";
    Settings.UseProxy = true;
    Settings.CDDb = true;
    LoadSaveOptions(false);
    Settings = TAppSettings{};
    LoadSaveOptions(true);
    EXPECT_EQ(Settings.OutputFolder, "/music/out folder=with equals");
    EXPECT_EQ(Settings.OutputFormat, 4);
    EXPECT_TRUE(Settings.IsKeepWav);
    EXPECT_EQ(Settings.Mp3CPU, 1);
    EXPECT_EQ(Settings.ProxyAddress, "proxy.example");
    EXPECT_TRUE(Settings.UseProxy);
    EXPECT_TRUE(Settings.CDDb);
}

TEST_F(SettingsStore, ReadOnlyFileFailsTheSaveAndStaysWhole) {
    WriteOptions("[CommonOptions]\nOutputFormat=2\n");
    chmod(OptionsPath().c_str(), 0444);
    LoadSaveOptions(true);
    Settings.OutputFormat = 3;
    EXPECT_THROW(LoadSaveOptions(false), EIniWriteError);
    EXPECT_EQ(bwtest::ReadFileText(OptionsPath()), "[CommonOptions]\nOutputFormat=2\n");
}

TEST_F(SettingsStore, UncreatableSettingsFolderFallsBackToTheProgramFolder) {
    // A plain file where a folder should be: no one, not even root, can create below it.
    bwtest::WriteFileText(Dir / "blocker", "x");
    setenv("XDG_CONFIG_HOME", (Dir / "blocker").c_str(), 1);
    LoadSaveOptions(true);
    LoadSaveOptions(false);
    EXPECT_TRUE(std::filesystem::exists(Dir / "program" / "options.ini"));
    EXPECT_EQ(OptionsFilePath(), Dir / "program" / "options.ini");
}

TEST(SettingsFolders, FollowXdgConfigHome) {
    bwtest::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), dir.Path().string() + "/");
    EXPECT_EQ(OptionsFilePath(), dir.Path() / "Vellamor/Brindlewave/options.ini");
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "Vellamor/Brindlewave"));
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    setenv("HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), (dir.Path() / ".config").string() + "/");
}
