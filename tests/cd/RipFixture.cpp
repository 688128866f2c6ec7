#include "RipFixture.h"

#include "ripthread.h"

#include <algorithm>

namespace fs = std::filesystem;

TRipOutcome SortMessages(std::vector<bw::TPostedMessage> messages) {
    TRipOutcome outcome;
    for (auto& message : messages) {
        if (message.Msg == bw::WM_RIPFAILED) {
            EXPECT_EQ(message.WParam, 0);
            outcome.Failed.push_back(message.LParam);
        } else if (message.Msg == bw::WM_RIPPROGRESS) {
            EXPECT_TRUE(message.Info);
            if (!message.Info) continue;
            int percent = message.Info->Percent;
            if (percent == 1000)
                outcome.Finished.push_back(message.Info->ErrorCode);
            else if (percent == 999)
                outcome.Normalizing = true;
            else if (!outcome.Normalizing)
                outcome.Progress.push_back(percent);
        } else {
            ADD_FAILURE() << "unexpected message " << message.Msg;
        }
    }
    return outcome;
}

void RipFixture::SetUp() {
    Output = Dir / "out";
    fs::create_directories(Output);
    bw::Settings = bw::TAppSettings{};
    bw::Settings.OutputFolder = Output.string();
    bw::Settings.NormalizePercent = 95;
}

void RipFixture::TearDown() {
    if (Handle) bw::CloseCDHandle(Handle);
    Handle = 0;
}

void RipFixture::InsertDisc(const std::vector<int>& trackSectors) {
    Image = bwtest::CdImage::Write(Dir.Path(), "disc", trackSectors);
    InsertAudio({});
}

void RipFixture::RenumberFrom(int first) {
    if (Handle) bw::CloseCDHandle(Handle);
    Handle = 0;
    Drives.reset(); // restores the variable before the new drive names it
    Image->NumberFrom(first);
    InsertAudio({});
}

void RipFixture::InsertAudio(const std::vector<std::vector<std::uint8_t>>& trackAudio) {
    if (!trackAudio.empty()) Image = bwtest::CdImage::WriteAudio(Dir.Path(), "disc", trackAudio);
    Drives = std::make_unique<bwtest::ImageDrives>(*Image);
    bw::TCDList list = bw::ReadDriveList();
    ASSERT_GE(list.Count, 1);
    bw::TGetCDHandle request = bw::HandleRequestFor(list.Entries[list.Count - 1]);
    Handle = bw::GetCDHandle(&request);
    ASSERT_NE(Handle, 0);
}

TRipOutcome RipFixture::Rip(int track, const std::string& title, bw::TMessageTarget* target) {
    bw::TMessageQueue queue;
    {
        bw::TCDRipThread thread(track, title);
        thread.CDHandle = Handle;
        thread.ReadOffset = ReadOffset;
        thread.Window = target ? target : &queue;
        thread.Start();
    } // freeing waits for the thread
    return SortMessages(queue.TakeAll());
}

std::vector<std::uint8_t> RipFixture::WavData(const std::string& title) const {
    auto bytes = bwtest::ReadFileBytes(WavPath(title));
    if (bytes.size() < 44) return {};
    // The data chunk (the tags follow it); all that follows the header when it says 0.
    std::size_t size = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | std::size_t{bytes[43]} << 24;
    if (size == 0) size = bytes.size() - 44;
    return {bytes.begin() + 44, bytes.begin() + 44 + std::min(size, bytes.size() - 44)};
}

std::uint32_t RipFixture::HeaderDataSize(const std::string& title) const {
    auto bytes = bwtest::ReadFileBytes(WavPath(title));
    if (bytes.size() < 44) return 0xffffffffu;
    return bytes[40] | (bytes[41] << 8) | (bytes[42] << 16) | (std::uint32_t(bytes[43]) << 24);
}

std::vector<std::string> RipFixture::Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}
