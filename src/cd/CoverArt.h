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

// The proxy a fetch goes through, copied from the settings on the main thread for fetches
// that run while the settings may change.
struct TCoverProxy {
    bool Use = false;
    std::string Host;
    int Port = 80;
};
TCoverProxy CoverProxyFromSettings();

// Thumbnails of 250 pixels for lists of releases; a larger answer is not one.
constexpr std::size_t MaxThumbnailBytes = 1 << 20;

// "{server}/release/{release id}/front-{Size}" (500, the size the files get, or 250 for a
// thumbnail). Only an image (JPEG or PNG, told by its bytes) of at most MaxBytes counts as a
// cover. The release id must be a MusicBrainz id (hexadecimal and dashes).
TCoverArt FetchFrontCover(const std::string& Server, const std::string& ReleaseId,
                          const std::atomic<bool>* Cancel = nullptr, int Size = 500,
                          std::size_t MaxBytes = MaxCoverBytes,
                          const TCoverProxy& Proxy = CoverProxyFromSettings());

// A cover image from a file the user chose: JPEG or PNG (told by its bytes) of at most
// MaxCoverBytes.
TCoverArt ReadCoverFile(const std::string& Path);

// The cover's file name beside the tracks: "cover.png" for PNG, else "cover.jpg".
std::string CoverFileName(const std::string& MimeType);

} // namespace bw
