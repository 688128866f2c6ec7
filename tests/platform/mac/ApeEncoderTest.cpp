// The encoder's files against the reference files made with jmac, and against FFmpeg's
// decoder with frame CRCs checked, over signals chosen to reach every coding path.
#include "ApeFrame.h"
#include "ApeTestSupport.h"
#include "NNFilter.h"

#include <random>

namespace {

using namespace bwtest;
namespace fs = std::filesystem;

// The reference set: regenerated from its generator, compared byte for byte where the
// reference is canonical (jmac's 16-bit mono files are not: it codes them as unsigned).
fs::path ReferenceDir() {
    const char* dir = std::getenv("BW_APE_REFERENCE");
    // The shared folder lies beside the checkout, here and in CI.
    return dir ? fs::path(dir) : fs::path(BW_SOURCE_DIR) / ".." / "shared" / "ape-reference";
}

struct TReference {
    const char* Name;
    const char* Kind;
    int Rate, Channels, Bits;
    const char* Seconds;
    std::vector<int> Levels;
    bool Canonical;
};

TEST(ApeEncoder, MatchesReferenceFilesAndDecodesExactly) {
    const fs::path refs = ReferenceDir();
    if (!fs::exists(refs / "gen_wav.py")) GTEST_SKIP() << "no reference files at " << refs;
    const std::vector<TReference> table = {
        {"mix_s16", "mix", 44100, 2, 16, "1.7", {1, 2, 3, 4}, true},
        {"mix_m16", "mix", 44100, 1, 16, "0.5", {1, 2, 3, 4}, false},
        {"same_s16", "same", 44100, 2, 16, "0.25", {1, 2, 3, 4}, true},
        {"sil_s16", "sil", 44100, 2, 16, "1.8", {1, 2, 3, 4}, true},
        {"noise_s16", "noise", 44100, 2, 16, "0.1", {1, 2, 3, 4}, true},
        {"mix_s8", "mix", 22050, 2, 8, "0.5", {1, 2, 3, 4}, true},
        {"mix_m8", "mix", 22050, 1, 8, "0.4", {1, 2, 3, 4}, true},
        {"mix_s24", "mix", 48000, 2, 24, "0.2", {1, 2, 3, 4}, true},
        {"mix_m24", "mix", 48000, 1, 24, "0.2", {1, 2, 3, 4}, true},
        {"lsil_s16", "lsil", 44100, 2, 16, "1.7", {2}, true},
        {"spikes_s16", "spikes", 44100, 2, 16, "0.7", {2}, true},
        {"low_m8", "low", 8000, 1, 8, "37.5", {4}, true},
    };
    TempDir dir;
    for (const auto& ref : table) {
        const auto wav = dir / (std::string(ref.Name) + ".wav");
        auto gen = RunCommand("python3 " + ShellQuote((refs / "gen_wav.py").string()) + " " +
                              ShellQuote(wav.string()) + " " + ref.Kind + " " +
                              std::to_string(ref.Rate) + " " + std::to_string(ref.Channels) + " " +
                              std::to_string(ref.Bits) + " " + ref.Seconds);
        ASSERT_EQ(gen.ExitCode, 0) << gen.Output;
        const auto wavBytes = ReadFileBytes(wav);
        const std::vector<std::uint8_t> pcm(wavBytes.begin() + 44, wavBytes.end());
        for (int level : ref.Levels) {
            const std::string name = std::string(ref.Name) + "_c" + std::to_string(level) + "000";
            SCOPED_TRACE(name);
            const auto ape = dir / (name + ".ape");
            // Through the library as the program uses it: raw PCM, its own WAV header.
            const auto run =
                EncodeApe(ape, pcm, ref.Bits, ref.Channels, level * 1000, true, ref.Rate, 10000);
            ASSERT_EQ(run.Start + run.Unlock + run.Finish, 0);
            if (ref.Canonical) {
                EXPECT_TRUE(ReadFileBytes(ape) == ReadFileBytes(refs / (name + ".ape")));
            }
            EXPECT_TRUE(FFmpegDecodeApe(ape, ref.Bits) == pcm);
        }
    }
}

// The three-block example worked through by hand: every stage's arithmetic, the range coder
// and the word packing show in these bytes.
TEST(ApeEncoder, ThreeBlockFileHasTheHandWorkedBytes) {
    TempDir dir;
    const std::vector<std::uint8_t> pcm = {0, 0, 0, 0, 100, 0, 0xce, 0xff, 200, 0, 0x9c, 0xff};
    ASSERT_EQ(EncodeApe(dir / "three.ape", pcm, 16, 2, 2000).Finish, 0);
    const auto file = ReadFileBytes(dir / "three.ape");
    ASSERT_EQ(file.size(), 52u + 24 + 4 + 44 + 20);
    const std::vector<std::uint8_t> audio(file.begin() + 124, file.end());
    EXPECT_EQ(audio, (std::vector<std::uint8_t>{0x0a, 0x9e, 0xfe, 0x46, 0x01, 0x00, 0x00,
                                                0x00, 0x58, 0xe1, 0x2e, 0x08, 0x00, 0x00,
                                                0x8c, 0xf7, 0x00, 0x00, 0x00, 0x00}));
}

// Random PCM of awkward shapes round-trips exactly, whether the length is announced or not.
TEST(ApeEncoder, RandomSignalsRoundTripThroughFFmpeg) {
    std::mt19937 random(13);
    struct TShape {
        const char* Name;
        int Bits, Channels, Level;
        std::size_t Blocks;
        int Kind; // 0 noise, 1 full-scale swings, 2 all equal, 3 left = right, 4 one silent
    };
    const std::vector<TShape> shapes = {
        {"one block", 16, 2, 2000, 1, 0},
        {"frame minus one", 16, 2, 1000, 73727, 0},
        {"exact frame", 16, 1, 3000, 73728, 0},
        {"frame plus one", 24, 2, 2000, 73729, 0},
        {"full-scale 16", 16, 2, 4000, 20000, 1},
        {"full-scale 24", 24, 2, 3000, 20000, 1},
        {"full-scale 8", 8, 1, 4000, 20000, 1},
        {"all equal", 16, 2, 2000, 80000, 2},
        {"all equal 24 mono", 24, 1, 1000, 5000, 2},
        {"pseudo stereo", 8, 2, 3000, 9000, 3},
        {"one channel silent", 24, 2, 4000, 9000, 4},
        {"loud 24 noise", 24, 1, 4000, 30000, 0},
    };
    TempDir dir;
    for (const auto& s : shapes) {
        SCOPED_TRACE(s.Name);
        const int bytes = s.Bits / 8;
        const std::int32_t top = (1 << (s.Bits - 1)) - 1, bottom = -top - 1;
        std::uniform_int_distribution<std::int32_t> any(bottom, top);
        const std::int32_t constant = any(random);
        std::vector<std::uint8_t> pcm;
        for (std::size_t n = 0; n < s.Blocks; ++n) {
            std::int32_t first = 0;
            for (int c = 0; c < s.Channels; ++c) {
                std::int32_t v = s.Kind == 1             ? ((n / 3 + c) % 2 ? top : bottom)
                                 : s.Kind == 2           ? constant
                                 : s.Kind == 3 && c == 1 ? first
                                 : s.Kind == 4 && c == 0 ? 0
                                                         : any(random);
                if (c == 0) first = v;
                if (s.Bits == 8) v += 128;
                for (int b = 0; b < bytes; ++b)
                    pcm.push_back(std::uint8_t(v >> (8 * b)));
            }
        }
        for (bool known : {true, false}) {
            const auto ape =
                dir / (std::string(known ? "k" : "u") + std::to_string(&s - &shapes[0]) + ".ape");
            const auto run = EncodeApe(ape, pcm, s.Bits, s.Channels, s.Level, known);
            ASSERT_EQ(run.Start + run.Unlock + run.Finish, 0);
            EXPECT_TRUE(FFmpegDecodeApe(ape, s.Bits) == pcm) << (known ? "known" : "unknown");
        }
    }
}

// The vector builds of the filter loop and of the stereo predictor are drop-in replacements
// for the plain code, also where weights and sums wrap around.
TEST(ApeEncoder, VectorBuildsAgreeWithThePlainCode) {
    using bw::mac::TNNFilter;
    using bw::mac::TSimd;
    std::mt19937 random(7);
    for (auto [order, shift] : {std::pair{16, 11}, {32, 10}, {64, 11}, {256, 13}}) {
        for (std::int32_t scale : {300, 40000, 1 << 24, 2000000000}) {
            std::uniform_int_distribution<std::int32_t> any(-scale, scale);
            std::vector<std::int32_t> input(20000);
            for (auto& v : input)
                v = any(random);
            std::vector<std::int32_t> expected = input;
            TNNFilter plain(order, shift, TSimd::Scalar);
            plain.Compress(expected.data(), 9000);
            plain.Compress(expected.data() + 9000, expected.size() - 9000);
            for (TSimd simd : {TSimd::Sse2, TSimd::Avx2}) {
                std::vector<std::int32_t> got = input;
                TNNFilter vector(order, shift, simd);
                vector.Compress(got.data(), got.size());
                EXPECT_EQ(got, expected) << "order " << order << " scale " << scale;
            }
        }
    }
    for (int bits : {16, 24}) {
        // Full-scale noise in one channel against a quiet one: large, wrapping predictions.
        std::vector<std::uint8_t> pcm;
        for (int n = 0; n < 30000; ++n)
            for (int c = 0; c < 2; ++c)
                for (int b = 0; b < bits / 8; ++b)
                    pcm.push_back(c == 0 || b == 0 ? std::uint8_t(random()) : 0);
        std::vector<std::uint8_t> plain, vector;
        bw::mac::TApeFrameEncoder(1000, bits, 2, TSimd::Scalar).Encode(pcm.data(), 30000, plain);
        bw::mac::TApeFrameEncoder(1000, bits, 2, TSimd::Avx2).Encode(pcm.data(), 30000, vector);
        EXPECT_TRUE(plain == vector) << bits << " bits";
    }
}

} // namespace
