// The WMA and MP3 reader, on files made by FFmpeg and lame, checked against FFmpeg's own
// decoding and seeking.
#include "WMIn.h"
#include "CodecTestSupport.h"
#include "ToolOracles.h"

#include "AuStream.h"

#include <gmock/gmock.h>

#include <cstring>

namespace bw {
namespace {

using namespace bwtest;

// Everything a source hands out in one run.
std::vector<std::uint8_t> PullAll(TAuInput& in, int request = 5000) {
    in.OpenRead();
    auto out = bwtest::PullAll(in, request);
    in.CloseRead();
    return out;
}

// A stereo 44.1 kHz sweep of that length from sox.
std::filesystem::path MakeWav(const TempDir& dir, double seconds) {
    auto wav = dir / ("in" + std::to_string(seconds) + ".wav");
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Quoted(wav) + " synth " + std::to_string(seconds) +
            " sine 300-3000 sine 440 gain -3");
    return wav;
}

const char* const FFmpegWma = "ffmpeg -v error -y -i %in -c:a wmav2 %out";

// Runs a command of a table, its %in and %out replaced by the files, and opens what it wrote
// with the MP3 or the WMA reader; null when the command failed.
std::unique_ptr<TWMIn> MadeBy(const std::string& command, const std::filesystem::path& in,
                              const std::filesystem::path& out, bool mp3 = false) {
    if (!MustRun(Expand(command, {{"%in", Quoted(in)}, {"%out", Quoted(out)}}))) return nullptr;
    std::unique_ptr<TWMIn> reader = mp3 ? std::make_unique<TMP3In>() : std::make_unique<TWMIn>();
    reader->SetFileName(out);
    return reader;
}

TEST(WMIn, DurationArithmetic) {
    struct {
        std::int64_t Duration;
        int Rate;
        std::int64_t Hundredths, Samples;
    } cases[] = {
        {1800000000, 44100, 18000, 7938000}, // three minutes
        {1234567, 44100, 12, 5292},
        {0, 44100, 0, 0},
        {149999, 48000, 1, 480},
        {155000, 8000, 2, 160}, // halves go to the even neighbour
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Duration);
        auto d = WmDurationOf(c.Duration, c.Rate);
        EXPECT_EQ(d.Hundredths, c.Hundredths);
        EXPECT_EQ(d.TotalSamples, c.Samples);
    }
}

// Files of other programs: format, attributes and PCM as FFmpeg decodes them. Encoder delay
// and padding (from a LAME/Xing header, or the decoder's own) are removed as FFmpeg removes
// them: the length announced and the samples handed out are FFmpeg's, to the sample, so that
// a WAV made from the file is neither padded nor cut.
TEST(WMIn, ReadsFilesOfOtherProgramsExactlyLikeFFmpeg) {
    const struct {
        const char* Name;
        const char* Extension;
        double Seconds;      // of the stereo 44.1 kHz input
        const char* Command; // %in and %out are replaced; tagged when it names "Ttl"
        int Channels, Rate;
        bool Mp3;
    } cases[] = {
        {"ffmpeg wmav2 with tags", ".wma", 4.5,
         "ffmpeg -v error -y -i %in -c:a wmav2 -b:a 128k -metadata title=Ttl -metadata "
         "artist=Art -metadata album=Alb -metadata genre=Jazz -metadata track=4 -metadata "
         "WM/Year=1987 -metadata copyright=Cpr %out",
         2, 44100, false},
        {"ffmpeg wmav1 mono", ".wma", 4.5,
         "ffmpeg -v error -y -i %in -ac 1 -c:a wmav1 -b:a 64k %out", 1, 44100, false},
        {"lame cbr id3v2", ".mp3", 4.5,
         "lame --quiet -b 192 --tt Ttl --ta Art --tl Alb --tg Jazz --tn 4 --ty 1987 "
         "--id3v2-only %in %out",
         2, 44100, true},
        {"lame vbr id3v1", ".mp3", 4.5,
         "lame --quiet -V 4 --tt Ttl --ta Art --tl Alb --tg Jazz --tn 4 --ty 1987 --id3v1-only "
         "%in %out",
         2, 44100, true},
        // Only a guess from the bitrate tells the length.
        {"lame vbr without header frame", ".mp3", 4.5,
         "lame --quiet -V 2 -t --tt Ttl --ta Art --tl Alb --tg Jazz --tn 4 --ty 1987 %in %out", 2,
         44100, true},
        {"ffmpeg mp3 mono 22 kHz", ".mp3", 4.5,
         "ffmpeg -v error -y -i %in -ac 1 -ar 22050 -c:a libmp3lame -b:a 64k %out", 1, 22050, true},
        {"lame", ".mp3", 12, "lame --quiet %in %out", 2, 44100, true},
        {"lame -V 2", ".mp3", 12, "lame --quiet -V 2 %in %out", 2, 44100, true},
        {"ffmpeg libmp3lame", ".mp3", 12, "ffmpeg -v error -y -i %in -c:a libmp3lame %out", 2,
         44100, true},
        {"lame 22050 Hz mono", ".mp3", 12,
         "sox %in -r 22050 -c 1 %in.22k.wav && lame --quiet %in.22k.wav %out", 1, 22050, true},
        {"ffmpeg wmav1", ".wma", 12, "ffmpeg -v error -y -i %in -c:a wmav1 %out", 2, 44100, false},
        {"ffmpeg wmav2", ".wma", 12, FFmpegWma, 2, 44100, false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto file = dir / (std::string("f") + c.Extension);
        auto in = MadeBy(c.Command, MakeWav(dir, c.Seconds), file, c.Mp3);
        ASSERT_TRUE(in && in->Valid());
        EXPECT_EQ(in->Channels(), c.Channels);
        EXPECT_EQ(in->SampleRate(), c.Rate);
        EXPECT_EQ(in->BitsPerSample(), 16);
        EXPECT_EQ(in->Size(), in->TotalSamples() * c.Channels * 2);
        const TId3v2Tags& tags = in->Id3v2Tags();
        const bool tagged = std::strstr(c.Command, "Ttl");
        for (const auto& [read, written] : {std::pair{tags.Title(), "Ttl"},
                                            {tags.Artist(), "Art"},
                                            {tags.Album(), "Alb"},
                                            {tags.Genre(), "Jazz"},
                                            {tags.Track(), "4"},
                                            {tags.Year(), "1987"}})
            EXPECT_EQ(read, tagged ? written : "") << written;
        if (std::strstr(c.Command, "Cpr")) {
            EXPECT_EQ(tags.Comment(), "Cpr");
        }

        auto theirs = FFmpegDecode(file);
        EXPECT_EQ(in->TotalSamples(), std::int64_t(theirs.size()) / (c.Channels * 2));
        EXPECT_EQ(in->Size(), std::int64_t(theirs.size()));
        auto ours = PullAll(*in, 3000);
        EXPECT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);
        // The whole input came out (FFmpeg's WMA encoder drops part of the last frame).
        EXPECT_GE(ours.size() / 2 / c.Channels,
                  std::size_t(c.Seconds * c.Rate) - (c.Mp3 ? c.Rate / 100 : 2048));
    }
}

