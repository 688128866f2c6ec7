// A disc image in a drive, an output folder in Settings, and a way to run one
// TCDRipThread to its end and collect what it posted.
#pragma once

#include "CdImage.h"
#include "Global.h"
#include "Messages.h"
#include "TestSupport.h"
#include "akrip32.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

struct TRipOutcome {
    std::vector<int> Progress;         // percents 1..100 in posting order
    std::vector<int> Finished;         // ErrorCode of every 1000 message
    std::vector<std::intptr_t> Failed; // lParam of every WM_RIPFAILED
    bool Normalizing = false;          // a 999 came
};

// Sorts the posted messages of one rip into a TRipOutcome.
TRipOutcome SortMessages(std::vector<bw::TPostedMessage> messages);

class RipFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the image, names it as the only image drive and opens it.
    void InsertDisc(const std::vector<int>& trackSectors);
    void InsertAudio(const std::vector<std::vector<std::uint8_t>>& trackAudio);
    // The disc in the drive becomes one whose tracks are numbered from `first`.
    void RenumberFrom(int first);

    // Rips one track with a fresh thread and waits for it. target defaults to a queue.
    TRipOutcome Rip(int track, const std::string& title, bw::TMessageTarget* target = nullptr);

    std::filesystem::path WavPath(const std::string& title) const {
        return Output / (title + ".wav");
    }
    std::vector<std::uint8_t> WavData(const std::string& title) const;
    std::uint32_t HeaderDataSize(const std::string& title) const;
    // Names of everything in a folder.
    static std::vector<std::string> Listing(const std::filesystem::path& folder);

    bwtest::TempDir Dir;
    int ReadOffset = 0; // given to every rip thread
    std::filesystem::path Output;
    std::optional<bwtest::CdImage> Image;
    std::unique_ptr<bwtest::ImageDrives> Drives;
    int Handle = 0;
};
