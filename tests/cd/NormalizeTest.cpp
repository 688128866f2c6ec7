#include "RipFixture.h"
#include "ripthread.h"

using namespace bw;

namespace {

// One sector whose left and right samples run through the given values, repeated.
std::vector<std::uint8_t> SectorOfSamples(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> sector(bwtest::SectorBytes);
    for (std::size_t i = 0; i < sector.size() / 2; ++i) {
        auto v = static_cast<std::uint16_t>(values[i % values.size()]);
        sector[2 * i] = static_cast<std::uint8_t>(v);
        sector[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return sector;
}

std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i < count; ++i)
        samples.push_back(static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return samples;
}

const std::vector<std::int16_t> Probe = {3, -3, 1, 5, -1, -5, 2, 0, 32767, -32768, 30000, -30000};

} // namespace

class Normalization : public RipFixture {
protected:
    void SetUp() override {
        RipFixture::SetUp();
        Settings.IsNormalize = true;
        auto sector = SectorOfSamples(Probe);
        std::vector<std::uint8_t> track;
        for (int i = 0; i < 15; ++i)
            track.insert(track.end(), sector.begin(), sector.end());
        InsertAudio({track});
    }
    TRipOutcome RipAt(int percent, const std::string& title) {
        Settings.NormalizePercent = percent;
        return Rip(1, title);
    }
};

TEST_F(Normalization, HundredPercentLeavesTheFileIdentical) {
    Settings.IsNormalize = false;
    ASSERT_EQ(Rip(1, "plain").Finished, std::vector<int>{0});
    Settings.IsNormalize = true;
    auto outcome = RipAt(100, "scaled");
    EXPECT_TRUE(outcome.Normalizing);
    EXPECT_EQ(outcome.Finished, std::vector<int>{0});
    EXPECT_EQ(bwtest::ReadFileBytes(WavPath("scaled")), bwtest::ReadFileBytes(WavPath("plain")));
    EXPECT_EQ(Listing(Output), (std::vector<std::string>{"plain.wav", "scaled.wav"}))
        << "no .nor file is left";
}

TEST_F(Normalization, FiftyPercentHalvesWithTiesToEven) {
    ASSERT_EQ(RipAt(50, "half").Finished, std::vector<int>{0});
    EXPECT_EQ(Samples(WavData("half"), Probe.size()),
              (std::vector<std::int16_t>{2, -2, 0, 2, 0, -2, 1, 0, 16384, -16384, 15000, -15000}));
    EXPECT_EQ(HeaderDataSize("half"), 15u * 2352);
    EXPECT_EQ(WavData("half").size(), 15u * 2352);
}

TEST_F(Normalization, AboveHundredSaturatesInsteadOfWrapping) {
    ASSERT_EQ(RipAt(150, "loud").Finished, std::vector<int>{0});
    EXPECT_EQ(Samples(WavData("loud"), Probe.size()),
              (std::vector<std::int16_t>{4, -4, 2, 8, -2, -8, 3, 0, 32767, -32768, 32767, -32768}));
}

TEST_F(Normalization, ReportsStartAndRisingProgressBeforeFinishing) {
    TMessageQueue queue;
    Settings.NormalizePercent = 95;
    Rip(1, "p", &queue);
    std::vector<int> afterStart;
    bool started = false;
    for (auto& message : queue.TakeAll()) {
        int percent = message.Info->Percent;
        if (percent == 999)
            started = true;
        else if (started)
            afterStart.push_back(percent);
    }
    ASSERT_GE(afterStart.size(), 3u);
    EXPECT_EQ(afterStart.back(), 1000);
    EXPECT_TRUE(std::is_sorted(afterStart.begin(), afterStart.end()));
    EXPECT_EQ(afterStart[afterStart.size() - 2], 100);
}

TEST(NormalizeFile, UnreadableFileFailsWithoutTouchingAnything) {
    bwtest::TempDir dir;
    TMessageQueue queue;
    EXPECT_FALSE(Normalize(dir / "missing.wav", 50, &queue));
    bwtest::WriteFileText(dir / "tiny.wav", "RIFF");
    EXPECT_FALSE(Normalize(dir / "tiny.wav", 50, &queue));
    EXPECT_EQ(bwtest::ReadFileText(dir / "tiny.wav"), "RIFF");
    EXPECT_FALSE(std::filesystem::exists(dir / "tiny.nor"));
}

TEST(NormalizeFile, SampleScaling) {
    EXPECT_EQ(ScaleSample(7, 0.5f), 4); // 3.5 -> 4
    EXPECT_EQ(ScaleSample(9, 0.5f), 4); // 4.5 -> 4
    EXPECT_EQ(ScaleSample(-7, 0.5f), -4);
    EXPECT_EQ(ScaleSample(-32768, -1.0f), 32767);
    EXPECT_EQ(ScaleSample(12345, 0.0f), 0);
    EXPECT_EQ(ScaleSample(1000, 0.95f), 950);
}

TEST_F(Normalization, ARenameThatFailsFailsAndLeavesNoNorFile) {
    ASSERT_EQ(RipAt(100, "Kept").Finished, std::vector<int>{0});
    const auto before = bwtest::ReadFileBytes(WavPath("Kept"));
    // An immutable file can be read but not replaced (root only, on ext4 and the like).
    const std::string wav = bwtest::ShellQuote(WavPath("Kept").string());
    if (bwtest::RunCommand("chattr +i " + wav).ExitCode != 0) GTEST_SKIP() << "no chattr +i here";
    TMessageQueue queue;
    const bool normalized = Normalize(WavPath("Kept"), 50, &queue);
    bwtest::RunCommand("chattr -i " + wav);
    EXPECT_FALSE(normalized);
    EXPECT_EQ(Listing(Output), std::vector<std::string>{"Kept.wav"});
    EXPECT_EQ(bwtest::ReadFileBytes(WavPath("Kept")), before);
}
