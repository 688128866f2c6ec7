// The CDDB protocol (level 6) as pure functions of text: the disc id and query command
// built from a table of contents, and the server's replies parsed into matches and records.
// The transport lives beside it (CddbHttp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

// Track start addresses and the lead-out, in frames counted from the start of the disc
// (the 2-second pre-gap included, so the first track of most discs starts at 150).
struct TCddbToc {
    std::vector<int> TrackOffsets;
    int LeadOut = 0;
};

// The standard CDDB disc id of a table of contents.
std::uint32_t CddbDiscId(const TCddbToc& toc);

// "cddb query <discid> <ntrks> <off1> ... <offn> <nsecs>"
std::string CddbQueryCommand(const TCddbToc& toc);
// "cddb read <category> <discid>"
std::string CddbReadCommand(const std::string& category, const std::string& discId);

// Percent-encodes a text for a URL query ("+" for spaces, as CDDB servers expect).
std::string UrlEncode(std::string_view text);

// The "hello" greeting parts: the user identity in e-mail form gives user and host, the
// client text "name version" gives name and version.
struct TCddbHello {
    std::string User, Host, Client, Version;
};
TCddbHello MakeHello(const std::string& identity, const std::string& clientText);

// The request path and query of one command: script + "?cmd=...&hello=...&proto=6".
std::string CddbRequestTarget(const std::string& script, const std::string& command,
                              const TCddbHello& hello);

struct TCddbMatch {
    std::string Category;
    std::string DiscId;
    std::string Title; // "Artist / Album" as the server lists it
};

enum class TCddbQueryStatus {
    Matches, // 200, 210, 211: Matches holds at least one entry
    NoMatch, // 202
    Error,   // any other code, or a reply that breaks the protocol
};

struct TCddbQueryReply {
    TCddbQueryStatus Status = TCddbQueryStatus::Error;
    int Code = 0;
    std::vector<TCddbMatch> Matches;
};

// Text from a server as plain text: control characters (an escape sequence, a bell, a tab)
// become blanks before they reach a window, a terminal, a file or a file name.
std::string CddbPlainText(std::string_view text);

// The lines of a reply or record; "\r\n", "\n" and a lone "\r" all end a line.
std::vector<std::string_view> SplitCddbLines(std::string_view text);

// Parses the reply to "cddb query". At most maxMatches are kept.
TCddbQueryReply ParseCddbQueryReply(std::string_view reply, std::size_t maxMatches);

// Parses the reply to "cddb read": on a 210 reply, the record's lines joined by "\n"
// (without the terminating "."); false for anything else.
bool ParseCddbReadReply(std::string_view reply, std::string& record);

} // namespace bw
