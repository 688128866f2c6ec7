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
    FDisc.Album = Disc.Album;
    FDisc.Year = Disc.Year;
    FDisc.Genre = DiscGenreTagText(Disc);
    FDisc.Comment = Disc.Comment;
    FDisc.TrackTotal = TrackTotal;
    FDisc.MusicBrainzAlbumId = FIds.AlbumId;
    FDisc.MusicBrainzDiscId = FIds.DiscId;
}

TRipTagger::~TRipTagger() {
    FCancel = true;
    if (FCoverFetch.valid()) FCoverFetch.wait();
}

void TRipTagger::SetDiscCodes(const std::string& Barcode, std::map<int, std::string> Isrc) {
    FDisc.Barcode = Barcode;
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
    if (auto It = FIds.TrackIds.find(TrackNumber); It != FIds.TrackIds.end())
        Tags.MusicBrainzTrackId = It->second;
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
