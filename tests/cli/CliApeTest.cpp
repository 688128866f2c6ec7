// brindlewave-cli convert --to ape: WAV files as sox and FFmpeg write them, the level from the
// settings file, FFmpeg's decode as the judge; and the library found beside the program.
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace bwtest;
namespace fs = std::filesystem;

std::string Q(const fs::path& p) {
    return ShellQuote(p.string());
}

std::vector<std::uint8_t> Pcm(const fs::path& file, const char* format) {
    auto raw = file;
    raw += ".raw";
    auto r = RunCommand("ffmpeg -nostdin -v error -err_detect crccheck+explode -y -i " + Q(file) +
                        " -f " + format + " " + Q(raw));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "") << file;
    return ReadFileBytes(raw);
}

TEST(CliApe, ConvertsWavFilesOfOtherToolsAtTheSettingsLevel) {
    TempDir dir;
    const auto settings = dir / "config/Vellamor/Brindlewave/options.ini";
    fs::create_directories(settings.parent_path());
    WriteFileText(settings, "[APEOptions]\nCompression=4000\n");
    struct TInput {
        const char* Name;
        std::string Make;
        const char* Format;
    };
    const std::vector<TInput> inputs = {
        {"sox16.wav", "sox -n -r 44100 -c 2 -b 16 OUT synth 2.5 pluck 220 vol 0.6", "s16le"},
        // Plain PCM: sox marks 24-bit files as extensible otherwise, which the reader refuses.
        {"sox24.wav", "sox -n -r 48000 -c 1 -b 24 -t wavpcm OUT synth 1.5 sine 300-3000 vol 0.9",
         "s24le"},
        {"sox8.wav", "sox -n -r 22050 -c 2 -b 8 -e unsigned OUT synth 1 noise vol 0.3", "u8"},
        // FFmpeg puts a LIST chunk before the data.
        {"ffmpeg.wav",
         "ffmpeg -nostdin -v error -f lavfi -i sine=f=500:d=2 -ac 2 -metadata title=x OUT",
         "s16le"},
    };
    for (const auto& in : inputs) {
        SCOPED_TRACE(in.Name);
        const auto wav = dir / in.Name;
        auto command = in.Make;
        command.replace(command.find("OUT"), 3, Q(wav));
        auto made = RunCommand(command);
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        auto r = RunCommand("XDG_CONFIG_HOME=" + Q(dir / "config") + " " + BW_CLI +
                            " convert --to ape -o " + Q(dir / "out") + " " + Q(wav));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        auto ape = dir / "out" / in.Name;
        ape.replace_extension(".ape");
        const auto bytes = ReadFileBytes(ape);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes[52] | bytes[53] << 8, 4000);
        EXPECT_TRUE(Pcm(ape, in.Format) == Pcm(wav, in.Format));
    }
}

// A copy of the program finds the library in its own folder, and names it when it is absent.
TEST(CliApe, LibraryIsLoadedFromBesideTheProgram) {
    TempDir dir;
    const auto wav = dir / "in.wav";
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Q(wav) + " synth 1 sine 440").ExitCode, 0);
    fs::create_directories(dir / "bin");
    fs::copy_file(BW_CLI, dir / "bin/brindlewave-cli");
    const std::string run = "XDG_CONFIG_HOME=" + Q(dir / "config") + " " +
                            Q(dir / "bin/brindlewave-cli") + " convert --to ape -o " +
                            Q(dir / "out") + " " + Q(wav);
    auto alone = RunCommand(run);
    EXPECT_NE(alone.ExitCode, 0);
    EXPECT_NE(alone.Output.find("libMACDll.so library could not be loaded."), std::string::npos)
        << alone.Output;
    EXPECT_FALSE(fs::exists(dir / "out/in.ape"));

    fs::copy_file(fs::path(BW_CLI).parent_path() / "libMACDll.so", dir / "bin/libMACDll.so");
    auto beside = RunCommand(run);
    ASSERT_EQ(beside.ExitCode, 0) << beside.Output;
    EXPECT_TRUE(Pcm(dir / "out/in.ape", "s16le") == Pcm(wav, "s16le"));
}

} // namespace
