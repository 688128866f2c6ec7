// ReplayGain measured on the PCM that flows through TLoudnessMeter, against FFmpeg's ebur128
// filter (an implementation we did not write), per track and for the tracks played one after
// another.
#include "Loudness.h"
#include "FfmpegLoudness.h"
#include "ToolOracles.h"
#include "WaveIn.h"

#include <gtest/gtest.h>

#include <ebur128.h>

#include <algorithm>
#include <cmath>
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

// libebur128 as a second oracle, fed the same samples: our own measurement must agree with it
// to a thousandth of a decibel for every width, rate and channel count, with loud, quiet and
// silent stretches that the gates sort out, also over an album of the cases of one layout.
TEST(Loudness, AgreesWithLibebur128ForEveryLayout) {
    struct TLayout {
        int Bits, Rate, Channels;
    };
    for (const TLayout layout :
         {TLayout{16, 44100, 2}, TLayout{16, 44100, 1}, TLayout{24, 48000, 2}, TLayout{8, 22050, 1},
          TLayout{16, 48000, 6}, TLayout{24, 96000, 3}}) {
        SCOPED_TRACE(std::to_string(layout.Bits) + " bits " + std::to_string(layout.Rate) + " Hz " +
                     std::to_string(layout.Channels) + " channels");
        std::vector<std::unique_ptr<bw::TLoudness>> ours;
        std::vector<ebur128_state*> theirs;
        for (std::uint32_t seed : {1u, 2u}) {
            const int frames = layout.Rate * 4 + 1234;
            std::vector<std::uint8_t> pcm;
            std::vector<std::int32_t> wide; // libebur128's input: full scale at 2^31
            std::uint32_t noise = seed;
            for (int i = 0; i < frames; ++i) {
                // A loud second, a quiet one (-45 dB), half a second of silence, and so on.
                const int part = i * 10 / layout.Rate % 25;
                const double level = part < 10 ? 0.7 : part < 20 ? 0.0056 : 0.0;
                for (int c = 0; c < layout.Channels; ++c) {
                    noise = noise * 1664525u + 1013904223u;
                    const double v = level * ((noise >> 8) / double(1 << 24) * 2 - 1) *
                                     (1 + 0.3 * std::sin(i * 0.01 * (c + 1)));
                    const auto before = pcm.size();
                    bwtest::AppendPcmSample(pcm, std::clamp(v, -1.0, 1.0), layout.Bits);
                    std::int32_t value = 0;
                    if (layout.Bits == 8)
                        value = (pcm[before] - 128) * (1 << 24);
                    else
                        for (std::size_t b = before; b < pcm.size(); ++b)
                            value |= std::int32_t(pcm[b]) << (8 * (b - before) + 32 - layout.Bits);
                    wide.push_back(value);
                }
            }
            auto loudness = std::make_unique<bw::TLoudness>(layout.Channels, layout.Rate);
            // In uneven pieces, as an encoder pulls them.
            const int frameBytes = layout.Bits / 8 * layout.Channels;
            for (int at = 0, piece = 1; at < frames; at += piece, piece = piece * 7 % 9001 + 1)
                loudness->Add(pcm.data() + std::size_t(at) * frameBytes,
                              std::size_t(std::min(piece, frames - at)), layout.Bits);
            ebur128_state* state = ebur128_init(unsigned(layout.Channels), unsigned(layout.Rate),
                                                EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
            ASSERT_NE(state, nullptr);
            ebur128_add_frames_int(state, wide.data(), std::size_t(frames));
            double lufs = 0, peak = 0, channelPeak = 0;
            ASSERT_EQ(ebur128_loudness_global(state, &lufs), EBUR128_SUCCESS);
            for (int c = 0; c < layout.Channels; ++c) {
                ebur128_sample_peak(state, unsigned(c), &channelPeak);
                peak = std::max(peak, channelPeak);
            }
            ASSERT_TRUE(loudness->Gain());
            EXPECT_NEAR(*loudness->Gain(), -18.0 - lufs, 0.001);
            EXPECT_NEAR(loudness->Peak(), peak, 1e-9);
            ours.push_back(std::move(loudness));
            theirs.push_back(state);
        }
        double albumLufs = 0;
        ASSERT_EQ(ebur128_loudness_global_multiple(theirs.data(), theirs.size(), &albumLufs),
                  EBUR128_SUCCESS);
        EXPECT_NEAR(*bw::TLoudness::AlbumGain({ours[0].get(), ours[1].get()}), -18.0 - albumLufs,
                    0.001);
        for (ebur128_state* state : theirs)
            ebur128_destroy(&state);
    }
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
