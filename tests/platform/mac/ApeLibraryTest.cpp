// The library's C interface: its error codes, the files it leaves (or removes), and what a
// second decoder, jmac, makes of our checksum and stored WAV header.
#include "ApeCompressor.h"
#include "ApeTestSupport.h"

namespace {

using namespace bwtest;
namespace fs = std::filesystem;

std::vector<std::uint8_t> Noise(std::size_t bytes) {
    std::vector<std::uint8_t> pcm(bytes);
    std::uint32_t x = 12345;
    for (auto& b : pcm)
        b = std::uint8_t((x = x * 1103515245 + 12345) >> 16);
    return pcm;
}

TEST(ApeLibrary, StartRefusesWhatItCannotWrite) {
    TempDir dir;
    struct TCase {
        const char* Name;
        int Rate, Bits, Channels, Level;
        fs::path File;
        int Code;
    };
    const std::vector<TCase> cases = {
        {"12-bit", 44100, 12, 2, 2000, dir / "a.ape", 1005},
        {"32-bit", 44100, 32, 2, 2000, dir / "a.ape", 1005},
        {"three channels", 44100, 16, 3, 2000, dir / "a.ape", 1007},
        {"no channels", 44100, 16, 0, 2000, dir / "a.ape", 1007},
        {"rate 0", 0, 16, 2, 2000, dir / "a.ape", 1006},
        {"level 5000", 44100, 16, 2, 5000, dir / "a.ape", 5000},
        {"level 2500", 44100, 16, 2, 2500, dir / "a.ape", 5000},
        {"missing folder", 44100, 16, 2, 2000, dir / "none/a.ape", 1003},
        {"folder as file", 44100, 16, 2, 2000, dir.Path(), 1003},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWaveFormatEx format;
        ASSERT_EQ(FillWaveFormatEx(&format, c.Rate, c.Bits, c.Channels), 0);
        int error = -1;
        APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
        ASSERT_EQ(error, 0);
        EXPECT_EQ(c_APECompress_Start(h, c.File.c_str(), &format, -1, c.Level, nullptr, -1),
                  c.Code);
        int room = 99;
        EXPECT_EQ(c_APECompress_LockBuffer(h, &room), nullptr);
        EXPECT_EQ(room, 0);
        c_APECompress_Destroy(h);
        EXPECT_FALSE(fs::exists(dir / "a.ape"));
    }
}

// A file that cannot be completed is not left behind looking like one.
TEST(ApeLibrary, FailedOrAbandonedRunsLeaveNoFile) {
    TempDir dir;
    // Nothing to code: the format has no way to say "no frames".
    EXPECT_EQ(EncodeApe(dir / "empty.ape", {}, 16, 2, 2000).Finish, 1008);
    EXPECT_FALSE(fs::exists(dir / "empty.ape"));

    // More than announced.
    TWaveFormatEx format;
    FillWaveFormatEx(&format, 44100, 16, 2);
    int error = 0;
    APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
    const auto file = dir / "over.ape";
    ASSERT_EQ(c_APECompress_Start(h, file.c_str(), &format, 4000, 2000, nullptr, -1), 0);
    int room = 0;
    ASSERT_NE(c_APECompress_LockBuffer(h, &room), nullptr);
    ASSERT_GE(room, 4004);
    EXPECT_EQ(c_APECompress_UnlockBuffer(h, 4004, 1), 6000);
    EXPECT_EQ(c_APECompress_UnlockBuffer(h, 0, 1), 6000); // the failure sticks
    EXPECT_EQ(c_APECompress_Finish(h, nullptr, 0, 0), 6000);
    c_APECompress_Destroy(h);
    EXPECT_FALSE(fs::exists(file));

    // Destroyed before Finish.
    h = c_APECompress_Create(&error);
    ASSERT_EQ(c_APECompress_Start(h, file.c_str(), &format, -1, 2000, nullptr, -1), 0);
    EXPECT_TRUE(fs::exists(file));
    c_APECompress_Destroy(h);
    EXPECT_FALSE(fs::exists(file));
}

// A trailing part of a block is dropped, never coded as half a sample.
TEST(ApeLibrary, TrailingPartialBlockIsDropped) {
    TempDir dir;
    auto pcm = Noise(4 * 1000 + 3);
    ASSERT_EQ(EncodeApe(dir / "odd.ape", pcm, 16, 2, 2000, false).Finish, 0);
    pcm.resize(4 * 1000);
    EXPECT_TRUE(FFmpegDecodeApe(dir / "odd.ape", 16) == pcm);
}

// Terminating data may hold more than the WAV's own trailing chunks (a tag, say): all of it
// follows the frames, but the descriptor counts and the checksum covers the WAV part only.
TEST(ApeLibrary, TerminatingDataBeyondTheWavPartIsKeptButNotCounted) {
    TempDir dir;
    const auto pcm = Noise(4 * 3000);
    struct TCase {
        const char* Name;
        int Terminating, WavPart;
    };
    const std::vector<TCase> cases = {{"all of it WAV", 12, 12}, {"WAV part shorter", 20, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::uint8_t> tail = Noise(std::size_t(c.Terminating) + 7);
        tail.erase(tail.begin(), tail.begin() + 7);
        const auto file = dir / (std::string(c.Name) + ".ape");
        TWaveFormatEx format;
        FillWaveFormatEx(&format, 44100, 16, 2);
        int error = 0;
        APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
        ASSERT_EQ(c_APECompress_Start(h, file.c_str(), &format, int(pcm.size()), 2000, nullptr, -1),
                  0);
        int room = 0;
        std::uint8_t* region = c_APECompress_LockBuffer(h, &room);
        ASSERT_GE(room, int(pcm.size()));
        std::copy(pcm.begin(), pcm.end(), region);
        ASSERT_EQ(c_APECompress_UnlockBuffer(h, int(pcm.size()), 1), 0);
        ASSERT_EQ(c_APECompress_Finish(h, tail.data(), c.Terminating, c.WavPart), 0);
        c_APECompress_Destroy(h);

        const auto bytes = ReadFileBytes(file);
        const std::uint32_t counted =
            bytes[32] | bytes[33] << 8 | bytes[34] << 16 | std::uint32_t(bytes[35]) << 24;
        EXPECT_EQ(counted, std::uint32_t(c.WavPart));
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - c.Terminating));
        EXPECT_TRUE(FFmpegDecodeApe(file, 16) == pcm);
        if (!HaveTool("jmac")) continue;
        auto verify = RunCommand("jmac v " + ShellQuote(file.string()));
        EXPECT_NE(verify.Output.find("100.0"), std::string::npos) << verify.Output;
        EXPECT_EQ(verify.Output.find("Invalid"), std::string::npos) << verify.Output;
    }
}

