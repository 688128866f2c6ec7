// Small helpers shared by the drive and disc-code tests: the last image drive opened as a user's
// drive would be, sectors read from it, and CD audio made a WAV file by sox.
#pragma once

#include "CdLibrary.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace bwtest {

// A handle on the last drive the library lists (the image drive a test set up); 0 when none.
inline int OpenLastDrive() {
    bw::TCDList list{};
    list.Capacity = 8;
    bw::GetCDList(&list);
    if (list.Count < 1) return 0;
    bw::TGetCDHandle request{};
    request.Size = sizeof request;
    request.Version = 1;
    request.HostAdapter = list.Entries[list.Count - 1].HostAdapter;
    request.Target = list.Entries[list.Count - 1].Target;
    return bw::GetCDHandle(&request);
}

// Sectors [start, start+count) as the drive reads them; empty when the read failed.
inline std::vector<std::uint8_t> ReadSectors(int handle, std::uint32_t start, std::uint32_t count) {
    bw::TReadRequestBuffer buffer(count);
    buffer.Request()->StartSector = start;
    if (bw::ReadCDAudioLBA(handle, buffer.Request()) != 1) return {};
    return std::vector<std::uint8_t>(buffer.ReturnedData(), buffer.ReturnedData() + count * 2352);
}

// Writes the CD audio as the WAV file sox makes of it; false (and a test failure) if sox failed.
inline bool SoxWav(const std::vector<std::uint8_t>& audio, const std::filesystem::path& wav) {
    const std::filesystem::path raw = wav.string() + ".raw";
    WriteFileBytes(raw, audio);
    auto r = RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 " + ShellQuote(raw.string()) +
                        " " + ShellQuote(wav.string()));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    return r.ExitCode == 0;
}

} // namespace bwtest
