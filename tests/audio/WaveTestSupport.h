// Fixtures and oracles shared by the WAV tests: synthetic audio made with sox, decoding
// with sox or FFmpeg into raw samples.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bw {
class TAuOutput;
}

namespace bwtest {

// Starts the output and pumps the main-thread queue until its OnDone has run. Returns the
// run's ExceptionMessage (empty on success); throws when the run does not end in time.
std::string RunOutput(bw::TAuOutput& output);

// Runs a command line and throws with its output when it fails.
void RunOrThrow(const std::string& commandLine);

// A sox-made test signal: a sweep in the first channel, noise in the second, at 0.45 of full
// scale. plainPcm forces a plain PCM format chunk (sox writes WAVE_FORMAT_EXTENSIBLE for
// 24 bits otherwise).
void MakeSignal(const std::filesystem::path& path, int sampleRate, int channels, int bits,
                double seconds, bool plainPcm = true);

enum class TOracle { Sox, FFmpeg };

// Decodes any audio file the tool reads into interleaved 16-bit samples.
std::vector<std::int16_t> DecodeS16(TOracle tool, const std::filesystem::path& path);

// The sample data of a file as FFmpeg decodes it, in the file's own PCM layout.
std::vector<std::uint8_t> DecodeRawPcm(const std::filesystem::path& path, int bits);

std::vector<std::int16_t> BytesToS16(const std::vector<std::uint8_t>& bytes);

} // namespace bwtest
