// Full tags for the files of one rip: the disc's fields and each track's title and number,
// MusicBrainz ids, the front cover (fetched once, in the background, while the first track
// is read) and ReplayGain (each track as it is encoded, the album once its last track is
// done). Used on the main thread by the rip job.
#pragma once

#include "CoverArt.h"
#include "FileTags.h"
#include "Global.h"
#include "Loudness.h"

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bw {

// What MusicBrainz told about the disc, kept with it in "cd.dat".
struct TMusicBrainzIds {
    std::string AlbumId; // the release
    std::string DiscId;
    std::map<int, std::string> TrackIds; // recording ids by track number
    // An image the user chose for the disc: the files get it instead of the release's cover.
    std::string CoverFile;
    bool operator==(const TMusicBrainzIds&) const = default;
};

// The ids saved for the disc; none when the disc's album has changed since (its fields came
// from another source after the lookup).
TMusicBrainzIds LoadMusicBrainzIds(const std::string& DiscKey);
// Saves the ids with the disc's album title as it stands in "cd.dat" (the cover file apart).
void SaveMusicBrainzIds(const std::string& DiscKey, const TMusicBrainzIds& Ids);
// The release last chosen for the disc, whatever its fields have become since; empty when
// none was.
std::string RememberedMusicBrainzRelease(const std::string& DiscKey);
// Keeps the cover image the user chose for the disc (empty: none, the release's own).
void SaveDiscCoverFile(const std::string& DiscKey, const std::string& Path);

class TRipTagger {
public:
    TRipTagger(const TDiscFields& Disc, TMusicBrainzIds Ids, int TrackTotal);
    ~TRipTagger();
    TRipTagger(const TRipTagger&) = delete;
    TRipTagger& operator=(const TRipTagger&) = delete;

    // The disc's MCN (its UPC/EAN barcode) and each track's ISRC by track number, as the
    // disc carries them; every file tagged afterwards gets its own.
    void SetDiscCodes(const std::string& Barcode, std::map<int, std::string> Isrc);

    // The disc's release: track artists, album artist, disc number and the release's own
    // fields go into every file tagged afterwards.
    void SetRelease(const TDiscRelease& Release);

    // Starts fetching the cover when the release is known and a cover is wanted.
    void StartCoverFetch();

    // Tags a finished file with the track's fields and its loudness (nullptr: none
    // measured). Raises EFileTags when the file cannot be tagged.
    void TagTrack(int TrackNumber, const std::string& Title, const std::filesystem::path& File,
                  std::unique_ptr<TLoudness> Loudness);

    // Writes the album's gain into every file tagged and saves the cover beside them.
    // Returns one line for each thing that could not be done (empty when all went well).
    std::vector<std::string> Finish();

    // Stops a cover download still running.
    void Cancel() { FCancel = true; }

private:
    const TCoverArt& Cover();

    TFileTags FDisc; // the fields every file gets
    TMusicBrainzIds FIds;
    TDiscRelease FRelease;
    std::string FDiscArtist; // the disc fields' artist: a track's own when it has none
    std::map<int, std::string> FIsrc;
    bool FWantCover;
    std::atomic<bool> FCancel{false};
    std::future<TCoverArt> FCoverFetch;
    std::optional<TCoverArt> FCover;
    bool FCoverReported = false;
    std::vector<std::string> FMessages;
    struct TTagged {
        std::filesystem::path File;
        TFileTags Tags;
        std::unique_ptr<TLoudness> Loudness;
    };
    std::vector<TTagged> FTagged;
};

} // namespace bw
