// FFmpeg's ebur128 filter as the oracle for loudness: an implementation we did not write.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <utility>

namespace bwtest {

// The integrated loudness of FFmpeg's input (its "-i ..." arguments), in LUFS, and its sample
// peak (linear).
inline std::pair<double, double> FfmpegLoudnessAndPeak(const std::string& input) {
    auto result = RunCommand("ffmpeg -nostats -hide_banner " + input +
                             " -af ebur128=peak=sample -f null - 2>&1");
    EXPECT_EQ(result.ExitCode, 0) << input << "\n" << result.Output;
    std::smatch loudness, peak;
    static const std::regex integrated(R"(Integrated loudness:\s+I:\s+(-?[0-9.]+) LUFS)");
    static const std::regex samplePeak(R"(Sample peak:\s+Peak:\s+(-?[0-9.]+) dBFS)");
    EXPECT_TRUE(std::regex_search(result.Output, loudness, integrated)) << result.Output;
    EXPECT_TRUE(std::regex_search(result.Output, peak, samplePeak)) << result.Output;
    return {loudness.empty() ? 0 : std::stod(loudness[1]),
            peak.empty() ? 0 : std::pow(10.0, std::stod(peak[1]) / 20)};
}

} // namespace bwtest
