#include "RipTagging.h"

#include "ApplyOptions.h"
#include "Genres.h"
#include "IniFile.h"

#include <fstream>

namespace fs = std::filesystem;

namespace bw {

namespace {

// Keys of our own in the disc's section of "cd.dat"; readers that do not know them pass them
// over.
constexpr const char* AlbumIdKey = "MusicBrainzAlbumId";
constexpr const char* DiscIdKey = "MusicBrainzDiscId";
constexpr const char* IdsAlbumKey = "MusicBrainzAlbumTitle";
constexpr const char* TrackIdKey = "MusicBrainzTrackId";
constexpr const char* CoverFileKey = "CoverFile";

} // namespace

TMusicBrainzIds LoadMusicBrainzIds(const std::string& DiscKey) {
    TMusicBrainzIds Ids;
    if (DiscKey.empty()) return Ids;
    TIniFile Ini = TIniFile::Load(DiscCacheFilePath());
    // The image chosen stays the disc's whatever its album is called.
    Ids.CoverFile = Ini.ReadString(DiscKey, CoverFileKey, "");
    if (Ini.ReadString(DiscKey, IdsAlbumKey, "") != Ini.ReadString(DiscKey, "CDAlbum", ""))
        return Ids;
    Ids.AlbumId = Ini.ReadString(DiscKey, AlbumIdKey, "");
    Ids.DiscId = Ini.ReadString(DiscKey, DiscIdKey, "");
    for (int n = 1; n <= MaxTracks; ++n) {
        std::string Id = Ini.ReadString(DiscKey, TrackIdKey + std::to_string(n), "");
        if (!Id.empty()) Ids.TrackIds[n] = Id;
    }
    return Ids;
}

void SaveMusicBrainzIds(const std::string& DiscKey, const TMusicBrainzIds& Ids) {
    if (DiscKey.empty()) return;
    const fs::path Path = DiscCacheFilePath();
    TIniFile Ini = TIniFile::Load(Path);
    Ini.WriteString(DiscKey, AlbumIdKey, Ids.AlbumId);
    Ini.WriteString(DiscKey, DiscIdKey, Ids.DiscId);
    Ini.WriteString(DiscKey, IdsAlbumKey, Ini.ReadString(DiscKey, "CDAlbum", ""));
    for (int n = 1; n <= MaxTracks; ++n) {
        auto It = Ids.TrackIds.find(n);
        const std::string Key = TrackIdKey + std::to_string(n);
        if (It != Ids.TrackIds.end())
            Ini.WriteString(DiscKey, Key, It->second);
        else if (Ini.HasKey(DiscKey, Key))
            Ini.WriteString(DiscKey, Key, "");
    }
    Ini.Save(Path);
}

std::string RememberedMusicBrainzRelease(const std::string& DiscKey) {
    if (DiscKey.empty()) return {};
    return TIniFile::Load(DiscCacheFilePath()).ReadString(DiscKey, AlbumIdKey, "");
}

void SaveDiscCoverFile(const std::string& DiscKey, const std::string& Path) {
    if (DiscKey.empty()) return;
    const fs::path File = DiscCacheFilePath();
    TIniFile Ini = TIniFile::Load(File);
    if (Path.empty() && !Ini.HasKey(DiscKey, CoverFileKey)) return;
    Ini.WriteString(DiscKey, CoverFileKey, Path);
    Ini.Save(File);
}

TRipTagger::TRipTagger(const TDiscFields& Disc, TMusicBrainzIds Ids, int TrackTotal)
    : FIds(std::move(Ids)), FWantCover((Settings.EmbedCover || Settings.SaveCover) &&
                                       (!FIds.AlbumId.empty() || !FIds.CoverFile.empty())) {
    FDisc.Artist = Disc.Artist;
    FDiscArtist = Disc.Artist;
    FDisc.Album = Disc.Album;
    FDisc.Year = Disc.Year;
    FDisc.Genre = DiscGenreTagText(Disc);
    FDisc.Comment = Disc.Comment;
    FDisc.TrackTotal = TrackTotal;
    FDisc.MusicBrainzAlbumId = FIds.AlbumId;
    FDisc.MusicBrainzDiscId = FIds.DiscId;
}

namespace {

// A field's values: the first into the field, the others as its further values.
void PutValues(TFileTags& Tags, std::string TFileTags::*Field, const char* Key,
               const std::vector<std::string>& Values) {
    Tags.*Field = Values.empty() ? std::string() : Values.front();
    if (Values.size() > 1)
        Tags.MoreValues[Key].assign(Values.begin() + 1, Values.end());
    else
        Tags.MoreValues.erase(Key);
}

} // namespace

void TRipTagger::SetRelease(const TDiscRelease& Release) {
    FRelease = Release;
    TFileTags& Tags = FDisc;
    // The album artist goes only where it says something the track's artist does not: a
    // compilation, or a release some of whose tracks have artists of their own.
    bool Differs = FDiscArtist == "Various Artists";
    for (const auto& [Track, Credit] : Release.Tracks)
        if (!Credit.Artist.empty() && Credit.Artist != FDiscArtist) Differs = true;
    Tags.AlbumArtist = Differs ? FDiscArtist : std::string();
    // The release's sort name and ids belong to its credit: kept while the disc's artist is
    // still that credit.
    const bool SameCredit = !FDiscArtist.empty() && Release.AlbumArtist == FDiscArtist;
    Tags.AlbumArtistSort = Differs && SameCredit ? Release.AlbumArtistSort : std::string();
    PutValues(Tags, &TFileTags::MusicBrainzAlbumArtistId, "MUSICBRAINZ_ALBUMARTISTID",
              SameCredit ? Release.AlbumArtistIds : std::vector<std::string>());
    Tags.DiscNumber = Release.DiscNumber;
    Tags.DiscTotal = Release.DiscTotal;
    Tags.DiscSubtitle = Release.DiscSubtitle;
    // The full date while it is the year the disc fields show.
    if (!Tags.Year.empty() && Release.Date.starts_with(Tags.Year)) Tags.Year = Release.Date;
    Tags.OriginalDate = Release.OriginalDate;
    Tags.Label = Release.Label;
    Tags.CatalogNumber = Release.CatalogNumber;
    if (Tags.Barcode.empty()) Tags.Barcode = Release.Barcode;
    Tags.Asin = Release.Asin;
    Tags.ReleaseCountry = Release.Country;
    Tags.ReleaseType = Release.ReleaseType;
    Tags.ReleaseStatus = Release.ReleaseStatus;
    Tags.Media = Release.Media;
    Tags.Script = Release.Script;
    Tags.Language = Release.Language;
    Tags.MusicBrainzReleaseGroupId = Release.ReleaseGroupId;
}

TRipTagger::~TRipTagger() {
    FCancel = true;
    if (FCoverFetch.valid()) FCoverFetch.wait();
}

void TRipTagger::SetDiscCodes(const std::string& Barcode, std::map<int, std::string> Isrc) {
    // The disc's own MCN wins over the release's barcode; without one the release's stays.
    if (!Barcode.empty()) FDisc.Barcode = Barcode;
    FIsrc = std::move(Isrc);
}

void TRipTagger::StartCoverFetch() {
    if (!FWantCover || FCoverFetch.valid() || FCover) return;
    if (!FIds.CoverFile.empty()) {
        FCover = ReadCoverFile(FIds.CoverFile);
        if (!FCover->Error.empty()) FMessages.push_back(FCover->Error);
        return;
    }
    FCoverFetch =
        std::async(std::launch::async, [Server = Settings.CoverArtServer, Id = FIds.AlbumId, this] {
            return FetchFrontCover(Server, Id, &FCancel);
        });
}

const TCoverArt& TRipTagger::Cover() {
    if (!FCover) {
        StartCoverFetch();
        FCover = FCoverFetch.valid() ? FCoverFetch.get() : TCoverArt{};
        if (!FCover->Error.empty()) FMessages.push_back(FCover->Error);
    }
    return *FCover;
}

void TRipTagger::TagTrack(int TrackNumber, const std::string& Title, const fs::path& File,
                          std::unique_ptr<TLoudness> Loudness) {
    TFileTags Tags = FDisc;
    Tags.Title = Title;
    Tags.TrackNumber = TrackNumber;
    if (auto Credit = FRelease.Tracks.find(TrackNumber); Credit != FRelease.Tracks.end()) {
        const TTrackCredit& Own = Credit->second;
        if (!Own.Artist.empty()) Tags.Artist = Own.Artist;
        PutValues(Tags, &TFileTags::Artists, "ARTISTS", Own.Artists);
        Tags.ArtistSort = Own.ArtistSort;
        PutValues(Tags, &TFileTags::MusicBrainzArtistId, "MUSICBRAINZ_ARTISTID", Own.ArtistIds);
        Tags.MusicBrainzReleaseTrackId = Own.ReleaseTrackId;
    } else if (FRelease.AlbumArtist == FDiscArtist && !FDiscArtist.empty()) {
        // A track without a credit of its own is the release's artist's.
        Tags.ArtistSort = FRelease.AlbumArtistSort;
        PutValues(Tags, &TFileTags::MusicBrainzArtistId, "MUSICBRAINZ_ARTISTID",
                  FRelease.AlbumArtistIds);
    }
    if (auto It = FIds.TrackIds.find(TrackNumber); It != FIds.TrackIds.end())
        Tags.MusicBrainzTrackId = It->second;
    // Track 0 is the hidden track in the first track's pregap: the release's pregap track.
    if (TrackNumber == 0 && Tags.MusicBrainzTrackId.empty())
        Tags.MusicBrainzTrackId = FRelease.HiddenTrackId;
    if (auto It = FIsrc.find(TrackNumber); It != FIsrc.end()) Tags.Isrc = It->second;
    if (Loudness && Settings.ReplayGain) {
        Tags.TrackGain = Loudness->Gain();
        if (Tags.TrackGain) Tags.TrackPeak = Loudness->Peak();
    }
    if (FWantCover && Settings.EmbedCover && Cover().Error.empty()) {
        Tags.Cover = Cover().Bytes;
        Tags.CoverMimeType = Cover().MimeType;
    }
    WriteFileTags(File, Tags);
    FTagged.push_back({File, std::move(Tags), std::move(Loudness)});
}

std::vector<std::string> TRipTagger::Finish() {
    if (Settings.ReplayGain && !FTagged.empty()) {
        std::vector<const TLoudness*> Tracks;
        for (const TTagged& Item : FTagged)
            Tracks.push_back(Item.Loudness.get());
        std::optional<double> Gain = TLoudness::AlbumGain(Tracks);
        if (Gain) {
            const double Peak = TLoudness::AlbumPeak(Tracks);
            for (TTagged& Item : FTagged) {
                Item.Tags.AlbumGain = Gain;
                Item.Tags.AlbumPeak = Peak;
                try {
                    WriteFileTags(Item.File, Item.Tags);
                } catch (const std::exception& Error) {
                    FMessages.push_back(Error.what());
                }
            }
        }
    }
    if (FWantCover && Settings.SaveCover && !FTagged.empty() && Cover().Error.empty()) {
        const fs::path Path = FTagged.front().File.parent_path() / CoverFileName(Cover().MimeType);
        std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
        Out.write(reinterpret_cast<const char*>(Cover().Bytes.data()),
                  static_cast<std::streamsize>(Cover().Bytes.size()));
        Out.close();
        if (!Out) FMessages.push_back("Cannot write the cover to " + Path.string() + ".");
    }
    std::vector<std::string> Messages;
    Messages.swap(FMessages);
    return Messages;
}

} // namespace bw
