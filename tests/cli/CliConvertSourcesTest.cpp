// brindlewave-cli convert of every common source format, made by other programs and tagged
// by them (the cover by mutagen), and of whole folder trees: samples checked against
// FFmpeg's decoding of the source, tags read back with mutagen.
#include "CliTestSupport.h"

#include <algorithm>

using bwtest::FFmpegPcm;
using bwtest::MustRun;

namespace {

const std::string Title = "Ünïcödé 東京";

TCliRun Cli(const bwtest::TempDir& dir) {
    return {dir / "config"};
}

// FFmpeg's decoding: 16-bit, or 32-bit for 24-bit sources.
std::vector<std::uint8_t> Decoded(const fs::path& file, bool wide = false, fs::path raw = {}) {
    return FFmpegPcm(file, wide ? "s32le" : "s16le", std::move(raw));
}

struct TSource {
    const char* Name; // the file's name in the source folder
    const char* Make; // %wav %deep %out %title %dir are replaced
    bool Lossless;
    bool Wide = false; // 24-bit
};

} // namespace

TEST(CliConvertSources, EveryCommonFormatConvertsExactlyWithItsTitleAndCover) {
    bwtest::TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") +
            " synth 3.3 sine 300-3000 sine 440 gain -3");
    MustRun("sox -n -r 48000 -c 2 -b 24 " + Q(dir / "s24.wav") +
            " synth 2.1 sine 200-2000 gain -2");
    MustRun("ffmpeg -v error -y -f lavfi -i color=red:s=32x32 -frames:v 1 " + Q(dir / "cover.jpg"));
    const TSource sources[] = {
        {"flac.flac", "flac -s -f -T TITLE=%title -o %out %wav", true},
        {"flac24.flac", "flac -s -f -T TITLE=%title -o %out %deep", true, true},
        {"vorbis.ogg", "oggenc -Q -t %title -o %out %wav", false},
        {"opus.opus", "opusenc --quiet --title %title %wav %out", false},
        {"wavpack.wv", "ffmpeg -v error -i %wav -c:a wavpack -metadata title=%title %out", true},
        {"aac.m4a", "ffmpeg -v error -i %wav -c:a aac -metadata title=%title %out", false},
        {"alac.m4a", "ffmpeg -v error -i %deep -c:a alac -metadata title=%title %out", true, true},
        {"aiff.aiff", "ffmpeg -v error -i %wav -write_id3v2 1 -metadata title=%title %out", true},
        {"mp3.mp3", "lame --quiet --id3v2-only --tt %title %wav %out", false},
        {"wma.wma", "ffmpeg -v error -i %wav -c:a wmav2 -metadata title=%title %out", false},
        // Our APE encoder, its file checked by FFmpeg below; the tag from mutagen.
        {"ape.ape",
         "XDG_CONFIG_HOME=%dir/config " BW_CLI " convert --to ape -o %dir/ape %wav && mv "
         "%dir/ape/s.ape %out && /usr/bin/python3 -c 'import sys, mutagen.apev2 as a; "
         "t = a.APEv2(); t[\"Title\"] = sys.argv[2]; t.save(sys.argv[1])' %out %title",
         true},
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source.Name);
        const fs::path file = src / source.Name;
        MustRun(bwtest::Expand(source.Make, {{"%deep", Q(dir / "s24.wav")},
                                             {"%wav", Q(dir / "s.wav")},
                                             {"%out", Q(file)},
                                             {"%title", ShellQuote(Title)},
                                             {"%dir", Q(dir.Path())}}));
        MustRun("/usr/bin/python3 " + ShellQuote(BW_SOURCE_DIR "/tests/support/tag_cover.py") +
                " " + Q(file) + " " + Q(dir / "cover.jpg"));
    }
    EXPECT_TRUE(Decoded(src / "ape.ape") == Decoded(dir / "s.wav"));
    // Gains of the source: only a lossless copy carries the album's on; the track's is
    // measured again.
    MustRun("metaflac --set-tag='REPLAYGAIN_TRACK_GAIN=+7.77 dB' "
            "--set-tag='REPLAYGAIN_ALBUM_GAIN=+6.66 dB' " +
            Q(src / "flac.flac"));
    const std::string cover = bwtest::MutagenTags(src / "flac.flac")["cover"];
    ASSERT_FALSE(cover.empty());

    for (const std::string format : {"flac", "mp3"}) {
        SCOPED_TRACE(format);
        const fs::path out = dir / format;
        auto r = Cli(dir)("convert --recursive --jobs 2 --to " + format + " -o " + Q(out) + " " +
                          Q(src));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        for (const auto& source : sources) {
            SCOPED_TRACE(source.Name);
            const fs::path in = src / source.Name;
            const fs::path converted = (out / source.Name).replace_extension(format);
            ASSERT_TRUE(fs::exists(converted)) << r.Output;
            if (format == "flac") {
                // Lossless sources to their PCM, lossy ones to FFmpeg's own samples.
                EXPECT_TRUE(Decoded(converted, source.Wide) == Decoded(in, source.Wide));
            } else {
                EXPECT_EQ(Decoded(converted).size(), Decoded(in).size());
            }
            auto tags = bwtest::MutagenTags(converted);
            EXPECT_EQ(tags["title"], Title);
            EXPECT_EQ(tags["cover"], cover);
        }
        auto gains = bwtest::MutagenTags((out / "flac.").replace_extension(format));
        EXPECT_EQ(gains["rg_album_gain"] == "6.66 dB", format == "flac") << gains["rg_album_gain"];
        EXPECT_THAT(gains["rg_track_gain"],
                    testing::AllOf(testing::Not(testing::IsEmpty()), testing::Ne("7.77 dB")));
    }
}

