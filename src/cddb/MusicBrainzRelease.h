// Reads the releases out of a MusicBrainz web service reply (JSON, version 2) and maps each
// to what the main window shows: artist, album, year, genre and the titles of the medium
// that holds the disc.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "DiscRelease.h"
#include "StopQueryThread.h"

namespace bw {

// A reply that is not the web service's JSON.
class EMusicBrainzReply : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TMusicBrainzRelease {
    std::string Id;
    std::string Title;
    std::string Artist; // the artist credit with its join phrases
    std::string Date;
    std::string Country;
    std::optional<std::string> Year;  // the date's first four digits
    std::optional<std::string> Genre; // as the genre list spells it
    int MediumPosition = 0;           // of the medium the titles come from; 0 without media
    int MediumCount = 0;
    std::string MediumFormat;
    int MediumTrackCount = 0; // of the medium that is the disc
    // A medium is the disc: it holds the disc id, or its tracks lie within the TOC search's
    // tolerance of the disc's. Without one the release gives no titles.
    bool MediumMatches = false;
    // For the disc's tracks only, from its first ("" where the medium has none); empty when
    // the medium lists no tracks.
    std::vector<std::string> TrackTitles;
    std::vector<std::string> RecordingIds; // of the same tracks ("" where the reply has none)
    // Everything else the release says about the disc; its tracks by their position on the
    // medium (1 is the disc's first track).
    TDiscRelease Disc;
};

// What a reply is matched against: the disc id and the lengths of the disc's tracks in
// sectors (none known: media are matched by track count alone).
struct TMusicBrainzDiscLayout {
    std::string Id;
    int TrackCount = 0;
    std::vector<long long> TrackLengths;
};

// The layout of a disc from its id and its TOC text ("first last lead-out offsets...").
TMusicBrainzDiscLayout MusicBrainzLayoutOf(const std::string& discId, const std::string& toc);

// The releases of a lookup reply (by disc id or by TOC), in the reply's order. The disc's
// layout chooses each release's medium (the form with the id and the number of audio tracks
// knows no lengths). Texts come out as
// plain text: control characters become blanks. Raises EMusicBrainzReply for anything that
// is not a reply of that shape.
std::vector<TMusicBrainzRelease> ParseMusicBrainzReleases(std::string_view json,
                                                          const TMusicBrainzDiscLayout& disc);
std::vector<TMusicBrainzRelease>
ParseMusicBrainzReleases(std::string_view json, const std::string& discId, int trackCount);

// The index of the release to show: the first whose medium matches, else the first; -1
// when there is none.
int ChooseMusicBrainzRelease(const std::vector<TMusicBrainzRelease>& releases);

// What the window takes from a release: the release's own data and nothing else (no year or
// genre where it has none); tracks without a title get "TrackNN", numbered from firstTrack.
// Also the release's further data (Release), its tracks numbered from firstTrack. A release
// none of whose media is the disc gives its first medium's titles and credits only when the
// user chose it (chosenByUser); picked for the user, it gives none.
TCddbQueryResult MusicBrainzFieldsOf(const TMusicBrainzRelease& release, int firstTrack = 1,
                                     bool chosenByUser = false);

// A readable text for an error reply: its JSON "error" text, or the first words of a page
// that is not JSON (markup removed), at most 200 characters.
std::string MusicBrainzErrorText(std::string_view body);

} // namespace bw
