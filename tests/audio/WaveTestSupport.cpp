#include "WaveTestSupport.h"

#include "AuComponents.h"
#include "MainThread.h"
#include "TestSupport.h"

#include <cstring>
#include <stdexcept>

namespace bwtest {

std::string RunOutput(bw::TAuOutput& output) {
    bool done = false;
    output.SetOnDone([&](bw::TAuOutput*) { done = true; });
    bw::TAuOutput::SetDoneDelay(std::chrono::milliseconds(1));
    output.Start();
    if (!bw::PumpMainThreadUntil([&] { return done; }, std::chrono::seconds(120)))
        throw std::runtime_error("the run did not end");
    output.SetOnDone(nullptr);
    return output.ExceptionMessage();
}

void RunOrThrow(const std::string& commandLine) {
    CommandResult result = RunCommand(commandLine);
    if (result.ExitCode != 0)
        throw std::runtime_error("command failed: " + commandLine + "\n" + result.Output);
}

void MakeSignal(const std::filesystem::path& path, int sampleRate, int channels, int bits,
                double seconds, bool plainPcm) {
    std::string synth = " synth " + std::to_string(seconds) + " sine 200-6000";
    if (channels > 1) synth += " whitenoise";
    RunOrThrow("sox -n -r " + std::to_string(sampleRate) + " -c " + std::to_string(channels) +
               " -b " + std::to_string(bits) + (plainPcm ? " -t wavpcm " : " ") +
               ShellQuote(path.string()) + synth + " vol 0.45");
}

std::vector<std::int16_t> BytesToS16(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<std::int16_t> DecodeS16(TOracle tool, const std::filesystem::path& path) {
    std::filesystem::path raw = path;
    raw += ".oracle.raw";
    if (tool == TOracle::Sox)
        RunOrThrow("sox " + ShellQuote(path.string()) + " -t s16 " + ShellQuote(raw.string()));
    else
        RunOrThrow("ffmpeg -v error -y -i " + ShellQuote(path.string()) +
                   " -f s16le -c:a pcm_s16le " + ShellQuote(raw.string()));
    auto samples = BytesToS16(ReadFileBytes(raw));
    std::filesystem::remove(raw);
    return samples;
}

std::vector<std::uint8_t> DecodeRawPcm(const std::filesystem::path& path, int bits) {
    const char* format = bits == 8 ? "u8" : bits == 16 ? "s16le" : "s24le";
    const char* codec = bits == 8 ? "pcm_u8" : bits == 16 ? "pcm_s16le" : "pcm_s24le";
    std::filesystem::path raw = path;
    raw += ".oracle.raw";
    RunOrThrow("ffmpeg -v error -y -i " + ShellQuote(path.string()) + " -f " + format + " -c:a " +
               codec + " " + ShellQuote(raw.string()));
    auto bytes = ReadFileBytes(raw);
    std::filesystem::remove(raw);
    return bytes;
}

} // namespace bwtest
