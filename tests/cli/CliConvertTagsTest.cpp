// Tags a conversion carries, from sources other programs tagged: several values of a field,
// album artist and disc numbers, the release's fields, an ID3v1 block beside an ID3v2 tag,
// a broken ID3v2.3 frame, AIFF text chunks; read back with mutagen (ffprobe for WMA).
#include "CliTestSupport.h"

#include <fstream>

using bwtest::MustRun;

namespace {

const char* const Python = "/usr/bin/python3 -c ";

// The fields every output must carry from the FLAC source below, as tag_dump.py names them.
const std::map<std::string, std::string> ReleaseFields = {
    {"artist", "Björk|Sigur Rós"},
    {"genre", "Pop|Art Rock"},
    {"albumartist", "Various Artists"},
    {"disc", "2"},
    {"disctotal", "5"},
};
// The release's further fields, as a rip writes them.
const std::map<std::string, std::string> LaterFields = {
    {"discsubtitle", "Live"},
    {"originaldate", "1986-03-01"},
    {"label", "One Little Indian"},
    {"catalog", "TPLP 1"},
    {"barcode", "5016958997123"},
    {"releasecountry", "GB"},
    {"releasetype", "album"},
    {"releasestatus", "official"},
    {"media", "CD"},
    {"artists", "Björk|Sigur Rós"},
    {"artistsort", "Björk & Sigur Rós"},
    {"albumartistsort", "Various Artists"},
    {"mb_artist", "0a1b|2c3d"},
    {"mb_albumartist", "89ad4ac3-39f7-470e-963a-56509c546377"},
    {"mb_releasegroup", "5e6f"},
    {"mb_releasetrack", "7a8b"},
};

// The last 128 bytes of a file.
std::string Tail128(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(-128, std::ios::end);
    std::string block(128, '\0');
    in.read(block.data(), 128);
    return block;
}

} // namespace

TEST(CliConvertTags, EveryOutputCarriesEveryValueAndTheReleaseFields) {
    bwtest::TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") + " synth 1.5 sine 440 gain -6");
    std::string tags;
    for (const char* item : {"ARTIST=Björk",
                             "ARTIST=Sigur Rós",
                             "GENRE=Pop",
                             "GENRE=Art Rock",
                             "TITLE=Joga",
                             "ALBUMARTIST=Various Artists",
                             "DISCNUMBER=2",
                             "DISCTOTAL=5",
                             "DISCSUBTITLE=Live",
                             "ORIGINALDATE=1986-03-01",
                             "LABEL=One Little Indian",
                             "CATALOGNUMBER=TPLP 1",
                             "BARCODE=5016958997123",
                             "RELEASECOUNTRY=GB",
                             "RELEASETYPE=album",
                             "RELEASESTATUS=official",
                             "MEDIA=CD",
                             "ARTISTS=Björk",
                             "ARTISTS=Sigur Rós",
                             "ARTISTSORT=Björk & Sigur Rós",
                             "ALBUMARTISTSORT=Various Artists",
                             "MUSICBRAINZ_ARTISTID=0a1b",
                             "MUSICBRAINZ_ARTISTID=2c3d",
                             "MUSICBRAINZ_ALBUMARTISTID=89ad4ac3-39f7-470e-963a-56509c546377",
                             "MUSICBRAINZ_RELEASEGROUPID=5e6f",
                             "MUSICBRAINZ_RELEASETRACKID=7a8b"})
        tags += " -T " + ShellQuote(item);
    MustRun("flac -s -f" + tags + " -o " + Q(src / "multi.flac") + " " + Q(dir / "s.wav"));
    // An MP3 as mutagen tags it: ID3v2.4 with two artists, for the MP3 output's ID3v1 block.
    MustRun("lame --quiet " + Q(dir / "s.wav") + " " + Q(src / "two.mp3"));
    MustRun(std::string(Python) +
            "'import sys; from mutagen.id3 import ID3, TPE1, TIT2; t = ID3(); "
            "t.add(TPE1(encoding=3, text=[\"Björk\", \"Sigur Rós\"])); "
            "t.add(TIT2(encoding=3, text=\"Joga\")); t.save(sys.argv[1])' " +
            Q(src / "two.mp3"));

    TCliRun cli(dir / "config");
    for (const std::string format : {"flac", "mp3", "ogg", "opus", "ape", "wma"}) {
        SCOPED_TRACE(format);
        const fs::path out = dir / format;
        auto r = cli("convert --to " + format + " -o " + Q(out) + " " + Q(src / "multi.flac") +
                     " " + Q(src / "two.mp3"));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        const fs::path converted = out / ("multi." + format);
        if (format == "wma") {
            const std::string probe = bwtest::FFprobe(converted, "format_tags");
            EXPECT_THAT(probe, HasSubstr("TAG:album_artist=Various Artists"));
            EXPECT_THAT(probe, HasSubstr("TAG:disc=2/5"));
        }
        auto read = bwtest::MutagenTags(converted);
        std::map<std::string, std::string> fields = ReleaseFields;
        fields.insert(LaterFields.begin(), LaterFields.end());
        for (const auto& [field, value] : fields) {
            // WMA's author is one text: the artists go there joined.
            const std::string expected =
                format == "wma" && field == "artist" ? "Björk;Sigur Rós" : value;
            EXPECT_EQ(read[field], expected) << field;
        }
        EXPECT_EQ(read["title"], "Joga");
        if (format == "mp3") {
            // The ID3v1 block says what the ID3v2 tag's first artist says.
            auto two = bwtest::MutagenTags(out / "two.mp3");
            EXPECT_EQ(two["artist"], "Björk|Sigur Rós");
            const std::string block = Tail128(out / "two.mp3");
            EXPECT_EQ(block.substr(0, 3), "TAG");
            EXPECT_EQ(block.substr(33, 6), std::string("Bj\xF6rk\0", 6));
        }
    }
}

