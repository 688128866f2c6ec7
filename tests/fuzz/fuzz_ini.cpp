// Profile files come from disk and may hold anything.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bw::TIniFile ini = bw::TIniFile::Parse(text);
    static const char* const sections[] = {"CommonOptions", "QueryCDDB", "A", ""};
    static const char* const keys[] = {"OutputFolder", "Port", "1", "k", ""};
    for (const char* section : sections) {
        for (const char* key : keys) {
            if (ini.ReadString(section, key, "").size() > bw::MaxIniValueLength) std::abort();
            ini.ReadInteger(section, key, 7);
            ini.ReadBool(section, key, true);
        }
    }
    ini.WriteString("CommonOptions", "OutputFolder", text.substr(0, size / 2));
    ini.WriteInteger("New", "k", 1);
    bw::TIniFile again = bw::TIniFile::Parse(ini.Text());
    if (again.ReadInteger("New", "k", 0) != 1) std::abort();
    return 0;
}
