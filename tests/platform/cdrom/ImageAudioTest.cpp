// Cue sheets whose data file is compressed audio, made by the tools people make them with
// (flac, wavpack, FFmpeg): the disc reads as the samples those tools were given, in any
// order a ripper asks for them, and lossy or non-CD audio is refused with the reason.
#include "CdImage.h"
#include "DiscImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <random>

using namespace bw;
namespace fs = std::filesystem;
using bwtest::SectorBytes;
using bwtest::ShellQuote;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int DiscSectors = 600; // 8 s: long enough for reads that seek forward and back
const char* const Tracks = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                           "  TRACK 02 AUDIO\n    INDEX 00 00:02:00\n    INDEX 01 00:02:10\n"
                           "  TRACK 03 AUDIO\n    INDEX 01 00:06:00\n";

struct Encoding {
    const char* Name;
    const char* Tool;
    const char* File;
    const char* Type;    // as the cue sheet names it
    const char* Command; // %in raw CD audio, %out the file
    const char* Refused; // empty: the disc reads; else part of the reason
};

const Encoding Encodings[] = {
    {"flac, named WAVE", "flac", "disc.flac", "WAVE",
     "flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
     "--sample-rate=44100 -o %out %in",
     ""},
    {"FFmpeg FLAC, named FLAC", "ffmpeg", "disc.flac", "FLAC",
     "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i %in -compression_level 12 %out", ""},
    {"wavpack", "wavpack", "disc.wv", "WAVE", "wavpack -q --raw-pcm=44100,16,2 %in -o %out", ""},
    {"FFmpeg WavPack", "ffmpeg", "disc.wv", "WAVE",
     "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i %in %out", ""},
    {"MP3", "lame", "disc.mp3", "MP3", "lame --quiet -r -s 44.1 --bitwidth 16 %in %out",
     "holds lossy audio (MP3)"},
    {"Ogg Vorbis named WAVE", "ffmpeg", "disc.ogg", "WAVE",
     "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i %in -c:a libvorbis %out",
     "holds lossy audio (VORBIS)"},
    {"24-bit FLAC", "ffmpeg", "disc.flac", "WAVE",
     "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i %in -sample_fmt s32 %out",
     "is not 16-bit stereo 44.1 kHz audio"},
    {"mono WavPack", "ffmpeg", "disc.wv", "WAVE",
     "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i %in -ac 1 %out",
     "is not 16-bit stereo 44.1 kHz audio"},
    {"not audio at all", "true", "disc.flac", "WAVE", "head -c 5000 /dev/zero > %out",
     "is not a WAV file, nor an audio file that can be decoded"},
};

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// Writes the encoded disc and its cue sheet; returns the sheet.
fs::path WriteImage(const fs::path& dir, const Encoding& e, const Bytes& audio) {
    bwtest::WriteFileBytes(dir / "disc.raw", audio);
    const std::string command =
        Replace(Replace(e.Command, "%in", ShellQuote((dir / "disc.raw").string())), "%out",
                ShellQuote((dir / e.File).string()));
    auto result = bwtest::RunCommand(command);
    EXPECT_EQ(result.ExitCode, 0) << command << "\n" << result.Output;
    fs::remove(dir / "disc.raw");
    bwtest::WriteFileText(dir / "disc.cue", std::string("TITLE \"Tones\"\nFILE \"") + e.File +
                                                "\" " + e.Type + "\n" + Tracks);
    return dir / "disc.cue";
}

Bytes Slice(const Bytes& audio, int start, int count) {
    return Bytes(audio.begin() + std::ptrdiff_t(start) * SectorBytes,
                 audio.begin() + std::ptrdiff_t(start + count) * SectorBytes);
}

} // namespace

TEST(ImageAudio, CompressedDataFilesReadAsTheSamplesEncoded) {
    const Bytes audio = bwtest::GeneratedAudio(DiscSectors, 77);
    for (const Encoding& e : Encodings) {
        SCOPED_TRACE(e.Name);
        if (!bwtest::HaveTool(e.Tool)) continue;
        bwtest::TempDir dir;
        const fs::path cue = WriteImage(dir.Path(), e, audio);
        if (*e.Refused) {
            try {
                LoadImageLayout(cue);
                ADD_FAILURE() << "accepted";
            } catch (const EDiscImage& error) {
                EXPECT_NE(std::string(error.what()).find(e.Refused), std::string::npos)
                    << error.what();
                EXPECT_NE(std::string(error.what()).find(e.File), std::string::npos);
            }
            continue;
        }
        TImageLayout layout = LoadImageLayout(cue);
        ASSERT_EQ(layout.Tracks.size(), 3u);
        EXPECT_EQ(layout.Tracks[1].Start, 150);
        EXPECT_EQ(layout.Tracks[1].Index01, 160);
        EXPECT_EQ(layout.Tracks[2].Index01, 450);
        EXPECT_EQ(layout.LeadOut, DiscSectors) << "the decoded length, to the sample";
        EXPECT_TRUE(layout.Warnings.empty());
        TImageReader reader(std::move(layout));

        // A ripper's reads: forward in runs of 26 sectors.
        Bytes all;
        for (int at = 0; at < DiscSectors; at += 26) {
            const int count = std::min(26, DiscSectors - at);
            Bytes part(std::size_t(count) * SectorBytes);
            ASSERT_TRUE(reader.Read(at, static_cast<std::uint32_t>(count), part.data())) << at;
            all.insert(all.end(), part.begin(), part.end());
        }
        EXPECT_TRUE(all == audio);

        // Re-reads and jumps, back and forth, across frame boundaries.
        std::mt19937 random(5);
        for (int i = 0; i < 40; ++i) {
            const int start = static_cast<int>(random() % (DiscSectors - 1));
            const int count = 1 + static_cast<int>(random() % std::min(30, DiscSectors - start));
            Bytes part(std::size_t(count) * SectorBytes);
            ASSERT_TRUE(reader.Read(start, static_cast<std::uint32_t>(count), part.data()))
                << start << "+" << count;
            EXPECT_TRUE(part == Slice(audio, start, count)) << start << "+" << count;
        }
        Bytes past(SectorBytes);
        EXPECT_FALSE(reader.Read(DiscSectors, 1, past.data()));
    }
}

// A compressed file cut short fails to read where it was cut: never silence or other audio.
TEST(ImageAudio, ACutFileFailsWhereItWasCut) {
    const Bytes audio = bwtest::GeneratedAudio(DiscSectors, 78);
    for (const Encoding& e : Encodings) {
        if (*e.Refused || !bwtest::HaveTool(e.Tool)) continue;
        SCOPED_TRACE(e.Name);
        bwtest::TempDir dir;
        const fs::path cue = WriteImage(dir.Path(), e, audio);
        const fs::path file = dir.Path() / e.File;
        fs::resize_file(file, fs::file_size(file) / 2);
        TImageLayout layout;
        try {
            layout = LoadImageLayout(cue);
        } catch (const EDiscImage&) {
            continue; // refused outright is as good
        }
        TImageReader reader(std::move(layout));
        Bytes first(10 * SectorBytes);
        ASSERT_TRUE(reader.Read(0, 10, first.data()));
        EXPECT_TRUE(first == Slice(audio, 0, 10));
        Bytes last(10 * SectorBytes);
        EXPECT_FALSE(reader.Read(DiscSectors - 10, 10, last.data()));
    }
}