TEST(CliConvertTags, Id3v1FillsWhatId3v2LacksAndEmptyValuesAreNone) {
    bwtest::TempDir dir;
    MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(dir / "s.wav") + " synth 1 sine 440 gain -6");
    // An ID3v1 block with the artist and album; an ID3v2.3 tag with the title and a TYER
    // frame of a UTF-16 byte-order mark only, as a broken tagger wrote it.
    MustRun("lame --quiet --id3v1-only --ta 'Old Artist' --tl 'Old Album' --tt 'v1 title' " +
            Q(dir / "s.wav") + " " + Q(dir / "body.mp3"));
    MustRun(
        std::string(Python) +
        "'import sys\n"
        "def frame(i, b): return i + len(b).to_bytes(4, \"big\") + bytes(2) + b\n"
        "body = frame(b\"TIT2\", b\"\\x00New Title\") + frame(b\"TYER\", b\"\\x00\\xfe\\xff\")\n"
        "size = len(body)\n"
        "syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & "
        "127])\n"
        "head = b\"ID3\\x03\\x00\\x00\" + syncsafe\n"
        "audio = open(sys.argv[1], \"rb\").read()\n"
        "open(sys.argv[2], \"wb\").write(head + body + audio)' " +
        Q(dir / "body.mp3") + " " + Q(dir / "in.mp3"));
    // AIFF files as FFmpeg writes them by default: title, author and comment as text chunks
    // (FFmpeg's key for AUTH is "author");
    // a second one also with an ID3 chunk whose title wins.
    MustRun("ffmpeg -v error -i " + Q(dir / "s.wav") +
            " -metadata title='Chunk Title' -metadata author='Chunk Artist' -metadata "
            "comment='Chunk Note' " +
            Q(dir / "chunks.aiff"));
    fs::copy_file(dir / "chunks.aiff", dir / "both.aiff");
    MustRun(std::string(Python) +
            "'import sys; from mutagen.aiff import AIFF; from mutagen.id3 import TIT2; "
            "f = AIFF(sys.argv[1]); f.add_tags(); f.tags.add(TIT2(encoding=3, text=\"ID3 "
            "Title\")); f.save()' " +
            Q(dir / "both.aiff"));

    TCliRun cli(dir / "config");
    for (const std::string format : {"flac", "opus"}) {
        SCOPED_TRACE(format);
        const fs::path out = dir / format;
        auto r = cli("convert --to " + format + " -o " + Q(out) + " " + Q(dir / "in.mp3") + " " +
                     Q(dir / "chunks.aiff") + " " + Q(dir / "both.aiff"));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        auto mp3 = bwtest::MutagenTags(out / ("in." + format));
        EXPECT_EQ(mp3["title"], "New Title");
        EXPECT_EQ(mp3["artist"], "Old Artist");
        EXPECT_EQ(mp3["album"], "Old Album");
        EXPECT_EQ(mp3.count("date"), 0u) << mp3["date"];
        auto chunks = bwtest::MutagenTags(out / ("chunks." + format));
        EXPECT_EQ(chunks["title"], "Chunk Title");
        EXPECT_EQ(chunks["artist"], "Chunk Artist");
        EXPECT_EQ(chunks["comment"], "Chunk Note");
        auto both = bwtest::MutagenTags(out / ("both." + format));
        EXPECT_EQ(both["title"], "ID3 Title");
        EXPECT_EQ(both["artist"], "Chunk Artist");
    }
    // An MP3 output's ID3v1.1 block holds what its ID3v2 tag holds: the artist and album the
    // source's ID3v1 block gave.
    auto mp3 = cli("convert --to mp3 -o " + Q(dir / "mp3") + " " + Q(dir / "in.mp3"));
    ASSERT_EQ(mp3.ExitCode, 0) << mp3.Output;
    const std::string block = Tail128(dir / "mp3" / "in.mp3");
    EXPECT_EQ(block.substr(0, 12), "TAGNew Title");
    EXPECT_EQ(block.substr(33, 11), std::string("Old Artist\0", 11));
    EXPECT_EQ(block.substr(63, 10), std::string("Old Album\0", 10));
    EXPECT_EQ(block.substr(93, 4), std::string(4, '\0')); // no year
}
