// The independent tools that check what the program wrote, run from a test: FFmpeg's decoding,
// ffprobe's listing, mutagen's tags, a command that must succeed.
#pragma once

#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bwtest {

// Runs the command and fails the test (not aborting it) unless it exits with 0; callers that
// cannot go on without it wrap it in ASSERT_TRUE.
bool MustRun(const std::string& command);

// The text with every key of values replaced by its value (the "%in"/"%out" of command tables).
std::string Expand(std::string text, const std::map<std::string, std::string>& values);

// The samples FFmpeg decodes from the file, in its own channels, as raw PCM of sampleFormat
// ("s16le", "s32le" for 24-bit sources); written to raw (by default beside the file).
std::vector<std::uint8_t> FFmpegPcm(const std::filesystem::path& file,
                                    const std::string& sampleFormat = "s16le",
                                    std::filesystem::path raw = {});

// What ffprobe prints for -show_entries entries, in the output format given.
std::string FFprobe(const std::filesystem::path& file, const std::string& entries,
                    const std::string& format = "default=noprint_wrappers=1");

// mutagen's view of the file's tags: field -> value, in tag_dump.py's one naming for every
// format (the cover as its SHA-256 and MIME type).
std::map<std::string, std::string> MutagenTags(const std::filesystem::path& file);

// The file's SHA-256 as sha256sum prints it.
std::string Sha256(const std::filesystem::path& file);

} // namespace bwtest
