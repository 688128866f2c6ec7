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
std::vector<std::uint8_t> Decoded(const fs::path& file, bool wide = false) {
    return FFmpegPcm(file, wide ? "s32le" : "s16le");
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
