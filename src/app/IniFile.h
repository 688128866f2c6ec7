// Profile (INI) files: sections in square brackets, one "key=value" a line. Section and key
// names are compared without regard to case and the first match wins; values are cut at
// 2047 characters. Lines are kept as read, so a write changes only the line it targets and
// everything else of the file survives a save.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

// Raised when a profile file cannot be written: "Unable to write to <file>".
class EIniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr std::size_t MaxIniValueLength = 2047;

class TIniFile {
public:
    TIniFile();

    // Parses the bytes of a profile file ("\n" or "\r\n" line ends).
    static TIniFile Parse(std::string_view text);
    // Reads a file; a missing or unreadable file reads as empty.
    static TIniFile Load(const std::filesystem::path& path);

    bool HasKey(std::string_view section, std::string_view key) const;
    // The keys of the section's first occurrence, in file order.
    std::vector<std::string> Keys(std::string_view section) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& defaultValue) const;
    // A missing value, or one that is not a whole 32-bit integer, gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // Any integer other than 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // The file's text as a save writes it.
    std::string Text() const;
    // Replaces the file atomically (temporary file, then rename). Raises EIniWriteError,
    // leaving the old file whole, when the file is read-only or cannot be written.
    void Save(const std::filesystem::path& path) const;

private:
    struct TLine {
        std::string Raw;   // the line as read or written, without its line end
        std::string Key;   // empty for section headers, comments and junk
        std::string Value; // for key lines
        bool IsKey = false;
    };
    struct TSection {
        std::string Name; // empty for lines before the first section
        bool HasHeader = false;
        std::vector<TLine> Lines;
    };

    const TLine* Find(std::string_view section, std::string_view key) const;

    std::vector<TSection> FSections;
};

} // namespace bw
