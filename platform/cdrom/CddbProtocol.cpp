#include "CddbProtocol.h"

#include "CddbDiscId.h"

#include <cctype>
#include <cstdio>

namespace bw {

namespace {

std::string_view TrimLine(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// The three-digit status code that opens every reply; 0 when there is none.
int StatusCode(std::string_view line) {
    if (line.size() < 3) return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '\t') return 0;
    return code;
}

// "category discid title..." as in a 200 line (after the code) or a list entry.
bool ParseMatch(std::string_view text, TCddbMatch& match) {
    text = TrimLine(text);
    auto firstSpace = text.find(' ');
    if (firstSpace == std::string_view::npos || firstSpace == 0) return false;
    std::string_view rest = TrimLine(text.substr(firstSpace + 1));
    auto secondSpace = rest.find(' ');
    std::string_view id = rest.substr(0, secondSpace);
    if (id.empty() || id.size() > 8) return false;
    for (char c : id) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    match.Category = std::string(text.substr(0, firstSpace));
    match.DiscId = std::string(id);
    match.Title = secondSpace == std::string_view::npos
                      ? std::string()
                      : CddbPlainText(TrimLine(rest.substr(secondSpace + 1)));
    // Categories are single words of letters; anything else is not a reply we understand.
    for (char c : match.Category) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    }
    return true;
}

} // namespace

std::string CddbPlainText(std::string_view text) {
    std::string plain(text);
    for (char& c : plain)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return plain;
}

std::vector<std::string_view> SplitCddbLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

std::uint32_t CddbDiscId(const TCddbToc& toc) {
    if (toc.TrackOffsets.empty()) return 0;
    std::vector<int> startFrames = toc.TrackOffsets;
    startFrames.push_back(toc.LeadOut);
    return CddbDiscId(startFrames);
}

std::string CddbQueryCommand(const TCddbToc& toc) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", CddbDiscId(toc));
    std::string command =
        "cddb query " + std::string(id) + " " + std::to_string(toc.TrackOffsets.size());
    for (int offset : toc.TrackOffsets)
        command += " " + std::to_string(offset);
    command += " " + std::to_string(toc.LeadOut / 75);
    return command;
}

std::string CddbReadCommand(const std::string& category, const std::string& discId) {
    return "cddb read " + category + " " + discId;
}

std::string UrlEncode(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/' ||
            c == '@') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

TCddbHello MakeHello(const std::string& identity, const std::string& clientText) {
    TCddbHello hello;
    auto at = identity.find('@');
    hello.User = identity.substr(0, at);
    hello.Host = at == std::string::npos ? "localhost" : identity.substr(at + 1);
    auto space = clientText.find(' ');
    hello.Client = clientText.substr(0, space);
    hello.Version = space == std::string::npos ? "1.0" : clientText.substr(space + 1);
    // Every part must be one word, or the server misreads the greeting.
    for (std::string* part : {&hello.User, &hello.Host, &hello.Client, &hello.Version}) {
        for (char& c : *part) {
            if (c == ' ') c = '_';
        }
        if (part->empty()) *part = "unknown";
    }
    return hello;
}

std::string CddbRequestTarget(const std::string& script, const std::string& command,
                              const TCddbHello& hello) {
    std::string path = script.empty() || script.front() != '/' ? "/" + script : script;
    return path + "?cmd=" + UrlEncode(command) + "&hello=" +
           UrlEncode(hello.User + " " + hello.Host + " " + hello.Client + " " + hello.Version) +
           "&proto=6";
}

TCddbQueryReply ParseCddbQueryReply(std::string_view reply, std::size_t maxMatches) {
    TCddbQueryReply result;
    auto lines = SplitCddbLines(reply);
    if (lines.empty()) return result;
    result.Code = StatusCode(lines[0]);
    switch (result.Code) {
    case 200: {
        TCddbMatch match;
        if (!ParseMatch(lines[0].substr(3), match)) return result;
        result.Matches.push_back(std::move(match));
        break;
    }
    case 210:
    case 211: {
        bool terminated = false;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (TrimLine(lines[i]) == ".") {
                terminated = true;
                break;
            }
            TCddbMatch match;
            if (!ParseMatch(lines[i], match))
                return TCddbQueryReply{TCddbQueryStatus::Error, result.Code, {}};
            if (result.Matches.size() < maxMatches) result.Matches.push_back(std::move(match));
        }
        if (!terminated || result.Matches.empty()) {
            result.Matches.clear();
            return result;
        }
        break;
    }
    case 202:
        result.Status = TCddbQueryStatus::NoMatch;
        return result;
    default:
        return result;
    }
    result.Status = TCddbQueryStatus::Matches;
    return result;
}

bool ParseCddbReadReply(std::string_view reply, std::string& record) {
    auto lines = SplitCddbLines(reply);
    if (lines.empty() || StatusCode(lines[0]) != 210) return false;
    std::string text;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (TrimLine(lines[i]) == ".") {
            record = std::move(text);
            return true;
        }
        text.append(lines[i]);
        text += '\n';
    }
    return false; // no terminating "."
}

} // namespace bw
