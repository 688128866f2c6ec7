// The checksums a rip is judged by, over the audio of one track: the CRC32 of its sample
// bytes and the AccurateRip checksums v1 and v2. Read from WAV files (any writer's: ours,
// sox, FFmpeg) and FLAC files of CD audio.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace bw {

struct TTrackChecksums {
    bool Ok = false;
    std::string Error; // why not, when not Ok
    std::uint64_t Samples = 0;
    bool HasCrc32 = false;
    std::uint32_t Crc32 = 0;
    std::uint32_t V1 = 0;
    std::uint32_t V2 = 0;
};

// firstTrack and lastTrack: the track is the disc's first or last audio track, whose
// outer five sectors the AccurateRip checksums leave out. The file must hold 16-bit stereo
// audio at 44100 Hz. The CRC32 costs as much again, so it is made only when asked for.
// The sink, when given, sees the same sample bytes in order (the CUETools database's sums
// are made in the same pass).
using TSampleSink = std::function<void(const std::uint8_t* bytes, std::size_t size)>;
TTrackChecksums ChecksumAudioFile(const std::filesystem::path& path, bool firstTrack,
                                  bool lastTrack, bool withCrc32 = true,
                                  const TSampleSink& sink = {});

} // namespace bw
