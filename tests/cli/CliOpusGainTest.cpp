// ReplayGain of converted files: Opus outputs carry R128 gains that mutagen, opusinfo and
// FFmpeg read and that agree with FFmpeg's ebur128 filter; every output gets its own measured
// track gain, tagged source or not, and only lossless outputs keep the source's album gain.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <sstream>

using bwtest::RunCommand;
namespace fs = std::filesystem;

namespace {

std::string Q(const fs::path& p) {
    return bwtest::ShellQuote(p.string());
}

std::string Sh(const std::string& command) {
    auto r = RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
    return r.Output;
}

// FFmpeg's integrated loudness of a file, in LUFS.
double FfmpegLufs(const fs::path& file) {
    std::smatch m;
    std::string out =
        Sh("ffmpeg -nostats -hide_banner -i " + Q(file) + " -af ebur128 -f null - 2>&1");
    EXPECT_TRUE(
        std::regex_search(out, m, std::regex(R"(Integrated loudness:\s+I:\s+(-?[0-9.]+) LUFS)")))
        << out;
    return m.empty() ? 0 : std::stod(m[1]);
}

std::map<std::string, std::string> Mutagen(const fs::path& file) {
    std::istringstream lines(
        Sh("/usr/bin/python3 " BW_SOURCE_DIR "/tests/support/tag_dump.py " + Q(file)));
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(lines, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
    return fields;
}

fs::path Convert(const bwtest::TempDir& dir, const fs::path& in, const std::string& format) {
    Sh("XDG_CONFIG_HOME=" + Q(dir / "config") + " " BW_CLI " convert -q --force --to " + format +
       " -o " + Q(dir / format) + " " + Q(in));
    return (dir / format / in.filename()).replace_extension(format);
}

TEST(CliOpusGain, R128GainAgreesWithFfmpegAndIsReadByOtherTools) {
    const char* sources[] = {
        "sine=frequency=440:duration=6,volume=0.1 -ar 44100 -ac 2",
        "anoisesrc=color=pink:duration=5:amplitude=0.8 -c:a pcm_s24le -ar 48000",
        "sine=frequency=1000:beep_factor=4:duration=4 -c:a pcm_u8 -ar 22050"};
    bwtest::TempDir dir;
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        const fs::path wav = dir / "in.wav";
        Sh("ffmpeg -v error -y -f lavfi -i " + std::string(source) + " " + Q(wav));
        const fs::path opus = Convert(dir, wav, "opus");
        auto tags = Mutagen(opus);
        EXPECT_NEAR(std::stoi(tags["r128_track_gain"]), 256 * (-23 - FfmpegLufs(wav)), 0.15 * 256);
        for (const char* none : {"rg_track_gain", "rg_track_peak", "r128_album_gain"})
            EXPECT_EQ(tags.count(none), 0u) << none;
        const std::string line = "R128_TRACK_GAIN=" + tags["r128_track_gain"] + "\n";
        EXPECT_NE(Sh("opusinfo " + Q(opus)).find(line), std::string::npos);
        EXPECT_EQ(Sh("ffprobe -v error -show_entries stream_tags=R128_TRACK_GAIN -of "
                     "default=nw=1:nk=1 " +
                     Q(opus)),
                  tags["r128_track_gain"] + "\n");
        // The header's output gain (OpusHead bytes 16 and 17) stays 0.
        auto bytes = bwtest::ReadFileBytes(opus);
        auto head =
            std::search(bytes.begin(), bytes.end(), "OpusHead", "OpusHead" + 8) - bytes.begin();
        EXPECT_EQ(bytes.at(head + 16) | bytes.at(head + 17), 0);
    }
}

TEST(CliOpusGain, OutputsGetTheirOwnTrackGainAndOnlyLosslessOnesTheSourcesAlbumGain) {
    bwtest::TempDir dir;
    Sh("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") + " synth 4 pinknoise gain -20");
    Sh("flac -s -T TITLE=T -T 'REPLAYGAIN_TRACK_GAIN=+7.77 dB' -T 'REPLAYGAIN_ALBUM_GAIN=+6.66 "
       "dB' -o " +
       Q(dir / "f.flac") + " " + Q(dir / "s.wav"));
    Sh("opusenc --quiet --title T --comment R128_TRACK_GAIN=1234 --comment R128_ALBUM_GAIN=-512 " +
       Q(dir / "s.wav") + " " + Q(dir / "o.opus"));
    const struct {
        const char* Source;
        const char* Format;
        const char* Album; // the album gain mutagen reads: the source's, only into lossless
    } cases[] = {{"f.flac", "flac", "6.66 dB"}, {"f.flac", "mp3", ""}, {"f.flac", "opus", ""},
                 {"o.opus", "flac", "3.00 dB"}, {"o.opus", "mp3", ""}, {"o.opus", "opus", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " to " + c.Format);
        const fs::path out = Convert(dir, dir / c.Source, c.Format);
        auto tags = Mutagen(out);
        const bool opus = std::string(c.Format) == "opus";
        const double gain = opus ? std::stoi(tags["r128_track_gain"]) / 256.0 + 5
                                 : std::stod(tags["rg_track_gain"]);
        EXPECT_NEAR(gain, -18 - FfmpegLufs(dir / c.Source), 0.15);
        EXPECT_EQ(tags[opus ? "r128_album_gain" : "rg_album_gain"], c.Album);
        EXPECT_EQ(tags["title"], "T");
    }
}

} // namespace
