// Image drives for cue sheets and cdrdao TOC files as other tools write them. Each case
// describes a physical disc as a run of pieces (audio, silence, data); the expected track
// addresses, disc id (libcddb) and read bytes come from those pieces, not from the parser.
#include "CdImage.h"
#include "CdLibrary.h"
#include "DiscIdentity.h"
#include "TestSupport.h"
#include "akrip32.h"

#include <algorithm>
#include <cddb/cddb.h>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

using namespace bw;
namespace fs = std::filesystem;

namespace {

using bwtest::SectorBytes;
using Bytes = std::vector<std::uint8_t>;

// A stretch of the physical disc: generated audio (seed), silence (seed 0) or a data
// track's sectors; `track` > 0 marks where that track's index 1 begins.
struct Piece {
    int Sectors;
    std::uint32_t Seed;
    int Track = 0;
};

Bytes Audio(const Piece& piece) {
    return piece.Seed ? bwtest::GeneratedAudio(piece.Sectors, piece.Seed)
                      : Bytes(std::size_t(piece.Sectors) * SectorBytes, 0);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

void WriteRaw(const fs::path& path, const Bytes& audio) {
    fs::create_directories(path.parent_path());
    bwtest::WriteFileBytes(path, audio);
}

// A WAV file written by sox or FFmpeg from raw CD audio.
void WriteWav(const fs::path& path, const Bytes& audio, const std::string& tool) {
    fs::path raw = path.string() + ".raw";
    WriteRaw(raw, audio);
    std::string in = "-t raw -r 44100 -e signed -b 16 -c 2 " + bwtest::ShellQuote(raw.string());
    std::string command = tool == "sox" ? "sox " + in + " " + bwtest::ShellQuote(path.string())
                                        : "ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i " +
                                              bwtest::ShellQuote(raw.string()) + " " +
                                              bwtest::ShellQuote(path.string());
    auto result = bwtest::RunCommand(command);
    ASSERT_EQ(result.ExitCode, 0) << result.Output;
    fs::remove(raw);
}

// Raw audio as cdrdao keeps it, big-endian: sox's CD-R format.
void WriteCdr(const fs::path& path, const Bytes& audio) {
    fs::path raw = path.string() + ".raw";
    WriteRaw(raw, audio);
    auto result = bwtest::RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 -L " +
                                     bwtest::ShellQuote(raw.string()) + " -t cdr " +
                                     bwtest::ShellQuote(path.string()));
    ASSERT_EQ(result.ExitCode, 0) << result.Output;
    fs::remove(raw);
}

std::uint32_t LibcddbDiscId(const std::vector<int>& lsnStarts, int leadOut) {
    cddb_disc_t* disc = cddb_disc_new();
    for (int start : lsnStarts) {
        cddb_track_t* track = cddb_track_new();
        cddb_track_set_frame_offset(track, start + 150);
        cddb_disc_add_track(disc, track);
    }
    cddb_disc_set_length(disc, (leadOut + 150) / 75);
    cddb_disc_calc_discid(disc);
    std::uint32_t id = cddb_disc_get_discid(disc);
    cddb_disc_destroy(disc);
    return id;
}

struct OpenDrive {
    int Handle = 0;
    TCDEntry Entry{};
    OpenDrive() {
        TCDList list = ReadDriveList();
        for (int i = 0; i < list.Count; ++i)
            if (std::string(list.Entries[i].Vendor) == "IMAGE   ") Entry = list.Entries[i];
        TGetCDHandle request = HandleRequestFor(Entry);
        Handle = GetCDHandle(&request);
        if (Handle) ModifyCDParms(Handle, CDP_MSF, 1);
    }
    ~OpenDrive() {
        if (Handle) CloseCDHandle(Handle);
    }
    bool Read(int start, int count, Bytes& out) const {
        TReadRequestBuffer buffer(static_cast<std::uint32_t>(count));
        buffer.Request()->StartSector = static_cast<std::uint32_t>(start);
        if (ReadCDAudioLBA(Handle, buffer.Request()) != 1) return false;
        out.assign(buffer.ReturnedData(), buffer.ReturnedData() + buffer.Request()->ReturnedBytes);
        return true;
    }
};

struct ImageCase {
    std::string Name;
    std::vector<Piece> Disc;
    std::vector<int> DataTracks; // tracks (from 1) that are data
    // Writes the description and its files into the folder; returns the description.
    std::function<fs::path(const fs::path&, const std::vector<Bytes>&)> Write;
    std::string DiscPerformer, DiscTitle, FirstTrackTitle;
};

} // namespace

