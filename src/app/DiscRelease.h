// What a disc's release says beyond the disc fields and titles: each track's own artist
// credit, the album artist, disc number and set size, the release's label, codes, type and
// identifiers. Filled by a lookup (MusicBrainz in full; CD-Text and CDDB their track
// artists), kept per disc in "cd.dat" under keys of its own, and written into every file's
// tags.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bw {

class TIniFile;

// A track's credit as the release gives it.
struct TTrackCredit {
    std::string Artist;               // as credited: names joined by their join phrases
    std::string ArtistSort;           // the sort names joined the same way
    std::vector<std::string> Artists; // each credited name
    std::vector<std::string> ArtistIds;
    std::string ReleaseTrackId; // MusicBrainz's id of the track on this release
    bool operator==(const TTrackCredit&) const = default;
};

struct TDiscRelease {
    std::string AlbumArtist; // the release's credit
    std::string AlbumArtistSort;
    std::vector<std::string> AlbumArtistIds;
    int DiscNumber = 0; // the medium's position in the set; 0 unknown
    int DiscTotal = 0;  // media in the set; 0 unknown
    std::string DiscSubtitle;
    std::string Date;         // as given: "2011-07-11", "1986-03" or "1973"
    std::string OriginalDate; // the release group's first release
    std::string Label, CatalogNumber, Barcode, Asin, Country;
    std::string ReleaseType, ReleaseStatus, Media, Script, Language;
    std::string ReleaseGroupId;
    std::string HiddenTrackTitle, HiddenTrackId; // a track in the first track's pregap
    std::map<int, TTrackCredit> Tracks;          // by track number
    bool operator==(const TDiscRelease&) const = default;

    // The track's own artist; empty when the release names none for it.
    std::string TrackArtist(int track) const;
};

// Reads and writes the release in a disc's section of a profile; keys that are absent read
// as empty, so files of older versions read as before. A save writes no key for an empty
// value and empties a key left from an earlier save.
TDiscRelease ReadDiscRelease(const TIniFile& ini, const std::string& section);
void WriteDiscRelease(TIniFile& ini, const std::string& section, const TDiscRelease& release);

// Splits a CDDB title written "Artist / Title" into its artist and its own title; false
// (nothing changed) when the title has no " / ".
bool SplitCddbTrackArtist(std::string& title, std::string& artist);

} // namespace bw
