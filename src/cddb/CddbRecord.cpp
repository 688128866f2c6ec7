#include "CddbRecord.h"

#include "CddbProtocol.h"

namespace bw {

namespace {

std::string_view Trim(std::string_view s) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The keyword of a "KEYWORD=value" line, and its value; the keyword is empty without "=".
std::string_view Keyword(std::string_view line) {
    auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : Trim(line.substr(0, eq));
}

std::string Value(std::string_view line) {
    auto eq = line.find('=');
    return CddbPlainText(Trim(eq == std::string_view::npos ? line : line.substr(eq + 1)));
}

// The track index of a "TTITLEn" keyword, or -1.
int TitleIndex(std::string_view keyword) {
    if (keyword.size() < 7 || keyword.substr(0, 6) != "TTITLE") return -1;
    int n = 0;
    for (char c : keyword.substr(6)) {
        if (c < '0' || c > '9' || n > 1000) return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

TCddbRecordFields ParseCddbRecord(std::string_view record, int firstTrack, int lastTrack) {
    TCddbRecordFields fields;
    const std::string firstTitleKey = "TITLE" + std::to_string(firstTrack - 1);
    auto lines = SplitCddbLines(record);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (Trim(line).empty()) continue;
        std::string_view keyword = Keyword(line);
        if (line.find("DTITLE") != std::string_view::npos && !keyword.empty()) {
            std::string value = Value(line);
            // A long disc title goes on over repeated DTITLE lines; join them raw (the blank
            // at a join is part of the text) before looking for the "/".
            if (keyword == "DTITLE") {
                std::string joined(line.substr(line.find('=') + 1));
                while (i + 1 < lines.size() && Keyword(lines[i + 1]) == "DTITLE") {
                    ++i;
                    joined += lines[i].substr(lines[i].find('=') + 1);
                }
                value = CddbPlainText(Trim(joined));
            }
            auto slash = value.find('/');
            if (slash == std::string::npos) {
                // Without "/" the artist and the album share the name.
                fields.Artist = value;
                fields.Album = value;
            } else {
                fields.Artist = std::string(Trim(std::string_view(value).substr(0, slash)));
                fields.Album = std::string(Trim(std::string_view(value).substr(slash + 1)));
            }
        }
        if (line.find("DYEAR") != std::string_view::npos && !keyword.empty())
            fields.Year = Value(line);
        if (line.find("DGENRE") != std::string_view::npos && !keyword.empty())
            fields.Genre = Value(line);

        // The first track's title line ends the walk. Its keyword, not its value, must name
        // it, so that a disc title mentioning "TITLE0" is not taken for it.
        if (keyword.size() >= firstTitleKey.size() &&
            keyword.substr(keyword.size() - firstTitleKey.size()) == firstTitleKey) {
            // Raw values: a title continued on the next line keeps the blank at the join.
            std::vector<std::string> titles;
            const std::size_t count = lastTrack >= firstTrack ? lastTrack - firstTrack + 1 : 0;
            int lastIndex = -1;
            for (std::size_t j = i; j < lines.size(); ++j) {
                int index = TitleIndex(Keyword(lines[j]));
                if (j > i && index < 0) break; // the titles have ended
                std::string_view raw = lines[j].substr(lines[j].find('=') + 1);
                if (j > i && index == lastIndex && !titles.empty()) {
                    titles.back() += raw;
                    continue;
                }
                if (titles.size() == count) break;
                titles.emplace_back(raw);
                lastIndex = index;
            }
            for (auto& title : titles)
                title = CddbPlainText(Trim(title));
            fields.TrackTitles = std::move(titles);
            break;
        }
    }
    return fields;
}

} // namespace bw
