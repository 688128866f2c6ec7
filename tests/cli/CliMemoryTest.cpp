// Whatever a file's header says, converting it takes little memory: a header that cannot be
// honoured is refused with a clear message instead of making the program ask for gigabytes.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using bwtest::RunCommand;
using bwtest::ShellQuote;
namespace fs = std::filesystem;

namespace {

std::string Q(const fs::path& p) {
    return ShellQuote(p.string());
}

// Address sanitizer reserves terabytes of address space: no limit can be put on it there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

void Make(const std::string& command) {
    auto r = RunCommand(command);
    ASSERT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
}

// Writes a 32-bit little-endian value at offset.
void Patch(const fs::path& path, std::streamoff offset, std::uint32_t value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    f.write(bytes, 4);
}

} // namespace

TEST(CliMemory, EveryInputFormatConvertsInLittleMemory) {
    bwtest::TempDir dir;
    const std::string sine = "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=20 -ac 2 ";
    struct Case {
        const char* Name;
        std::string Make;      // writes in.<ext>
        const char* Extension; // of the input
        bool Converts;
        std::string Says; // on failure
    };
    const std::vector<Case> cases = {
        {"PCM WAV from sox", "sox -n -r 44100 -c 2 -b 16 IN synth 20 sine 440", "wav", true, ""},
        {"IMA ADPCM WAV from sox", "sox -n -r 44100 -c 2 -e ima-adpcm IN synth 20 sine 440", "wav",
         true, ""},
        {"MS ADPCM WAV from sox", "sox -n -r 44100 -c 2 -e ms-adpcm IN synth 20 sine 440", "wav",
         true, ""},
        {"MP3 in a WAV from FFmpeg (format tag 85)", sine + "-c:a libmp3lame -f wav IN", "wav",
         true, ""},
        {"MP3 in a WAV whose header says 10^9 Hz", sine + "-c:a libmp3lame -f wav IN", "wav", false,
         "its header says 1000000000 Hz but its audio is 44100 Hz"},
        {"MP3 from FFmpeg", sine + "-c:a libmp3lame IN", "mp3", true, ""},
        {"WMA from FFmpeg", sine + "-c:a wmav2 IN", "wma", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path in = dir / (std::string("in.") + c.Extension);
        fs::remove(in);
        fs::remove_all(dir / "out");
        std::string make = c.Make;
        make.replace(make.find("IN"), 2, Q(in));
        Make(make);
        if (!c.Converts) {
            Patch(in, 24, 1000000000);     // the sample rate
            Patch(in, 28, 1000000000 / 8); // and the bytes per second to go with it
        }
        // 300 MB of address space is plenty for the program and its libraries; tens of GB
        // would not be.
        const std::string limit = Sanitized ? "" : "ulimit -v 300000; ";
        auto r = RunCommand("(" + limit + "XDG_CONFIG_HOME=" + Q(dir / "config") +
                            " /usr/bin/time -f 'peak %M KB' " + BW_CLI + " convert --to wav -o " +
                            Q(dir / "out") + " " + Q(in) + ") </dev/null 2>&1");
        if (c.Converts) {
            EXPECT_EQ(r.ExitCode, 0) << r.Output;
            EXPECT_TRUE(fs::exists(dir / "out" / "in.wav"));
        } else {
            EXPECT_EQ(r.ExitCode, 1) << r.Output;
            EXPECT_NE(r.Output.find(c.Says), std::string::npos) << r.Output;
            EXPECT_FALSE(fs::exists(dir / "out" / "in.wav"));
        }
        const auto peak = r.Output.find("peak ");
        ASSERT_NE(peak, std::string::npos) << r.Output;
        if (!Sanitized) {
            EXPECT_LT(std::stol(r.Output.substr(peak + 5)), 100000) << r.Output;
        }
    }
}
