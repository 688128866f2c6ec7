#include "TestSupport.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bwtest {

namespace {
fs::path TestTmpRoot() {
    if (const char* env = std::getenv("BW_TEST_TMP"); env && *env) return env;
    return fs::temp_directory_path() / "brindlewave-tests";
}
} // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    fs::path root = TestTmpRoot();
    fs::create_directories(root);
    for (;;) {
        FPath = root / ("t" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                        std::to_string(rd() % 100000));
        if (fs::create_directory(FPath)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only files or folders behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(FPath, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

CommandResult RunCommand(const std::string& commandLine) {
    CommandResult result;
    // Tools such as ffmpeg read commands from their standard input: give them nothing to
    // read, whatever the test program's own input is (CI may start it with none at all).
    std::string full = "(" + commandLine + ") </dev/null 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed: " + commandLine);
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.Output.append(buffer.data(), n);
    int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool HaveTool(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name) + " >/dev/null").ExitCode == 0;
}

void AppendPcmSample(std::vector<std::uint8_t>& out, double v, int bits) {
    if (bits == 8) {
        out.push_back(static_cast<std::uint8_t>(std::lround(v * 127) + 128));
        return;
    }
    long s = std::lround(v * (bits == 16 ? 32767 : 8388607));
    for (int b = 0; b < bits / 8; ++b)
        out.push_back(static_cast<std::uint8_t>(s >> (8 * b)));
}

std::vector<std::uint8_t> ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFileText(const fs::path& path) {
    auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteFileText(const fs::path& path, const std::string& text) {
    WriteFileBytes(path, {text.begin(), text.end()});
}

} // namespace bwtest
