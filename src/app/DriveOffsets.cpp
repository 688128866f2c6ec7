#include "DriveOffsets.h"

#include <cstdint>
#include <strings.h>

namespace bw {

namespace {

constexpr const char* Section = "AccurateRip";
constexpr const char* Prefix = "ReadOffset ";

std::string Trimmed(const std::string& text) {
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string DriveOffsetName(const std::string& vendor, const std::string& model) {
    std::string name = Trimmed(vendor);
    std::string product = Trimmed(model);
    if (!name.empty() && !product.empty()) name += ' ';
    name += product;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '=' || c == '[' || c == ']' || c == ';')
            c = '_';
    return name;
}

std::optional<int> StoredDriveOffset(const std::string& driveName) {
    for (const auto& [name, offset] : Settings.DriveReadOffsets)
        if (strcasecmp(name.c_str(), driveName.c_str()) == 0) return offset;
    return std::nullopt;
}

void StoreDriveOffset(const std::string& driveName, int offset) {
    for (auto& [name, stored] : Settings.DriveReadOffsets)
        if (strcasecmp(name.c_str(), driveName.c_str()) == 0) {
            stored = offset;
            return;
        }
    Settings.DriveReadOffsets[driveName] = offset;
}

void ReadDriveOffsets(const TIniFile& ini, TAppSettings& s) {
    s.DriveReadOffsets.clear();
    const std::string prefix = Prefix;
    for (const auto& key : ini.Keys(Section)) {
        if (key.size() <= prefix.size() || strncasecmp(key.c_str(), Prefix, prefix.size()) != 0)
            continue;
        // A value that is no number is not an offset; the drive then has none of its own.
        int offset = ini.ReadInteger(Section, key, INT32_MIN);
        std::string name = key.substr(prefix.size());
        if (offset != INT32_MIN && !s.DriveReadOffsets.count(name))
            s.DriveReadOffsets[name] = offset;
    }
}

void WriteDriveOffsets(TIniFile& ini, const TAppSettings& s) {
    for (const auto& [name, offset] : s.DriveReadOffsets)
        ini.WriteInteger(Section, Prefix + name, offset);
}

} // namespace bw
