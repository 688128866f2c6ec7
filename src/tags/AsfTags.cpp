#include "AsfTags.h"

#include "TagText.h"

#include <taglib/asfpicture.h>
#include <taglib/asftag.h>

namespace bw {

namespace {

using namespace tagtext;

// ASF attribute names as MusicBrainz's tagger writes them.
struct TAsfName {
    const char* Name;
    std::string TFileTags::*Field;
    const char* Key; // the field's property name, for its further values
};
const TAsfName AsfTexts[] = {
    {"WM/AlbumTitle", &TFileTags::Album, "ALBUM"},
    {"WM/AlbumArtist", &TFileTags::AlbumArtist, "ALBUMARTIST"},
    {"WM/Year", &TFileTags::Year, "DATE"},
    {"WM/Genre", &TFileTags::Genre, "GENRE"},
    {"MusicBrainz/Album Id", &TFileTags::MusicBrainzAlbumId, "MUSICBRAINZ_ALBUMID"},
    {"MusicBrainz/Disc Id", &TFileTags::MusicBrainzDiscId, "MUSICBRAINZ_DISCID"},
    {"MusicBrainz/Track Id", &TFileTags::MusicBrainzTrackId, "MUSICBRAINZ_TRACKID"},
    {"WM/ISRC", &TFileTags::Isrc, "ISRC"},
    {"WM/CatalogNo", &TFileTags::CatalogNumber, "CATALOGNUMBER"},
    {"WM/Barcode", &TFileTags::Barcode, "BARCODE"},
    {"WM/ARTISTS", &TFileTags::Artists, "ARTISTS"},
    {"WM/ArtistSortOrder", &TFileTags::ArtistSort, "ARTISTSORT"},
    {"WM/AlbumArtistSortOrder", &TFileTags::AlbumArtistSort, "ALBUMARTISTSORT"},
    {"WM/SetSubTitle", &TFileTags::DiscSubtitle, "DISCSUBTITLE"},
    {"WM/OriginalReleaseTime", &TFileTags::OriginalDate, "ORIGINALDATE"},
    {"WM/Publisher", &TFileTags::Label, "LABEL"},
    {"ASIN", &TFileTags::Asin, "ASIN"},
    {"MusicBrainz/Album Release Country", &TFileTags::ReleaseCountry, "RELEASECOUNTRY"},
    {"MusicBrainz/Album Type", &TFileTags::ReleaseType, "RELEASETYPE"},
    {"MusicBrainz/Album Status", &TFileTags::ReleaseStatus, "RELEASESTATUS"},
    {"WM/Media", &TFileTags::Media, "MEDIA"},
    {"WM/Script", &TFileTags::Script, "SCRIPT"},
    {"WM/Language", &TFileTags::Language, "LANGUAGE"},
    {"MusicBrainz/Artist Id", &TFileTags::MusicBrainzArtistId, "MUSICBRAINZ_ARTISTID"},
    {"MusicBrainz/Album Artist Id", &TFileTags::MusicBrainzAlbumArtistId,
     "MUSICBRAINZ_ALBUMARTISTID"},
    {"MusicBrainz/Release Group Id", &TFileTags::MusicBrainzReleaseGroupId,
     "MUSICBRAINZ_RELEASEGROUPID"},
    {"MusicBrainz/Release Track Id", &TFileTags::MusicBrainzReleaseTrackId,
     "MUSICBRAINZ_RELEASETRACKID"},
};

// The title, author and description of ASF's content description hold one text each: several
// values go there joined as FFmpeg joins them.
TagLib::String Joined(const std::vector<std::string>& Values) {
    std::string Text;
    for (const std::string& Value : Values)
        Text += (Text.empty() ? "" : ";") + Value;
    return Utf8(Text);
}
struct TAsfGain {
    const char* Name;
    std::optional<double> TFileTags::*Field;
    bool Peak;
};
const TAsfGain AsfGains[] = {
    {"REPLAYGAIN_TRACK_GAIN", &TFileTags::TrackGain, false},
    {"REPLAYGAIN_TRACK_PEAK", &TFileTags::TrackPeak, true},
    {"REPLAYGAIN_ALBUM_GAIN", &TFileTags::AlbumGain, false},
    {"REPLAYGAIN_ALBUM_PEAK", &TFileTags::AlbumPeak, true},
};

void SetAsf(TagLib::ASF::Tag& Tag, const char* Name, const std::string& Value) {
    if (Value.empty())
        Tag.removeItem(Name);
    else
        Tag.setAttribute(Name, TagLib::ASF::Attribute(Utf8(Value)));
}

} // namespace

void WriteAsf(TagLib::ASF::Tag& Tag, const TFileTags& Tags) {
    Tag.setTitle(Joined(AllValues(Tags, &TFileTags::Title, "TITLE")));
    Tag.setArtist(Joined(AllValues(Tags, &TFileTags::Artist, "ARTIST")));
    Tag.setComment(Joined(AllValues(Tags, &TFileTags::Comment, "COMMENT")));
    for (const TAsfName& Item : AsfTexts) {
        Tag.removeItem(Item.Name);
        for (const std::string& Value : AllValues(Tags, Item.Field, Item.Key))
            Tag.addAttribute(Item.Name, TagLib::ASF::Attribute(Utf8(Value)));
    }
    SetAsf(Tag, "WM/TrackNumber", Decimal(Tags.TrackNumber));
    SetAsf(Tag, "TotalTracks", Decimal(Tags.TrackTotal));
    SetAsf(Tag, "WM/PartOfSet", Position(Tags.DiscNumber, Tags.DiscTotal));
    for (const TAsfGain& Item : AsfGains) {
        const std::optional<double>& Value = Tags.*(Item.Field);
        SetAsf(Tag, Item.Name,
               !Value ? std::string()
                      : (Item.Peak ? FormatReplayPeak(*Value) : FormatReplayGain(*Value)));
    }
    Tag.removeItem("WM/Picture");
    if (!Tags.Cover.empty()) {
        TagLib::ASF::Picture Picture;
        Picture.setType(TagLib::ASF::Picture::FrontCover);
        Picture.setMimeType(Utf8(Tags.CoverMimeType));
        Picture.setPicture(Bytes(Tags.Cover));
        Tag.setAttribute("WM/Picture", TagLib::ASF::Attribute(Picture));
    }
}

void ReadAsf(const TagLib::ASF::Tag& Tag, TFileTags& Tags) {
    auto Get = [&Tag](const char* Name) -> std::string {
        if (!Tag.contains(Name)) return {};
        // attribute() gives a copy: keep it alive while its first item is read.
        const TagLib::ASF::AttributeList List = Tag.attribute(Name);
        return List.isEmpty() ? std::string() : FromTag(List.front().toString());
    };
    Tags.Title = Meaningful(FromTag(Tag.title()));
    Tags.Artist = Meaningful(FromTag(Tag.artist()));
    Tags.Comment = Meaningful(FromTag(Tag.comment()));
    for (const TAsfName& Item : AsfTexts) {
        std::vector<std::string> Values;
        if (Tag.contains(Item.Name))
            for (const TagLib::ASF::Attribute& Value : Tag.attribute(Item.Name))
                if (std::string Text = Meaningful(FromTag(Value.toString())); !Text.empty())
                    Values.push_back(std::move(Text));
        Tags.*(Item.Field) = Values.empty() ? std::string() : Values.front();
        if (Values.size() > 1) Tags.MoreValues[Item.Key].assign(Values.begin() + 1, Values.end());
    }
    // FFmpeg stores a date given to it under its own name, not as WM/Year.
    if (Tags.Year.empty()) Tags.Year = Meaningful(Get("date"));
    // The track number may be stored as a number rather than a text.
    if (Tag.contains("WM/TrackNumber")) {
        const TagLib::ASF::AttributeList List = Tag.attribute("WM/TrackNumber");
        const TagLib::ASF::Attribute Track = List.front();
        Tags.TrackNumber = Track.type() == TagLib::ASF::Attribute::UnicodeType
                               ? LeadingNumber(FromTag(Track.toString()))
                               : static_cast<int>(Track.toUInt());
    }
    Tags.TrackTotal = LeadingNumber(Get("TotalTracks"));
    const std::string Disc = Get("WM/PartOfSet");
    Tags.DiscNumber = LeadingNumber(Disc);
    if (std::size_t Slash = Disc.find('/'); Slash != std::string::npos)
        Tags.DiscTotal = LeadingNumber(Disc.substr(Slash + 1));
    for (const TAsfGain& Item : AsfGains)
        Tags.*(Item.Field) = ParseReplayGain(Get(Item.Name));
    if (Tag.contains("WM/Picture")) {
        const TagLib::ASF::AttributeList List = Tag.attribute("WM/Picture");
        TagLib::ASF::Picture Picture = List.front().toPicture();
        if (Picture.isValid()) {
            Tags.Cover = FromBytes(Picture.picture());
            Tags.CoverMimeType = FromTag(Picture.mimeType());
        }
    }
}

} // namespace bw
