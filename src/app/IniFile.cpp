#include "IniFile.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "FileShare.h"

namespace bw {

namespace {

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r";
    auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 0x80 && y < 0x80) {
            if (std::tolower(x) != std::tolower(y)) return false;
        } else if (x != y) {
            return false;
        }
    }
    return true;
}

bool ParseWholeInt(std::string_view text, int& value) {
    text = Trim(text);
    if (text.empty()) return false;
    std::string s(text);
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

// The first "section" holds the lines before any section header.
TIniFile::TIniFile() : FSections(1) {}

TIniFile TIniFile::Parse(std::string_view text) {
    TIniFile ini;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        TLine line;
        line.Raw = std::string(raw);
        std::string_view trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            auto close = trimmed.find(']');
            TSection section;
            section.Name = std::string(Trim(trimmed.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            section.HasHeader = true;
            section.Lines.push_back(std::move(line));
            ini.FSections.push_back(std::move(section));
            continue;
        }
        if (auto eq = trimmed.find('='); eq != std::string_view::npos && trimmed.front() != ';') {
            line.IsKey = true;
            line.Key = std::string(Trim(trimmed.substr(0, eq)));
            line.Value = std::string(Trim(trimmed.substr(eq + 1)));
            if (line.Value.size() > MaxIniValueLength) line.Value.resize(MaxIniValueLength);
        }
        ini.FSections.back().Lines.push_back(std::move(line));
    }
    return ini;
}

TIniFile TIniFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

const TIniFile::TLine* TIniFile::Find(std::string_view section, std::string_view key) const {
    for (const auto& s : FSections) {
        // Keys before the first section belong to no section and are never found.
        if (!s.HasHeader || !SameName(s.Name, section)) continue;
        for (const auto& line : s.Lines) {
            if (line.IsKey && SameName(line.Key, key)) return &line;
        }
        return nullptr; // first section of that name wins
    }
    return nullptr;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    for (const auto& s : FSections) {
        if (!s.HasHeader || !SameName(s.Name, section)) continue;
        for (const auto& line : s.Lines)
            if (line.IsKey) keys.push_back(line.Key);
        break;
    }
    return keys;
}

bool TIniFile::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
    const TLine* line = Find(section, key);
    return line ? line->Value : defaultValue;
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const TLine* line = Find(section, key);
    int value;
    if (line && ParseWholeInt(line->Value, value)) return value;
    return defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    // A value cannot span lines in this format.
    std::string clean(value.substr(0, value.find_first_of("\r\n")));
    if (clean.size() > MaxIniValueLength) clean.resize(MaxIniValueLength);
    TLine line;
    line.IsKey = true;
    line.Key = std::string(key);
    line.Value = clean;
    line.Raw = line.Key + "=" + clean;

    TSection* target = nullptr;
    for (auto& s : FSections) {
        if (s.HasHeader && SameName(s.Name, section)) {
            target = &s;
            break;
        }
    }
    if (!target) {
        // Sections are set apart by a blank line, for people reading the file.
        if (!FSections.back().Lines.empty() && !Trim(FSections.back().Lines.back().Raw).empty())
            FSections.back().Lines.push_back(TLine{});
        TSection s;
        s.Name = std::string(section);
        s.HasHeader = true;
        s.Lines.push_back(TLine{"[" + s.Name + "]", {}, {}, false});
        FSections.push_back(std::move(s));
        target = &FSections.back();
    }
    for (auto& existing : target->Lines) {
        if (existing.IsKey && SameName(existing.Key, key)) {
            line.Key = existing.Key;
            line.Raw = line.Key + "=" + clean;
            existing = std::move(line);
            return;
        }
    }
    // New keys go after the last key line of the section, before trailing blank lines.
    auto at = target->Lines.end();
    while (at != target->Lines.begin() + 1 && Trim(std::prev(at)->Raw).empty())
        --at;
    target->Lines.insert(at, std::move(line));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::Text() const {
    std::string text;
    for (const auto& s : FSections) {
        for (const auto& line : s.Lines) {
            text += line.Raw;
            text += '\n';
        }
    }
    return text;
}

void TIniFile::Save(const std::filesystem::path& path) const {
    const std::string error = "Unable to write to " + path.string();
    if (IsReadOnly(path)) throw EIniWriteError(error);

    std::filesystem::path temp = path;
    temp += ".tmp-" + std::to_string(::getpid());
    TFileHandle file = OpenShared(temp, O_WRONLY | O_CREAT | O_TRUNC, TShareMode::DenyAll);
    if (!file.IsOpen()) throw EIniWriteError(error);
    const std::string text = Text();
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = ::write(file.Fd(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(file.Fd()) == 0;
    file.Close();
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw EIniWriteError(error);
    }
}

} // namespace bw
