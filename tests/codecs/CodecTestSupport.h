// Running an encoder to the end from a test, with the codec libraries loaded as at program
// start, and PCM fixtures.
#pragma once

#include "AuComponents.h"
#include "CodecLibraries.h"
#include "MainThread.h"
#include "PcmSource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace bwtest {

// Loads the libraries once for the whole test program, as the program's start does.
class TCodecEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        bw::TAuOutput::SetDoneDelay(std::chrono::milliseconds(1));
        FLibraries = std::make_unique<bw::TCodecLibraries>();
    }
    void TearDown() override { FLibraries.reset(); }

private:
    std::unique_ptr<bw::TCodecLibraries> FLibraries;
};

// Starts the output on the input and waits for its OnDone; returns ExceptionMessage.
inline std::string RunOutput(bw::TAuOutput& out, bw::TAuInput& input) {
    bool done = false;
    out.SetInput(&input);
    out.SetOnDone([&](bw::TAuOutput*) { done = true; });
    out.Start();
    EXPECT_TRUE(bw::PumpMainThreadUntil([&] { return done; }, std::chrono::seconds(120)));
    out.SetOnDone(nullptr);
    return out.ExceptionMessage();
}

// A tone with noise on top, so that the encoder has real work and nothing is trivially
// predictable; every channel differs.
inline std::vector<std::uint8_t> Music(int bits, int channels, int rate, std::size_t frames,
                                       unsigned seed = 1) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<std::uint8_t> out;
    out.reserve(frames * channels * bits / 8);
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            double v =
                0.6 * std::sin(2 * M_PI * (440.0 + 110 * c) * double(i) / rate) + noise(random);
            v = std::clamp(v, -1.0, 0.999);
            bwtest::AppendPcmSample(out, v, bits);
        }
    }
    return out;
}

inline std::string Quoted(const std::filesystem::path& p) {
    return ShellQuote(p.string());
}

// ffprobe's "key=value" lines for the entries of the first audio stream (or, with
// "format_tags=...", of the file).
inline std::string ProbeAudio(const std::filesystem::path& file, const std::string& entries) {
    auto r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries " + entries +
                        " -of default=noprint_wrappers=1 " + Quoted(file));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.Output;
}

// What FFmpeg decodes from the file, as 16-bit little-endian PCM of its own channels.
inline std::vector<std::uint8_t> FFmpegDecode(const std::filesystem::path& file,
                                              const std::string& options = "") {
    auto raw = file.string() + ".raw";
    auto r = RunCommand("ffmpeg -v error -y -i " + Quoted(file) + " " + options + " -f s16le " +
                        ShellQuote(raw));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return ReadFileBytes(raw);
}

// Fails the pull after `failAfter` bytes, to drive a run into its failure path.
class TFailingSource : public TPcmSource {
public:
    TFailingSource(std::vector<std::uint8_t> data, std::size_t failAfter)
        : TPcmSource(16, 2, 44100, std::move(data)), FFailAfter(failAfter) {}

protected:
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override {
        if (std::size_t(Position()) >= FFailAfter) throw bw::EAuException("read error");
        TPcmSource::ProduceData(Buffer, Bytes);
    }

private:
    std::size_t FFailAfter;
};

} // namespace bwtest