// Position of needle in haystack (16-bit samples of one channel layout), searched around
// the expected frame; -1 when not found.
long FindFrames(const std::vector<std::uint8_t>& haystack, const std::vector<std::uint8_t>& needle,
                int frameBytes, long around, long radius) {
    for (long d = 0; d <= radius; ++d)
        for (long at : {around - d, around + d}) {
            if (at < 0) continue;
            std::size_t off = std::size_t(at) * frameBytes;
            if (off + needle.size() <= haystack.size() &&
                std::memcmp(haystack.data() + off, needle.data(), needle.size()) == 0)
                return at;
        }
    return -1;
}

TEST(WMIn, SeekToTheMiddleLandsWithinAFrameOfFFmpegsSeek) {
    TempDir dir;
    auto wav = MakeWav(dir, 6);
    struct {
        const char* Name;
        const char* Command;
        bool Mp3;
        long FrameSize;
    } cases[] = {
        {"wma", "ffmpeg -v error -y -i %in -c:a wmav2 -b:a 128k %out", false, 2048},
        {"mp3", "lame --quiet -b 128 %in %out", true, 1152},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto file = dir / (std::string("seek.") + c.Name);
        auto in = MadeBy(c.Command, wav, file, c.Mp3);
        ASSERT_TRUE(in);
        std::int64_t middle = in->TotalSamples() / 2;
        double seconds = double(middle) / 44100;
        in->SetStartSample(middle);
        auto ours = PullAll(*in);
        auto r = RunCommand("ffmpeg -v error -y -ss " + std::to_string(seconds) + " -i " +
                            Quoted(file) + " -f s16le " + Quoted(dir / "ss.raw"));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        auto seeked = ReadFileBytes(dir / "ss.raw");
        ASSERT_GT(ours.size(), 40000u);
        ASSERT_GT(seeked.size(), 40000u);
        // A stretch from well after the seek, so that the decoder has settled in both.
        std::vector<std::uint8_t> probe(seeked.begin() + 4 * 4096, seeked.begin() + 8 * 4096);
        long at = FindFrames(ours, probe, 4, 4096, 2 * c.FrameSize);
        ASSERT_GE(at, 0) << "FFmpeg's samples after its seek are not near ours";
        EXPECT_LE(std::labs(at - 4096), c.FrameSize);
    }
}

