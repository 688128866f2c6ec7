#include "ToolOracles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;

namespace bwtest {

bool MustRun(const std::string& command) {
    auto r = RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
    return r.ExitCode == 0;
}

std::string Expand(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values)
        for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size())
            text.replace(at, key.size(), value);
    return text;
}

std::vector<std::uint8_t> FFmpegPcm(const fs::path& file, const std::string& sampleFormat,
                                    fs::path raw) {
    if (raw.empty()) raw = file.string() + ".raw";
    MustRun("ffmpeg -v error -y -i " + ShellQuote(file.string()) + " -f " + sampleFormat + " " +
            ShellQuote(raw.string()));
    return ReadFileBytes(raw);
}

std::string FFprobe(const fs::path& file, const std::string& entries, const std::string& format) {
    return RunCommand("ffprobe -v error -show_entries " + entries + " -of " + format + " " +
                      ShellQuote(file.string()))
        .Output;
}

std::map<std::string, std::string> MutagenTags(const fs::path& file) {
    auto r =
        RunCommand("/usr/bin/python3 " + ShellQuote(BW_SOURCE_DIR "/tests/support/tag_dump.py") +
                   " " + ShellQuote(file.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
    return fields;
}

std::string Sha256(const fs::path& file) {
    return RunCommand("sha256sum " + ShellQuote(file.string())).Output.substr(0, 64);
}

} // namespace bwtest
