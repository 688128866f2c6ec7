// Read offsets of each drive, kept under [AccurateRip] as "ReadOffset <vendor> <model>=N",
// so that every drive a user has keeps its own.
#pragma once

#include "Global.h"
#include "IniFile.h"

#include <optional>
#include <string>

namespace bw {

// "vendor model" from the inquiry fields, blanks trimmed; characters that a profile key
// cannot hold ('=', '[', ']', ';', control characters) become '_'.
std::string DriveOffsetName(const std::string& vendor, const std::string& model);

// The drive's own offset, when one is stored.
std::optional<int> StoredDriveOffset(const std::string& driveName);
// Stores it in Settings (LoadSaveOptions(false) writes it).
void StoreDriveOffset(const std::string& driveName, int offset);

// Used by LoadSaveOptions.
void ReadDriveOffsets(const TIniFile& ini, TAppSettings& s);
void WriteDriveOffsets(TIniFile& ini, const TAppSettings& s);

} // namespace bw
