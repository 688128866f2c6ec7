#include "Latin1.h"
#include "TestSupport.h"
#include "id3.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bw;
using bwtest::ReadFileBytes;
using bwtest::RunCommand;
using bwtest::ShellQuote;

namespace {

using TBytes = std::vector<std::uint8_t>;

// A short real MP3 file without any tag, made by FFmpeg.
std::filesystem::path MakeMp3(const bwtest::TempDir& dir, const std::string& name) {
    auto path = dir / name;
    auto r = RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=0.3 "
                        "-c:a libmp3lame -b:a 64k -id3v2_version 0 -write_id3v1 0 " +
                        ShellQuote(path.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return path;
}

// The tags FFmpeg reads from the file.
std::map<std::string, std::string> Probe(const std::filesystem::path& path) {
    auto r = RunCommand("ffprobe -v error -show_entries format_tags -of default=nw=1 " +
                        ShellQuote(path.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    std::map<std::string, std::string> tags;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("TAG:", 0) != 0) continue;
        auto eq = line.find('=');
        tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
    }
    return tags;
}

TBytes Tail(const TBytes& file) {
    return TBytes(file.end() - 128, file.end());
}

// The expected block, decoded by hand: "TAG", 30+30+30+4 text bytes, then the comment area.
TBytes Expected(std::string title, std::string artist, std::string album, std::string year,
                std::string comment30, int genre) {
    TBytes b = {'T', 'A', 'G'};
    for (auto [text, width] :
         {std::pair{title, 30}, {artist, 30}, {album, 30}, {year, 4}, {comment30, 30}}) {
        text.resize(static_cast<std::size_t>(width), '\0');
        b.insert(b.end(), text.begin(), text.end());
    }
    b.push_back(static_cast<std::uint8_t>(genre));
    return b;
}

} // namespace

TEST(Id3Tag, FreshTagWithTitleOnly) {
    bwtest::TempDir dir;
    auto mp3 = MakeMp3(dir, "a.mp3");
    auto before = ReadFileBytes(mp3);
    Tid3tag tag;
    EXPECT_EQ(tag.Genre, 255);
    EXPECT_FALSE(tag.TrackSet());
    tag.SetTitle("Intro");
    ASSERT_EQ(tag.WriteToFile(mp3), Id3Written);
    auto after = ReadFileBytes(mp3);
    ASSERT_EQ(after.size(), before.size() + 128);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_EQ(Tail(after), Expected("Intro", "", "", "", "", 255));
    auto tags = Probe(mp3);
    EXPECT_EQ(tags["title"], "Intro");
    EXPECT_EQ(tags.count("genre"), 0u);
    EXPECT_EQ(tags.count("track"), 0u);
}

TEST(Id3Tag, TrackChoosesBetweenId3v10AndId3v11) {
    bwtest::TempDir dir;
    auto mp3 = MakeMp3(dir, "b.mp3");
    std::string comment30 = "abcdefghijklmnopqrstuvwxyz0123"; // 30 characters
    Tid3tag tag;
    tag.SetTitle("Title");
    tag.SetArtist("Artist");
    tag.SetAlbum("Album");
    tag.SetYear("19995"); // 4 characters kept
    tag.SetComment(comment30);
    tag.Genre = 17;

    tag.SetTrack(0);
    ASSERT_EQ(tag.WriteToFile(mp3), Id3Written);
    EXPECT_EQ(Tail(ReadFileBytes(mp3)),
              Expected("Title", "Artist", "Album", "1999", comment30, 17));
    auto tags = Probe(mp3);
    EXPECT_EQ(tags["comment"], comment30);
    EXPECT_EQ(tags["date"], "1999");
    EXPECT_EQ(tags["genre"], "Rock");
    EXPECT_EQ(tags.count("track"), 0u);

    tag.SetTrack(7);
    EXPECT_TRUE(tag.TrackSet());
    ASSERT_EQ(tag.WriteToFile(mp3), Id3Written);
    std::string lost2 = comment30.substr(0, 28) + std::string("\0\x07", 2);
    EXPECT_EQ(Tail(ReadFileBytes(mp3)), Expected("Title", "Artist", "Album", "1999", lost2, 17));
    tags = Probe(mp3);
    EXPECT_EQ(tags["comment"], comment30.substr(0, 28));
    EXPECT_EQ(tags["track"], "7");
    EXPECT_EQ(tags["artist"], "Artist");
    EXPECT_EQ(tags["album"], "Album");
}

TEST(Id3Tag, TextIsIsoLatin1AndWidthsCountCharacters) {
    bwtest::TempDir dir;
    auto mp3 = MakeMp3(dir, "c.mp3");
    Tid3tag tag;
    tag.SetTitle("Café ☃ Noël");
    std::string e30;
    for (int i = 0; i < 31; ++i)
        e30 += "é"; // 31 characters, 62 bytes of UTF-8
    tag.SetArtist(e30);
    tag.SetAlbum(std::string("bad \xFF\xC3 bytes"));
    EXPECT_EQ(tag.Title(), "Café ? Noël");
    ASSERT_EQ(tag.WriteToFile(mp3), Id3Written);
    auto block = Tail(ReadFileBytes(mp3));
    EXPECT_EQ(std::string(block.begin() + 3, block.begin() + 14), "Caf\xE9 ? No\xEBl");
    EXPECT_EQ(TBytes(block.begin() + 33, block.begin() + 63), TBytes(30, 0xE9));
    EXPECT_EQ(std::string(block.begin() + 63, block.begin() + 74), "bad ?? byte");
    // FFmpeg shows non-ASCII ID3v1 bytes as U+FFFD, so it vouches only for the layout here.
    auto tags = Probe(mp3);
    EXPECT_EQ(tags["title"], "Caf\uFFFD ? No\uFFFDl");
    EXPECT_EQ(tags.count("artist"), 1u);
}

TEST(Id3Tag, ReplacesAnExistingBlockAndAppendsToShortFiles) {
    bwtest::TempDir dir;
    auto mp3 = MakeMp3(dir, "d.mp3");
    auto size0 = std::filesystem::file_size(mp3);
    Tid3tag first;
    first.SetTitle("First");
    ASSERT_EQ(first.WriteToFile(mp3), Id3Written);
    Tid3tag second;
    second.SetTitle("Second");
    second.SetTrack(2);
    ASSERT_EQ(second.WriteToFile(mp3), Id3Written);
    EXPECT_EQ(std::filesystem::file_size(mp3), size0 + 128);
    EXPECT_EQ(Probe(mp3)["title"], "Second");
    auto secondBlock = second.Block();
    EXPECT_EQ(Tail(ReadFileBytes(mp3)), TBytes(secondBlock.begin(), secondBlock.end()));

    // Under 128 bytes: always appended, even when it starts with "TAG".
    auto small = dir / "small.bin";
    bwtest::WriteFileText(small, "TAG and then some");
    ASSERT_EQ(second.WriteToFile(small), Id3Written);
    auto bytes = ReadFileBytes(small);
    ASSERT_EQ(bytes.size(), 17u + 128u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 17), "TAG and then some");
    // Exactly 128 bytes that are not a block: appended.
    auto exact = dir / "exact.bin";
    bwtest::WriteFileBytes(exact, TBytes(128, 'x'));
    ASSERT_EQ(second.WriteToFile(exact), Id3Written);
    EXPECT_EQ(std::filesystem::file_size(exact), 256u);
}

