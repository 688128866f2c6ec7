// Helpers shared by all test executables: scratch folders, running the independent
// oracle tools (ffmpeg, sox, flac, ...) and reading whole files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bwtest {

// A fresh, empty folder under the build tree's test-tmp, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

struct CommandResult {
    int ExitCode = -1;
    std::string Output; // stdout and stderr, interleaved
};

// Runs a shell command line with nothing on its standard input, capturing its output.
CommandResult RunCommand(const std::string& commandLine);

// Quotes a text for a POSIX shell.
std::string ShellQuote(const std::string& text);

// True when a program of that name is on PATH.
bool HaveTool(const std::string& name);

// Appends one sample of value v (-1..1) as little-endian PCM of 8 (unsigned), 16 or 24 bits.
void AppendPcmSample(std::vector<std::uint8_t>& out, double v, int bits);

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::string ReadFileText(const std::filesystem::path& path);
void WriteFileText(const std::filesystem::path& path, const std::string& text);

} // namespace bwtest