TEST(DiscImages, AddressesKeysAndBytesAreThoseOfThePhysicalDisc) {
    if (!bwtest::HaveTool("sox") || !bwtest::HaveTool("ffmpeg")) GTEST_SKIP() << "sox, ffmpeg";
    std::vector<ImageCase> cases = {
        {"one data file named unlike the sheet, pregap inside it",
         {{40, 1, 1}, {10, 2}, {30, 3, 2}, {25, 4, 3}},
         {},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteRaw(dir / "Some Artist - Some Album.bin", Join({p[0], p[1], p[2], p[3]}));
             bwtest::WriteFileText(dir / "album.cue",
                                   "REM GENRE Rock\nREM DATE 1999\nPERFORMER \"Some Artist\"\n"
                                   "TITLE \"Some Album\"\n"
                                   "FILE \"Some Artist - Some Album.bin\" BINARY\n"
                                   "  TRACK 01 AUDIO\n    TITLE \"First\"\n"
                                   "    PERFORMER \"Some Artist\"\n    FLAGS DCP\n"
                                   "    INDEX 01 00:00:00\n"
                                   "  TRACK 02 AUDIO\n    ISRC USRC17607839\n"
                                   "    INDEX 00 00:00:40\n    INDEX 01 00:00:50\n"
                                   "  TRACK 03 AUDIO\n    INDEX 01 00:01:05\n");
             return dir / "album.cue";
         },
         "Some Artist",
         "Some Album",
         "First"},
        // The layout of a ripper that writes one file per track, with each gap appended to
        // the track before it, on Windows, in Latin-1 with CRLF line ends.
        {"one WAVE file per track, gaps appended to the previous file",
         {{40, 11, 1}, {12, 12}, {30, 13, 2}, {20, 14, 3}},
         {},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteWav(dir / "wav" / "01 Caf\xC3\xA9.wav", Join({p[0], p[1]}), "sox");
             WriteWav(dir / "wav" / "02.wav", p[2], "ffmpeg");
             WriteWav(dir / "wav" / "03.wav", p[3], "sox");
             bwtest::WriteFileText(dir / "disc.cue",
                                   "TITLE \"Caf\xE9\"\r\nFILE \"wav\\01 Caf\xE9.wav\" WAVE\r\n"
                                   "  TRACK 01 AUDIO\r\n    TITLE \"Caf\xE9 Cr\xE8me\"\r\n"
                                   "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
                                   "    INDEX 00 00:00:40\r\nFILE \"wav\\02.wav\" WAVE\r\n"
                                   "    INDEX 01 00:00:00\r\nFILE \"wav\\03.wav\" WAVE\r\n"
                                   "  TRACK 03 AUDIO\r\n    INDEX 01 00:00:00\r\n");
             return dir / "disc.cue";
         },
         "",
         "Caf\xC3\xA9",
         "Caf\xC3\xA9 Cr\xC3\xA8me"},
        {"hidden track one audio, then a pregap of silence no file holds",
         {{30, 21}, {40, 22, 1}, {75, 0}, {30, 23, 2}},
         {},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteRaw(dir / "htoa.bin", Join({p[0], p[1], p[3]}));
             bwtest::WriteFileText(dir / "htoa.cue", "FILE \"htoa.bin\" BINARY\n"
                                                     "  TRACK 01 AUDIO\n"
                                                     "    INDEX 00 00:00:00\n"
                                                     "    INDEX 01 00:00:30\n"
                                                     "  TRACK 02 AUDIO\n"
                                                     "    PREGAP 00:01:00\n"
                                                     "    INDEX 01 00:00:70\n");
             return dir / "htoa.cue";
         },
         "",
         "",
         ""},
        {"big-endian MOTOROLA data file",
         {{30, 51, 1}, {20, 52, 2}},
         {},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteCdr(dir / "be.cdr", Join({p[0], p[1]}));
             bwtest::WriteFileText(dir / "be.cue", "FILE \"be.cdr\" MOTOROLA\n"
                                                   "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                                   "  TRACK 02 AUDIO\n    INDEX 01 00:00:30\n");
             return dir / "be.cue";
         },
         "",
         "",
         ""},
        {"mixed-mode disc: data track first",
         {{50, 31, 1}, {150, 0}, {40, 32, 2}},
         {1},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteRaw(dir / "mixed.bin", Join({p[0], p[2]}));
             bwtest::WriteFileText(dir / "mixed.cue", "FILE \"mixed.bin\" BINARY\n"
                                                      "  TRACK 01 MODE1/2352\n"
                                                      "    INDEX 01 00:00:00\n"
                                                      "  TRACK 02 AUDIO\n"
                                                      "    PREGAP 00:02:00\n"
                                                      "    INDEX 01 00:00:50\n");
             return dir / "mixed.cue";
         },
         "",
         "",
         ""},
        // What cdrdao writes: a minute of silence and a START before track 1's audio, a
        // START inside track 2's data, CD_TEXT in Latin-1 octal escapes, a data track; raw
        // audio big-endian, except in a file marked SWAP.
        {"cdrdao TOC file with SILENCE, START, CD_TEXT and a data track",
         {{4500, 0}, {40, 41, 1}, {79, 42}, {21, 43, 2}, {20, 44, 3}},
         {3},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteCdr(dir / "data.bin", p[1]);
             WriteRaw(dir / "track02.bin", Join({p[2], p[3]}));
             Bytes iso(20 * 2048, 0x5A);
             WriteRaw(dir / "track03.iso", iso);
             bwtest::WriteFileText(
                 dir / "disc.toc",
                 "CD_ROM\n\nCD_TEXT {\n  LANGUAGE_MAP {\n    0 : EN\n  }\n\n"
                 "  LANGUAGE 0 {\n    TITLE \"Caf\\351 Noir\"\n    PERFORMER \"The Band\"\n"
                 "    SIZE_INFO { 1, 1, 3, 0, 8, 2, 0, 0, 0, 0, 0, 0}\n  }\n}\n\n"
                 "// Track 1\nTRACK AUDIO\nNO COPY\nNO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\n"
                 "CD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Hidden\"\n    PERFORMER \"\"\n  }\n}\n"
                 "SILENCE 01:00:00\nFILE \"data.bin\" 0 00:00:40\nSTART 01:00:00\n\n"
                 "// Track 2\nTRACK AUDIO\nCOPY\nISRC \"GBAYE0000001\"\n"
                 "FILE \"track02.bin\" SWAP 0 00:01:25\nSTART 00:01:04\n\n"
                 "// Track 3\nTRACK MODE1\nDATAFILE \"track03.iso\" 00:00:20 // length in bytes: "
                 "40960\n");
             return dir / "disc.toc";
         },
         "The Band",
         "Caf\xC3\xA9 Noir",
         "Hidden"},
        // cdrdao also takes plain sample counts (4 bytes each) for a file's start and length
        // and for SILENCE and ZERO.
        {"cdrdao TOC file with lengths in samples",
         {{30, 0}, {40, 61, 1}, {10, 0}, {25, 62, 2}},
         {},
         [](const fs::path& dir, const std::vector<Bytes>& p) {
             WriteRaw(dir / "s.bin", Join({p[1], p[3]}));
             bwtest::WriteFileText(dir / "s.toc",
                                   "CD_DA\nTRACK AUDIO\nSILENCE 17640\n"
                                   "FILE \"s.bin\" SWAP 0 23520\nSTART 00:00:30\n"
                                   "TRACK AUDIO\nZERO AUDIO 5880\n"
                                   "FILE \"s.bin\" SWAP 23520 14700\nSTART 00:00:10\n");
             return dir / "s.toc";
         },
         "",
         "",
         ""},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bwtest::TempDir dir;
        std::vector<Bytes> pieces;
        Bytes disc;
        std::vector<int> starts;
        for (const auto& piece : c.Disc) {
            if (piece.Track) starts.push_back(static_cast<int>(disc.size() / SectorBytes));
            pieces.push_back(Audio(piece));
            disc.insert(disc.end(), pieces.back().begin(), pieces.back().end());
        }
        const int leadOut = static_cast<int>(disc.size() / SectorBytes);
        bwtest::ImageDrives images(c.Write(dir.Path(), pieces).string());
        OpenDrive drive;
        ASSERT_NE(drive.Handle, 0);
        TTOC toc;
        ASSERT_EQ(ReadTOC(drive.Handle, &toc), 1) << GetCDDiscError(drive.Handle);
        EXPECT_EQ(GetCDDiscError(drive.Handle), "");
        EXPECT_EQ(GetCDDiscWarnings(drive.Handle), std::vector<std::string>{});
        ASSERT_EQ(toc.FirstTrack, 1);
        ASSERT_EQ(toc.LastTrack, static_cast<int>(starts.size()));
        for (std::size_t t = 0; t < starts.size(); ++t) {
            EXPECT_EQ(FramesOf(toc.Tracks[t]), starts[t] + 150) << "track " << t + 1;
            bool data = std::count(c.DataTracks.begin(), c.DataTracks.end(), int(t) + 1) > 0;
            EXPECT_EQ((toc.Tracks[t].AdrControl & 0x04) != 0, data) << "track " << t + 1;
        }
        EXPECT_EQ(FramesOf(toc.Tracks[starts.size()]), leadOut + 150);
        EXPECT_EQ(DiscKeyOfDrive(drive.Entry), DiscKeyText(LibcddbDiscId(starts, leadOut)));

        // Each audio track reads as the disc's bytes from its index 1 to the next one's.
        for (std::size_t t = 0; t < starts.size(); ++t) {
            if (std::count(c.DataTracks.begin(), c.DataTracks.end(), int(t) + 1)) continue;
            int end = t + 1 < starts.size() ? starts[t + 1] : leadOut;
            Bytes got;
            ASSERT_TRUE(drive.Read(starts[t] - starts[0], end - starts[t], got)) << t + 1;
            Bytes expected(disc.begin() + std::ptrdiff_t(starts[t]) * SectorBytes,
                           disc.begin() + std::ptrdiff_t(end) * SectorBytes);
            EXPECT_TRUE(got == expected) << "track " << t + 1;
        }
        Bytes past;
        EXPECT_FALSE(drive.Read(leadOut - starts[0], 1, past)) << "past the lead-out";

        TCDText text;
        ASSERT_TRUE(GetCDText(drive.Handle, text));
        EXPECT_EQ(text.Performer, c.DiscPerformer);
        EXPECT_EQ(text.Title, c.DiscTitle);
        ASSERT_EQ(text.TrackTitles.size(), starts.size());
        EXPECT_EQ(text.TrackTitles[0], c.FirstTrackTitle);
    }
}