// A stream of unknown length that ends in time gets the same file as an announced one; a
// longer one gets a table reserved for the longest WAV and still a valid file.
enum class TLength { Announced, Unknown, UnknownPastHoldLimit };

void Encode(const fs::path& file, const std::vector<std::uint8_t>& pcm, TLength length) {
    if (length != TLength::UnknownPastHoldLimit) {
        ASSERT_EQ(EncodeApe(file, pcm, 16, 2, 3000, length == TLength::Announced).Finish, 0);
        return;
    }
    bw::mac::TApeCompressor compressor(1000);
    TWaveFormatEx format;
    FillWaveFormatEx(&format, 44100, 16, 2);
    ASSERT_EQ(compressor.Start(file.c_str(), &format, -1, 3000, nullptr, -1), 0);
    for (std::size_t done = 0; done < pcm.size();) {
        int room = 0;
        std::uint8_t* region = compressor.Lock(&room);
        ASSERT_NE(region, nullptr);
        const std::size_t n = std::min<std::size_t>(room, pcm.size() - done);
        std::copy_n(pcm.data() + done, n, region);
        ASSERT_EQ(compressor.Unlock(int(n)), 0);
        done += n;
    }
    ASSERT_EQ(compressor.Finish(nullptr, 0, 0), 0);
}

std::uint32_t SeekTableBytes(const fs::path& file) {
    const auto bytes = ReadFileBytes(file);
    return bytes[16] | bytes[17] << 8 | bytes[18] << 16 | std::uint32_t(bytes[19]) << 24;
}

// jmac checks the MD5 over header, audio and seek table, and restores the WAV we stored.
TEST(ApeLibrary, EveryLengthModeGivesAFileJmacVerifiesAndRestores) {
    if (!HaveTool("jmac")) GTEST_SKIP() << "jmac is not installed";
    TempDir dir;
    const auto pcm = Noise(4 * 80000); // two frames
    const std::vector<std::pair<TLength, const char*>> modes = {
        {TLength::Announced, "announced"},
        {TLength::Unknown, "unknown"},
        {TLength::UnknownPastHoldLimit, "unknown, past the hold limit"}};
    for (auto [length, name] : modes) {
        SCOPED_TRACE(name);
        const auto ape = dir / (std::string(name) + ".ape");
        Encode(ape, pcm, length);
        if (length == TLength::Unknown) {
            EXPECT_TRUE(ReadFileBytes(ape) == ReadFileBytes(dir / "announced.ape"));
        }
        // Two frames, or room for a 4 GiB WAV.
        EXPECT_EQ(SeekTableBytes(ape), length == TLength::UnknownPastHoldLimit ? 4u * 14564 : 8u);
        EXPECT_TRUE(FFmpegDecodeApe(ape, 16) == pcm);
        auto verify = RunCommand("jmac v " + ShellQuote(ape.string()));
        EXPECT_EQ(verify.Output.find("Invalid"), std::string::npos) << verify.Output;
        EXPECT_EQ(verify.Output.find("Exception"), std::string::npos) << verify.Output;
        EXPECT_NE(verify.Output.find("100.0"), std::string::npos) << verify.Output;
        const auto wav = dir / "restored.wav";
        fs::remove(wav);
        auto restore =
            RunCommand("jmac d " + ShellQuote(ape.string()) + " " + ShellQuote(wav.string()));
        const auto restored = ReadFileBytes(wav);
        ASSERT_EQ(restored.size(), 44 + pcm.size()) << restore.Output;
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), restored.begin() + 44));
        // The stored header is a canonical one with the final sizes.
        const std::uint32_t dataSize = restored[40] | restored[41] << 8 | restored[42] << 16 |
                                       std::uint32_t(restored[43]) << 24;
        EXPECT_EQ(dataSize, pcm.size());
    }
}

} // namespace
