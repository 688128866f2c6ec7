// Encoding PCM through the library's C interface and decoding the result with FFmpeg, the
// independent judge of our files.
#pragma once

#include "MACDll.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bwtest {

struct TApeRun {
    int Start = 0, Unlock = 0, Finish = 0; // the library's result codes
};

// Compresses pcm into file; lend caps each region we fill (0: take what the library lends).
inline TApeRun EncodeApe(const std::filesystem::path& file, const std::vector<std::uint8_t>& pcm,
                         int bits, int channels, int level, bool knownLength = true,
                         int rate = 44100, std::size_t lend = 0) {
    TApeRun run;
    TWaveFormatEx format;
    FillWaveFormatEx(&format, rate, bits, channels);
    int error = -1;
    APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
    EXPECT_EQ(error, 0);
    run.Start = c_APECompress_Start(h, file.c_str(), &format, knownLength ? int(pcm.size()) : -1,
                                    level, nullptr, -1);
    for (std::size_t done = 0; run.Start == 0 && run.Unlock == 0 && done < pcm.size();) {
        int room = 0;
        unsigned char* region = c_APECompress_LockBuffer(h, &room);
        if (!region || room <= 0) {
            ADD_FAILURE() << "the library lent nothing";
            break;
        }
        std::size_t n = std::min<std::size_t>(room, pcm.size() - done);
        if (lend) n = std::min(n, lend);
        std::copy_n(pcm.data() + done, n, region);
        run.Unlock = c_APECompress_UnlockBuffer(h, int(n), 1);
        done += n;
    }
    if (run.Start == 0) run.Finish = c_APECompress_Finish(h, nullptr, 0, 0);
    c_APECompress_Destroy(h);
    return run;
}

inline const char* RawFormat(int bits) {
    return bits == 8 ? "u8" : bits == 16 ? "s16le" : "s24le";
}

// FFmpeg's decode with every frame CRC checked; any complaint fails the test.
inline std::vector<std::uint8_t> FFmpegDecodeApe(const std::filesystem::path& file, int bits) {
    auto raw = file;
    raw += ".raw";
    auto r = RunCommand("ffmpeg -nostdin -v error -err_detect crccheck+explode -y -i " +
                        ShellQuote(file.string()) + " -f " + RawFormat(bits) + " " +
                        ShellQuote(raw.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "") << file;
    return ReadFileBytes(raw);
}

} // namespace bwtest