TEST(WMIn, FilesWithoutAudioOrWithoutANameOrProtected) {
    TempDir dir;
    TWMIn in;
    EXPECT_FALSE(in.Valid());
    EXPECT_THAT([&] { in.Channels(); },
                testing::ThrowsMessage<EAuException>(testing::StrEq("File name is not assigned")));
    WriteFileText(dir / "text.wma", std::string(5000, 'x'));
    in.SetFileName(dir / "text.wma");
    EXPECT_FALSE(in.Valid());
    EXPECT_EQ(in.Channels(), 0);
    EXPECT_EQ(in.SampleRate(), 0);
    EXPECT_TRUE(PullAll(in).empty());

    // A WMA file whose header holds a content encryption object.
    auto plain = dir / "plain.wma";
    auto open = MadeBy(FFmpegWma, MakeWav(dir, 1), plain);
    ASSERT_TRUE(open);
    auto bytes = ReadFileBytes(plain);
    const std::uint8_t object[] = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11, 0xB4, 0xB7,
                                   0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E, 40,   0,    0,    0,
                                   0,    0,    0,    0,    0,    0,    0,    0,    4,    0,
                                   0,    0,    'D',  'R',  'M',  0,    0,    0,    0,    0};
    bytes.insert(bytes.begin() + 30, std::begin(object), std::end(object));
    auto add = [&](std::size_t at, int width, std::uint64_t amount) {
        std::uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | bytes[at + i];
        v += amount;
        for (int i = 0; i < width; ++i, v >>= 8)
            bytes[at + i] = static_cast<std::uint8_t>(v);
    };
    add(16, 8, sizeof object); // header size
    add(24, 4, 1);             // object count
    WriteFileBytes(dir / "drm.wma", bytes);
    TWMIn drm;
    drm.SetFileName(dir / "drm.wma");
    EXPECT_THAT([&] { drm.Valid(); },
                testing::ThrowsMessage<EAuException>(testing::StrEq("File is protected")));
    EXPECT_TRUE(open->Valid());
}

// Cut and damaged files end early or are not Valid; none crashes, hangs or hands out more
// than Size.
TEST(WMIn, TruncatedAndCorruptedFilesEndCleanly) {
    TempDir dir;
    auto wav = MakeWav(dir, 3);
    auto wma = dir / "good.wma";
    auto mp3 = dir / "good.mp3";
    ASSERT_TRUE(MadeBy(FFmpegWma, wav, wma));
    ASSERT_TRUE(MadeBy("lame --quiet -b 128 --tt Title %in %out", wav, mp3, true));
    for (const auto& good : {wma, mp3}) {
        const auto bytes = ReadFileBytes(good);
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases;
        for (std::size_t cut : {std::size_t(16), std::size_t(200), bytes.size() / 3})
            cases.push_back({"cut at " + std::to_string(cut),
                             std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut)});
        auto damaged = bytes;
        for (std::size_t i = 300; i < damaged.size(); i += 151)
            damaged[i] ^= 0xA5;
        cases.push_back({"every 151st byte changed", damaged});
        auto zeroed = bytes;
        std::fill(zeroed.begin() + zeroed.size() / 4, zeroed.begin() + zeroed.size() / 2, 0);
        cases.push_back({"a quarter zeroed", zeroed});
        for (const auto& [name, file] : cases) {
            SCOPED_TRACE(good.filename().string() + ": " + name);
            TMemoryStream stream(file);
            TWMIn in;
            in.SetStream(&stream);
            if (!in.Valid()) {
                EXPECT_EQ(in.Channels(), 0);
                continue;
            }
            auto pcm = PullAll(in);
            if (in.Size() > 0) {
                EXPECT_LE(std::int64_t(pcm.size()), in.Size());
            }
            EXPECT_EQ(pcm.size() % 4, 0u);
        }
    }
}

// Our own stream, with requests of odd sizes: blocks are handed out in pieces, and never
// more than Size in all.
TEST(WMIn, ReadsAStreamInPiecesAndStopsAtSize) {
    TempDir dir;
    auto file = dir / "s.wma";
    ASSERT_TRUE(MadeBy(FFmpegWma, MakeWav(dir, 2), file));
    TMemoryStream stream(ReadFileBytes(file));
    TWMIn in;
    in.SetStream(&stream);
    ASSERT_TRUE(in.Valid());
    auto whole = PullAll(in, 1 << 20);
    for (int request : {3000, 4, 8192, 99999}) {
        SCOPED_TRACE(request);
        auto pieces = PullAll(in, request);
        EXPECT_EQ(pieces, whole);
    }
    EXPECT_EQ(std::int64_t(whole.size()), in.Size());
    // A Size below what the decoder gives cuts the run there, on a whole frame.
    in.SetEndSample(1000);
    EXPECT_EQ(PullAll(in, 3001).size(), 1001u * 4);
}

} // namespace
} // namespace bw