// Descriptions that cannot be used give the cause in words; a data file too short for its
// last track is reported, and its missing sectors fail to read instead of reading short.
TEST(DiscImages, FaultsAreNamed) {
    struct Fault {
        std::string Name, File, Text;
        int BinSectors;
        std::string Error = "";   // expected in GetCDDiscError; empty: the TOC reads
        std::string Warning = ""; // expected in the warnings
        int UnreadableFrom = -1;
    };
    const std::string cue = "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 01 00:00:30\n";
    std::vector<Fault> faults = {
        {"missing data file", "a.cue", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n", 60,
         "gone.bin"},
        {"unreadable line", "a.cue", cue + "  INDX 02 00:00:40\n", 60,
         "a.cue, line 6 cannot be read:   INDX 02 00:00:40"},
        {"bad time", "a.cue", "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:61:00\n",
         60, "line 3"},
        {"data file ends before the last track starts", "a.cue", cue, 20, "line 5"},
        {"data track of no size in a BINARY file", "a.cue",
         cue + "  TRACK 03 MODEx/2xxx\n    INDEX 01 00:00:50\n", 60,
         "line 6 names a data track without its sector size in a BINARY file"},
        {"track without index 1", "a.cue", "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n", 60,
         "track 1 has no INDEX 01"},
        {"data file ends inside the last sector", "a.cue", cue, -1, "",
         "d.bin ends 1 sector(s) before the end of track 2", 59},
        {"TOC file longer than its data file", "a.toc",
         "CD_DA\nTRACK AUDIO\nFILE \"d.bin\" SWAP 0 00:00:30\nTRACK AUDIO\n"
         "FILE \"d.bin\" SWAP 00:00:30 00:00:40\n",
         60, "", "d.bin ends 10 sector(s) before the end of track 2", 60},
        {"TOC line that cannot be read", "a.toc", "CD_DA\nTRACK AUDIO\nFILE \"d.bin\" 0 junk\n", 60,
         "a.toc, line 3 cannot be read: FILE \"d.bin\" 0 junk"},
        {"TOC with START past the track's end", "a.toc",
         "TRACK AUDIO\nFILE \"d.bin\" 0 00:00:30\nSTART 00:00:40\n", 60,
         "START of track 1 lies past its end"},
        {"not an image at all", "a.iso", "", 60, "is not a CUE sheet, cdrdao TOC file or NRG"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.Name);
        bwtest::TempDir dir;
        Bytes bin = bwtest::GeneratedAudio(f.BinSectors < 0 ? 60 : f.BinSectors, 7);
        if (f.BinSectors < 0) bin.resize(bin.size() - 1000);
        WriteRaw(dir / "d.bin", bin);
        bwtest::WriteFileText(dir / f.File, f.Text);
        bwtest::ImageDrives images((dir / f.File).string());
        OpenDrive drive;
        ASSERT_NE(drive.Handle, 0);
        TTOC toc;
        if (!f.Error.empty()) {
            EXPECT_EQ(ReadTOC(drive.Handle, &toc), 0);
            EXPECT_EQ(GetAspiLibError(), CDERR_NO_DISC);
            EXPECT_NE(GetCDDiscError(drive.Handle).find(f.Error), std::string::npos)
                << GetCDDiscError(drive.Handle);
            continue;
        }
        ASSERT_EQ(ReadTOC(drive.Handle, &toc), 1) << GetCDDiscError(drive.Handle);
        auto warnings = GetCDDiscWarnings(drive.Handle);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(f.Warning), std::string::npos) << warnings[0];
        Bytes got;
        EXPECT_TRUE(drive.Read(0, f.UnreadableFrom, got));
        EXPECT_TRUE(got == Bytes(bin.begin(), bin.begin() + f.UnreadableFrom * SectorBytes));
        EXPECT_FALSE(drive.Read(f.UnreadableFrom - 1, 2, got));
        EXPECT_EQ(GetAspiLibError(), CDERR_READ_FAILED);
    }
}