TEST(CliConvertSources, RecursiveMirrorsTheTreeSkipsWhatIsNotAudioAndGoesOnAfterAFailure) {
    bwtest::TempDir dir;
    const fs::path src = dir / "music";
    fs::create_directories(src / "Album A");
    fs::create_directories(src / "B" / "CD 2");
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") + " synth 0.8 sine 440 gain -6");
    MustRun("flac -s -o " + Q(src / "Album A" / "01 one.flac") + " " + Q(dir / "s.wav"));
    MustRun("oggenc -Q -o " + Q(src / "B" / "CD 2" / "two.ogg") + " " + Q(dir / "s.wav"));
    MustRun("cp " + Q(dir / "s.wav") + " " + Q(src / "B" / "three.wav"));
    bwtest::WriteFileText(src / "Album A" / "notes.txt", "liner notes\n");
    MustRun("ffmpeg -v error -f lavfi -i color=blue:s=16x16 -frames:v 1 " +
            Q(src / "B" / "cover.jpg"));
    auto flac = bwtest::ReadFileBytes(src / "Album A" / "01 one.flac");
    flac.resize(60); // a FLAC cut short: a failure, not a file to skip
    bwtest::WriteFileBytes(src / "B" / "broken.flac", flac);
    // The output inside the tree: a second run must not convert the first run's files.
    const fs::path out = src / "converted";
    const std::pair<const char*, const char*> Refusals[] = {
        {"Album A/notes.txt", ": skipped, not an audio file"},
        {"B/cover.jpg", ": skipped"},
        {"B/broken.flac", ": not a FLAC file that can be read"},
    };

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        auto r = Cli(dir)("convert -r -j 2 -f --to mp3 --output " + Q(out) + " " + Q(src));
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        for (const auto& [file, says] : Refusals)
            EXPECT_THAT(r.Output, HasSubstr((src / file).string() + says));
        std::vector<std::string> made;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            if (entry.is_regular_file()) made.push_back(entry.path().lexically_relative(out));
        std::sort(made.begin(), made.end());
        EXPECT_EQ(made, (std::vector<std::string>{"Album A/01 one.mp3", "B/CD 2/two.mp3",
                                                  "B/three.mp3"}));
    }
    for (const char* name : {"Album A/01 one.flac", "B/CD 2/two.ogg", "B/three.wav"}) {
        auto converted = (out / name).replace_extension(".mp3");
        EXPECT_EQ(Decoded(converted).size(), Decoded(src / name).size()) << name;
    }
}

