// Feeds arbitrary bytes, as a compressed data file beside a cue sheet, to the image drive's
// probe and decoder: whatever the probe accepts reads forward, back and past its end
// without a crash and without writing past the bytes asked for.
#include "DiscImage.h"
#include "ImageAudio.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The data file, removed when the fuzzer ends.
struct TScratchFile {
    std::filesystem::path Path =
        std::filesystem::temp_directory_path() / ("fuzz-image-audio-" + std::to_string(getpid()));
    ~TScratchFile() {
        std::error_code ec;
        std::filesystem::remove(Path, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TScratchFile scratch;
    const std::filesystem::path& file = scratch.Path;
    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    } else {
        return 0;
    }
    const std::string head(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
    bw::TImageFileInfo info;
    try {
        info = bw::ProbeImageAudio(file, head);
    } catch (const bw::EDiscImage&) {
        return 0;
    }
    auto decoder = bw::OpenImageAudio(file);
    if (!decoder) return 0;
    // A guard after the bytes asked for catches a write past them.
    constexpr std::size_t Chunk = 2352 * 4;
    std::vector<std::uint8_t> buffer(Chunk + 16, 0xA5);
    const std::uint64_t end = std::min<std::uint64_t>(info.DataBytes, 64 * Chunk);
    for (std::uint64_t at = 0; at + Chunk <= end; at += Chunk)
        if (!decoder->Read(at, buffer.data(), Chunk)) break;
    if (end >= 2 * Chunk) decoder->Read(end / 2 / 4 * 4, buffer.data(), Chunk);
    decoder->Read(0, buffer.data(), Chunk);
    decoder->Read(info.DataBytes, buffer.data(), Chunk);
    for (std::size_t i = Chunk; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5) std::abort();
    return 0;
}
