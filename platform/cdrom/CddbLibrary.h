// The drive library's CDDB functions: options kept process-wide, a query computed from the
// drive's table of contents, and the fetch of one database record, over HTTP.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace bw {

// Option numbers of CDDBSetOption.
enum TCDDBOption : int {
    CDDB_OPT_SERVER = 0,         // text: server host
    CDDB_OPT_PROXY = 1,          // text: proxy host
    CDDB_OPT_USEPROXY = 2,       // value: 1 to go through the proxy
    CDDB_OPT_AGENT = 3,          // text: client name and version, "name version"
    CDDB_OPT_USER = 4,           // text: user identity in e-mail form
    CDDB_OPT_PROXYPORT = 5,      // value: proxy port
    CDDB_OPT_CGI = 6,            // text: path of the server's query script
    CDDB_OPT_HTTPPORT = 7,       // value: server port (80 when 0)
    CDDB_OPT_USECDPLAYERINI = 8, // accepted and ignored: there is no local database file
};

// Error codes of the CDDB functions, as GetAspiLibError reports them.
enum TCDDBError : int {
    CDERR_CDDB_NETWORK = 20,  // the server could not be reached or the transfer failed
    CDERR_CDDB_PROTOCOL = 21, // the server's reply broke the protocol
    CDERR_CDDB_SERVER = 22,   // the server answered with an error code
    CDERR_CDDB_NOMATCH = 23,
    CDERR_CDDB_STOPPED = 24,
};

constexpr int CDDBMaxMatches = 10;

#pragma pack(push, 1)
// One match of a query, 192 bytes; its content is the library's own business.
struct TCDDBMatch {
    char Category[32];
    char DiscId[16];
    char Title[144];
};
// The match list: Count is the capacity going in, the number of matches coming out.
struct TCDDBQueryList {
    std::uint32_t Count;
    TCDDBMatch* Matches;
};
#pragma pack(pop)
static_assert(sizeof(TCDDBMatch) == 192);

void CDDBSetOption(int option, const char* text, int value);

// Queries the server for the disc in the drive. 1 when the query was answered (Count set,
// 0 for no match); 0 on failure (GetAspiLibError tells why).
int CDDBQuery(int handle, TCDDBQueryList* list);

// Fetches the record of a match into text (at most size - 1 bytes, always terminated).
// 1 on success.
int CDDBGetDiskInfo(const TCDDBMatch* match, char* text, int size);

// Why the calling thread's latest CDDBQuery or CDDBGetDiskInfo failed, in words that name
// the server and quote its status line; empty after a success.
std::string CDDBLastErrorText();

// Names a flag that, once set from another thread, makes the CDDB calls of the calling
// thread give up within a moment. Pass nullptr to forget it.
void CDDBSetCancelFlag(const std::atomic<bool>* flag);

} // namespace bw
