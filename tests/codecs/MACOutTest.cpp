// The APE sink: with our encoder library, checked by FFmpeg; with a recording stand-in
// library, to see exactly how the PCM is lent, handed over and finished.
#include "MACOut.h"
#include "ApplyOptions.h"
#include "CodecTestSupport.h"
#include "Global.h"

#include <fstream>
#include <tuple>

namespace bw {
namespace {

using namespace bwtest;
namespace fs = std::filesystem;

// Swaps the loaded library for another file for the life of the object.
class TLibrarySwap {
public:
    explicit TLibrarySwap(const std::string& file) : FOld(MACLibrary().FileName()) {
        MACLibrary().Unload();
        MACLibrary().SetFileName(file);
        MACLibrary().Load();
    }
    ~TLibrarySwap() {
        MACLibrary().Unload();
        MACLibrary().SetFileName(FOld);
        MACLibrary().Load();
    }

private:
    std::string FOld;
};

// The stand-in library, loaded and configured: regions of `lend` bytes, the given codes.
class TFakeLibrary : public TLibrarySwap {
public:
    TFakeLibrary(int lend, int startError = 0, int unlockError = 0)
        : TLibrarySwap(BW_BINARY_DIR "/libMACDllFake.so"),
          FLibrary(BW_BINARY_DIR "/libMACDllFake.so") {
        void (*configure)(int, int, int) = nullptr;
        EXPECT_TRUE(FLibrary.Resolve(configure, "FakeMAC_Configure"));
        if (configure) configure(lend, startError, unlockError);
    }

private:
    TSharedLibrary FLibrary;
};

std::vector<std::string> LogLines(const fs::path& file) {
    std::ifstream in(file.string() + ".log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct TFormat {
    int Bits, Channels, Level;
};

class MACOutRoundTrip : public ::testing::TestWithParam<TFormat> {};

TEST_P(MACOutRoundTrip, FFmpegDecodesTheExactPcmWithCrcsChecked) {
    const auto [bits, channels, level] = GetParam();
    TempDir dir;
    const auto file = dir / "out.ape";
    // Over a frame long, in odd-sized pulls.
    const auto pcm = Music(bits, channels, 44100, 80000, bits + channels);
    TPcmSource source(bits, channels, 44100, pcm, 5000 * channels * bits / 8 + 1);
    TMACOut out;
    out.SetFileName(file);
    out.SetCompressionLevel(level);
    ASSERT_EQ(RunOutput(out, source), "");
    auto r = RunCommand("ffmpeg -nostdin -v error -err_detect crccheck+explode -i " +
                        ShellQuote(file.string()) + " -f " +
                        (bits == 8    ? "u8"
                         : bits == 16 ? "s16le"
                                      : "s24le") +
                        " -");
    ASSERT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Output == std::string(pcm.begin(), pcm.end()));
}

INSTANTIATE_TEST_SUITE_P(Formats, MACOutRoundTrip,
                         ::testing::Values(TFormat{8, 1, 1000}, TFormat{8, 2, 2000},
                                           TFormat{16, 1, 3000}, TFormat{16, 2, 4000},
                                           TFormat{24, 1, 2000}, TFormat{24, 2, 3000}),
                         [](const auto& info) {
                             return std::to_string(info.param.Bits) + "bit" +
                                    std::to_string(info.param.Channels) + "ch" +
                                    std::to_string(info.param.Level);
                         });

TEST(MACOut, LevelsAndSettings) {
    TMACOut out;
    EXPECT_EQ(out.CompressionLevel(), 2000);
    EXPECT_EQ(out.MaxAudioBytes, -1);
    for (auto [set, read] : {std::pair{5000, 2000},
                             {3000, 3000},
                             {1000, 1000},
                             {4000, 4000},
                             {0, 2000},
                             {2001, 2000},
                             {-1000, 2000}}) {
        out.SetCompressionLevel(set);
        EXPECT_EQ(out.CompressionLevel(), read) << set;
    }
    const TAppSettings saved = Settings;
    for (auto [cpu, level, delay, read] :
         {std::tuple{1, 1000, 11, 1000}, {2, 4000, 6, 4000}, {3, 5000, 1, 2000}}) {
        Settings.APECPU = cpu;
        Settings.APECompression = level;
        ApplyAPEOptions(out);
        EXPECT_EQ(out.Delay(), delay);
        EXPECT_EQ(out.CompressionLevel(), read);
    }
    Settings = saved;
}

TEST(MACOut, ErrorTexts) {
    for (auto [code, text] : {std::pair<int, std::string>{0, "OK"},
                              {1004, "input file file too large"},
                              {1008, "input file too small"},
                              {2000, "insufficient memory"},
                              {4001, "skipped..."},
                              {6000, "APE compress too much data"},
                              {7, "undefined (7)"},
                              {-1, "undefined (-1)"}})
        EXPECT_EQ(APEErrorText(code), text);
    EXPECT_STREQ(EAPEException(2000).what(), "MACDll error: insufficient memory");
}

// Each block is the largest run of whole sample frames within 65536 bytes, handed over in
// the regions the library lends, in order.
TEST(MACOut, BlocksReachTheLibraryThroughSmallRegionsInOrder) {
    TFakeLibrary fake(1000);
    TempDir dir;
    for (auto [bits, channels, block] : {std::tuple{16, 2, 65536}, {24, 2, 65532}, {8, 1, 65536}}) {
        const auto file = dir / ("b" + std::to_string(bits) + ".ape");
        const auto pcm = Music(bits, channels, 44100, 70000, 3);
        TPcmSource source(bits, channels, 44100, pcm, 3000);
        TMACOut out;
        out.SetFileName(file);
        out.SetCompressionLevel(3000);
        ASSERT_EQ(RunOutput(out, source), "");
        EXPECT_TRUE(ReadFileBytes(file) == pcm);
        std::vector<std::string> expected = {"start 44100 " + std::to_string(bits) + " " +
                                             std::to_string(channels) + " -1 3000 none -1"};
        for (std::size_t at = 0; at < pcm.size(); at += block) {
            const std::size_t end = std::min(pcm.size(), at + block);
            for (std::size_t piece = at; piece < end; piece += 1000)
                expected.push_back("unlock " +
                                   std::to_string(std::min<std::size_t>(1000, end - piece)) + " 1");
        }
        expected.push_back("finish none 0 0");
        expected.push_back("destroy");
        EXPECT_EQ(LogLines(file), expected) << bits << " bits";
    }
}

TEST(MACOut, FailuresReachTheUser) {
    TempDir dir;
    const auto pcm = Music(16, 2, 44100, 1000, 1);
    struct TCase {
        const char* Name;
        int StartError, UnlockError;
        std::string Message;
    };
    const std::vector<TCase> cases = {
        {"start", 7, 0, "Error starting APECompress.\r\nundefined (7)"},
        {"start, known code", 1003, 0, "Error starting APECompress.\r\ninvalid output file"},
        {"unlock", 0, 1001, "APECompress.UnlockBuffer Error: 1001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeLibrary fake(1000, c.StartError, c.UnlockError);
        TPcmSource source(16, 2, 44100, pcm);
        TMACOut out;
        out.SetFileName(dir / "f.ape");
        EXPECT_EQ(RunOutput(out, source), c.Message);
        EXPECT_FALSE(out.CanOutput() && c.StartError);
        // The compressor is given back at once, not with the output.
        EXPECT_EQ(LogLines(dir / "f.ape").back(), "destroy");
        fs::remove(dir / "f.ape.log");
    }
    TPcmSource source(16, 2, 44100, pcm);
    TMACOut unnamed;
    EXPECT_EQ(RunOutput(unnamed, source), "File name is not assigned.");
}

TEST(MACOut, EmptyInput) {
    TempDir dir;
    {
        // The output asks for a block, gets nothing, and finishes the file.
        TFakeLibrary fake(1000);
        TPcmSource source(16, 2, 44100, {});
        TMACOut out;
        out.SetFileName(dir / "empty.ape");
        EXPECT_EQ(RunOutput(out, source), "");
        EXPECT_EQ(LogLines(dir / "empty.ape"),
                  (std::vector<std::string>{"start 44100 16 2 -1 2000 none -1", "finish none 0 0",
                                            "destroy"}));
    }
    // Our library cannot describe a file without audio; the user hears of it.
    TPcmSource source(16, 2, 44100, {});
    TMACOut out;
    out.SetFileName(dir / "real.ape");
    EXPECT_EQ(RunOutput(out, source), "MACDll error: input file too small");
    EXPECT_FALSE(fs::exists(dir / "real.ape"));
}

TEST(MACOut, MissingLibraryIsNamed) {
    TempDir dir;
    TLibrarySwap missing((dir / "libMACDll.so").string());
    try {
        TMACOut out;
        FAIL() << "constructed without the library";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.what(), (dir / "libMACDll.so").string() + " library could not be loaded.");
    }
}

} // namespace
} // namespace bw
