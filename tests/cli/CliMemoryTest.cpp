// Whatever a file's header says, converting it takes little memory: a header that cannot be
// honoured is refused with a clear message instead of making the program ask for gigabytes.
#include "CliTestSupport.h"

#include <fstream>

namespace {

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
        std::string Says;      // when the header is made to claim 10^9 Hz: the refusal
    };
    const std::vector<Case> cases = {
        {"PCM WAV from sox", "sox -n -r 44100 -c 2 -b 16 IN synth 20 sine 440", "wav", ""},
        {"IMA ADPCM WAV from sox", "sox -n -r 44100 -c 2 -e ima-adpcm IN synth 20 sine 440", "wav",
         ""},
        {"MS ADPCM WAV from sox", "sox -n -r 44100 -c 2 -e ms-adpcm IN synth 20 sine 440", "wav",
         ""},
        {"MP3 in a WAV from FFmpeg (format tag 85)", sine + "-c:a libmp3lame -f wav IN", "wav", ""},
        {"MP3 in a WAV whose header says 10^9 Hz", sine + "-c:a libmp3lame -f wav IN", "wav",
         "its header says 1000000000 Hz but its audio is 44100 Hz"},
        {"MP3 from FFmpeg", sine + "-c:a libmp3lame IN", "mp3", ""},
        {"WMA from FFmpeg", sine + "-c:a wmav2 IN", "wma", ""},
    };
    const TCliRun cli{dir / "config", {}, "", BW_CLI, "/usr/bin/time -f 'peak %M KB' "};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path in = dir / (std::string("in.") + c.Extension);
        fs::remove(in);
        fs::remove_all(dir / "out");
        bwtest::MustRun(bwtest::Expand(c.Make, {{"IN", Q(in)}}));
        const bool converts = c.Says.empty();
        if (!converts) {
            Patch(in, 24, 1000000000);     // the sample rate
            Patch(in, 28, 1000000000 / 8); // and the bytes per second to go with it
        }
        // 300 MB of address space is plenty for the program and its libraries; tens of GB
        // would not be.
        auto r = RunCommand((Sanitized ? "" : "ulimit -v 300000; ") +
                            cli.Line("convert --to wav -o " + Q(dir / "out") + " " + Q(in)));
        EXPECT_EQ(r.ExitCode, converts ? 0 : 1) << r.Output;
        if (!converts) {
            EXPECT_THAT(r.Output, HasSubstr(c.Says));
        }
        EXPECT_EQ(fs::exists(dir / "out" / "in.wav"), converts);
        const auto peak = r.Output.find("peak ");
        ASSERT_NE(peak, std::string::npos) << r.Output;
        if (!Sanitized) {
            EXPECT_LT(std::stol(r.Output.substr(peak + 5)), 100000) << r.Output;
        }
    }
}