namespace {

// Where a conversion failed, nothing of it is left: neither the output nor a part file.
std::vector<std::string> FilesUnder(const fs::path& folder) {
    std::vector<std::string> found;
    if (!fs::exists(folder)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// The frequency of each channel of FFmpeg's decoding, from its zero crossings.
std::vector<double> ChannelFrequencies(const fs::path& file, int channels, int rate) {
    const auto pcm = Decoded(file);
    const std::size_t frames = pcm.size() / 2 / channels;
    std::vector<double> hz(channels);
    for (std::size_t i = channels; i < frames * channels; ++i)
        hz[i % channels] += (pcm[2 * i + 1] & 0x80) != (pcm[2 * (i - channels) + 1] & 0x80);
    for (double& crossings : hz)
        crossings = crossings / 2 * rate / std::max<std::size_t>(frames, 1);
    return hz;
}

} // namespace

TEST(CliConvertSources, SourcesWithoutAudioFailAndTheOthersConvertUnderEveryJobCount) {
    bwtest::TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    MustRun("sox -n -r 48000 -c 2 -b 16 " + Q(src / "good.wav") + " synth 1.2 sine 440 gain -6");
    MustRun("flac -s -o " + Q(src / "tone.flac") + " " + Q(src / "good.wav"));
    // No samples at 48 kHz: libopusenc 0.2.1 aborts when drained without audio at that rate.
    MustRun("sox -n -r 48000 -c 2 -b 16 " + Q(src / "silent.wav") + " trim 0 0");
    MustRun("/usr/bin/python3 " + ShellQuote(BW_SOURCE_DIR "/tests/support/empty_sources.py") +
            " " + Q(src) + " " + Q(src / "tone.flac"));
    MustRun("ffmpeg -v error -f lavfi -i anullsrc=r=48000:cl=stereo -t 0 -c:a aac " +
            Q(src / "empty.m4a"));
    // What FFmpeg makes of them: no samples at all.
    for (const char* empty : {"application.flac", "header.ape"})
        EXPECT_EQ(bwtest::RunCommand("ffmpeg -v quiet -i " + Q(src / empty) + " -f s16le - | wc -c")
                      .Output,
                  "0\n")
            << empty;

    for (const std::string jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / ("opus" + jobs);
        auto r = Cli(dir)("convert -r --jobs " + jobs + " --to opus -o " + Q(out) + " " + Q(src));
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        for (const char* empty : {"application.flac", "header.ape", "silent.wav", "tags.mp3"})
            EXPECT_THAT(r.Output, HasSubstr((src / empty).string() + ": has no audio"));
        EXPECT_THAT(r.Output, HasSubstr((src / "empty.m4a").string() + ": "));
        EXPECT_EQ(FilesUnder(out), (std::vector<std::string>{"good.opus", "tone.opus"}))
            << r.Output;
        for (const char* good : {"good.wav", "tone.flac"})
            EXPECT_EQ(Decoded((out / good).replace_extension(".opus"), false, dir / "a.raw").size(),
                      Decoded(src / good, false, dir / "b.raw").size());
    }
}

TEST(CliConvertSources, ChannelsAreKeptWhereTheFormatHoldsThemElseMixedDownAsFFmpegDoes) {
    bwtest::TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    // 5.1 as FLAC orders it, the LFE (fourth) channel low; each channel its own tone.
    const std::vector<double> tones{300, 500, 700, 60, 900, 1100};
    MustRun("sox -n -r 48000 -c 6 -b 16 " + Q(src / "surround.flac") +
            " synth 1.5 sine 300 sine 500 sine 700 sine 60 sine 900 sine 1100 gain -9");
    MustRun("sox -n -r 44100 -c 4 -b 16 " + Q(dir / "quad.wav") +
            " synth 1 sine 300 sine 500 sine 700 sine 900 gain -9");
    MustRun("ffmpeg -v error -i " + Q(dir / "quad.wav") + " " + Q(src / "quad.aiff"));

    const std::pair<const char*, const char*> cases[] = {
        {"flac", "6|5.1(side)"}, {"opus", "6|5.1"},   {"ogg", "6|5.1"},    {"wav", "6|5.1(side)"},
        {"mp3", "2|stereo"},     {"ape", "2|stereo"}, {"wma", "2|unknown"}}; // ffprobe's view
    for (const auto& [format, channels] : cases) {
        SCOPED_TRACE(format);
        const fs::path out = dir / format;
        auto r = Cli(dir)(std::string("convert --to ") + format + " -o " + Q(out) + " " +
                          Q(src / "surround.flac") + " " + Q(src / "quad.aiff"));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const fs::path made = (out / "surround").replace_extension(format);
        EXPECT_EQ(bwtest::FFprobe(made, "stream=channels,channel_layout", "default=nw=1:nk=1"),
                  std::string(channels).replace(1, 1, "\n") + "\n");
        const bool mixed = channels[0] == '2';
        EXPECT_EQ(r.Output.find("downmixed 6 channels to stereo") != std::string::npos, mixed)
            << r.Output;
        if (!mixed) {
            // Each tone stays on its channel, through whatever order the format keeps.
            const auto hz = ChannelFrequencies(made, 6, 48000);
            for (std::size_t i = 0; i < tones.size(); ++i)
                EXPECT_NEAR(hz[i], tones[i], tones[i] * 0.05) << "channel " << i;
            EXPECT_EQ(bwtest::FFprobe((out / "quad").replace_extension(format), "stream=channels"),
                      "channels=4\n");
        }
    }
    // Lossless copies are exact, and the lossless downmix is FFmpeg's own.
    EXPECT_TRUE(Decoded(dir / "flac" / "surround.flac") == Decoded(src / "surround.flac"));
    EXPECT_TRUE(Decoded(dir / "wav" / "quad.wav") == Decoded(src / "quad.aiff"));
    MustRun("ffmpeg -v error -i " + Q(src / "surround.flac") + " -ac 2 -f s16le " +
            Q(dir / "stereo.raw"));
    EXPECT_TRUE(Decoded(dir / "ape" / "surround.ape") == bwtest::ReadFileBytes(dir / "stereo.raw"));
}

TEST(CliConvertSources, WavFilesOfEveryShapeAreReadByOurReaderOrByFFmpeg) {
    bwtest::TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") + " synth 1.1 sine 300-3000 gain -3");
    const std::pair<const char*, const char*> made[] = {
        {"alaw.wav", "sox %wav -e a-law %out"},
        {"ulaw.wav", "sox %wav -e u-law %out"},
        {"float32-sox.wav", "sox %wav -e floating-point -b 32 %out"},
        {"float64-sox.wav", "sox %wav -e floating-point -b 64 %out"},
        {"float32.wav", "ffmpeg -v error -i %wav -c:a pcm_f32le %out"},
        {"float64.wav", "ffmpeg -v error -i %wav -c:a pcm_f64le %out"},
        // flac keeps the WAV's header chunks in an APPLICATION block: still a FLAC.
        {"foreign.flac", "flac -s --keep-foreign-metadata -o %out %wav"},
    };
    for (const auto& [name, make] : made)
        MustRun(bwtest::Expand(make, {{"%wav", Q(dir / "s.wav")}, {"%out", Q(src / name)}}));
    // Shapes our reader's header scan accepts and FFmpeg does not.
    auto wav = bwtest::ReadFileBytes(dir / "s.wav");
    std::vector<std::uint8_t> junk(100 + wav.size(), 0x5A);
    std::copy(wav.begin(), wav.end(), junk.begin() + 100);
    bwtest::WriteFileBytes(src / "junk.wav", junk);
    for (auto [at, id] :
         {std::pair<std::size_t, const char*>{0, "riff"}, {8, "wave"}, {12, "FMT "}})
        std::copy(id, id + 4, wav.begin() + at);
    bwtest::WriteFileBytes(src / "lower.wav", wav);

    const fs::path out = dir / "out";
    auto r = Cli(dir)("convert -r --to flac -o " + Q(out) + " " + Q(src));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    for (const auto& [name, make] : made) {
        SCOPED_TRACE(name);
        const fs::path in = src / name;
        const fs::path converted = (out / name).replace_extension(".flac");
        const bool wide =
            bwtest::FFprobe(converted, "stream=bits_per_raw_sample") == "bits_per_raw_sample=24\n";
        auto ours = Decoded(converted, wide);
        auto theirs = Decoded(in, wide);
        ASSERT_EQ(ours.size(), theirs.size());
        // A 24-bit copy of a float source: FFmpeg's 32-bit samples less their low byte.
        if (wide)
            for (std::size_t i = 0; i < theirs.size(); i += 4)
                theirs[i] = 0;
        EXPECT_TRUE(ours == theirs);
    }
    for (const char* name : {"junk.wav", "lower.wav"})
        EXPECT_TRUE(Decoded((out / name).replace_extension(".flac")) == Decoded(dir / "s.wav"))
            << name;
}
