// A local AccurateRip stand-in for an image's disc: the database entry of the disc, served by
// a FileHttpServer, whose checksums accuraterip-checksum computes from the image's unshifted
// audio (confidence 4 each). Needs sox and accuraterip-checksum (check HaveTool first).
#pragma once

#include "AccurateRipTestData.h"
#include "CdImage.h"
#include "CddbTestServer.h"
#include "TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace bwtest {

inline bw::TAccurateRipDiscId PutAccurateRipEntry(const FileHttpServer& server,
                                                  const CdImage& image,
                                                  const std::filesystem::path& scratch,
                                                  int tracks) {
    std::vector<int> frames;
    for (int t = 1; t <= tracks; ++t)
        frames.push_back(image.TrackStartSector(t) + 150);
    frames.push_back(image.TotalSectors() + 150);
    auto id = bw::AccurateRipDiscId(frames, std::vector<bool>(std::size_t(tracks), true));
    std::vector<std::pair<int, std::uint32_t>> sums;
    for (int t = 1; t <= tracks; ++t) {
        auto raw = scratch / ("t" + std::to_string(t) + ".raw");
        auto wav = scratch / ("t" + std::to_string(t) + ".wav");
        WriteFileBytes(raw, image.TrackBytes(t));
        auto sox = RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 " +
                              ShellQuote(raw.string()) + " " + ShellQuote(wav.string()));
        EXPECT_EQ(sox.ExitCode, 0) << sox.Output;
        auto r = RunCommand("accuraterip-checksum --accuraterip-v1 " + ShellQuote(wav.string()) +
                            " " + std::to_string(t) + " " + std::to_string(tracks));
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        sums.push_back(
            {4, static_cast<std::uint32_t>(std::strtoul(r.Output.c_str(), nullptr, 16))});
    }
    server.Put("accuraterip/" + bw::AccurateRipPath(id), DbarBytes(id, sums));
    return id;
}

} // namespace bwtest
