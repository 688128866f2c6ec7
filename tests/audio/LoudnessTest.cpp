// ReplayGain measured on the PCM that flows through TLoudnessMeter, against FFmpeg's ebur128
// filter (an implementation we did not write), per track and for the tracks played one after
// another.
#include "Loudness.h"
#include "FfmpegLoudness.h"
#include "ToolOracles.h"
#include "WaveIn.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using bwtest::FfmpegLoudnessAndPeak;
using bwtest::ShellQuote;

// Runs a WAV file through the meter as an encoder would pull it: in odd-sized pieces, so
// that frames are split between pulls.
std::unique_ptr<bw::TLoudness> Measured(const std::filesystem::path& file) {
    bw::TWaveIn wave;
    wave.SetFileName(file);
    bw::TLoudnessMeter meter;
    meter.SetInput(&wave);
    meter.OpenRead();
    std::uint8_t buffer[4099];
    while (meter.PullInto(buffer, sizeof buffer) > 0) {
    }
    meter.CloseRead();
    return meter.TakeMeasurement();
}

struct TTrackCase {
    const char* Name;
    const char* Source; // an FFmpeg lavfi graph
    const char* Format; // sample format and rate of the WAV FFmpeg writes
};

const TTrackCase Tracks[] = {
    {"quiet sine 16-bit", "sine=frequency=440:duration=6,volume=0.1",
     "-c:a pcm_s16le -ar 44100 -ac 2"},
    {"loud noise 24-bit", "anoisesrc=color=pink:duration=5:amplitude=0.8",
     "-c:a pcm_s24le -ar 48000 -ac 2"},
    {"chirp 8-bit mono", "sine=frequency=1000:beep_factor=4:duration=4",
     "-c:a pcm_u8 -ar 22050 -ac 1"},
    // Its positive peak the larger: a centre one off moves the peak by 1/128.
    {"lopsided 8-bit", "aevalsrc=0.1+0.12*sin(2*PI*440*t):d=4", "-c:a pcm_u8 -ar 44100 -ac 1"},
    {"tone 16-bit", "sine=frequency=100:duration=7,volume=0.5", "-c:a pcm_s16le -ar 44100 -ac 2"},
};

TEST(Loudness, TrackAndAlbumGainsAgreeWithFfmpegWithinFifteenHundredthsOfADecibel) {
    bwtest::TempDir dir;
    std::vector<std::unique_ptr<bw::TLoudness>> album;
    std::string concat;
    int n = 0;
    for (const TTrackCase& track : Tracks) {
        SCOPED_TRACE(track.Name);
        const auto file = dir / ("t" + std::to_string(n++) + ".wav");
        ASSERT_TRUE(bwtest::MustRun("ffmpeg -v error -f lavfi -i " + ShellQuote(track.Source) +
                                    " " + track.Format + " " + ShellQuote(file.string())));
        auto loudness = Measured(file);
        ASSERT_TRUE(loudness);
        ASSERT_TRUE(loudness->Gain());
        const auto [lufs, peak] = FfmpegLoudnessAndPeak("-i " + ShellQuote(file.string()));
        EXPECT_NEAR(*loudness->Gain(), -18.0 - lufs, 0.15);
        EXPECT_NEAR(loudness->Peak(), peak, peak * 0.007); // FFmpeg prints it to 0.1 dB
        // The file measured directly gives the same.
        auto direct = bw::MeasureWaveFile(file);
        ASSERT_TRUE(direct);
        EXPECT_NEAR(*direct->Gain(), *loudness->Gain(), 1e-9);
        if (std::string(track.Format).find("44100 -ac 2") != std::string::npos) {
            concat += "file '" + file.string() + "'\n";
            album.push_back(std::move(loudness));
        }
    }
    // The album: the 44.1 kHz stereo tracks played one after another.
    bwtest::WriteFileText(dir / "list.txt", concat);
    std::vector<const bw::TLoudness*> tracks;
    for (const auto& track : album)
        tracks.push_back(track.get());
    const auto [lufs, peak] =
        FfmpegLoudnessAndPeak("-f concat -safe 0 -i " + ShellQuote((dir / "list.txt").string()));
    ASSERT_TRUE(bw::TLoudness::AlbumGain(tracks));
    EXPECT_NEAR(*bw::TLoudness::AlbumGain(tracks), -18.0 - lufs, 0.15);
    EXPECT_NEAR(bw::TLoudness::AlbumPeak(tracks), peak, 0.006);
}

TEST(Loudness, SilenceHasNoGain) {
    bwtest::TempDir dir;
    const auto file = dir / "silence.wav";
    ASSERT_TRUE(bwtest::MustRun(
        "ffmpeg -v error -f lavfi -i anullsrc=r=44100:cl=stereo -t 3 -c:a pcm_s16le " +
        ShellQuote(file.string())));
    auto loudness = Measured(file);
    ASSERT_TRUE(loudness);
    EXPECT_FALSE(loudness->Gain());
    EXPECT_EQ(loudness->Peak(), 0.0);
    EXPECT_FALSE(bw::TLoudness::AlbumGain({loudness.get()}));
}

} // namespace