TEST(Id3Tag, FailuresGiveStatusWordsAndLeaveTheFileAlone) {
    bwtest::TempDir dir;
    Tid3tag tag;
    tag.SetTitle("x");
    EXPECT_EQ(tag.WriteToFile(dir / "missing.mp3"), Id3CannotOpen);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.mp3"));
    EXPECT_EQ(tag.WriteToFile(dir / "missing" / "a.mp3"), Id3CannotOpen);
    EXPECT_EQ(tag.WriteToFile(dir.Path()), Id3CannotOpen);  // a folder
    EXPECT_EQ(tag.WriteToFile("/dev/null"), Id3CannotOpen); // never a device

    // Read-only: run as an unprivileged user, since root may write anything.
    auto ro = MakeMp3(dir, "ro.mp3");
    chmod(dir.Path().c_str(), 0755);
    chmod(ro.c_str(), 0444);
    auto before = ReadFileBytes(ro);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        _exit(tag.WriteToFile(ro) >> 8);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status) << 8, Id3ReadOnly);
    EXPECT_EQ(ReadFileBytes(ro), before);
}

TEST(Id3Tag, AFileAnotherProcessHoldsIsNotWritten) {
    bwtest::TempDir dir;
    auto mp3 = MakeMp3(dir, "held.mp3");
    auto before = ReadFileBytes(mp3);
    Tid3tag tag;
    tag.SetTitle("late");
    for (int lockKind : {LOCK_SH, LOCK_EX}) {
        SCOPED_TRACE(lockKind == LOCK_SH ? "shared" : "exclusive");
        int ready[2], release[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(release), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) { // an encoder still writing the file
            close(ready[0]);
            close(release[1]);
            int fd = open(mp3.c_str(), O_RDWR);
            if (fd < 0 || flock(fd, lockKind) != 0) _exit(1);
            char c = 1;
            if (write(ready[1], &c, 1) != 1) _exit(1);
            (void)!read(release[0], &c, 1); // until the parent closes its end
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        EXPECT_EQ(tag.WriteToFile(mp3), Id3CannotOpen);
        EXPECT_EQ(ReadFileBytes(mp3), before);
        close(release[1]);
        close(ready[0]);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    EXPECT_EQ(tag.WriteToFile(mp3), Id3Written);
    EXPECT_EQ(Probe(mp3)["title"], "late");
}

TEST(Id3Tag, BlockParserReadsWhatTheWriterWrites) {
    Tid3tag tag;
    tag.SetTitle("Ünïcode");
    tag.SetComment("c");
    tag.SetTrack(12);
    tag.Genre = 80;
    auto block = tag.Block();
    auto fields = ParseId3v1Block(block);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->Title, "Ünïcode");
    EXPECT_EQ(fields->Comment, "c");
    EXPECT_EQ(fields->Track, 12);
    EXPECT_EQ(fields->Genre, 80);
    tag.SetTrack(0);
    block = tag.Block();
    EXPECT_EQ(ParseId3v1Block(block)->Track, std::nullopt);
    block[0] = 'X';
    EXPECT_FALSE(ParseId3v1Block(block));
    EXPECT_FALSE(ParseId3v1Block(std::span(block).first(127)));

    EXPECT_EQ(Id3v1BlockPosition(100, {}), 100);
    TBytes tail(128, 0);
    EXPECT_EQ(Id3v1BlockPosition(1000, tail), 1000);
    tail[0] = 'T', tail[1] = 'A', tail[2] = 'G';
    EXPECT_EQ(Id3v1BlockPosition(1000, tail), 872);
}

TEST(Latin1, RoundTripsAndReplacesWhatItCannotHold) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(Latin1FromUtf8(Utf8FromLatin1(all)), all);
    EXPECT_EQ(Latin1FromUtf8("€"), "?");
    EXPECT_EQ(Latin1FromUtf8("\xF0\x9F\x8E\xB5!"), "?!"); // one character beyond the BMP
    EXPECT_EQ(Latin1FromUtf8("\xC0\xAF"), "??");          // overlong
    EXPECT_EQ(Latin1FromUtf8("\xED\xA0\x80"), "???");     // a surrogate
    EXPECT_EQ(Latin1FromUtf8("a\xE2\x82"), "a??");        // cut short
}
