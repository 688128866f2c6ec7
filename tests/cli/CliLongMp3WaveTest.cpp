// A long WAV of MPEG layer 3 data (format tag 85) converts in little memory: its data is
// decoded piece by piece, never whole, and the FLAC holds exactly FFmpeg's decoding.
#include "CliTestSupport.h"

TEST(CliLongMp3Wave, ConvertsToFlacInBoundedMemoryAsFFmpegDecodesIt) {
    bwtest::TempDir dir;
    const fs::path in = dir / "long.wav", ours = dir / "ours.raw", ref = dir / "ref.raw";
    // Six minutes: 63 MB of PCM, which a whole-file decoding would hold twice.
    auto made = RunCommand("ffmpeg -v error -f lavfi -i 'sine=frequency=440:duration=360' -f lavfi "
                           "-i 'anoisesrc=duration=360:amplitude=0.1' -filter_complex amerge "
                           "-ac 2 -c:a libmp3lame -b:a 128k -f wav " +
                           ShellQuote(in.string()));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    auto r = RunCommand(std::string("(") + (Sanitized ? "" : "ulimit -v 400000; ") +
                        "XDG_CONFIG_HOME=" + ShellQuote((dir / "cfg").string()) +
                        " /usr/bin/time -f 'peak %M KB' " + BW_CLI + " convert --to flac -o " +
                        ShellQuote((dir / "out").string()) + " " + ShellQuote(in.string()) +
                        ") </dev/null 2>&1");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    const auto peak = r.Output.find("peak ");
    ASSERT_NE(peak, std::string::npos) << r.Output;
    if (!Sanitized) {
        EXPECT_LT(std::stol(r.Output.substr(peak + 5)), 60000) << r.Output;
    }
    for (const auto& [from, to] : {std::pair{dir / "out" / "long.flac", ours}, {in, ref}}) {
        auto d = RunCommand("ffmpeg -v error -y -i " + ShellQuote(from.string()) + " -f s16le " +
                            ShellQuote(to.string()));
        ASSERT_EQ(d.ExitCode, 0) << d.Output;
    }
    // Same bytes, so the same sample count too.
    EXPECT_EQ(fs::file_size(ours), fs::file_size(ref));
    EXPECT_TRUE(bwtest::ReadFileBytes(ours) == bwtest::ReadFileBytes(ref));
}
