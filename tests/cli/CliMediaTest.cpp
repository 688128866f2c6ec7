// brindlewave-cli convert with WMA output and MP3 and WMA input: the settings choose the
// WMA format, titles go along from tagged inputs. Checked with ffprobe and FFmpeg.
#include "CliTestSupport.h"

using bwtest::FFprobe;
using bwtest::MustRun;

namespace {

TEST(CliMedia, EveryConversionBetweenWavMp3AndWma) {
    bwtest::TempDir dir;
    auto wav = dir / "song.wav", mp3 = dir / "tagged.mp3", wma = dir / "tagged.wma";
    ASSERT_TRUE(
        MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(wav) + " synth 2.5 sine 300-2000 vol 0.5"));
    ASSERT_TRUE(MustRun("lame --quiet -b 160 --tt Ttl --ta Art --tl Alb --ty 2001 --tn 3/9 --tg "
                        "Blues " +
                        Q(wav) + " " + Q(mp3)));
    ASSERT_TRUE(MustRun("ffmpeg -v error -i " + Q(wav) +
                        " -c:a wmav2 -metadata title=Ttl -metadata artist=Art -metadata "
                        "album=Alb -metadata genre=Blues -metadata track=3 " +
                        Q(wma)));
    // Codec 1, format 29 of the settings: Windows Media Audio 1 at 128 kbit/s.
    auto settings = dir / "config/Vellamor/Brindlewave/options.ini";
    fs::create_directories(settings.parent_path());
    bwtest::WriteFileText(settings, "[WMAOptions]\nCodecIndex=1\nFormatIndex=29\nVBR=0\n");

    struct {
        const char* Name;
        fs::path Input;
        const char* To;
        const char* Output;
        const char* Stream; // ffprobe's stream line
        bool Tagged;
    } cases[] = {
        {"wav to wma", wav, "wma", "song.wma", "codec_name=wmav1\nbit_rate=128000\n", false},
        {"mp3 to wma", mp3, "wma", "tagged.wma", "codec_name=wmav1\nbit_rate=128000\n", true},
        {"wma to mp3", wma, "mp3", "tagged.mp3", "codec_name=mp3\nbit_rate=128000\n", true},
        {"mp3 to wav", mp3, "wav", "tagged.wav", "codec_name=pcm_s16le\nbit_rate=1411200\n", true},
        {"wma to wav", wma, "wav", "tagged.wav", "codec_name=pcm_s16le\nbit_rate=1411200\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto out = dir / "out" / c.Name;
        auto r = TCliRun{dir / "config"}("convert --to " + std::string(c.To) + " -o " + Q(out) +
                                         " " + Q(c.Input));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        auto file = out / c.Output;
        EXPECT_EQ(FFprobe(file, "stream=codec_name,bit_rate"), c.Stream);
        // The whole input arrives: 2.5 s, give or take the codecs' frames.
        EXPECT_NEAR(std::stod(FFprobe(file, "format=duration").substr(9)), 2.5, 0.1);
        std::string tags = FFprobe(file, "format_tags=title,artist,album,genre,track");
        if (c.Tagged) {
            for (const char* line :
                 {"TAG:title=Ttl", "TAG:artist=Art", "TAG:album=Alb", "TAG:genre=Blues"})
                EXPECT_THAT(tags, HasSubstr(line));
            // FFmpeg reads a WAV file's RIFF INFO list, which has no track number.
            if (std::string(c.To) != "wav") {
                EXPECT_THAT(tags, HasSubstr("TAG:track=3"));
            }
        } else {
            EXPECT_THAT(tags, Not(HasSubstr("TAG:title")));
        }
    }
    // The WAV made from the WMA file holds exactly what FFmpeg decodes from it: no silence
    // after it up to a length rounded from the duration.
    auto theirs = bwtest::FFmpegPcm(wma, "s16le", dir / "ref.raw");
    EXPECT_GT(theirs.size(), 2u * 44100 * 4);
    EXPECT_TRUE(bwtest::FFmpegPcm(dir / "out/wma to wav/tagged.wav", "s16le", dir / "ours.raw") ==
                theirs);
}

TEST(CliMedia, DamagedAndMisnamedInputsAreReportedByName) {
    bwtest::TempDir dir;
    bwtest::WriteFileText(dir / "text.mp3", std::string(3000, 't'));
    bwtest::WriteFileText(dir / "text.wma", std::string(3000, 'w'));
    auto r = TCliRun{dir / "config"}("convert --to wav -o " + Q(dir / "out") + " " +
                                     Q(dir / "text.mp3") + " " + Q(dir / "text.wma"));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_THAT(r.Output, HasSubstr("text.mp3: not an MP3 file that can be read"));
    EXPECT_THAT(r.Output, HasSubstr("text.wma: not a WMA file that can be read"));
    EXPECT_FALSE(fs::exists(dir / "out/text.wav"));
}

} // namespace
