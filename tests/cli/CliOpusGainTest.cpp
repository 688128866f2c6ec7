// ReplayGain of converted files: Opus outputs carry R128 gains that mutagen, opusinfo and
// FFmpeg read and that agree with FFmpeg's ebur128 filter; every output gets its own measured
// track gain, tagged source or not, and only lossless outputs keep the source's album gain.
#include "CliTestSupport.h"
#include "FfmpegLoudness.h"

namespace {

std::string Sh(const std::string& command) {
    auto r = bwtest::RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
    return r.Output;
}

// The gain to -23 LUFS that FFmpeg's ebur128 filter measures, in dB.
double FfmpegGain(const fs::path& file) {
    return -23 - bwtest::FfmpegLoudnessAndPeak("-i " + Q(file)).first;
}

// Converts with the command-line program and returns mutagen's view of the output's tags.
std::map<std::string, std::string> Converted(const bwtest::TempDir& dir, const fs::path& in,
                                             const std::string& format, fs::path* out = nullptr) {
    Sh(TCliRun(dir / "config")
           .Line("convert -q --force --to " + format + " -o " + Q(dir / format) + " " + Q(in)));
    const fs::path file = (dir / format / in.filename()).replace_extension(format);
    if (out) *out = file;
    return bwtest::MutagenTags(file);
}

TEST(CliOpusGain, R128GainAgreesWithFfmpegAndIsReadByOtherTools) {
    bwtest::TempDir dir;
    for (const char* source : {"sine=f=440:d=6,volume=0.1 -ac 2",
                               "anoisesrc=color=pink:d=5:a=0.8 -c:a pcm_s24le -ar 48000",
                               "sine=f=1000:beep_factor=4:d=4 -c:a pcm_u8 -ar 22050"}) {
        SCOPED_TRACE(source);
        Sh("ffmpeg -v error -y -f lavfi -i " + std::string(source) + " " + Q(dir / "in.wav"));
        fs::path opus;
        auto tags = Converted(dir, dir / "in.wav", "opus", &opus);
        const std::string gain = tags["r128_track_gain"];
        EXPECT_NEAR(std::stoi(gain), 256 * FfmpegGain(dir / "in.wav"), 0.15 * 256);
        EXPECT_EQ(tags.count("rg_track_gain") + tags.count("rg_track_peak"), 0u);
        EXPECT_THAT(Sh("opusinfo " + Q(opus)), HasSubstr("R128_TRACK_GAIN=" + gain + "\n"));
        EXPECT_EQ(
            Sh("ffprobe -v error -show_entries stream_tags=R128_TRACK_GAIN -of csv=p=0 " + Q(opus)),
            gain + "\n");
        // The header's output gain (OpusHead bytes 16 and 17) stays 0.
        auto bytes = bwtest::ReadFileBytes(opus);
        auto head = std::search(bytes.begin(), bytes.end(), "OpusHead", "OpusHead" + 8);
        EXPECT_EQ(head[16] | head[17], 0);
    }
}

TEST(CliOpusGain, OutputsGetTheirOwnTrackGainAndOnlyLosslessOnesTheSourcesAlbumGain) {
    bwtest::TempDir dir;
    const fs::path wav = dir / "s.wav", flac = dir / "f.flac", opus = dir / "o.opus";
    Sh("sox -n -r 44100 -c 2 -b 16 " + Q(wav) + " synth 4 pinknoise gain -20");
    Sh("flac -s -T TITLE=T -T 'REPLAYGAIN_TRACK_GAIN=+7.77 dB' -T 'REPLAYGAIN_ALBUM_GAIN=+6.66 dB' "
       "-o " +
       Q(flac) + " " + Q(wav));
    Sh("opusenc --quiet --title T --comment R128_TRACK_GAIN=1234 --comment R128_ALBUM_GAIN=-512 " +
       Q(wav) + " " + Q(opus));
    const struct {
        fs::path Source;
        const char* Format;
        const char* Album; // the source's album gain, carried only into lossless outputs
    } cases[] = {{flac, "flac", "6.66 dB"}, {flac, "mp3", ""}, {flac, "opus", ""},
                 {opus, "flac", "3.00 dB"}, {opus, "mp3", ""}, {opus, "opus", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Source.filename().string() + " to " + c.Format);
        auto tags = Converted(dir, c.Source, c.Format);
        const bool r128 = std::string(c.Format) == "opus";
        const double gain = r128 ? std::stoi(tags["r128_track_gain"]) / 256.0
                                 : std::stod(tags["rg_track_gain"]) - 5;
        EXPECT_NEAR(gain, FfmpegGain(c.Source), 0.15);
        EXPECT_EQ(tags[r128 ? "r128_album_gain" : "rg_album_gain"], c.Album);
        EXPECT_EQ(tags["title"], "T");
    }
}

} // namespace
