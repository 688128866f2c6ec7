#include "CdrdaoToc.h"

#include <cctype>

namespace bw {

namespace {

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// True when a file statement keyword ends just before pos (a whole word).
bool FollowsFileKeyword(const std::string& text, std::size_t pos) {
    std::size_t end = pos;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    std::size_t begin = end;
    while (begin > 0 && IsWordChar(text[begin - 1]))
        --begin;
    std::string word = text.substr(begin, end - begin);
    return end < pos && (word == "FILE" || word == "AUDIOFILE" || word == "DATAFILE");
}

} // namespace

std::string AbsoluteTocFileNames(const std::string& text, const std::string& folder) {
    std::string out;
    out.reserve(text.size() + folder.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            // A comment runs to the end of the line.
            std::size_t end = text.find('\n', i);
            if (end == std::string::npos) end = text.size();
            out.append(text, i, end - i);
            i = end;
        } else if (c == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"' && text[end] != '\n') {
                if (text[end] == '\\' && end + 1 < text.size()) ++end;
                ++end;
            }
            bool closed = end < text.size() && text[end] == '"';
            bool relative = i + 1 < text.size() && text[i + 1] != '/' && text[i + 1] != '"';
            out += '"';
            if (closed && relative && FollowsFileKeyword(text, i)) out += folder;
            std::size_t stop = closed ? end + 1 : end;
            out.append(text, i + 1, stop - i - 1);
            i = stop;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace bw
