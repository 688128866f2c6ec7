// The front cover of a MusicBrainz release from the Cover Art Archive (or a server that
// answers the same way), fetched through the program's HTTP client: its time limits, size
// cap and proxy, redirects followed to https only.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace bw {

constexpr const char* DefaultCoverArtServer = "https://coverartarchive.org";
// Front covers of 500 pixels are well under this; anything larger is not what we asked for.
constexpr std::size_t MaxCoverBytes = 8 << 20;

struct TCoverArt {
    std::vector<unsigned char> Bytes; // empty when there is none
    std::string MimeType;             // "image/jpeg" or "image/png"
    std::string Error;                // one line saying why there is none
};

// "{server}/release/{release id}/front-500". Only an image (JPEG or PNG, told by its bytes)
// counts as a cover. The release id must be a MusicBrainz id (hexadecimal and dashes).
TCoverArt FetchFrontCover(const std::string& Server, const std::string& ReleaseId,
                          const std::atomic<bool>* Cancel = nullptr);

// The cover's file name beside the tracks: "cover.png" for PNG, else "cover.jpg".
std::string CoverFileName(const std::string& MimeType);

} // namespace bw
