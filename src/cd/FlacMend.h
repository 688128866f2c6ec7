// Rewrites a FLAC file of CD audio with some of its 16-bit words changed, keeping every
// metadata block (tags, pictures, cue sheet) as it was: a mended rip in the same format.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace bw {

// fixes: byte position in the decoded audio (little-endian words, L R L R...) -> XOR value
// of the word there. Returns an empty text on success, else why not (the output is removed).
std::string WriteMendedFlac(const std::filesystem::path& in, const std::filesystem::path& out,
                            const std::map<std::uint64_t, std::uint16_t>& fixes,
                            const std::atomic<bool>* cancel = nullptr);

} // namespace bw
