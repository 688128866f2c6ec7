// Where the drives of the drive list come from: libcdio's physical devices, then the CD
// images named in BRINDLEWAVE_CD_IMAGES.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bw {

struct TDriveSource {
    std::uint8_t HostAdapter = 0; // 0 physical drives, 1 images
    std::uint8_t Target = 0;      // position among drives of its kind
    std::uint8_t Lun = 0;
    std::string Path; // device node or image file
    bool IsImage = false;
};

// Splits the image list of the environment (':'-separated, empty parts skipped).
std::vector<std::string> SplitImageList(const std::string& text);

// Every drive, physical first, in list order.
std::vector<TDriveSource> ListDriveSources();

} // namespace bw
